// Records in memory: field texts, strings, the analysis of enter/leave
// sequences, name announcements and the auxiliary tree.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kxlib/kxauxtree.h"
#include "kxlib/kxdrecord.h"
#include "table_fixtures.h"

namespace {

KxdRecord* Add(KxTable& table, const RawRecord& raw) { return table.AppendRecord(raw.Build()); }

RawRecord Call(uint32_t flags, const char* func, uint64_t time, uint64_t tid = 7)
{
    RawRecord raw;
    raw.flags = flags;
    raw.func = func;
    raw.time = time;
    raw.tid = tid;
    return raw;
}

constexpr uint32_t ENTER = KXFLAGS_FUNC_ENTER;
constexpr uint32_t LEAVE = KXFLAGS_FUNC_LEAVE;

// Values at the edges of each storage width, among them the ones with the
// longest text in each format: the latest instant (year 294247), the
// earliest duration, the longest negative duration with days and the
// decimals of INT64_MIN.
const std::vector<uint64_t> Wide = {
    uint64_t(INT64_MIN), uint64_t(INT64_MAX), uint64_t(-1), 0,
    uint64_t(-(106751990LL * 86400000000LL + 86399999999LL)), 315359999999999ULL, 315360000000000ULL,
    uint64_t(-1000LL), 0xFFFFFFFFULL};
const std::vector<uint64_t> U32 = {0xFFFFFFFFULL, 0, 0x80000000ULL, 999999999ULL};
const std::vector<uint64_t> Level = {0x80, 0xFF, 0, 0x7F};
const std::vector<uint64_t> U16 = {0xFFFF, 0, 0x8000};
const std::vector<uint64_t> U8 = {0xFF, 0};

const std::vector<std::pair<int, const std::vector<uint64_t>*>> NumberFields = {
    {FIELD_STIME, &Wide}, {FIELD_IP, &U32},     {FIELD_PROT, &U8},   {FIELD_FLAGS, &U32},
    {FIELD_TIME, &Wide},  {FIELD_SEQ, &U32},    {FIELD_PID, &Wide},  {FIELD_TID, &Wide},
    {FIELD_LEVEL, &Level}, {FIELD_KXKEY, &Wide}, {FIELD_LINE, &U32}, {FIELD_NEST, &U16},
    {FIELD_ETIME, &U32},  {FIELD_COUNT, &U16},  {FIELD_NUM1, &Wide}, {FIELD_NUM2, &Wide},
};

// Every number field's text is its whole rendering in its format, a TIME
// that is absolute 0 under timeBase (no time) that of 0; mismatches go to
// out.
void CheckNumbers(const KxdMsg& r, const int32_t formats[FIELD_Nums], const char* where,
                  std::vector<std::string>& out, uint64_t timeBase = 0)
{
    for (const auto& entry : NumberFields) {
        const int field = entry.first;
        const bool noTime = field == FIELD_TIME && r.prot.msg.TIME + timeBase == 0;
        char expected[64];
        fieldsConvertNum2Str(noTime ? 0 : r.Int64(field), expected, uint32_t(formats[field]));
        if (strcmp(r.Text(field), expected) != 0)
            out.push_back(std::string(where) + ": field " + FieldKey(field) + " format " +
                          std::to_string(formats[field]) + " shows '" + r.Text(field) + "', not '" + expected + "'");
    }
}

// The raw record with every number field at its edge value number v.
ZmLib::KxdProt EdgeRecord(size_t v)
{
    RawRecord raw;
    raw.func = "f";
    ZmLib::KxdProt prot = raw.Build();
    for (const auto& [field, values] : NumberFields)
        prot.SetIntValue(field, (*values)[v % values->size()]);
    return prot;
}

} // namespace

