// The document file: its byte layout, the round trip of a table with its
// filter, bookmarks, selections, time base and view block, updates in place,
// failed saves, and damaged or hostile files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kxlib/reader/filekxl.h"
#include "kxlbytes.h"
#include "kxviewer/preftable.h"
#include "table_fixtures.h"
#include "utils/common/inifile.h"
#include "utils/common/kxexcept.h"

namespace {

constexpr uint64_t T0 = 1561910811000000ULL;

// A table in memory with n records; TIME rises by 1000 per record.
KxTable* MakeTable(int n, bool normalise = false)
{
    PrefKxTable prefs = PlainPrefs();
    prefs.NormalizeTime = normalise ? 1 : 0;
    KxTable* table = new KxTable(nullptr, "doc", prefs);
    for (int k = 0; k < n; ++k) {
        std::string text = "record " + std::to_string(k);
        RawRecord raw;
        raw.time = T0 + uint64_t(k) * 1000;
        raw.tid = 7 + uint64_t(k % 3);
        raw.text = text.c_str();
        raw.num1 = uint64_t(k) * 11;
        table->AppendRecord(raw.Build());
    }
    return table;
}

std::string RecordBytes(KxTable& table)
{
    std::string out;
    for (int32_t i = 0; i < table.RecordCount(); ++i)
        out.append(reinterpret_cast<const char*>(&table.GetRecordByOriginalIndex(i)->prot), ZmLib::KxdProt::SIZE);
    return out;
}

std::string ViewBlock(const PrefTabTable& tab, const PrefKxTable& kx)
{
    ZmLib::IniBase ini;
    PrefTable::Save(false, ini, tab, kx, tab.pinned, tab.pinnedCount);
    ZmLib::TextBuf buffer;
    EXPECT_TRUE(ini.WriteToBuf(buffer));
    return buffer.Buffer ? buffer.Buffer->c_str() : "";
}

std::string ViewBlock(KxTable& table) { return ViewBlock(PrefTabTable::Default(), table.Prefs()); }

// The seven sections of a document of the table without metadata.
Sections DocSections(KxTable& table)
{
    return {{"KXLVER", "1"},  {"TABLESIZE", std::to_string(table.RecordCount())}, {"TABLE", RecordBytes(table)},
            {"FILTER", ""},   {"BOOKMARKS", ""},
            {"SELECTIONS", ""}, {"INI", ViewBlock(table)}};
}

Sections DocSections(int n)
{
    TableRef table(MakeTable(n));
    return DocSections(*table);
}

bool SaveTable(const std::string& path, KxTable& table, bool modified = true)
{
    std::string ini = ViewBlock(table);
    return FileKxl::Save(path.c_str(), table, ini.c_str(), ini.size(), modified);
}

// What the document loader does with a document file.
struct Loaded {
    explicit Loaded(const std::string& path)
    {
        FileKxl reader(path.c_str());
        code = reader.Open();
        if (code != 0)
            return;
        std::vector<char> text(reader.IniText(), reader.IniText() + reader.IniSize() + 1);
        ZmLib::IniBase ini;
        ini.ReadFromText(text.data(), reader.IniSize());
        PrefTable::Load(false, ini, tab, kx);
        table.table = new KxTable(path.c_str(), nullptr, kx);
        if (kx.NormalizeTime)
            table->SetRelativeTimeBase(kx.Time0, kx.Time0Index);
        for (int64_t k = 0; k < reader.GetFileSize(); ++k) {
            KxdRecord* slot = table->NewRecord();
            reader.SetRecord(&slot->prot);
            reader.ReadRecord();
            KxdRecord::ProcessLine4Client(slot, false);
        }
        metadataOk = reader.ReadMetadata(*table);
        table->SetModified(false);
    }
    int32_t code = -1;
    TableRef table{nullptr};
    PrefTabTable tab;
    PrefKxTable kx;
    bool metadataOk = false;
};

} // namespace

