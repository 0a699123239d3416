#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kxviewer/preftable.h"
#include "utils/common/inifile.h"
#include "utils/kx/kx.h"

namespace {

void FromText(ZmLib::IniBase& ini, const std::string& text)
{
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    ini.ReadFromText(buffer.data(), text.size());
}

std::string ToText(ZmLib::IniBase& ini)
{
    ZmLib::TextBuf buffer;
    EXPECT_TRUE(ini.WriteToBuf(buffer));
    return buffer.Buffer ? buffer.Buffer->c_str() : "";
}

struct Loaded {
    PrefTabTable tab;
    PrefKxTable kx;
};

// Loads a text over fresh defaults.
Loaded LoadText(const std::string& text, bool prefFile = false)
{
    ZmLib::IniBase ini;
    FromText(ini, text);
    Loaded loaded;
    PrefTable::Load(prefFile, ini, loaded.tab, loaded.kx);
    return loaded;
}

std::string SaveText(bool prefFile, const PrefTabTable& tab, const PrefKxTable& kx, const PinnedPhrase* pinned,
                     int32_t pinnedCount)
{
    ZmLib::IniBase ini;
    PrefTable::Save(prefFile, ini, tab, kx, pinned, pinnedCount);
    return ToText(ini);
}

// Two settings are equal when they save to the same text (the saved form
// itself is pinned down byte for byte below).
std::string Saved(bool prefFile, const Loaded& prefs)
{
    return SaveText(prefFile, prefs.tab, prefs.kx, prefs.tab.pinned, prefs.tab.pinnedCount);
}

// Every value differs from its default.
Loaded NonDefault()
{
    Loaded p;
    PrefTabTable& tab = p.tab;
    tab.Grid = 1;
    for (uint8_t* flag : {&tab.Colorize, &tab.ShowPresErrors, &tab.InsertFunc, &tab.IndentText, &tab.HighlightOn,
                          &tab.TimeRollback, &tab.ExportRowNumbColumn, &tab.PanelInfo, &tab.PanelTree,
                          &tab.PanelHistory, &tab.SyncToCurRow, &tab.ExpandNewHistoryItem, &tab.SearchMatchCase})
        *flag = !*flag;
    tab.ColorSelect = 0x123456;
    tab.ColorBookmark = 0xFFFFFFFF;
    tab.ColorHighlight = 0x80000001;
    tab.ColorGraphBg = 0xABCDEF;
    tab.ClearColumns();
    for (int32_t field : {FIELD_TEXT, FIELD_PID, FIELD_STIME, FIELD_NUM2, FIELD_TEXT})
        tab.AddColumn(field);
    for (int i = 0; i < JUMP_Nums; ++i) {
        tab.jumps[i] = !JumpTable[i].defaultOn;
        tab.outline[i] = i % 2;
    }
    p.kx.CurPossition = 4711;
    p.kx.NormalizeTime = 0;
    p.kx.Time0 = 0xFEDCBA9876543210ull;
    p.kx.Time0Index = 123456;
    p.kx.TreeLevel1Field = FIELD_PNAME;
    p.kx.TreeLevel2Field = -1;
    for (int i = 0; i < FIELD_Nums; ++i)
        p.kx.formats[i] = FieldIsNumber(i) ? 1 + (i % 13) : 0;
    tab.pinnedCount = 3;
    for (int i = 0; i < 3; ++i)
        tab.pinned[i] = PinnedPhrase{"phrase " + std::to_string(i), 0x010203 * (i + 1) - 1, i, uint8_t(i % 2)};
    return p;
}

// Keeps the texts of the reports on the library's "SYS" channel.
std::vector<std::string> sysTexts;

class SysCapture {
public:
    SysCapture() : output_(ZmLib::KxSys.output), route_(ZmLib::KxSys.route)
    {
        sysTexts.clear();
        ZmLib::KxSys.route = &ZmLib::KxSys;
        ZmLib::KxSys.output = [](ZmLib::KXEVENT* event, ZmLib::KX*) {
            sysTexts.emplace_back(event->text ? event->text : "");
            return 0;
        };
    }
    ~SysCapture()
    {
        ZmLib::KxSys.output = output_;
        ZmLib::KxSys.route = route_;
    }

private:
    ZmLib::KxOutputFn output_;
    ZmLib::KX* route_;
};

const char DEFAULT_PREF_TEXT[] =
    "[TabTable]\nPanelTree=1\nPanelHistory=1\nPanelInfo=1\nTimeRollback=1\nExportRowNumbColumn=1\nColorize=0\n"
    "ShowPresErrors=1\nGrid=3\nSyncToCurRow=1\nExpandNewHistoryItem=1\nGlobalShowIconOnGraph=1\nInsertFunc=1\n"
    "IndentText=1\nHighlightOn=1\nSearchMatchCase=1\nColorSelect=0x00FFFF00\nColorHighlight=0x0000B4B4\n"
    "ColorBookmark=0x00FF00FF\nColorGraphBg=0x00000000\n"
    "[Columns.Sequence]\nTIME\nSEQ\nPNAME\nTNAME\nLEVEL\nKXNAME\nTEXT\n"
    "[Columns.Formats]\nSTIME=6\nIP=1\nPROT=1\nHOST=0\nFLAGS=2\nTIME=7\nSEQ=1\nNODE=0\nPID=1\nPNAME=0\nTID=1\n"
    "TNAME=0\nLEVEL=1\nKXNAME=0\nKXKEY=2\nFILE=0\nLINE=1\nFUNC=0\nTEXT=0\nSTR1=0\nNEST=1\nETIME=13\nCOUNT=1\n"
    "NUM1=1\nNUM2=1\n"
    "[Jumps]\nSELECTIONS=1\nBOOKMARKS=1\nHIGHLIGHT=1\nDATA_WARNINGS=1\nDATA_ERRORS=1\nVIEW_ERRORS=0\n"
    "[Outline]\nSELECTIONS=1\nBOOKMARKS=1\nHIGHLIGHT=1\nDATA_WARNINGS=1\nDATA_ERRORS=1\nVIEW_ERRORS=0\n"
    "[KxTable]\nTreeLevel1Field=TNAME\nTreeLevel2Field=KXNAME\nNormalizeTime=1\nTime0=0\nTime0Index=-1\n";

} // namespace