TEST(RecordTexts, TableFormatChangesAndTimeShiftsKeepNumbersWhole)
{
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    for (size_t v = 0; v < Wide.size(); ++v)
        table->AppendRecord(EdgeRecord(v));
    std::vector<std::string> bad;
    for (uint32_t format = NUMFMT_INT; format < NUMFMT_Nums; ++format) {
        for (int32_t& f : table->Prefs().formats)
            f = int32_t(format);
        table->ReformatTableData();
        for (int32_t row = 0; row < table->RecordCount(); ++row)
            CheckNumbers(*table->GetRecord(row), table->Prefs().formats, "reformatted", bad);
        ASSERT_TRUE(table->NormalizeTimeOn(int32_t(format) % table->RecordCount()));
        for (int32_t row = 0; row < table->RecordCount(); ++row)
            CheckNumbers(*table->GetRecord(row), table->Prefs().formats, "time shifted", bad, table->AbsoluteBase());
        table->NormalizeTimeOff();
    }
    EXPECT_TRUE(bad.empty()) << bad.size() << " wrong texts, the first: " << bad.front();
}

TEST(RecordStrings, AppendStringAndCopy)
{
    KxdRecord a, b;
    a.Reset();
    RawRecord raw;
    raw.text = "abc";
    a.prot = raw.Build();
    ASSERT_EQ(a.prot.msg.opt_len, 5);
    char* s = a.AppendString(ZmLib::KxdProt::SLOT_STR1, "xyz");
    EXPECT_EQ(s, a.prot.msg.strings + 5);
    EXPECT_EQ(a.prot.msg.offsets[ZmLib::KxdProt::SLOT_STR1], 5);
    EXPECT_EQ(a.prot.msg.opt_len, 9);

    // Full area: the empty string at byte 0, nothing changes.
    a.prot.msg.opt_len = 383;
    EXPECT_EQ(a.AppendString(ZmLib::KxdProt::SLOT_STR1, "q"), a.prot.msg.strings);
    EXPECT_EQ(a.prot.msg.offsets[ZmLib::KxdProt::SLOT_STR1], 5);
    // Hostile opt_len from a file.
    a.prot.msg.opt_len = 60000;
    EXPECT_STREQ(a.AppendString(ZmLib::KxdProt::SLOT_STR1, "q"), "");
    // Room for two bytes: cut and terminated inside the area.
    a.prot.msg.opt_len = 381;
    EXPECT_STREQ(a.AppendString(ZmLib::KxdProt::SLOT_HOST, "long"), "l");
    EXPECT_EQ(a.prot.msg.opt_len, 383);
    EXPECT_EQ(a.prot.msg.strings[383], 0);

    // A copy's texts are its own.
    a.prot.msg.opt_len = 9;
    int32_t formats[FIELD_Nums];
    for (int32_t& f : formats)
        f = NUMFMT_INT;
    a.ConvertNum2Str(true, formats);
    KxdMsg::Copy(&b, &a);
    EXPECT_STREQ(b.Text(FIELD_TEXT), "abc");
    EXPECT_EQ(b.Text(FIELD_TEXT), b.prot.msg.strings + 1);
    EXPECT_EQ(b.Text(FIELD_TID), b.NumsBuf + (a.Text(FIELD_TID) - a.NumsBuf));
    EXPECT_EQ(b.NumsBufFreePos, a.NumsBufFreePos);

    // No string area at all: byte 0 is the empty string of every empty slot.
    a.prot.msg.opt_len = 0;
    EXPECT_EQ(a.AppendString(ZmLib::KxdProt::SLOT_STR1, "q"), a.prot.msg.strings + 1);
    EXPECT_EQ(a.prot.msg.strings[0], 0);
    EXPECT_EQ(a.prot.msg.opt_len, 3);
}

TEST(RecordStrings, NamesAddedToARecordWithoutStringsLeaveEmptyFieldsEmpty)
{
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    RawRecord raw;
    raw.pid = 5;
    raw.tid = 7;
    Add(*table, raw);
    ZmLib::KxdProt bare = raw.Build();
    bare.msg.opt_len = 0; // a 72-byte message
    KxdRecord* r = table->AppendRecord(bare);
    EXPECT_STREQ(r->Text(FIELD_PNAME), "5");
    EXPECT_STREQ(r->Text(FIELD_TNAME), "7");
    for (int field : {FIELD_TEXT, FIELD_HOST, FIELD_FUNC, FIELD_KXNAME})
        EXPECT_STREQ(r->Text(field), "") << field;
    EXPECT_EQ(r->prot.msg.strings[0], 0);
}