TEST(KxlLayout, SectionsAndMetadataBytes)
{
    TempDir dir;
    TableRef table(MakeTable(3));
    std::string path = dir.Path("three.kxl");
    ASSERT_TRUE(SaveTable(path, *table));
    std::string bytes = ReadAll(path);
    EXPECT_EQ(bytes.substr(0, 37), "\nSECTION:    KXLVER:1               \n");
    EXPECT_EQ(bytes.size(), 7 * 37 + 1 + 1 + 3 * 496 + ViewBlock(*table).size() + 19);
    EXPECT_EQ(bytes, Container(DocSections(*table)));

    // Filter on records 0 and 2, a visible bookmark on row 1 and a hidden one
    // on record 1: nv, row, nh, original index.
    table->BookmarkSet(1, true);
    table->ManualFilterPrepare(2, false);
    table->Filtered[0] = 0;
    table->Filtered[1] = 2;
    table->NumMannualFiltered = 2;
    table->ManualFilter();
    table->BookmarkSet(1, true);
    ASSERT_TRUE(SaveTable(path, *table));
    Sections s = DocSections(*table);
    s[3].second = U32s({0, 2});
    s[4].second = U32s({1, 1, 1, 1});
    EXPECT_EQ(ReadAll(path), Container(s));

    // Selections: count, then first, count and tag of each range.
    TableRef selected(MakeTable(10));
    selected->SelRangeSet(0, 1, true, 7);
    selected->SelRangeSet(4, 6, true, 2);
    ASSERT_TRUE(SaveTable(path, *selected));
    s = DocSections(*selected);
    s[5].second = U32s({2, 0, 2, 7, 4, 3, 2});
    EXPECT_EQ(ReadAll(path), Container(s));
}

// Large tables are written by several writers, each at its range's place:
// ranges that start inside a block, and the sections after the records
// where they belong.
TEST(KxlLayout, LargeTableIsWrittenInPlaceByItsWriters)
{
    TempDir dir;
    TableRef table(MakeTable(100001));
    const std::string path = dir.Path("large.kxl");
    ASSERT_TRUE(SaveTable(path, *table));
    EXPECT_TRUE(ReadAll(path) == Container(DocSections(*table)));
    Loaded back(path);
    ASSERT_EQ(back.code, 0);
    EXPECT_EQ(back.table->RecordCount(), 100001);
    EXPECT_TRUE(back.metadataOk);
}

TEST(KxlRoundTrip, FilteredBookmarkedSelectedDocumentWithViewBlock)
{
    TempDir dir;
    TableRef table(MakeTable(20));
    table->BookmarkSet(3, true);  // hidden by the filter below
    table->BookmarkSet(10, true); // visible
    table->ManualFilterPrepare(12, false);
    for (uint32_t k = 0; k < 12; ++k)
        table->Filtered[k] = 4 + k; // original 4..15
    table->NumMannualFiltered = 12;
    table->ManualFilter();
    table->BookmarkSet(0, true);
    table->SelRangeSet(1, 2, true, 5);
    table->SelRangeSet(7, 9, true, 1);
    table->SetCurRow(8);

    // The view block is carried whole (its own round trip is tested with
    // the preferences).
    PrefTabTable tab = PrefTabTable::Default();
    tab.ColorSelect = 0x123456;
    tab.pinnedCount = 1;
    tab.pinned[0].phrase = "needle; with a semicolon";
    table->Prefs().formats[FIELD_NUM1] = NUMFMT_HEX;
    std::string ini = ViewBlock(tab, table->Prefs());
    std::string path = dir.Path("full.kxl");
    ASSERT_TRUE(FileKxl::Save(path.c_str(), *table, ini.c_str(), ini.size(), true));

    Loaded doc(path);
    ASSERT_EQ(doc.code, 0);
    EXPECT_TRUE(doc.metadataOk);
    KxTable& back = *doc.table;
    EXPECT_EQ(RecordBytes(back), RecordBytes(*table));
    ASSERT_EQ(back.RowCount(), 12);
    for (int32_t row = 0; row < 12; ++row)
        EXPECT_EQ(back.OriginalIndex(row), 4 + row);
    EXPECT_EQ(Marks(back.Bookmarks()), Marks(table->Bookmarks()));
    EXPECT_EQ(Marks(back.HiddenBookmarks()), std::vector<int32_t>({3}));
    EXPECT_EQ(Ranges(back), Ranges(*table));
    EXPECT_EQ(back.NumSelected, 5u);
    EXPECT_EQ(back.CurRow(), 8);
    EXPECT_EQ(back.GetRecord(7)->selRange, back.FirstRange()->NextEntry());

    EXPECT_EQ(doc.tab.ColorSelect, 0x123456u);
    ASSERT_EQ(doc.tab.pinnedCount, 1);
    EXPECT_EQ(doc.tab.pinned[0].phrase, "needle; with a semicolon");
    EXPECT_STREQ(back.GetRecord(0)->Text(FIELD_NUM1), "0x2C");

    // Clearing the filter brings the document's full bookmark set back.
    back.ClearSelections();
    back.ClearFilter();
    EXPECT_EQ(Marks(back.Bookmarks()), std::vector<int32_t>({3, 4, 10}));
}