TEST(PrefTableSave, TextOfBothForms)
{
    PinnedPhrase pin{"needle", int32_t(0xFF000000), 3, 1};
    PrefKxTable kx;
    kx.CurPossition = 42;
    EXPECT_EQ(SaveText(true, PrefTabTable(), kx, &pin, 1), DEFAULT_PREF_TEXT);
    EXPECT_EQ(SaveText(false, PrefTabTable(), kx, &pin, 1),
              std::string(DEFAULT_PREF_TEXT) + "CurPossition=42\n[Pinned0]\nphrase=needle\ncolor=0xFF000000\n"
                                               "mode=3\ncase=1\n");
    EXPECT_STREQ(JumpTable[JUMP_HIGHLIGHT].jumpTitle, "Jump on Highlighted Substrings");
    EXPECT_STREQ(JumpTable[JUMP_VIEW_ERRORS].outlineTitle, "Presentation Errors");
}

TEST(PrefTableLoad, EmptyOrUnreadableKeysKeepTheValuesPassedIn)
{
    EXPECT_EQ(Saved(false, LoadText("")), Saved(false, Loaded()));
    Loaded p = NonDefault();
    std::string before = Saved(true, p);
    ZmLib::IniBase ini;
    FromText(ini, "[TabTable]\nGrid=abc\nColorSelect=\nPanelTree=x\n[KxTable]\nTime0=x\nCurPossition=\n");
    PrefTable::Load(false, ini, p.tab, p.kx);
    EXPECT_EQ(Saved(true, p), before);
    EXPECT_EQ(p.kx.CurPossition, 4711);
}

TEST(PrefTableRoundTrip, DocumentFormKeepsEveryValue)
{
    Loaded p = NonDefault();
    std::string text = Saved(false, p);
    EXPECT_EQ(Saved(false, LoadText(text)), text);
}

TEST(PrefTableRoundTrip, PreferenceFormStopsAfterTime0Index)
{
    Loaded p = NonDefault();
    std::string text = Saved(true, p);
    EXPECT_EQ(text.find("CurPossition"), std::string::npos);
    EXPECT_EQ(text.find("Pinned"), std::string::npos);
    EXPECT_EQ(Saved(true, LoadText(text, true)), text);

    // Reading a document's text in the preference form ignores its current
    // row and phrases.
    Loaded prefs = LoadText(Saved(false, p), true);
    EXPECT_EQ(prefs.kx.CurPossition, -1);
    EXPECT_EQ(prefs.tab.pinnedCount, 0);
    EXPECT_EQ(prefs.kx.Time0Index, 123456);
}