TEST(RecordAnalysis, EnterLeaveSequencesGiveNestExecTimeAndErrorKinds)
{
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    const struct {
        RawRecord raw;
        int nest; // -1: not checked
        int kind;
    } steps[] = {
        {Call(ENTER, "f", 100), 1, KXERR_NoErrors},
        {Call(ENTER, "g", 110), 2, KXERR_NoErrors},
        {Call(LEAVE, "g", 130), 2, KXERR_NoErrors},
        {Call(LEAVE, "f", 160), 1, KXERR_NoErrors},
        {Call(LEAVE, "x", 170), 0, KXERR_FuncLeaveUnexpected},
        {Call(ENTER, "f", 180), 1, KXERR_NoErrors},
        {Call(ENTER, "g", 190), 2, KXERR_NoErrors},
        {Call(LEAVE, "f", 200), 2, KXERR_FuncLeaveNameIncorrect},
        {Call(LEAVE, nullptr, 210), -1, KXERR_FuncLeaveNameIncorrect},
        {Call(LEAVE, "f", 220), -1, KXERR_FuncLeaveUnexpected},
        {Call(0, nullptr, 100, 9), 0, KXERR_NoErrors},
        {Call(0, nullptr, 90, 9), 0, KXERR_TidTimeRollback},
        // Another thread's earlier time is no rollback.
        {Call(0, nullptr, 5, 10), 0, KXERR_NoErrors},
    };
    for (size_t k = 0; k < sizeof(steps) / sizeof(steps[0]); ++k) {
        SCOPED_TRACE(k);
        KxdRecord* r = Add(*table, steps[k].raw);
        EXPECT_TRUE(steps[k].nest < 0 || r->prot.NEST == steps[k].nest) << r->prot.NEST;
        EXPECT_EQ(r->errorKind, uint32_t(steps[k].kind));
    }
    // Enter and leave both show the execution time; they show the function
    // as their text.
    for (int32_t row : {0, 3})
        EXPECT_STREQ(table->GetRecord(row)->Text(FIELD_ETIME), "60");
    EXPECT_STREQ(table->GetRecord(1)->Text(FIELD_ETIME), "20");
    EXPECT_STREQ(table->GetRecord(3)->Text(FIELD_NEST), "1");
    EXPECT_STREQ(table->GetRecord(1)->Text(FIELD_TEXT), "g");

    // The 51st open function overflows the 50-deep stack.
    for (int i = 0; i < 51; ++i)
        Add(*table, Call(ENTER, "f", 300 + i, 11));
    EXPECT_EQ(table->GetRecord(table->RecordCount() - 2)->errorKind, KXERR_NoErrors);
    EXPECT_EQ(table->GetRecord(table->RecordCount() - 1)->errorKind, KXERR_FuncStackOverflown);
    EXPECT_EQ(table->GetRecord(table->RecordCount() - 1)->prot.NEST, 50);

    const char* const names[][2] = {{"0", "NoErrors"}, {"4", "FuncLeaveNameIncorrect"}, {"6", "TimeRollbackWarning"},
                                    {"-1", "None"},    {"7", "INCORRECT VALUE"}};
    for (const auto& name : names)
        EXPECT_STREQ(KxdErrorKindName(atoi(name[0])), name[1]);
}

TEST(RecordAnalysis, CopyModeTouchesNoStack)
{
    TableRef source(new KxTable(nullptr, "s", PlainPrefs()));
    Add(*source, Call(ENTER, "f", 10));
    Add(*source, Call(LEAVE, "h", 20));
    TableRef dest(new KxTable(nullptr, "d", PlainPrefs()));
    EXPECT_EQ(source->CopyAllRecords(*dest, -1), 2);
    EXPECT_EQ(dest->Tids().Find(7)->depth, 0);
    // A copy starts without an error kind; copy mode assigns none.
    EXPECT_EQ(source->GetRecord(1)->errorKind, KXERR_FuncLeaveNameIncorrect);
    EXPECT_EQ(dest->GetRecord(1)->errorKind, KXERR_NoErrors);
    EXPECT_EQ(dest->GetRecord(0)->prot.NEST, 1);
    EXPECT_STREQ(dest->GetRecord(0)->Text(FIELD_TEXT), "f");
}

