#include "kxviewer/preftable.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "utils/common/inifile.h"
#include "utils/common/strbase.h"

namespace {

const char SEC_TAB[] = "TabTable";
const char SEC_SEQUENCE[] = "Columns.Sequence";
const char SEC_FORMATS[] = "Columns.Formats";
const char SEC_JUMPS[] = "Jumps";
const char SEC_OUTLINE[] = "Outline";
const char SEC_KXTABLE[] = "KxTable";

struct FlagKey {
    const char* key;
    uint8_t PrefTabTable::*field;
};

// [TabTable] flags in file order; Grid is written between ShowPresErrors and
// SyncToCurRow, and GlobalShowIconOnGraph mirrors ShowPresErrors.
const FlagKey FLAGS_BEFORE_GRID[] = {
    {"PanelTree", &PrefTabTable::PanelTree},
    {"PanelHistory", &PrefTabTable::PanelHistory},
    {"PanelInfo", &PrefTabTable::PanelInfo},
    {"TimeRollback", &PrefTabTable::TimeRollback},
    {"ExportRowNumbColumn", &PrefTabTable::ExportRowNumbColumn},
    {"Colorize", &PrefTabTable::Colorize},
    {"ShowPresErrors", &PrefTabTable::ShowPresErrors},
};
const FlagKey FLAGS_AFTER_GRID[] = {
    {"SyncToCurRow", &PrefTabTable::SyncToCurRow},
    {"ExpandNewHistoryItem", &PrefTabTable::ExpandNewHistoryItem},
    {"GlobalShowIconOnGraph", &PrefTabTable::ShowPresErrors},
    {"InsertFunc", &PrefTabTable::InsertFunc},
    {"IndentText", &PrefTabTable::IndentText},
    {"HighlightOn", &PrefTabTable::HighlightOn},
    {"SearchMatchCase", &PrefTabTable::SearchMatchCase},
};

struct ColorKey {
    const char* key;
    uint32_t PrefTabTable::*field;
};

const ColorKey COLORS[] = {
    {"ColorSelect", &PrefTabTable::ColorSelect},
    {"ColorHighlight", &PrefTabTable::ColorHighlight},
    {"ColorBookmark", &PrefTabTable::ColorBookmark},
    {"ColorGraphBg", &PrefTabTable::ColorGraphBg},
};

// Integers read as "%i" does (optional sign, "0x" hexadecimal, leading-zero
// octal), but into 64 bits with defined overflow, so that a colour written
// "0x%08X" with its top bit set comes back whole.
bool ReadInt64(ZmLib::IniBase& ini, const char* section, const char* key, int64_t& out)
{
    const char* value = ini.GetValue(section, key);
    if (!value)
        return false;
    char* end = nullptr;
    long long number = strtoll(value, &end, 0);
    if (end == value)
        return false;
    out = number;
    return true;
}

// 32-bit values keep the low 32 bits, as they were written.
bool ReadInt(ZmLib::IniBase& ini, const char* section, const char* key, int32_t& out)
{
    int64_t number = 0;
    if (!ReadInt64(ini, section, key, number))
        return false;
    out = static_cast<int32_t>(static_cast<uint32_t>(number));
    return true;
}

void ReadFlag(ZmLib::IniBase& ini, const char* section, const char* key, uint8_t& flag)
{
    int64_t value = 0;
    if (ReadInt64(ini, section, key, value))
        flag = value != 0;
}

void WriteInt(ZmLib::IniBase& ini, const char* section, const char* key, int64_t value)
{
    ZmLib::Str<32> text;
    text.Format("%lld", static_cast<long long>(value));
    ini.SetValue(section, key, text.c_str());
}

void WriteHex(ZmLib::IniBase& ini, const char* section, const char* key, uint32_t value)
{
    ZmLib::Str<32> text;
    text.Format("0x%08X", value);
    ini.SetValue(section, key, text.c_str());
}

// A tree level names its field by key; no field (or a broken index) is an
// empty text, which reads back as -1.
const char* TreeLevelKey(int32_t field)
{
    return (field >= 0 && field < FIELD_Nums) ? FieldKey(field) : "";
}

void ReadTreeLevel(ZmLib::IniBase& ini, const char* key, int32_t& field)
{
    const char* value = ini.GetValue(SEC_KXTABLE, key);
    if (value)
        field = FieldIndexByKey(value);
}

// An ini value loses its leading and trailing blanks, and a line break
// would start a new line of the file. A phrase with a blank or control
// character at either end, or with a leading '"', is written between double
// quotes, which the ini reader takes verbatim to the line end; line breaks
// become blanks. (The ini layer itself keeps a ';' in a value.)
std::string EncodePhrase(const std::string& phrase)
{
    std::string text = phrase;
    for (char& ch : text)
        if (ch == '\r' || ch == '\n')
            ch = ' ';
    bool quote = !text.empty() &&
                 (text.front() == '"' || static_cast<unsigned char>(text.front()) <= ' ' ||
                  static_cast<unsigned char>(text.back()) <= ' ');
    return quote ? '"' + text + '"' : text;
}

std::string DecodePhrase(const char* value)
{
    std::string text = value;
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

const char PINNED_PREFIX[] = "Pinned";

void PinnedSection(ZmLib::StrBase& name, int32_t index)
{
    name.Format("%s%d", PINNED_PREFIX, index);
}

void LoadPinned(ZmLib::IniBase& ini, PrefTabTable& tab)
{
    ZmLib::Str<32> section;
    int32_t count = 0;
    for (; count < PINNED_MAX; ++count) {
        PinnedSection(section, count);
        const char* phrase = ini.GetValue(section.c_str(), "phrase");
        if (!phrase)
            break;
        PinnedPhrase& pin = tab.pinned[count];
        pin.phrase = DecodePhrase(phrase);
        pin.color = 0;
        pin.mode = 0;
        pin.matchCase = 0;
        ReadInt(ini, section.c_str(), "color", pin.color);
        ReadInt(ini, section.c_str(), "mode", pin.mode);
        ReadFlag(ini, section.c_str(), "case", pin.matchCase);
    }
    tab.pinnedCount = count;
    for (int32_t i = count; i < PINNED_MAX; ++i)
        tab.pinned[i] = PinnedPhrase();
}

void SavePinned(ZmLib::IniBase& ini, const PinnedPhrase* pinned, int32_t pinnedCount)
{
    int32_t count = pinned ? pinnedCount : 0;
    if (count < 0)
        count = 0;
    if (count > PINNED_MAX)
        count = PINNED_MAX;
    ZmLib::Str<32> section;
    for (int32_t i = 0; i < count; ++i) {
        PinnedSection(section, i);
        ini.SetValue(section.c_str(), "phrase", EncodePhrase(pinned[i].phrase).c_str());
        WriteHex(ini, section.c_str(), "color", static_cast<uint32_t>(pinned[i].color));
        WriteInt(ini, section.c_str(), "mode", pinned[i].mode);
        WriteInt(ini, section.c_str(), "case", pinned[i].matchCase ? 1 : 0);
    }
    // Phrases of an earlier, longer list would otherwise come back on load;
    // the old numbers need not be contiguous.
    ini.DeleteNumberedSections(PINNED_PREFIX, count);
}

} // namespace

void PrefTable::Load(bool prefFile, ZmLib::IniBase& ini, PrefTabTable& tab, PrefKxTable& kx)
{
    for (const FlagKey& flag : FLAGS_BEFORE_GRID)
        ReadFlag(ini, SEC_TAB, flag.key, tab.*flag.field);
    tab.Grid = ini.GetInt(SEC_TAB, "Grid", tab.Grid, 0, GRID_MAX);
    for (const FlagKey& flag : FLAGS_AFTER_GRID)
        ReadFlag(ini, SEC_TAB, flag.key, tab.*flag.field);
    for (const ColorKey& color : COLORS) {
        int64_t value = 0;
        if (ReadInt64(ini, SEC_TAB, color.key, value))
            tab.*color.field = static_cast<uint32_t>(value);
    }

    if (const ZmLib::IniSection* section = ini.FindSection(SEC_SEQUENCE)) {
        tab.ClearColumns();
        for (const ZmLib::IniEntry* entry = section->FirstEntry(); entry; entry = entry->NextEntry()) {
            if (entry->Value)
                continue;
            int32_t field = FieldIndexByKey(entry->Name);
            if (field >= 0 && !tab.AddColumn(field))
                break;
        }
    }

    for (int32_t i = 0; i < FIELD_Nums; ++i) {
        int32_t format = 0;
        if (!ReadInt(ini, SEC_FORMATS, FieldKey(i), format))
            continue;
        if (!FieldIsNumber(i))
            kx.formats[i] = NUMFMT_STR;
        else
            kx.formats[i] = static_cast<int32_t>(FieldValidNumFormat(static_cast<uint32_t>(format)));
    }

    for (int32_t i = 0; i < JUMP_Nums; ++i) {
        ReadFlag(ini, SEC_JUMPS, JumpTable[i].key, tab.jumps[i]);
        ReadFlag(ini, SEC_OUTLINE, JumpTable[i].key, tab.outline[i]);
    }

    ReadTreeLevel(ini, "TreeLevel1Field", kx.TreeLevel1Field);
    ReadTreeLevel(ini, "TreeLevel2Field", kx.TreeLevel2Field);
    ReadFlag(ini, SEC_KXTABLE, "NormalizeTime", kx.NormalizeTime);
    int64_t time0 = 0;
    if (ReadInt64(ini, SEC_KXTABLE, "Time0", time0))
        kx.Time0 = static_cast<uint64_t>(time0);
    ReadInt(ini, SEC_KXTABLE, "Time0Index", kx.Time0Index);
    if (prefFile)
        return;

    ReadInt(ini, SEC_KXTABLE, "CurPossition", kx.CurPossition);
    LoadPinned(ini, tab);
}

void PrefTable::Save(bool prefFile, ZmLib::IniBase& ini, const PrefTabTable& tab, const PrefKxTable& kx,
                     const PinnedPhrase* pinned, int32_t pinnedCount)
{
    for (const FlagKey& flag : FLAGS_BEFORE_GRID)
        WriteInt(ini, SEC_TAB, flag.key, tab.*flag.field);
    WriteInt(ini, SEC_TAB, "Grid", tab.Grid);
    for (const FlagKey& flag : FLAGS_AFTER_GRID)
        WriteInt(ini, SEC_TAB, flag.key, tab.*flag.field);
    for (const ColorKey& color : COLORS)
        WriteHex(ini, SEC_TAB, color.key, tab.*color.field);

    // Rewritten whole, and created even without columns, so that an empty
    // sequence does not load back as the defaults. Entries are added one by
    // one because the same field may stand in two columns.
    ini.DeleteSection(SEC_SEQUENCE);
    ZmLib::IniSection* sequence = ini.AddSection(SEC_SEQUENCE);
    int32_t columns = tab.columnCount < 0 ? 0 : (tab.columnCount > FIELD_Nums ? FIELD_Nums : tab.columnCount);
    for (int32_t i = 0; i < columns; ++i)
        ini.AddEntry(sequence, FieldKey(tab.columns[i]));

    for (int32_t i = 0; i < FIELD_Nums; ++i)
        WriteInt(ini, SEC_FORMATS, FieldKey(i), kx.formats[i]);

    for (int32_t i = 0; i < JUMP_Nums; ++i)
        WriteInt(ini, SEC_JUMPS, JumpTable[i].key, tab.jumps[i]);
    for (int32_t i = 0; i < JUMP_Nums; ++i)
        WriteInt(ini, SEC_OUTLINE, JumpTable[i].key, tab.outline[i]);

    ini.SetValue(SEC_KXTABLE, "TreeLevel1Field", TreeLevelKey(kx.TreeLevel1Field));
    ini.SetValue(SEC_KXTABLE, "TreeLevel2Field", TreeLevelKey(kx.TreeLevel2Field));
    WriteInt(ini, SEC_KXTABLE, "NormalizeTime", kx.NormalizeTime);
    WriteInt(ini, SEC_KXTABLE, "Time0", static_cast<int64_t>(kx.Time0));
    WriteInt(ini, SEC_KXTABLE, "Time0Index", kx.Time0Index);
    if (prefFile)
        return;

    WriteInt(ini, SEC_KXTABLE, "CurPossition", kx.CurPossition);
    SavePinned(ini, pinned, pinnedCount);
}