TEST(KxlTime, NormalisedDocumentKeepsItsAbsoluteTimes)
{
    TempDir dir;
    TableRef table(MakeTable(5, true));
    EXPECT_EQ(table->Prefs().Time0, T0);
    ASSERT_TRUE(table->NormalizeTimeOn(4));
    ASSERT_TRUE(table->NormalizeTimeOn(2));
    EXPECT_FALSE(table->NormalizeTimeOn(5));
    EXPECT_EQ(table->Prefs().Time0, T0 + 2000);
    EXPECT_EQ(table->Prefs().Time0Index, 2);
    EXPECT_EQ(int64_t(table->GetRecordByOriginalIndex(0)->prot.msg.TIME), -2000);
    EXPECT_STREQ(table->GetRecordByOriginalIndex(2)->Text(FIELD_TIME), "0");
    EXPECT_FALSE(table->SetRelativeTimeBase(5, 0));
    std::string path = dir.Path("time.kxl");
    ASSERT_TRUE(SaveTable(path, *table));

    Loaded doc(path);
    ASSERT_EQ(doc.code, 0);
    KxTable& back = *doc.table;
    EXPECT_TRUE(back.TimeNormalised());
    EXPECT_EQ(back.Prefs().Time0, T0 + 2000);
    EXPECT_EQ(back.Prefs().Time0Index, 2);
    for (int32_t i = 0; i < 5; ++i)
        EXPECT_EQ(int64_t(back.GetRecordByOriginalIndex(i)->prot.msg.TIME), int64_t(i - 2) * 1000);
    back.NormalizeTimeOff();
    for (int32_t i = 0; i < 5; ++i)
        EXPECT_EQ(back.GetRecordByOriginalIndex(i)->prot.msg.TIME, T0 + uint64_t(i) * 1000);
    EXPECT_EQ(back.Prefs().Time0Index, -1);
    back.NormalizeTimeOff();
    EXPECT_EQ(back.GetRecordByOriginalIndex(3)->prot.msg.TIME, T0 + 3000);

    // A view block whose current row and Time0Index lie on the last record,
    // just past it or far beyond: the first is kept, the others are not.
    const struct {
        int32_t row, time0Index, rowBack, time0IndexBack;
    } views[] = {{4, 4, 4, 4}, {5, 5, 4, -1}, {50, 70, 4, -1}};
    for (const auto& v : views) {
        SCOPED_TRACE(v.time0Index);
        table->Prefs().CurPossition = v.row;
        table->Prefs().Time0Index = v.time0Index;
        ASSERT_TRUE(SaveTable(path, *table));
        Loaded prefs(path);
        ASSERT_EQ(prefs.code, 0);
        EXPECT_EQ(prefs.table->CurRow(), v.rowBack);
        EXPECT_EQ(prefs.table->Prefs().Time0Index, v.time0IndexBack);
    }
}

