#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kxlib/kxauxtree.h"
#include "kxlib/kxdrecord.h"
#include "table_fixtures.h"

namespace {

KxdRecord* Add(KxTable& table, const RawRecord& raw) { return table.AppendRecord(raw.Build()); }

RawRecord Enter(const char* func, uint64_t time, uint64_t tid = 7)
{
    RawRecord raw;
    raw.flags = KXFLAGS_FUNC_ENTER;
    raw.func = func;
    raw.time = time;
    raw.tid = tid;
    return raw;
}

RawRecord Leave(const char* func, uint64_t time, uint64_t tid = 7)
{
    RawRecord raw = Enter(func, time, tid);
    raw.flags = KXFLAGS_FUNC_LEAVE;
    return raw;
}

} // namespace

TEST(RecordTexts, NumberAndStringFieldsAreRendered)
{
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    RawRecord raw;
    raw.text = "hello";
    raw.num1 = 42;
    KxdRecord* r = Add(*table, raw);
    EXPECT_STREQ(r->text[FIELD_TEXT], "hello");
    EXPECT_STREQ(r->text[FIELD_NUM1], "42");
    EXPECT_STREQ(r->text[FIELD_TID], "7");
    EXPECT_STREQ(r->text[FIELD_HOST], "");
    EXPECT_EQ(r->Int64(FIELD_TIME), 1000);
    EXPECT_EQ(r->Int64(FIELD_TEXT), 0);
}

TEST(RecordTexts, OverlongNumberNeverOverwritesTheNextField)
{
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    RawRecord raw;
    raw.num1 = 1234567890123ULL; // 13 digits in a 10-byte span
    KxdRecord* r = Add(*table, raw);
    r->prot.NUM2 = 9999999999999ULL;
    r->RenderField(FIELD_NUM2, NUMFMT_INT);
    // The first overlong text takes the spare bytes, the second cannot.
    EXPECT_STREQ(r->text[FIELD_NUM1], "1234567890123");
    EXPECT_STREQ(r->text[FIELD_NUM2], "#########");
    // Shortened again, the first gives the spare bytes back.
    r->prot.NUM1 = 5;
    r->RenderField(FIELD_NUM1, NUMFMT_INT);
    EXPECT_STREQ(r->text[FIELD_NUM1], "5");
    r->RenderField(FIELD_NUM2, NUMFMT_INT);
    EXPECT_STREQ(r->text[FIELD_NUM2], "9999999999999");
    EXPECT_STREQ(r->text[FIELD_COUNT], "0");
}

TEST(RecordTexts, SpareBytesKeepTheFreePositionInside)
{
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    RawRecord raw;
    raw.num1 = 12345678901234ULL; // 14 digits would fill the spare bytes
    KxdRecord* r = Add(*table, raw);
    EXPECT_STREQ(r->text[FIELD_NUM1], "#########");
    EXPECT_LT(r->NumsBufFreePos - r->NumsBuf, FIELD_NUMBUF_LEN - 1);
}

TEST(RecordTexts, DefaultExecTimeFormatFits)
{
    // The default ETIME format (six decimals) is wider than its span.
    TableRef table(new KxTable(nullptr, "t", PrefKxTable()));
    Add(*table, Enter("f", 1000));
    KxdRecord* leave = Add(*table, Leave("f", 2501000));
    EXPECT_STREQ(leave->text[FIELD_ETIME], "2.500000");
    EXPECT_STREQ(table->GetRecord(0)->text[FIELD_ETIME], "2.500000");
}

