#include <gtest/gtest.h>

#include <string>

#include "kxviewer/preftable.h"
#include "tests/utils/osal/osal_fixtures.h"
#include "utils/common/inifile.h"

namespace {

void FromText(ZmLib::IniBase& ini, std::string text)
{
    ini.ReadFromText(text.data(), text.size());
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

// Loads a text over the values passed in (fresh defaults unless given).
Loaded LoadText(const std::string& text, bool prefFile = false, Loaded loaded = Loaded())
{
    ZmLib::IniBase ini;
    FromText(ini, text);
    PrefTable::Load(prefFile, ini, loaded.tab, loaded.kx);
    return loaded;
}

std::string SaveText(bool prefFile, const PrefTabTable& tab, const PrefKxTable& kx = PrefKxTable(),
                     const PinnedPhrase* pinned = nullptr, int32_t pinnedCount = 0)
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

// A document's view block in which every value differs from its default.
const char NON_DEFAULT_TEXT[] =
    "[TabTable]\nPanelTree=0\nPanelHistory=0\nPanelInfo=0\nTimeRollback=0\nExportRowNumbColumn=0\nColorize=1\n"
    "ShowPresErrors=0\nGrid=1\nSyncToCurRow=0\nExpandNewHistoryItem=0\nGlobalShowIconOnGraph=0\nInsertFunc=0\n"
    "IndentText=0\nHighlightOn=0\nSearchMatchCase=0\nColorSelect=0x00123456\nColorHighlight=0x80000001\n"
    "ColorBookmark=0xFFFFFFFF\nColorGraphBg=0x00ABCDEF\n"
    "[Columns.Sequence]\nTEXT\nPID\nSTIME\nNUM2\nTEXT\n"
    "[Columns.Formats]\nSTIME=1\nIP=2\nPROT=3\nHOST=0\nFLAGS=5\nTIME=6\nSEQ=7\nNODE=0\nPID=9\nPNAME=0\nTID=11\n"
    "TNAME=0\nLEVEL=13\nKXNAME=0\nKXKEY=2\nFILE=0\nLINE=4\nFUNC=0\nTEXT=0\nSTR1=0\nNEST=8\nETIME=9\nCOUNT=10\n"
    "NUM1=11\nNUM2=12\n"
    "[Jumps]\nSELECTIONS=0\nBOOKMARKS=0\nHIGHLIGHT=0\nDATA_WARNINGS=0\nDATA_ERRORS=0\nVIEW_ERRORS=1\n"
    "[Outline]\nSELECTIONS=0\nBOOKMARKS=1\nHIGHLIGHT=0\nDATA_WARNINGS=1\nDATA_ERRORS=0\nVIEW_ERRORS=1\n"
    "[KxTable]\nTreeLevel1Field=PNAME\nTreeLevel2Field=\nNormalizeTime=0\nTime0=-81985529216486896\n"
    "Time0Index=123456\nCurPossition=4711\n"
    "[Pinned0]\nphrase=phrase 0\ncolor=0x00010202\nmode=0\ncase=0\n"
    "[Pinned1]\nphrase=phrase 1\ncolor=0x00020405\nmode=1\ncase=1\n"
    "[Pinned2]\nphrase=phrase 2\ncolor=0x00030608\nmode=2\ncase=0\n";

Loaded NonDefault()
{
    return LoadText(NON_DEFAULT_TEXT);
}

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
}

TEST(PrefTableRoundTrip, EveryValueInBothFormsAndUnreadableKeysKeepTheirValues)
{
    const Loaded p = NonDefault();
    const std::string document = NON_DEFAULT_TEXT;
    EXPECT_EQ(Saved(false, p), document);
    EXPECT_EQ(p.kx.Time0, 0xFEDCBA9876543210ull);
    EXPECT_EQ(p.tab.ColorHighlight, 0x80000001u);
    // The preference form stops after Time0Index and ignores a document's
    // current row and phrases.
    const std::string prefs = document.substr(0, document.find("CurPossition"));
    EXPECT_EQ(Saved(true, p), prefs);
    Loaded fromDocument = LoadText(document, true);
    EXPECT_EQ(fromDocument.kx.CurPossition, -1);
    EXPECT_EQ(fromDocument.tab.pinnedCount, 0);
    EXPECT_EQ(Saved(true, fromDocument), prefs);

    EXPECT_EQ(Saved(false, LoadText("")), Saved(false, Loaded()));
    Loaded kept = LoadText("[TabTable]\nGrid=abc\nColorSelect=\nPanelTree=x\n[KxTable]\nTime0=x\nCurPossition=\n",
                           false, p);
    EXPECT_EQ(Saved(true, kept), prefs);
    EXPECT_EQ(kept.kx.CurPossition, 4711);
}

TEST(PrefTableLoad, TabSectionReadsIntegers)
{
    // GlobalShowIconOnGraph, read after ShowPresErrors, decides.
    EXPECT_EQ(LoadText("[TabTable]\nShowPresErrors=1\nGlobalShowIconOnGraph=0\n").tab.ShowPresErrors, 0);
    EXPECT_EQ(LoadText("[TabTable]\nGlobalShowIconOnGraph=1\nShowPresErrors=0\n").tab.ShowPresErrors, 1);

    Loaded p = LoadText("[TabTable]\nColorize=7\nPanelTree=0\nHighlightOn=0x100000000\n"
                        "ColorSelect=255\nColorHighlight=0xFFFFFFFF\nColorBookmark=-1\n"
                        "[Jumps]\nVIEW_ERRORS=2\n");
    EXPECT_EQ(p.tab.Colorize, 1);
    EXPECT_EQ(p.tab.PanelTree, 0);
    EXPECT_EQ(p.tab.HighlightOn, 1);
    EXPECT_EQ(p.tab.ColorSelect, 255u);
    EXPECT_EQ(p.tab.ColorHighlight, 0xFFFFFFFFu);
    EXPECT_EQ(p.tab.ColorBookmark, 0xFFFFFFFFu);
    EXPECT_EQ(p.tab.jumps[JUMP_VIEW_ERRORS], 1);

    kxtest::KxCapture capture;
    EXPECT_EQ(LoadText("[TabTable]\nGrid=4\n").tab.Grid, 4);
    EXPECT_EQ(LoadText("[TabTable]\nGrid=0x1\n").tab.Grid, 1);
    EXPECT_TRUE(capture.Empty());
    EXPECT_EQ(LoadText("[TabTable]\nGrid=5\n").tab.Grid, 3);
    EXPECT_EQ(LoadText("[TabTable]\nGrid=-1\n").tab.Grid, 3);
    EXPECT_EQ(capture.Reports().size(), 2u);
}

TEST(PrefTableColumns, SequenceSkipsUnknownNamesStopsAtTheArrayAndIsRewrittenWhole)
{
    Loaded p = LoadText("[Columns.Sequence]\nTEXT\nBOGUS\ntime\n; TIME\nNone\nPID=1\nSTIME\n");
    ASSERT_EQ(p.tab.columnCount, 2);
    EXPECT_EQ(p.tab.columns[0], FIELD_TEXT);
    EXPECT_EQ(p.tab.columns[1], FIELD_STIME);

    std::string many = "[Columns.Sequence]\n";
    for (int i = 0; i < 3 * FIELD_Nums; ++i)
        many += std::string(FieldKey(i % FIELD_Nums)) + "\n";
    EXPECT_EQ(LoadText(many).tab.columnCount, FIELD_Nums);

    // An empty sequence and a field in two columns survive.
    PrefTabTable tab;
    tab.ClearColumns();
    EXPECT_EQ(LoadText(SaveText(false, tab)).tab.columnCount, 0);
    for (int32_t field : {FIELD_TIME, FIELD_TEXT, FIELD_TIME})
        tab.AddColumn(field);
    p = LoadText(SaveText(false, tab));
    ASSERT_EQ(p.tab.columnCount, 3);
    EXPECT_EQ(p.tab.columns[2], FIELD_TIME);

    ZmLib::IniBase ini;
    FromText(ini, "[Columns.Sequence]\nPID\nTID\n[Other]\nkey=1\n");
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

TEST(PrefTableLoad, FormatsTreeLevelsAndTimeBase)
{
    Loaded p = LoadText("[Columns.Formats]\nTEXT=5\nPID=20\nSEQ=13\nNUM1=-3\nKXKEY=3\nNUM2=abc\n"
                        "[KxTable]\nTreeLevel1Field=PNAME\nTreeLevel2Field=kxname\n"
                        "Time0=0x10\nTime0Index=012\nNormalizeTime=0\nCurPossition=-5\n");
    // String fields stay string; bad codes become integer.
    EXPECT_EQ(p.kx.formats[FIELD_TEXT], 0);
    EXPECT_EQ(p.kx.formats[FIELD_PID], 1);
    EXPECT_EQ(p.kx.formats[FIELD_SEQ], 13);
    EXPECT_EQ(p.kx.formats[FIELD_NUM1], 1);
    EXPECT_EQ(p.kx.formats[FIELD_KXKEY], 3);
    EXPECT_EQ(p.kx.formats[FIELD_NUM2], 1);
    EXPECT_EQ(p.kx.formats[FIELD_ETIME], 13);
    // Tree levels name their field by its exact key.
    EXPECT_EQ(p.kx.TreeLevel1Field, FIELD_PNAME);
    EXPECT_EQ(p.kx.TreeLevel2Field, -1);
    EXPECT_EQ(p.kx.Time0, 16u);
    EXPECT_EQ(p.kx.Time0Index, 10);
    EXPECT_EQ(p.kx.NormalizeTime, 0);
    EXPECT_EQ(p.kx.CurPossition, -5);
    EXPECT_EQ(LoadText("[KxTable]\nTime0=-1\n").kx.Time0, 0xFFFFFFFFFFFFFFFFull);
    EXPECT_EQ(LoadText("[KxTable]\nTreeLevel1Field=\n").kx.TreeLevel1Field, -1);

    ZmLib::IniBase ini;
    PrefKxTable kx;
    kx.TreeLevel1Field = -1;
    kx.TreeLevel2Field = FIELD_Nums;
    PrefTable::Save(true, ini, PrefTabTable(), kx, nullptr, 0);
    EXPECT_STREQ(ini.GetValue("KxTable", "TreeLevel1Field"), "");
    EXPECT_STREQ(ini.GetValue("KxTable", "TreeLevel2Field"), "");
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

    // Line breaks cannot inject lines.
    PinnedPhrase pin{"one\n[Pinned1]\nphrase=two", 0, 0, 0};
    back = LoadText(SaveText(false, PrefTabTable(), PrefKxTable(), &pin, 1));
    ASSERT_EQ(back.tab.pinnedCount, 1);
    EXPECT_EQ(back.tab.pinned[0].phrase, "one [Pinned1] phrase=two");
}

TEST(PrefTablePinned, LoadStopsAtTenAGapOrAMissingPhraseAndReplacesTheTabsPhrases)
{
    std::string eleven;
    for (int i = 0; i <= PINNED_MAX; ++i)
        eleven += "[Pinned" + std::to_string(i) + "]\nphrase=p" + std::to_string(i) + "\n";
    EXPECT_EQ(LoadText(eleven).tab.pinnedCount, PINNED_MAX);
    EXPECT_EQ(LoadText("[Pinned0]\nphrase=a\n[Pinned1]\ncolor=5\n[Pinned2]\nphrase=c\n").tab.pinnedCount, 1);

    Loaded p = LoadText("[Pinned0]\nphrase=only\ncase=1\n[Pinned2]\nphrase=third\n", false, NonDefault());
    ASSERT_EQ(p.tab.pinnedCount, 1);
    EXPECT_EQ(p.tab.pinned[0].phrase, "only");
    EXPECT_EQ(p.tab.pinned[0].matchCase, 1);
    EXPECT_EQ(p.tab.pinned[0].color, 0);
    EXPECT_EQ(p.tab.pinned[0].mode, 0);
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

    // Old phrases after a gap go too; look-alike names stay.
    ZmLib::IniBase gaps;
    FromText(gaps, "[Pinned0]\nphrase=a\n[Pinned2]\nphrase=c\n[Pinned12]\nphrase=m\n[Pinned99999999999]\nx=0\n"
                   "[Pinned]\nx=1\n[Pinned3x]\nx=2\n[pinned4]\nx=3\n");
    PrefTable::Save(false, gaps, p.tab, p.kx, p.tab.pinned, 1);
    EXPECT_NE(gaps.FindSection("Pinned0"), nullptr);
    for (const char* gone : {"Pinned1", "Pinned2", "Pinned12", "Pinned99999999999"})
        EXPECT_EQ(gaps.FindSection(gone), nullptr) << gone;
    for (const char* kept : {"Pinned", "Pinned3x", "pinned4"})
        EXPECT_NE(gaps.FindSection(kept), nullptr) << kept;
}