// Rows without a time (a header, an unmatched line) before and after the
// first timed row show the start of a relative document and have no time,
// as they did before it was saved.
TEST(KxlTime, RowsWithoutATimeKeepWhatTheyShowed)
{
    TempDir dir;
    TableRef table(TableOfTimes(true, {0, T0, 0, T0 + 1000}));
    const std::string path = dir.Path("untimed.kxl");
    ASSERT_TRUE(SaveTable(path, *table));
    Loaded doc(path);
    ASSERT_EQ(doc.code, 0);
    const char* const shown[] = {"0", "0", "0", "1000"};
    const bool hasTime[] = {false, true, false, true};
    for (KxTable* t : {table.table, doc.table.table}) {
        for (int32_t r = 0; r < 4; ++r) {
            EXPECT_STREQ(t->GetRecord(r)->Text(FIELD_TIME), shown[r]) << r;
            EXPECT_EQ(t->HasTime(*t->GetRecord(r)), hasTime[r]) << r;
        }
    }
}

TEST(KxlUpdate, InPlaceRewritesOnlyTheMetadata)
{
    TempDir dir;
    TableRef table(MakeTable(8));
    for (int32_t row : {1, 2, 3})
        table->BookmarkSet(row, true);
    std::string path = dir.Path("u.kxl");
    ASSERT_TRUE(SaveTable(path, *table));
    std::string before = ReadAll(path);
    struct stat st1, st2;
    ASSERT_EQ(stat(path.c_str(), &st1), 0);
    const size_t tableEnd = 37 + 1 + 37 + 1 + 37 + 8 * 496;

    table->ClearBookmarks();
    table->BookmarkSet(5, true);
    table->SelRangeSet(0, 1, true, 3);
    Reports reports;
    ASSERT_TRUE(SaveTable(path, *table, false));
    EXPECT_FALSE(Reports::HasPart("will be recreated"));
    ASSERT_EQ(stat(path.c_str(), &st2), 0);
    EXPECT_EQ(st1.st_ino, st2.st_ino);
    std::string after = ReadAll(path);
    EXPECT_EQ(after.substr(0, tableEnd), before.substr(0, tableEnd));
    Loaded doc(path);
    ASSERT_EQ(doc.code, 0);
    EXPECT_EQ(Marks(doc.table->Bookmarks()), std::vector<int32_t>({5}));
    EXPECT_EQ(Ranges(*doc.table), (RangeList{{0, 2, 3}}));

    // A shorter tail leaves old bytes behind the end marker; they are not
    // read.
    table->ClearBookmarks();
    table->ClearSelections();
    ASSERT_TRUE(SaveTable(path, *table, false));
    EXPECT_EQ(ReadAll(path).size(), after.size());
    Loaded again(path);
    ASSERT_EQ(again.code, 0);
    EXPECT_EQ(again.table->Bookmarks().Length(), 0u);
    EXPECT_EQ(again.table->RangeCount(), 0u);
}

TEST(KxlUpdate, FileOfOtherRecordsIsRecreated)
{
    TempDir dir;
    std::string path = dir.Path("other.kxl");
    TableRef small(MakeTable(2));
    ASSERT_TRUE(SaveTable(path, *small));
    TableRef table(MakeTable(4));
    table->BookmarkSet(3, true);
    Reports reports;
    ASSERT_TRUE(SaveTable(path, *table, false));
    EXPECT_TRUE(Reports::Has("File '" + path + "' update failure, will be recreated!"));
    Loaded doc(path);
    ASSERT_EQ(doc.code, 0);
    EXPECT_EQ(doc.table->RecordCount(), 4);
    EXPECT_EQ(Marks(doc.table->Bookmarks()), std::vector<int32_t>({3}));

    dir.Write("other.kxl", "not a document");
    Reports::All().clear();
    ASSERT_TRUE(SaveTable(path, *table, false));
    EXPECT_TRUE(Reports::HasPart("open failure when updating, error = 8!"));
    EXPECT_TRUE(Reports::Has("File '" + path + "' update failure, will be recreated!"));
    EXPECT_EQ(Loaded(path).code, 0);
}