TEST(RecordStrings, AppendStringAndCopy)
{
    KxdRecord* a = new KxdRecord;
    a->Reset();
    RawRecord raw;
    raw.text = "abc";
    a->prot = raw.Build();
    ASSERT_EQ(a->prot.msg.opt_len, 5);
    char* s = a->AppendString(ZmLib::KxdProt::SLOT_STR1, "xyz");
    EXPECT_EQ(s, a->prot.msg.strings + 5);
    EXPECT_EQ(a->prot.msg.offsets[ZmLib::KxdProt::SLOT_STR1], 5);
    EXPECT_EQ(a->prot.msg.opt_len, 9);

    // Full area: the empty string at byte 0, nothing changes.
    a->prot.msg.opt_len = 383;
    EXPECT_EQ(a->AppendString(ZmLib::KxdProt::SLOT_STR1, "q"), a->prot.msg.strings);
    EXPECT_EQ(a->prot.msg.offsets[ZmLib::KxdProt::SLOT_STR1], 5);
    // Hostile opt_len from a file.
    a->prot.msg.opt_len = 60000;
    EXPECT_STREQ(a->AppendString(ZmLib::KxdProt::SLOT_STR1, "q"), "");
    // Room for two bytes: cut and terminated inside the area.
    a->prot.msg.opt_len = 381;
    char* cut = a->AppendString(ZmLib::KxdProt::SLOT_HOST, "long");
    EXPECT_STREQ(cut, "l");
    EXPECT_EQ(a->prot.msg.opt_len, 383);
    EXPECT_EQ(a->prot.msg.strings[383], 0);

    a->prot.msg.opt_len = 9;
    int32_t formats[FIELD_Nums];
    for (int32_t& f : formats)
        f = NUMFMT_INT;
    a->ConvertNum2Str(true, formats);
    KxdRecord* b = new KxdRecord;
    KxdMsg::Copy(b, a);
    EXPECT_STREQ(b->text[FIELD_TEXT], "abc");
    EXPECT_EQ(b->text[FIELD_TEXT], b->prot.msg.strings + 1);
    EXPECT_EQ(b->text[FIELD_TID], b->NumsBuf + (a->text[FIELD_TID] - a->NumsBuf));
    EXPECT_EQ(b->NumsBufFreePos - b->NumsBuf, a->NumsBufFreePos - a->NumsBuf);
    delete a;
    delete b;
}

TEST(RecordAnalysis, NestedEnterLeaveGivesNestAndExecTimes)
{
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    KxdRecord* f = Add(*table, Enter("f", 100));
    KxdRecord* g = Add(*table, Enter("g", 110));
    KxdRecord* lg = Add(*table, Leave("g", 130));
    KxdRecord* lf = Add(*table, Leave("f", 160));
    EXPECT_EQ(f->prot.NEST, 1);
    EXPECT_EQ(g->prot.NEST, 2);
    EXPECT_EQ(lg->prot.NEST, 2);
    EXPECT_EQ(lf->prot.NEST, 1);
    for (KxdRecord* r : {f, g, lg, lf})
        EXPECT_EQ(r->errorKind, KXERR_NoErrors);
    EXPECT_STREQ(f->text[FIELD_ETIME], "60");
    EXPECT_STREQ(g->text[FIELD_ETIME], "20");
    EXPECT_STREQ(lf->text[FIELD_ETIME], "60");
    EXPECT_STREQ(lf->text[FIELD_NEST], "1");
    // Enter and leave records show the function as their text.
    EXPECT_STREQ(g->text[FIELD_TEXT], "g");
}

TEST(RecordAnalysis, LeaveErrors)
{
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    KxdRecord* stray = Add(*table, Leave("x", 10));
    EXPECT_EQ(stray->errorKind, KXERR_FuncLeaveUnexpected);
    EXPECT_EQ(stray->prot.NEST, 0);

    Add(*table, Enter("f", 20));
    Add(*table, Enter("g", 30));
    KxdRecord* wrong = Add(*table, Leave("f", 40));
    EXPECT_EQ(wrong->errorKind, KXERR_FuncLeaveNameIncorrect);
    EXPECT_EQ(wrong->prot.NEST, 2);
    KxdRecord* noName = Add(*table, Leave(nullptr, 50));
    EXPECT_EQ(noName->errorKind, KXERR_FuncLeaveNameIncorrect);
    KxdRecord* after = Add(*table, Leave("f", 60));
    EXPECT_EQ(after->errorKind, KXERR_FuncLeaveUnexpected);
}