TEST(PrefTableTabSection, GlobalShowIconOnGraphDecides)
{
    EXPECT_EQ(LoadText("[TabTable]\nShowPresErrors=1\nGlobalShowIconOnGraph=0\n").tab.ShowPresErrors, 0);
    EXPECT_EQ(LoadText("[TabTable]\nGlobalShowIconOnGraph=1\nShowPresErrors=0\n").tab.ShowPresErrors, 1);
    EXPECT_EQ(LoadText("[TabTable]\nShowPresErrors=0\n").tab.ShowPresErrors, 0);
}

TEST(PrefTableTabSection, FlagsAndColoursReadAsIntegers)
{
    Loaded p = LoadText("[TabTable]\nColorize=7\nPanelTree=0\nInsertFunc=-1\nHighlightOn=0x100000000\n"
                        "ColorSelect=255\nColorHighlight=0xFFFFFFFF\nColorBookmark=-1\n");
    EXPECT_EQ(p.tab.Colorize, 1);
    EXPECT_EQ(p.tab.PanelTree, 0);
    EXPECT_EQ(p.tab.InsertFunc, 1);
    EXPECT_EQ(p.tab.HighlightOn, 1);
    EXPECT_EQ(p.tab.ColorSelect, 255u);
    EXPECT_EQ(p.tab.ColorHighlight, 0xFFFFFFFFu);
    EXPECT_EQ(p.tab.ColorBookmark, 0xFFFFFFFFu);
}

TEST(PrefTableTabSection, GridOutsideRangeIsNotTaken)
{
    SysCapture capture;
    EXPECT_EQ(LoadText("[TabTable]\nGrid=4\n").tab.Grid, 4);
    EXPECT_EQ(LoadText("[TabTable]\nGrid=0x1\n").tab.Grid, 1);
    EXPECT_TRUE(sysTexts.empty());
    EXPECT_EQ(LoadText("[TabTable]\nGrid=5\n").tab.Grid, 3);
    EXPECT_EQ(LoadText("[TabTable]\nGrid=-1\n").tab.Grid, 3);
    ASSERT_EQ(sysTexts.size(), 2u);
    EXPECT_EQ(sysTexts[0], "IniBase::GetInt: value 5 is out of range [0..4], taking the default 3");
}

TEST(PrefTableColumns, LinesNamingNoFieldAreSkipped)
{
    Loaded p = LoadText("[Columns.Sequence]\nTEXT\nBOGUS\ntime\n; TIME\nNone\nPID=1\nSTIME\n");
    ASSERT_EQ(p.tab.columnCount, 2);
    EXPECT_EQ(p.tab.columns[0], FIELD_TEXT);
    EXPECT_EQ(p.tab.columns[1], FIELD_STIME);
    EXPECT_EQ(p.tab.columns[2], -1);
}

TEST(PrefTableColumns, MoreLinesThanFieldsStopAtTheArray)
{
    std::string text = "[Columns.Sequence]\n";
    for (int i = 0; i < 3 * FIELD_Nums; ++i)
        text += std::string(FieldKey(i % FIELD_Nums)) + "\n";
    Loaded p = LoadText(text);
    ASSERT_EQ(p.tab.columnCount, FIELD_Nums);
    EXPECT_EQ(p.tab.columns[FIELD_Nums - 1], FIELD_Nums - 1);
}

TEST(PrefTableColumns, EmptyAndRepeatedSequencesSurvive)
{
    PrefTabTable tab;
    tab.ClearColumns();
    EXPECT_EQ(LoadText(SaveText(false, tab, PrefKxTable(), nullptr, 0)).tab.columnCount, 0);
    for (int32_t field : {FIELD_TIME, FIELD_TEXT, FIELD_TIME})
        tab.AddColumn(field);
    Loaded p = LoadText(SaveText(false, tab, PrefKxTable(), nullptr, 0));
    ASSERT_EQ(p.tab.columnCount, 3);
    EXPECT_EQ(p.tab.columns[2], FIELD_TIME);
}