namespace {

// Limits the size of files this process writes; writes past it fail.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        oldHandler_ = signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_;
    sighandler_t oldHandler_;
};

} // namespace

TEST(KxlSaveFailure, FailedSavesKeepThePreviousDocument)
{
    TempDir dir;
    std::string path = dir.Path("keep.kxl");
    TableRef small(MakeTable(2));
    ASSERT_TRUE(SaveTable(path, *small));
    const std::string before = ReadAll(path);
    Reports reports;

    TableRef big(MakeTable(40));
    {
        FileSizeLimit limit(before.size() + 4000);
        EXPECT_FALSE(SaveTable(path, *big));
    }
    // Buffered writes fail at the latest when the file is completed.
    EXPECT_TRUE(Reports::HasPart("error while writing KXL file section") || Reports::Has("File.FlushStop()"));
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Dir()), {}), 1);

    // Bookmarks on every row make the metadata grow past the limit.
    for (int32_t row = 0; row < 2; ++row)
        small->BookmarkSet(row, true);
    {
        FileSizeLimit limit(before.size() + 10);
        EXPECT_FALSE(SaveTable(path, *small, false));
        EXPECT_TRUE(Reports::HasPart("no room for the new metadata"));
    }
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Dir()), {}), 1);

    // A missing or too long view block is refused; 9999 bytes is the
    // largest a reader takes.
    std::string huge(10000, 'x');
    EXPECT_FALSE(FileKxl::Save(path.c_str(), *small, huge.c_str(), huge.size(), true));
    EXPECT_FALSE(FileKxl::Save(path.c_str(), *small, huge.c_str(), huge.size(), false));
    EXPECT_FALSE(FileKxl::Save(path.c_str(), *small, nullptr, 0, true));
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(Loaded(path).code, 0);
    EXPECT_TRUE(FileKxl::Save(path.c_str(), *small, huge.c_str(), 9999, true));
    FileKxl reader(path.c_str());
    EXPECT_EQ(reader.Open(), 0);
    EXPECT_EQ(reader.IniSize(), 9999u);
}

TEST(KxlOpen, ResultCodes)
{
    TempDir dir;
    const Sections valid = DocSections(3);
    auto with = [&](size_t index, const std::string& data, const char* name = nullptr) {
        Sections s = valid;
        s[index].second = data;
        if (name)
            s[index].first = name;
        return Container(s);
    };
    Sections six = valid;
    six.erase(six.begin() + 5);
    const struct {
        std::string bytes;
        int32_t code;
        const char* report; // with the path before it
    } cases[] = {
        {Container(valid), 0, nullptr},
        {with(0, "2"), 8, "': unsupported version 2"},
        {Container(six), 8, "' is broken!"},
        {"", 8, nullptr},
        {with(1, "abc"), 8, nullptr},
        {with(1, "-3"), 8, nullptr},
        {with(1, "99999999999"), 8, nullptr},
        {with(1, ""), 8, nullptr},
        {with(6, valid[6].second, "INX"), 9, nullptr},
        {with(6, std::string(10000, ';')), 10, nullptr},
        {with(6, std::string(9999, ';')), 0, nullptr},
        {with(1, "4"), 11, nullptr},
        // The record count is the TABLE size divided by the record size.
        {with(2, valid[2].second + "xx"), 0, nullptr},
        {with(2, valid[2].second.substr(0, valid[2].second.size() - 1)), 11, nullptr},
    };
    const std::string path = dir.Path("codes.kxl");
    for (size_t k = 0; k < sizeof(cases) / sizeof(cases[0]); ++k) {
        SCOPED_TRACE(k);
        Reports reports(ZmLib::KX_LEVEL_NOTICE);
        dir.Write("codes.kxl", cases[k].bytes);
        FileKxl reader(path.c_str());
        EXPECT_EQ(reader.Open(), cases[k].code);
        EXPECT_TRUE(Reports::Has("About to open KXL file \"" + path + "\""));
        EXPECT_TRUE(!cases[k].report || Reports::Has("File '" + path + cases[k].report)) << cases[k].report;
    }
    FileKxl missing(dir.Path("missing.kxl").c_str());
    EXPECT_EQ(missing.Open(), 8);
}