TEST(RecordAnalysis, StackOverflowAndRollback)
{
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    KxdRecord* last = nullptr;
    for (int i = 0; i < 51; ++i)
        last = Add(*table, Enter("f", 100 + i));
    EXPECT_EQ(last->errorKind, KXERR_FuncStackOverflown);
    EXPECT_EQ(last->prot.NEST, 50);
    EXPECT_EQ(table->GetRecord(49)->errorKind, KXERR_NoErrors);

    RawRecord a;
    a.tid = 9;
    a.time = 100;
    Add(*table, a);
    a.time = 90;
    EXPECT_EQ(Add(*table, a)->errorKind, KXERR_TidTimeRollback);
    // Another thread's earlier time is no rollback.
    a.tid = 10;
    a.time = 5;
    EXPECT_EQ(Add(*table, a)->errorKind, KXERR_NoErrors);
}

TEST(RecordAnalysis, ErrorKindNames)
{
    EXPECT_STREQ(KxdErrorKindName(0), "NoErrors");
    EXPECT_STREQ(KxdErrorKindName(4), "FuncLeaveNameIncorrect");
    EXPECT_STREQ(KxdErrorKindName(6), "TimeRollbackWarning");
    EXPECT_STREQ(KxdErrorKindName(-1), "None");
    EXPECT_STREQ(KxdErrorKindName(7), "INCORRECT VALUE");
}

TEST(RecordAnalysis, TimeNormalisedTable)
{
    TableCapture capture;
    PrefKxTable prefs = PlainPrefs();
    prefs.NormalizeTime = 1;
    TableRef table(new KxTable(nullptr, "t", prefs));
    RawRecord raw;
    raw.time = 1561910811000000ULL;
    KxdRecord* first = Add(*table, raw);
    raw.time += 250;
    KxdRecord* second = Add(*table, raw);
    EXPECT_EQ(first->prot.msg.TIME, 0u);
    EXPECT_EQ(second->prot.msg.TIME, 250u);
    EXPECT_EQ(table->Prefs().Time0, 1561910811000000ULL);
    EXPECT_EQ(table->Prefs().Time0Index, 0);
    bool found = false;
    for (const std::string& t : TableCapture::Texts())
        found = found || t.rfind("Time0 set to ", 0) == 0;
    EXPECT_TRUE(found);
}

TEST(RecordNames, ThreadAndProcessAnnouncements)
{
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    RawRecord t;
    t.flags = KXFLAGS_THREAD_NAME;
    t.text = "Thread: worker-1, TID=42";
    Add(*table, t);
    RawRecord r;
    r.tid = 42;
    EXPECT_STREQ(Add(*table, r)->text[FIELD_TNAME], "worker-1");

    RawRecord p;
    p.flags = KXFLAGS_PROCESS_NAME;
    p.text = "Process: verylongprocessname, PID=5";
    Add(*table, p);
    EXPECT_STREQ(table->ProcessName(5), "verylongproces");
    r.pid = 5;
    EXPECT_STREQ(Add(*table, r)->text[FIELD_PNAME], "verylongproces");

    // Without a ':' or a later '=' nothing is registered.
    p.text = "Process verylong PID=6";
    Add(*table, p);
    EXPECT_EQ(table->ProcessName(6), nullptr);
}

TEST(RecordNames, AnnouncementReplacesTheDigitsName)
{
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    RawRecord r;
    r.pid = 77;
    EXPECT_STREQ(Add(*table, r)->text[FIELD_PNAME], "77");
    EXPECT_STREQ(Add(*table, r)->text[FIELD_PNAME], "77");
    RawRecord p;
    p.flags = KXFLAGS_PROCESS_NAME;
    p.text = "Process: server, PID=77";
    Add(*table, p);
    EXPECT_STREQ(Add(*table, r)->text[FIELD_PNAME], "server");
}

TEST(RecordNames, NamedRecordsSetTheMaps)
{
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    RawRecord r;
    r.pname = "proc,extra";
    r.tname = "main";
    Add(*table, r);
    EXPECT_STREQ(table->ProcessName(100), "proc");
    RawRecord q;
    EXPECT_STREQ(Add(*table, q)->text[FIELD_TNAME], "main");
    EXPECT_STREQ(table->Tids().Find(7)->name, "main");
}

