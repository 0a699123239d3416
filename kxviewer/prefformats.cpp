// "KxFormats.ini": one section "Format<n>" per format, built-in formats first.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "kxviewer/kxvglobals.h"
#include "kxviewer/prefdata.h"
#include "utils/common/strbase.h"

namespace {

const char* const RESERVED_KEYS[] = {"Name", "Extension", "Mode", "Enabled", "JavaException", "Delimiter", "Visual"};

bool IsReservedKey(const char* key)
{
    for (const char* reserved : RESERVED_KEYS)
        if (strcmp(reserved, key) == 0)
            return true;
    return false;
}

void SectionName(ZmLib::StrBase& name, size_t position)
{
    name.Format("Format%zu", position);
}

// Names, delimiters and field expressions stand between double quotes;
// only the enclosing pair is taken off on load. A line break cannot stand
// in a line.
std::string Quoted(const std::string& text)
{
    std::string line = '"' + text + '"';
    std::replace(line.begin(), line.end(), '\r', ' ');
    std::replace(line.begin(), line.end(), '\n', ' ');
    return line;
}

int32_t Clamp32(int64_t value) { return int32_t(std::min<int64_t>(std::max<int64_t>(value, INT32_MIN), INT32_MAX)); }

// The decimal number at the start of text; 0 when it is none.
int32_t DecimalPrefix(const std::string& text) { return Clamp32(strtoll(text.c_str(), nullptr, 10)); }

ImportFormatField ParseField(const char* key, const char* value)
{
    ImportFormatField field;
    field.key = key;
    std::string text = value;
    size_t comma = text.find(',');
    field.viewPosition = DecimalPrefix(text.substr(0, comma));
    if (comma != std::string::npos)
        field.expression = ZmLib::IniBase::UnquoteText(text.c_str() + comma + 1);
    return field;
}

ImportFormat ReadUserFormat(const ZmLib::IniBase& ini, const ZmLib::IniSection& section, int32_t defaultVisual,
                            bool& visualFound)
{
    const char* name = section.Name;
    ImportFormat format;
    ini.GetText(name, "Name", format.name);
    ini.GetText(name, "Extension", format.extension);
    format.mode = ini.GetInt(name, "Mode", IMPORT_MODE_REGEX, IMPORT_MODE_DELIMITED, IMPORT_MODE_REGEX);
    ini.GetText(name, "Delimiter", format.delimiter);
    format.delimiter = format.delimiter.empty() ? " " : format.delimiter.substr(0, 1);
    int64_t number = defaultVisual;
    visualFound = ini.GetInt64(name, "Visual", number);
    format.visual = Clamp32(number);
    number = 0;
    ini.GetInt64(name, "JavaException", number);
    format.JavaException = number != 0;
    number = 1;
    ini.GetInt64(name, "Enabled", number);
    format.enabled = number != 0;
    for (const ZmLib::IniEntry* e = section.FirstEntry(); e; e = e->NextEntry())
        if (e->Value && e->Value[0] && !IsReservedKey(e->Name))
            format.fields.push_back(ParseField(e->Name, e->Value));
    format.ComposeExpression();
    return format;
}

// Sub-templates have display order 0, the others 1 to k, each once.
bool DisplayOrderValid(const ImportFormatList& list, const std::vector<bool>& checked,
                       const std::vector<bool>& visualFound)
{
    std::set<int32_t> orders;
    size_t mains = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        bool sub = list[i].IsSubTemplateName();
        if (checked[i] && (!visualFound[i] || sub != (list[i].visual == 0)))
            return false;
        if (!sub) {
            ++mains;
            orders.insert(list[i].visual);
        }
    }
    return orders.size() == mains && (mains == 0 || (*orders.begin() == 1 && *orders.rbegin() == int32_t(mains)));
}

void Renumber(ImportFormatList& list, size_t firstSorted)
{
    std::stable_sort(list.begin() + std::ptrdiff_t(firstSorted), list.end(),
                     [](const ImportFormat& a, const ImportFormat& b) { return a.name < b.name; });
    int32_t next = 1;
    for (ImportFormat& format : list)
        format.visual = format.IsSubTemplateName() ? 0 : next++;
}