// Why a document does not open, in words for the user: the system's own
// text where the file cannot be read, else what is wrong with it.
TEST(KxlOpen, FailureSaysWhy)
{
    TempDir dir;
    const Sections valid = DocSections(3);
    Sections other = valid;
    other[0].second = "2";
    Sections six = valid;
    six.erase(six.begin() + 5);
    Sections wrongCount = valid;
    wrongCount[1].second = "4";
    dir.Write("file", "x");
    mkdir(dir.Path("folder.kxl").c_str(), 0700);
    const struct {
        std::string name;
        bool written; // else the path is as the test set it up
        std::string bytes, failure;
    } cases[] = {
        {"valid.kxl", true, Container(valid), ""},
        {"empty.kxl", true, "", "the file is empty"},
        {"text.kxl", true, "no document at all", "not a KXL file"},
        {"version.kxl", true, Container(other), "KXL version 2 is not supported"},
        {"six.kxl", true, Container(six), "damaged KXL file: 6 of its 7 sections are whole"},
        {"count.kxl", true, Container(wrongCount), "damaged KXL file: its record count does not match its records"},
        {"missing.kxl", false, "", strerror(ENOENT)},
        {"file/under.kxl", false, "", strerror(ENOTDIR)},
        {"folder.kxl", false, "", strerror(EISDIR)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.written)
            dir.Write(c.name, c.bytes);
        Reports reports;
        FileKxl reader(dir.Path(c.name).c_str());
        EXPECT_EQ(reader.Open() == 0, c.failure.empty());
        EXPECT_EQ(reader.Failure(), c.failure);
        EXPECT_FALSE(Reports::HasPart("", ZmLib::KX_LEVEL_ERROR));
    }
}