TEST(PrefTableColumns, SaveReplacesTheOldSequence)
{
    ZmLib::IniBase ini;
    FromText(ini, "[Columns.Sequence]\nPID\nTID\n[Other]\nkey=1\n");
    PrefTabTable tab;
    tab.ClearColumns();
    for (int32_t field : {int32_t(FIELD_LINE), -1, int32_t(FIELD_Nums)})
        tab.AddColumn(field);
    PrefTable::Save(true, ini, tab, PrefKxTable(), nullptr, 0);
    std::string text = ToText(ini);
    EXPECT_EQ(text.find("PID\n"), std::string::npos);
    EXPECT_NE(text.find("[Columns.Sequence]\nLINE\nNone\nINCORRECT VALUE\n"), std::string::npos) << text;
    EXPECT_STREQ(ini.GetValue("Other", "key"), "1");
    EXPECT_EQ(LoadText(text).tab.columnCount, 1);
}

TEST(PrefTableFormats, StringFieldsStayStringAndBadCodesBecomeInteger)
{
    Loaded p = LoadText("[Columns.Formats]\nTEXT=5\nPID=20\nSEQ=13\nLINE=0\nNUM1=-3\nKXKEY=3\nNUM2=abc\n");
    EXPECT_EQ(p.kx.formats[FIELD_TEXT], 0);
    EXPECT_EQ(p.kx.formats[FIELD_PID], 1);
    EXPECT_EQ(p.kx.formats[FIELD_SEQ], 13);
    EXPECT_EQ(p.kx.formats[FIELD_LINE], 1);
    EXPECT_EQ(p.kx.formats[FIELD_NUM1], 1);
    EXPECT_EQ(p.kx.formats[FIELD_KXKEY], 3);
    EXPECT_EQ(p.kx.formats[FIELD_NUM2], 1);  // unreadable: kept
    EXPECT_EQ(p.kx.formats[FIELD_ETIME], 13); // missing: kept
}

TEST(PrefTableJumps, FlagsPerRow)
{
    Loaded p = LoadText("[Jumps]\nSELECTIONS=0\nVIEW_ERRORS=2\n[Outline]\nBOOKMARKS=0\n");
    EXPECT_EQ(p.tab.jumps[JUMP_SELECTIONS], 0);
    EXPECT_EQ(p.tab.jumps[JUMP_VIEW_ERRORS], 1);
    EXPECT_EQ(p.tab.outline[JUMP_SELECTIONS], 1);
    EXPECT_EQ(p.tab.outline[JUMP_BOOKMARKS], 0);
    EXPECT_EQ(p.tab.outline[JUMP_VIEW_ERRORS], 0);
}

TEST(PrefTableKxSection, TreeLevelsByExactKey)
{
    Loaded p = LoadText("[KxTable]\nTreeLevel1Field=PNAME\nTreeLevel2Field=kxname\n");
    EXPECT_EQ(p.kx.TreeLevel1Field, FIELD_PNAME);
    EXPECT_EQ(p.kx.TreeLevel2Field, -1);
    p = LoadText("[KxTable]\nTreeLevel1Field=\n");
    EXPECT_EQ(p.kx.TreeLevel1Field, -1);
    EXPECT_EQ(p.kx.TreeLevel2Field, FIELD_KXNAME);

    ZmLib::IniBase ini;
    PrefKxTable kx;
    kx.TreeLevel1Field = -1;
    kx.TreeLevel2Field = FIELD_Nums;
    PrefTable::Save(true, ini, PrefTabTable(), kx, nullptr, 0);
    EXPECT_STREQ(ini.GetValue("KxTable", "TreeLevel1Field"), "");
    EXPECT_STREQ(ini.GetValue("KxTable", "TreeLevel2Field"), "");
}

TEST(PrefTableKxSection, TimeBaseAndCurrentRow)
{
    Loaded p = LoadText("[KxTable]\nTime0=0x10\nTime0Index=012\nNormalizeTime=0\nCurPossition=-5\n");
    EXPECT_EQ(p.kx.Time0, 16u);
    EXPECT_EQ(p.kx.Time0Index, 10);
    EXPECT_EQ(p.kx.NormalizeTime, 0);
    EXPECT_EQ(p.kx.CurPossition, -5);
    EXPECT_EQ(LoadText("[KxTable]\nTime0=-1\n").kx.Time0, 0xFFFFFFFFFFFFFFFFull);
}

