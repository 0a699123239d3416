// The lists and looks of "KxViewer.ini": scripts, the search history, the
// connection histories and ports, fonts and the colour scheme.
#include <algorithm>
#include <cstdlib>
#include <string>

#include <QString>

#include "kxviewer/prefdata.h"

namespace {

const char SEC_QUICK_SEARCH[] = "QuickSearch";
const char SEC_CONNECTION_IP[] = "ConnectionIp";
const char SEC_CONNECTION_QUERY[] = "ConnectionQuery";
const char SEC_CONNECTIONS[] = "Connections";
const char SEC_FONTS[] = "Fonts";
const char SEC_COLORS[] = "ColorScheme";
const char SCRIPT_PREFIX[] = "Script";

std::string ScriptSection(size_t index) { return SCRIPT_PREFIX + std::to_string(index); }

void LoadScripts(const ZmLib::IniBase& ini)
{
    PrefGlobal::Scripts.clear();
    for (size_t i = 0;; ++i) {
        std::string name = ScriptSection(i);
        const char* s = name.c_str();
        if (!ini.FindSection(s))
            break;
        ScriptEntry script;
        ini.GetText(s, "Path", script.path);
        script.counter = ini.GetInt(s, "Counter", 0, INT32_MIN, INT32_MAX);
        ini.GetText(s, "DateTime", script.dateTime);
        ini.GetInt64(s, "ExecTime", script.execTime);
        script.status = ini.GetInt(s, "Status", 0, INT32_MIN, INT32_MAX);
        PrefGlobal::Scripts.push_back(script);
    }
}

void SaveScripts(ZmLib::IniBase& ini)
{
    for (size_t i = 0; i < PrefGlobal::Scripts.size(); ++i) {
        const ScriptEntry& script = PrefGlobal::Scripts[i];
        std::string name = ScriptSection(i);
        const char* s = name.c_str();
        ini.DeleteSection(s);
        ini.SetText(s, "Path", script.path);
        ini.SetInt(s, "Counter", script.counter);
        ini.SetText(s, "DateTime", script.dateTime);
        ini.SetInt(s, "ExecTime", script.execTime);
        ini.SetInt(s, "Status", script.status);
    }
    ini.DeleteNumberedSections(SCRIPT_PREFIX, int64_t(PrefGlobal::Scripts.size()));
}

// A history line: '"', the mode, ',', the match case, ',', the expression.
// The line parser cuts blanks and control characters at a line's end, so
// an expression ending in one of them (or in '"') gets a closing '"',
// which the reader takes off again.
std::string HistoryLine(const SearchHistoryItem& item)
{
    std::string expression = item.expression;
    std::replace(expression.begin(), expression.end(), '\r', ' ');
    std::replace(expression.begin(), expression.end(), '\n', ' ');
    unsigned char last = expression.empty() ? 0 : static_cast<unsigned char>(expression.back());
    if (last == '"' || (last != 0 && last <= ' '))
        expression += '"';
    return '"' + std::to_string(item.mode) + ',' + (item.matchCase ? '1' : '0') + ',' + expression;
}

bool ParseHistoryLine(const char* line, SearchHistoryItem& item)
{
    if (line[0] != '"')
        return false;
    std::string text = line + 1;
    size_t first = text.find(',');
    size_t second = first == std::string::npos ? first : text.find(',', first + 1);
    if (second == std::string::npos)
        return false;
    item.expression = text.substr(second + 1);
    if (!item.expression.empty() && item.expression.back() == '"')
        item.expression.pop_back();
    if (item.expression.empty())
        return false;
    item.mode = int32_t(strtol(text.substr(0, first).c_str(), nullptr, 10));
    item.matchCase = strtol(text.substr(first + 1, second - first - 1).c_str(), nullptr, 10) != 0;
    return true;
}

void LoadHistory(const ZmLib::IniBase& ini)
{
    PrefGlobal::SearchHistory.clear();
    const ZmLib::IniSection* section = ini.FindSection(SEC_QUICK_SEARCH);
    for (const ZmLib::IniEntry* e = section ? section->FirstEntry() : nullptr;
         e && PrefGlobal::SearchHistory.size() < size_t(SEARCH_HISTORY_MAX); e = e->NextEntry()) {
        SearchHistoryItem item;
        if (!e->Value && ParseHistoryLine(e->Name, item))
            PrefGlobal::SearchHistory.push_back(item);
    }
}

void SaveHistory(ZmLib::IniBase& ini)
{
    ini.DeleteSection(SEC_QUICK_SEARCH);
    ZmLib::IniSection* section = ini.AddSection(SEC_QUICK_SEARCH);
    for (const SearchHistoryItem& item : PrefGlobal::SearchHistory)
        ini.AddEntry(section, HistoryLine(item).c_str());
}

void LoadTexts(const ZmLib::IniBase& ini, const char* section, const char* prefix, std::vector<std::string>& list)
{
    list.clear();
    for (int32_t i = 0; i < CONNECTION_HISTORY_MAX; ++i) {
        std::string text;
        if (ini.GetText(section, (prefix + std::to_string(i)).c_str(), text) && !text.empty())
            list.push_back(text);
    }
}

void SaveTexts(ZmLib::IniBase& ini, const char* section, const char* prefix, const std::vector<std::string>& list)
{
    ini.DeleteSection(section);
    size_t count = std::min(list.size(), size_t(CONNECTION_HISTORY_MAX));
    for (size_t i = 0; i < count; ++i)
        ini.SetText(section, (prefix + std::to_string(i)).c_str(), list[i]);
}

} // namespace