// Sub-templates 0, the other formats 1..k in their present display order
// (list order among equals), so that the file passes its order check.
void CompactDisplayOrder(ImportFormatList& list)
{
    std::vector<size_t> mains;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].IsSubTemplateName())
            list[i].visual = 0;
        else
            mains.push_back(i);
    }
    std::stable_sort(mains.begin(), mains.end(), [&](size_t a, size_t b) { return list[a].visual < list[b].visual; });
    for (size_t k = 0; k < mains.size(); ++k)
        list[mains[k]].visual = int32_t(k) + 1;
}

} // namespace

void PrefGlobal::LoadFormats(ZmLib::IniBase& ini, ImportFormatList& list, bool foreign, bool saveAfterRenumber)
{
    list.clear();
    std::vector<bool> checked;
    std::vector<bool> visualFound;
    ZmLib::Str<32> section;
    size_t builtins = foreign ? 0 : size_t(PredefinedFormatCount);
    if (!foreign) {
        list = DefaultImportTemplates();
        list.resize(builtins);
        for (size_t i = 0; i < builtins; ++i) {
            SectionName(section, i);
            bool exists = ini.FindSection(section.c_str()) != nullptr;
            checked.push_back(exists);
            visualFound.push_back(false);
            if (!exists)
                continue;
            std::string extension;
            if (ini.GetText(section.c_str(), "Extension", extension) && !extension.empty())
                list[i].extension = extension;
            int64_t number = 1;
            ini.GetInt64(section.c_str(), "Enabled", number);
            list[i].enabled = number != 0;
            number = int64_t(i);
            visualFound[i] = ini.GetInt64(section.c_str(), "Visual", number);
            list[i].visual = Clamp32(number);
        }
    }

    for (size_t position = builtins;; ++position) {
        SectionName(section, position);
        const ZmLib::IniSection* s = ini.FindSection(section.c_str());
        if (!s)
            break;
        if (foreign && !ini.GetValue(section.c_str(), "Name"))
            continue;
        bool found = false;
        ImportFormat format = ReadUserFormat(ini, *s, int32_t(list.size()), found);
        if (format.name.empty())
            continue;
        list.push_back(std::move(format));
        checked.push_back(true);
        visualFound.push_back(found);
    }

    if (!DisplayOrderValid(list, checked, visualFound)) {
        Renumber(list, builtins);
        if (saveAfterRenumber) {
            SaveFormats(ini, list);
            if (&ini == &IniFormats.Ini)
                CheckIniWritable(IniFormats);
        }
    }
    // Reading another file into a list of its own leaves the editor's
    // unsaved changes marked.
    if (&list == &ImportFormats)
        ImportFormatsModified = false;
}

void PrefGlobal::SaveFormats(ZmLib::IniBase& ini, const ImportFormatList& list)
{
    ZmLib::Str<32> name;
    for (size_t i = 0; i < list.size(); ++i) {
        const ImportFormat& format = list[i];
        SectionName(name, i);
        const char* s = name.c_str();
        ini.DeleteSection(s);
        if (int32_t(i) < PredefinedFormatCount) {
            ini.SetText(s, "Extension", format.extension);
            ini.SetInt(s, "Enabled", format.enabled ? 1 : 0);
            ini.SetInt(s, "Visual", format.visual);
            continue;
        }
        ini.SetValue(s, "Name", Quoted(format.name).c_str());
        ini.SetText(s, "Extension", format.extension);
        ini.SetInt(s, "Enabled", format.enabled ? 1 : 0);
        ini.SetInt(s, "Visual", format.visual);
        ini.SetInt(s, "JavaException", format.JavaException ? 1 : 0);
        ini.SetValue(s, "Delimiter", Quoted(format.delimiter).c_str());
        ini.SetInt(s, "Mode", format.mode);
        // Added one by one: an unchecked format may name a field twice.
        ZmLib::IniSection* section = ini.FindSection(s);
        for (const ImportFormatField& field : format.fields)
            ini.AddEntry(section, field.key.c_str(),
                         (std::to_string(field.viewPosition) + ',' + Quoted(field.expression)).c_str());
    }
    ini.DeleteNumberedSections("Format", int64_t(list.size()));
    ImportFormatsModified = false;
}

bool PrefGlobal::SaveFormats()
{
    const bool modified = ImportFormatsModified;
    CompactDisplayOrder(ImportFormats);
    SaveFormats(IniFormats.Ini, ImportFormats);
    if (CheckIniWritable(IniFormats))
        return true;
    // Not on disk: the edits must not pass for saved.
    ImportFormatsModified = modified;
    return false;
}