TEST(RecordAnalysis, TimeNormalisedTable)
{
    Reports reports(ZmLib::KX_LEVEL_NOTICE);
    PrefKxTable prefs = PlainPrefs();
    prefs.NormalizeTime = 1;
    TableRef table(new KxTable(nullptr, "t", prefs));
    RawRecord raw;
    raw.time = 1561910811000000ULL;
    EXPECT_EQ(Add(*table, raw)->prot.msg.TIME, 0u);
    raw.time += 250;
    EXPECT_EQ(Add(*table, raw)->prot.msg.TIME, 250u);
    EXPECT_EQ(table->Prefs().Time0, 1561910811000000ULL);
    EXPECT_EQ(table->Prefs().Time0Index, 0);
    EXPECT_TRUE(Reports::HasPart("Time0 set to ", ZmLib::KX_LEVEL_NOTICE));
}

// Records that got no time from their line (TIME 0: a header, an unmatched
// line) do not start the table's time; the first record with one does.
// Before it and after it they keep absolute time 0, so that they have no
// time in either base, and a normalised table shows them at its start.
TEST(RecordAnalysis, TheFirstRecordWithATimeStartsTheTableTime)
{
    constexpr uint64_t T = 1733572800237000;
    const std::vector<uint64_t> times = {0, 0, T, T + 250, 0, T + 500};
    const std::vector<bool> hasTime = {false, false, true, true, false, true};
    struct Case {
        bool normalised;
        std::vector<uint64_t> stored;
        std::vector<std::string> shown;
        int32_t time0Index;
    };
    const std::string t = std::to_string(T);
    const Case cases[] = {
        {true, {0 - T, 0 - T, 0, 250, 0 - T, 500}, {"0", "0", "0", "250", "0", "500"}, 2},
        {false,
         {0, 0, T, T + 250, 0, T + 500},
         {"0", "0", t, std::to_string(T + 250), "0", std::to_string(T + 500)},
         -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.normalised);
        TableRef table(TableOfTimes(c.normalised, times));
        for (size_t k = 0; k < times.size(); ++k) {
            EXPECT_EQ(table->GetRecord(int32_t(k))->prot.msg.TIME, c.stored[k]) << k;
            EXPECT_EQ(table->HasTime(*table->GetRecord(int32_t(k))), hasTime[k]) << k;
            EXPECT_EQ(table->GetRecord(int32_t(k))->Text(FIELD_TIME), c.shown[k]) << k;
        }
        EXPECT_EQ(table->Prefs().Time0, T);
        EXPECT_EQ(table->Prefs().Time0Index, c.time0Index);
        // Back to absolute times, the table's time is still its first record's
        // that has one.
        ASSERT_TRUE(table->NormalizeTimeOn(3));
        EXPECT_EQ(table->Prefs().Time0, T + 250);
        const char* const relative[] = {"0", "0", "-250", "0", "0", "250"};
        for (size_t k = 0; k < times.size(); ++k) {
            EXPECT_EQ(table->HasTime(*table->GetRecord(int32_t(k))), hasTime[k]) << k;
            EXPECT_STREQ(table->GetRecord(int32_t(k))->Text(FIELD_TIME), relative[k]) << k;
        }
        table->NormalizeTimeOff();
        EXPECT_EQ(table->Prefs().Time0, T);
        for (size_t k = 0; k < times.size(); ++k)
            EXPECT_EQ(table->GetRecord(int32_t(k))->prot.msg.TIME, times[k]) << k;
        // Relative to the first time again, also once the texts are rendered
        // anew (a format change); a row without a time, before or after the
        // first time, takes the table's start, the first row with one.
        for (int32_t row : {4, 0}) {
            ASSERT_TRUE(table->NormalizeTimeOn(row));
            EXPECT_EQ(table->Prefs().Time0, T) << row;
            EXPECT_EQ(table->Prefs().Time0Index, 2) << row;
        }
        ASSERT_TRUE(table->NormalizeTimeOn(2));
        table->ReformatTableData();
        for (size_t k = 0; k < times.size(); ++k)
            EXPECT_EQ(table->GetRecord(int32_t(k))->Text(FIELD_TIME), cases[0].shown[k]) << k;
    }
}