TEST(RecordNames, ParseAnnouncement)
{
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

TEST(RecordNames, VersionInformation)
{
    TableCapture capture;
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    RawRecord v;
    v.flags = KXFLAGS_VERINFO;
    v.text = "App:1.2.3";
    Add(*table, v);
    EXPECT_STREQ(table->VersionText(), "1.2.3");
    EXPECT_TRUE(TableCapture::Has("Version found: 1.2.3"));
    v.text = "no version";
    Add(*table, v);
    EXPECT_EQ(table->VersionText(), nullptr);
    EXPECT_TRUE(TableCapture::Has("KXFLAGS_VERINFO bit set, but no version found"));
}

TEST(RecordAnalysis, CopyModeTouchesNoStack)
{
    TableRef source(new KxTable(nullptr, "s", PlainPrefs()));
    Add(*source, Enter("f", 10));
    Add(*source, Leave("h", 20));
    TableRef dest(new KxTable(nullptr, "d", PlainPrefs()));
    EXPECT_EQ(source->CopyAllRecords(*dest, -1), 2);
    EXPECT_EQ(dest->Tids().Find(7)->depth, 0);
    EXPECT_EQ(dest->GetRecord(1)->errorKind, KXERR_FuncLeaveNameIncorrect);
    EXPECT_EQ(dest->GetRecord(0)->prot.NEST, 1);
    EXPECT_STREQ(dest->GetRecord(0)->text[FIELD_TEXT], "f");
}

TEST(AuxTree, TwoLevelsMatchExactly)
{
    PrefKxTable prefs = PlainPrefs();
    prefs.TreeLevel1Field = FIELD_PNAME;
    prefs.TreeLevel2Field = FIELD_TNAME;
    TableRef table(new KxTable(nullptr, "t", prefs));
    const char* pairs[][2] = {{"p1", "t1"}, {"p1", "t2"}, {"p2", "t1"}, {"p1", "t1"}};
    for (auto& pair : pairs) {
        RawRecord r;
        r.pname = pair[0];
        r.tname = pair[1];
        Add(*table, r);
    }
    KxAuxTree& tree = table->AuxTree();
    ASSERT_EQ(tree.Count(), 2);
    KxAuxNode1* p1 = tree.First();
    EXPECT_STREQ(p1->text, "p1");
    ASSERT_EQ(p1->count, 2);
    EXPECT_STREQ(p1->first->text, "t1");
    EXPECT_EQ(p1->first->next->index, 1);
    EXPECT_EQ(p1->next->count, 1);
    EXPECT_EQ(KxAuxTree::FindChild(p1, "t"), nullptr);
}

TEST(AuxTree, PrefixAndEmptyTextsGetTheirOwnNodes)
{
    PrefKxTable prefs = PlainPrefs();
    prefs.TreeLevel1Field = FIELD_KXNAME;
    prefs.TreeLevel2Field = -1;
    TableRef table(new KxTable(nullptr, "t", prefs));
    for (const char* name : {"abc", "ab", "abc", ""}) {
        RawRecord r;
        r.kxname = name;
        Add(*table, r);
    }
    KxAuxTree& tree = table->AuxTree();
    ASSERT_EQ(tree.Count(), 3);
    EXPECT_STREQ(tree.First()->next->text, "ab");
    EXPECT_STREQ(tree.First()->next->next->text, "");
    EXPECT_EQ(tree.FindNode(table->GetRecord(1)), tree.First()->next);
}

TEST(AuxTree, ChunksAndSwitchedOff)
{
    KxAuxTree tree(FIELD_TEXT, -1);
    KxdRecord* r = new KxdRecord;
    r->Reset();
    char text[16];
    for (int i = 0; i < 101; ++i) {
        snprintf(text, sizeof(text), "n%d", i);
        r->text[FIELD_TEXT] = text;
        tree.Add(r);
    }
    EXPECT_EQ(tree.Count(), 101);
    EXPECT_EQ(tree.Level1Chunks(), 2u);
    EXPECT_EQ(tree.FindNode(r)->index, 100);
    // Texts are the tree's own: the record's buffer changed under it.
    EXPECT_STREQ(tree.First()->text, "n0");

    tree.Reset(-1, -1);
    tree.Add(r);
    EXPECT_EQ(tree.Count(), 0);
    EXPECT_EQ(tree.FindNode(r), nullptr);
    delete r;
}