void PrefGlobal::LoadLists(ZmLib::IniBase& ini)
{
    LoadScripts(ini);
    LoadHistory(ini);
    LoadTexts(ini, SEC_CONNECTION_IP, "IP", ConnectionIps);
    LoadTexts(ini, SEC_CONNECTION_QUERY, "QUERY", ConnectionQueries);
    ini.GetText(SEC_CONNECTIONS, "FirstPort", FirstPort);
    ini.GetText(SEC_CONNECTIONS, "SecondPort", SecondPort);
}

void PrefGlobal::SaveLists(ZmLib::IniBase& ini)
{
    SaveScripts(ini);
    SaveHistory(ini);
    SaveTexts(ini, SEC_CONNECTION_IP, "IP", ConnectionIps);
    SaveTexts(ini, SEC_CONNECTION_QUERY, "QUERY", ConnectionQueries);
    ini.SetText(SEC_CONNECTIONS, "FirstPort", FirstPort);
    ini.SetText(SEC_CONNECTIONS, "SecondPort", SecondPort);
}

void PrefGlobal::LoadLooks(ZmLib::IniBase& ini)
{
    for (int32_t i = 0; i < FONT_Nums; ++i) {
        std::string text;
        QFont font;
        if (ini.GetText(SEC_FONTS, FontKeys[i], text) && font.fromString(QString::fromLocal8Bit(text.c_str())))
            Fonts[i] = font;
    }

    ColorScheme.clear();
    for (int32_t i = 0; i < COLOR_SCHEME_MAX; ++i) {
        int64_t value = 0;
        if (!ini.GetInt64(SEC_COLORS, std::to_string(i).c_str(), value) || value == 0)
            break;
        ColorScheme.push_back(QRgb(uint32_t(value)));
    }
    CheckColorListPolicy(int32_t(ColorScheme.size()));
}

void PrefGlobal::SaveLooks(ZmLib::IniBase& ini)
{
    for (int32_t i = 0; i < FONT_Nums; ++i)
        ini.SetText(SEC_FONTS, FontKeys[i], Fonts[i].toString().toLocal8Bit().toStdString());

    ini.DeleteSection(SEC_COLORS);
    for (size_t i = 0; i < ColorScheme.size(); ++i) {
        char text[16];
        snprintf(text, sizeof text, "0x%08X", unsigned(ColorScheme[i]));
        ini.SetValue(SEC_COLORS, std::to_string(i).c_str(), text);
    }
}