// "Time 0 here" on a row without a time takes the first row with one, also
// when that is the table's first row; back to absolute times, the table's
// time is that row's again.
TEST(RecordAnalysis, TimeZeroOnARowWithoutATimeWhenTheFirstRowHasOne)
{
    constexpr uint64_t T = 1733572800237000;
    for (bool normalised : {false, true}) {
        SCOPED_TRACE(normalised);
        TableRef table(TableOfTimes(normalised, {T, 0, T + 250}));
        for (int32_t row : {1, 0}) {
            ASSERT_TRUE(table->NormalizeTimeOn(row));
            EXPECT_EQ(table->Prefs().Time0, T) << row;
            EXPECT_EQ(table->Prefs().Time0Index, 0) << row;
            EXPECT_STREQ(table->GetRecord(2)->Text(FIELD_TIME), "250") << row;
        }
        table->NormalizeTimeOff();
        EXPECT_EQ(table->Prefs().Time0, T);
        EXPECT_EQ(table->GetRecord(2)->prot.msg.TIME, T + 250);
    }
}

TEST(RecordAnalysis, SwitchingTheTimeBaseKeepsTheRollbackTestInStep)
{
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    Add(*table, Call(0, nullptr, 1000000));
    Add(*table, Call(0, nullptr, 2000000));
    ASSERT_TRUE(table->NormalizeTimeOn(1));
    // Arriving records are moved by the same Time0 as the stored ones.
    KxdRecord* r = Add(*table, Call(0, nullptr, 2500000));
    EXPECT_EQ(r->prot.msg.TIME, 500000u);
    EXPECT_EQ(r->errorKind, KXERR_NoErrors);
    table->NormalizeTimeOff();
    EXPECT_EQ(Add(*table, Call(0, nullptr, 2400000))->errorKind, KXERR_TidTimeRollback);
    EXPECT_EQ(Add(*table, Call(0, nullptr, 2600000))->errorKind, KXERR_NoErrors);
}

TEST(RecordNames, AnnouncementsNamedRecordsAndVersions)
{
    Reports reports(ZmLib::KX_LEVEL_NOTICE);
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    RawRecord r;
    r.pid = 77;
    for (int k = 0; k < 2; ++k)
        EXPECT_STREQ(Add(*table, r)->Text(FIELD_PNAME), "77");
    RawRecord p;
    p.flags = KXFLAGS_PROCESS_NAME;
    p.text = "Process: server, PID=77";
    Add(*table, p);
    EXPECT_STREQ(Add(*table, r)->Text(FIELD_PNAME), "server");

    p.text = "Process: verylongprocessname, PID=5";
    Add(*table, p);
    EXPECT_STREQ(table->ProcessName(5), "verylongproces");
    r.pid = 5;
    EXPECT_STREQ(Add(*table, r)->Text(FIELD_PNAME), "verylongproces");
    // Without a ':' or a later '=' nothing is registered.
    p.text = "Process verylong PID=6";
    Add(*table, p);
    EXPECT_EQ(table->ProcessName(6), nullptr);

    RawRecord t;
    t.flags = KXFLAGS_THREAD_NAME;
    t.text = "Thread: worker-1, TID=42";
    Add(*table, t);
    r.tid = 42;
    EXPECT_STREQ(Add(*table, r)->Text(FIELD_TNAME), "worker-1");

    RawRecord named;
    named.pid = 101;
    named.tid = 8;
    named.pname = "proc,extra";
    named.tname = "main";
    Add(*table, named);
    EXPECT_STREQ(table->ProcessName(101), "proc");
    named.pname = named.tname = nullptr;
    EXPECT_STREQ(Add(*table, named)->Text(FIELD_TNAME), "main");
    EXPECT_STREQ(table->Tids().Find(8)->name, "main");

    RawRecord v;
    v.flags = KXFLAGS_VERINFO;
    v.text = "App:1.2.3";
    Add(*table, v);
    EXPECT_STREQ(table->VersionText(), "1.2.3");
    EXPECT_TRUE(Reports::Has("Version found: 1.2.3"));
    v.text = "no version";
    Add(*table, v);
    EXPECT_EQ(table->VersionText(), nullptr);
    EXPECT_TRUE(Reports::Has("KXFLAGS_VERINFO bit set, but no version found"));

    char name[KX_NAME_MAX + 1];
    uint64_t id = 1;
    EXPECT_TRUE(KxParseNameAnnouncement("T:  a, id=0x10", name, &id));
    EXPECT_STREQ(name, "a");
    EXPECT_EQ(id, 16u);
    EXPECT_TRUE(KxParseNameAnnouncement("T: b, id=", name, &id));
    EXPECT_EQ(id, 0u);
    EXPECT_FALSE(KxParseNameAnnouncement("T b id=3", name, &id));
    EXPECT_FALSE(KxParseNameAnnouncement("T: b", name, &id));
}