// A save that fails says why in the system's words and raises no error
// report (each is a box with a source line for the user); the previous
// document stays.
TEST(KxlSaveFailure, FailureSaysWhyWithoutAnErrorReport)
{
    TempDir dir;
    TableRef table(MakeTable(40));
    const std::string kept = dir.Path("kept.kxl");
    ASSERT_TRUE(SaveTable(kept, *table));
    dir.Write("file", "x");
    mkdir(dir.Path("folder.kxl").c_str(), 0700);
    const struct {
        const char* name;
        rlim_t limit; // bytes a file may have; 0 for no limit
        std::string failure;
    } cases[] = {
        {"file/doc.kxl", 0, strerror(ENOTDIR)},
        {"nowhere/doc.kxl", 0, strerror(ENOENT)},
        {"folder.kxl", 0, strerror(EISDIR)},
        {"kept.kxl", 4000, strerror(EFBIG)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.Path(c.name);
        const std::string before = ReadAll(kept);
        Reports reports;
        const std::string ini = ViewBlock(*table);
        FileKxl writer(path.c_str());
        {
            std::unique_ptr<FileSizeLimit> limit(c.limit > 0 ? new FileSizeLimit(c.limit) : nullptr);
            EXPECT_FALSE(writer.CreateFile(*table, ini.c_str(), ini.size()));
        }
        EXPECT_EQ(writer.Failure(), c.failure);
        for (const Reports::Report& report : Reports::All())
            EXPECT_GE(report.level, ZmLib::KX_LEVEL_WARNING) << report.text;
        EXPECT_EQ(ReadAll(kept), before);
    }
    std::string huge(10000, 'x');
    FileKxl writer(kept.c_str());
    EXPECT_FALSE(writer.CreateFile(*table, huge.c_str(), huge.size()));
    EXPECT_EQ(writer.Failure(), "its view settings take 10000 bytes, a KXL file keeps at most 9999");
}

TEST(KxlRead, RecordsStopAtTheTableAndAreMadeSafe)
{
    TempDir dir;
    Sections s = DocSections(2);
    std::string& records = s[2].second;
    // Record 1: an opt_len past the area and a string offset past opt_len.
    ZmLib::KxdProt hostile;
    memcpy(&hostile, records.data() + 496, sizeof(hostile));
    hostile.msg.opt_len = 1000;
    hostile.msg.offsets[ZmLib::KxdProt::SLOT_TEXT] = 2000;
    memset(hostile.msg.strings, 'A', sizeof(hostile.msg.strings));
    records.replace(496, 496, reinterpret_cast<const char*>(&hostile), 496);
    s[3].second = U32s({0, 1});
    FileKxl reader(dir.Write("read.kxl", Container(s)).c_str());
    ASSERT_EQ(reader.Open(), 0);
    EXPECT_EQ(reader.GetFileSize(), 2);
    ZmLib::KxdProt rec;
    reader.SetRecord(&rec);
    EXPECT_EQ(reader.ReadRecord(), 1);
    EXPECT_EQ(memcmp(&rec, records.data(), 496), 0);
    Reports reports;
    EXPECT_EQ(reader.ReadRecord(), 1);
    EXPECT_EQ(rec.msg.opt_len, 384);
    EXPECT_EQ(rec.msg.offsets[ZmLib::KxdProt::SLOT_TEXT], 0);
    EXPECT_EQ(rec.msg.strings[383], 0);
    try {
        reader.ReadRecord();
        FAIL() << "read past the last record";
    } catch (const ZmLib::KxExcept& e) {
        EXPECT_EQ(e.code, 1);
    }
}

TEST(KxlRead, ShortTableThrowsCode7)
{
    TempDir dir;
    std::string path = dir.Path("short.kxl");
    TableRef table(MakeTable(40));
    ASSERT_TRUE(SaveTable(path, *table));
    FileKxl reader(path.c_str());
    ASSERT_EQ(reader.Open(), 0);
    // The file loses its tail after it was opened: TABLE now ends 100 bytes
    // into record 10 (past what the stream may have buffered at Open).
    const off_t tableData = 37 * 3 + 2;
    ASSERT_EQ(truncate(path.c_str(), tableData + 10 * 496 + 100), 0);
    ZmLib::KxdProt rec;
    reader.SetRecord(&rec);
    for (int k = 0; k < 10; ++k)
        ASSERT_EQ(reader.ReadRecord(), 1);
    Reports reports;
    try {
        reader.ReadRecord();
        FAIL() << "short record accepted";
    } catch (const ZmLib::KxExcept& e) {
        EXPECT_EQ(e.code, 7);
        EXPECT_STREQ(e.text, "Record #10: File IO Error)");
    }
    EXPECT_TRUE(Reports::Has("Record #10: File IO Error)"));
}

// Metadata sections from a file are validated: a bad filter is not applied
// and takes the rows it names with it; bad bookmarks and ranges are skipped
// or clipped; nothing stops the program.
TEST(KxlMetadata, HostileSectionsAreValidated)
{
    using Rows = std::vector<int32_t>;
    const struct {
        const char* what;
        int records;
        std::string filter, bookmarks, selections;
        Rows marks, hidden, cleared; // cleared: the bookmarks once the filter is cleared
        RangeList ranges;
        std::vector<const char*> reports;
        int ok; // -1: not checked
    } cases[] = {
        {"descending filter", 5, U32s({2, 1}), U32s({1, 0}), U32s({1, 0, 1, 4}), {}, {}, {}, {}, {}, 0},
        {"filter beyond the records", 5, U32s({0, 5}), U32s({1, 0}), U32s({1, 0, 1, 4}), {}, {}, {}, {}, {}, 0},
        {"repeated filter row", 5, U32s({1, 1}), U32s({1, 0}), U32s({1, 0, 1, 4}), {}, {}, {}, {}, {}, 0},
        {"filter shorter than a value", 5, std::string("\1\0\0", 3), U32s({1, 0}), "", {}, {}, {}, {}, {}, 0},
        {"stray filter byte", 5, U32s({0, 1}) + "x", U32s({1, 0}), "", {}, {}, {}, {}, {}, 0},
        {"more filter rows than records", 5, U32s({0, 1, 2, 3, 4, 5}), U32s({1, 0}), "", {}, {}, {}, {}, {}, 0},
        // Rows 1, 9 (beyond), 1 (repeated) and 3; the count claims 100.
        {"bad bookmarks", 5, "", U32s({100, 1, 9, 1, 3}), "", {1, 3}, {}, {}, {},
         {"Bookmark on row 9 skipped", "Bookmark on row 1 skipped"}, -1},
        // Hidden part under a filter of records 0 and 2: record 2 is
        // visible, 7 is beyond, 4 repeats, 3 dangles half.
        {"bad hidden bookmarks", 5, U32s({0, 2}), U32s({1, 1, 5, 2, 7, 4, 4, 1}) + "zz", "", {1}, {1, 4}, {1, 2, 4},
         {}, {}, -1},
        {"half a bookmark count", 5, "", std::string("\1\0", 2), "", {}, {}, {}, {}, {}, -1},
        // A document whose filter showed nothing stores no filter; its
        // hidden bookmarks name rows of the unfiltered view.
        {"hidden bookmarks without filter", 5, "", U32s({0, 2, 1, 3}), "", {1, 3}, {}, {}, {}, {"FilterOn && n2"}, -1},
        // {0,2,1}, overlapping {1,2,2}, {5,100,3} clipped to rows 5..9, then
        // {20,1,4} beyond; the count claims 9.
        {"bad ranges", 10, "", "", U32s({9, 0, 2, 1, 1, 2, 2, 5, 100, 3, 20, 1, 4}), {}, {}, {},
         {{0, 2, 1}, {5, 5, 3}}, {"clipped"}, -1},
        // A range from the row count on is skipped; the one ending there is kept.
        {"range at the row count", 10, "", "", U32s({2, 8, 2, 1, 10, 1, 2}), {}, {}, {}, {{8, 2, 1}}, {"lies beyond"},
         -1},
        {"wrapping range", 10, "", "", U32s({1, 0xFFFFFFF0u, 0x20, 1}), {}, {}, {}, {}, {}, -1},
        {"no ranges", 10, "", "", U32s({0}), {}, {}, {}, {}, {"nranges"}, -1},
        {"range of no rows", 10, "", "", U32s({2, 1, 0, 1, 4, 1, 1}), {}, {}, {}, {}, {"last >= r.first"}, -1},
        {"short ranges", 10, "", "", "ab", {}, {}, {}, {}, {}, -1},
        {"oversized section", 3, "", U32s({1, 2}), std::string(4000, '\xff'), {2}, {}, {}, {},
         {"section 'SELECTIONS' of 4000 bytes is too long"}, 0},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Sections s = DocSections(c.records);
        s[3].second = c.filter;
        s[4].second = c.bookmarks;
        s[5].second = c.selections;
        Reports reports;
        Loaded doc(dir.Write("meta.kxl", Container(s)));
        ASSERT_EQ(doc.code, 0);
        EXPECT_TRUE(c.ok < 0 || doc.metadataOk == (c.ok != 0));
        for (const char* report : c.reports)
            EXPECT_TRUE(Reports::HasPart(report)) << report;
        EXPECT_EQ(Marks(doc.table->Bookmarks()), c.marks);
        EXPECT_EQ(Marks(doc.table->HiddenBookmarks()), c.hidden);
        EXPECT_EQ(Ranges(*doc.table), c.ranges);
        uint32_t selected = 0;
        for (const auto& range : c.ranges)
            selected += range[1];
        EXPECT_EQ(doc.table->NumSelected, selected);
        EXPECT_EQ(doc.table->FilterOn, !c.cleared.empty());
        if (doc.table->FilterOn) {
            doc.table->ClearFilter();
            EXPECT_EQ(Marks(doc.table->Bookmarks()), c.cleared);
        }
        EXPECT_EQ(doc.table->RowCount(), c.records);
    }
}