TEST(PrefTablePinned, TenPhrasesWithSemicolonsQuotesAndBlanksSurvive)
{
    const char* texts[PINNED_MAX] = {"a;b", "\"quoted\"", "say \"hi\"; bye", " pad;ded ", ";",
                                     "x = y ; z", "\"", "back\\;slash", "tail\"", "trailing\t"};
    Loaded p;
    p.tab.pinnedCount = PINNED_MAX;
    for (int i = 0; i < PINNED_MAX; ++i)
        p.tab.pinned[i] = PinnedPhrase{texts[i], 0x00FF00 + i, i * 3, uint8_t(i & 1)};
    std::string text = Saved(false, p);
    Loaded back = LoadText(text);
    ASSERT_EQ(back.tab.pinnedCount, PINNED_MAX) << text;
    for (int i = 0; i < PINNED_MAX; ++i)
        EXPECT_EQ(back.tab.pinned[i].phrase, texts[i]) << text;
    EXPECT_EQ(Saved(false, back), text);
}

TEST(PrefTablePinned, LineBreaksCannotInjectLines)
{
    PinnedPhrase pin{"one\n[Pinned1]\nphrase=two", 0, 0, 0};
    Loaded p = LoadText(SaveText(false, PrefTabTable(), PrefKxTable(), &pin, 1));
    ASSERT_EQ(p.tab.pinnedCount, 1);
    EXPECT_EQ(p.tab.pinned[0].phrase, "one [Pinned1] phrase=two");
}

TEST(PrefTablePinned, ReadingStopsAtTenAGapOrAMissingPhrase)
{
    std::string text;
    for (int i = 0; i <= PINNED_MAX; ++i)
        text += "[Pinned" + std::to_string(i) + "]\nphrase=p" + std::to_string(i) + "\n";
    EXPECT_EQ(LoadText(text).tab.pinnedCount, PINNED_MAX);

    Loaded p = LoadText("[Pinned0]\nphrase=first\n[Pinned2]\nphrase=third\n");
    ASSERT_EQ(p.tab.pinnedCount, 1);
    EXPECT_EQ(p.tab.pinned[0].color, 0);
    EXPECT_EQ(p.tab.pinned[0].mode, 0);
    EXPECT_EQ(p.tab.pinned[0].matchCase, 0);
    EXPECT_EQ(LoadText("[Pinned0]\nphrase=a\n[Pinned1]\ncolor=5\n[Pinned2]\nphrase=c\n").tab.pinnedCount, 1);
}

TEST(PrefTablePinned, LoadReplacesTheTabsPhrases)
{
    Loaded p = NonDefault();
    ZmLib::IniBase ini;
    FromText(ini, "[Pinned0]\nphrase=only\ncase=1\n");
    PrefTable::Load(false, ini, p.tab, p.kx);
    ASSERT_EQ(p.tab.pinnedCount, 1);
    EXPECT_EQ(p.tab.pinned[0].phrase, "only");
    EXPECT_EQ(p.tab.pinned[0].matchCase, 1);
    EXPECT_EQ(p.tab.pinned[0].color, 0);
    EXPECT_TRUE(p.tab.pinned[1].phrase.empty());
}

TEST(PrefTablePinned, SaveRemovesOldPhrasesAndKeepsToTen)
{
    Loaded p = NonDefault();
    PinnedPhrase many[PINNED_MAX + 3];
    ZmLib::IniBase ini;
    PrefTable::Save(false, ini, p.tab, p.kx, many, PINNED_MAX + 3);
    EXPECT_NE(ini.FindSection("Pinned9"), nullptr);
    EXPECT_EQ(ini.FindSection("Pinned10"), nullptr);

    PrefTable::Save(false, ini, p.tab, p.kx, p.tab.pinned, 2);
    EXPECT_EQ(ini.FindSection("Pinned2"), nullptr);
    EXPECT_EQ(ini.FindSection("Pinned9"), nullptr);
    EXPECT_EQ(LoadText(ToText(ini)).tab.pinnedCount, 2);

    PrefTable::Save(false, ini, p.tab, p.kx, p.tab.pinned, -2);
    EXPECT_EQ(ini.FindSection("Pinned0"), nullptr);
}