TEST(AuxTree, TwoLevelsMatchExactly)
{
    PrefKxTable prefs = PlainPrefs();
    prefs.TreeLevel1Field = FIELD_KXNAME;
    prefs.TreeLevel2Field = FIELD_TNAME;
    TableRef table(new KxTable(nullptr, "t", prefs));
    // A new table's tree takes its levels from the program defaults, not
    // from the prefs it was given.
    EXPECT_EQ(table->AuxTree().Level1(), PrefKxTable::Default().TreeLevel1Field);
    EXPECT_EQ(table->AuxTree().Level2(), PrefKxTable::Default().TreeLevel2Field);
    EXPECT_EQ(table->Prefs().TreeLevel1Field, FIELD_KXNAME);
    table->AuxTree().Reset(FIELD_KXNAME, FIELD_TNAME);
    const char* pairs[][2] = {{"p1", "t1"}, {"p1", "t2"}, {"p2", "t1"}, {"p1", "t1"},
                              {"abc", "t1"}, {"ab", "t1"},  {"", "t1"}};
    for (auto& pair : pairs) {
        RawRecord r;
        r.kxname = pair[0];
        r.tname = pair[1];
        Add(*table, r);
    }
    KxAuxTree& tree = table->AuxTree();
    ASSERT_EQ(tree.Count(), 5);
    KxAuxNode1* p1 = tree.First();
    EXPECT_STREQ(p1->text, "p1");
    ASSERT_EQ(p1->count, 2);
    EXPECT_STREQ(p1->first->text, "t1");
    EXPECT_EQ(p1->first->next->index, 1);
    EXPECT_EQ(p1->next->count, 1);
    EXPECT_EQ(KxAuxTree::FindChild(p1, "t"), nullptr);
    // A prefix or an empty text is a node of its own, never a match.
    KxAuxNode1* ab = p1->next->next->next;
    EXPECT_STREQ(ab->text, "ab");
    EXPECT_STREQ(ab->next->text, "");
    EXPECT_EQ(tree.FindNode(table->GetRecord(5)), ab);
    EXPECT_EQ(tree.FindNode(table->GetRecord(6)), ab->next);
}

TEST(AuxTree, ChunksOwnTextsAndSwitchOff)
{
    KxAuxTree tree(FIELD_TEXT, -1);
    KxdRecord r;
    r.Reset();
    char* text = r.prot.msg.strings + 1;
    r.SetText(FIELD_TEXT, text);
    for (int i = 0; i < 101; ++i) {
        snprintf(text, 16, "n%d", i);
        tree.Add(&r);
    }
    EXPECT_EQ(tree.Count(), 101);
    EXPECT_EQ(tree.Level1Chunks(), 2u);
    EXPECT_EQ(tree.FindNode(&r)->index, 100);
    // Texts are the tree's own: the record's buffer changed under it.
    EXPECT_STREQ(tree.First()->text, "n0");

    tree.Reset(-1, -1);
    tree.Add(&r);
    EXPECT_EQ(tree.Count(), 0);
    EXPECT_EQ(tree.FindNode(&r), nullptr);
}

// Lookups by text: many distinct values keep the order of arrival, and a
// reset forgets them.
TEST(AuxTree, ManyDistinctValuesKeepArrivalOrder)
{
    KxAuxTree tree(FIELD_TNAME, FIELD_KXNAME);
    TwoLevelRecord two;
    KxdRecord& r = two.record;
    char* t1 = two.first;
    char* t2 = two.second;
    const int n = 20000;
    // Each value twice, its children in turn: (v, c0) for all, then (v, c1)
    // and (v, c0) again for all in reverse.
    for (int pass = 0; pass < 3; ++pass) {
        for (int k = 0; k < n; ++k) {
            const int v = pass == 0 ? k : n - 1 - k;
            snprintf(t1, 16, "v%d", v);
            snprintf(t2, 16, "c%d", pass == 1 ? 1 : 0);
            tree.Add(&r);
        }
    }
    ASSERT_EQ(tree.Count(), n);
    int k = 0;
    for (KxAuxNode1* node = tree.First(); node; node = node->next, ++k) {
        snprintf(t1, 16, "v%d", k);
        ASSERT_STREQ(node->text, t1);
        ASSERT_EQ(node->index, k);
        ASSERT_EQ(node->count, 2);
        EXPECT_STREQ(node->first->text, "c0");
        EXPECT_STREQ(node->last->text, "c1");
        EXPECT_EQ(node->last->index, 1);
    }
    snprintf(t1, 16, "v%d", n / 2);
    EXPECT_EQ(tree.FindNode(&r)->index, n / 2);

    tree.Reset(FIELD_TNAME, FIELD_KXNAME);
    EXPECT_EQ(tree.FindNode(&r), nullptr);
    tree.Add(&r);
    ASSERT_EQ(tree.Count(), 1);
    EXPECT_EQ(tree.First()->count, 1);
}

// The index grows into a table twice its size a few entries at a time:
// every value stays found at each step of the move, and none is added twice.
TEST(AuxTree, ValuesStayFoundWhileTheIndexGrows)
{
    KxAuxTree tree(FIELD_TNAME, -1);
    TwoLevelRecord two;
    const int n = 3000;
    for (int k = 0; k < n; ++k) {
        snprintf(two.first, 16, "v%d", k);
        tree.Add(&two.record);
        if (k % 97 != 0)
            continue;
        for (int i = 0; i <= k; ++i) {
            snprintf(two.first, 16, "v%d", i);
            const KxAuxNode1* node = tree.FindNode(&two.record);
            ASSERT_NE(node, nullptr) << i << " after " << k;
            ASSERT_EQ(node->index, i);
            tree.Add(&two.record);
        }
        ASSERT_EQ(tree.Count(), k + 1);
    }
}

// Both levels share one index: a second-level text is looked up under its
// own parent only, and never finds a first-level node of the same text.
TEST(AuxTree, LevelsAndParentsKeepTheirOwnTexts)
{
    KxAuxTree tree(FIELD_TNAME, FIELD_KXNAME);
    KxdRecord r;
    r.Reset();
    const char* pairs[][2] = {{"x", "x"}, {"y", "x"}, {"x", "y"}, {"y", "x"}, {"x", "x"}, {"z", ""}, {"", "z"}};
    for (auto& pair : pairs) {
        r.SetText(FIELD_TNAME, strcpy(r.prot.msg.strings + 1, pair[0]));
        r.SetText(FIELD_KXNAME, strcpy(r.prot.msg.strings + 20, pair[1]));
        tree.Add(&r);
    }
    struct Expected {
        const char* text;
        std::vector<const char*> children;
    };
    const Expected expected[] = {{"x", {"x", "y"}}, {"y", {"x"}}, {"z", {""}}, {"", {"z"}}};
    ASSERT_EQ(tree.Count(), 4);
    const KxAuxNode1* node = tree.First();
    for (const Expected& e : expected) {
        ASSERT_NE(node, nullptr);
        EXPECT_STREQ(node->text, e.text);
        ASSERT_EQ(node->count, int32_t(e.children.size())) << e.text;
        const KxAuxNode2* child = node->first;
        for (const char* text : e.children) {
            EXPECT_STREQ(child->text, text);
            child = child->next;
        }
        node = node->next;
    }
}
