// The document file: its byte layout, the round trip of a table with its
// filter, bookmarks, selections, time base and view block, updates in place,
// failed saves, and damaged or hostile files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "kxlib/kxchannels.h"
#include "kxlib/reader/filekxl.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/preftable.h"
#include "table_fixtures.h"
#include "utils/common/inifile.h"
#include "utils/common/kxexcept.h"

namespace {

using Sections = std::vector<std::pair<std::string, std::string>>;

// Collects the reports of the READER, TABLE and SYS channels while alive.
class Reports {
public:
    Reports()
    {
        for (int k = 0; k < 3; ++k) {
            saved_[k] = Channel(k).output;
            threshold_[k] = Channel(k).threshold;
            Channel(k).output = &Collect;
            Channel(k).threshold = 4;
        }
        Texts().clear();
    }
    ~Reports()
    {
        for (int k = 0; k < 3; ++k) {
            Channel(k).output = saved_[k];
            Channel(k).threshold = threshold_[k];
        }
    }
    static std::vector<std::string>& Texts()
    {
        static std::vector<std::string> texts;
        return texts;
    }
    static bool Has(const std::string& text)
    {
        for (const std::string& t : Texts())
            if (t == text)
                return true;
        return false;
    }
    static bool HasPart(const std::string& part)
    {
        for (const std::string& t : Texts())
            if (t.find(part) != std::string::npos)
                return true;
        return false;
    }

private:
    static ZmLib::KX& Channel(int k) { return k == 0 ? KxReaderChannel : k == 1 ? KxTableChannel : ZmLib::KxSys; }
    static int Collect(ZmLib::KXEVENT* event, ZmLib::KX*)
    {
        Texts().push_back(event->text ? event->text : "");
        return 0;
    }
    ZmLib::KxOutputFn saved_[3];
    int32_t threshold_[3];
};

class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/kxltest-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(dir_); }
    std::string Path(const char* name) const { return dir_ + "/" + name; }
    size_t Entries() const
    {
        size_t n = 0;
        for (auto it = std::filesystem::directory_iterator(dir_); it != std::filesystem::directory_iterator(); ++it)
            ++n;
        return n;
    }

private:
    std::string dir_;
};

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string Header(const std::string& name, size_t size)
{
    char text[64];
    snprintf(text, sizeof(text), "\nSECTION:%10s:%-16zu\n", name.c_str(), size);
    return text;
}

std::string Container(const Sections& sections)
{
    std::string out;
    for (const auto& s : sections)
        out += Header(s.first, s.second.size()) + s.second;
    return out + "\n<<<END OF FILE>>>\n";
}

// The sections of a file as written: names and data, up to the end marker.
Sections Parse(const std::string& bytes)
{
    Sections out;
    size_t at = 0;
    while (at + 37 <= bytes.size() && bytes.compare(at, 9, "\nSECTION:") == 0) {
        std::string head = bytes.substr(at + 9, 27);
        size_t colon = head.find(':');
        std::string name = head.substr(0, colon);
        name.erase(0, name.find_first_not_of(' '));
        size_t size = std::stoul(head.substr(colon + 1));
        out.emplace_back(name, bytes.substr(at + 37, size));
        at += 37 + size;
    }
    return out;
}

std::string U32s(std::initializer_list<uint32_t> values)
{
    std::string out;
    for (uint32_t v : values)
        out.append(reinterpret_cast<const char*>(&v), 4);
    return out;
}

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

bool SaveTable(const std::string& path, KxTable& table, bool modified = true)
{
    std::string ini = ViewBlock(table);
    return FileKxl::Save(path.c_str(), table, ini.c_str(), ini.size(), modified);
}

struct Loaded {
    int32_t code = -1;
    KxTable* table = nullptr;
    PrefTabTable tab;
    PrefKxTable kx;
    bool metadataOk = false;
    ~Loaded()
    {
        if (table)
            table->Release();
    }
};

// What the document loader does with a document file.
void Load(const std::string& path, Loaded& out)
{
    FileKxl reader(path.c_str());
    out.code = reader.Open();
    if (out.code != 0)
        return;
    std::vector<char> text(reader.IniText(), reader.IniText() + reader.IniSize() + 1);
    ZmLib::IniBase ini;
    ini.ReadFromText(text.data(), reader.IniSize());
    PrefTable::Load(false, ini, out.tab, out.kx);
    out.table = new KxTable(path.c_str(), nullptr, out.kx);
    if (out.kx.NormalizeTime)
        out.table->SetRelativeTimeBase(out.kx.Time0, out.kx.Time0Index);
    for (int64_t k = 0; k < reader.GetFileSize(); ++k) {
        KxdRecord* slot = out.table->NewRecord();
        reader.SetRecord(&slot->prot);
        reader.ReadRecord();
        KxdRecord::ProcessLine4Client(slot, false);
    }
    out.metadataOk = reader.ReadMetadata(*out.table);
    out.table->SetModified(false);
}

std::vector<int32_t> BookmarkIndices(KxTableBkmarks& list)
{
    std::vector<int32_t> out;
    for (KxBkmarkEntry* b = list.First(); b; b = b->NextEntry())
        out.push_back(b->index);
    return out;
}

std::vector<std::vector<uint32_t>> Ranges(KxTable& table)
{
    std::vector<std::vector<uint32_t>> out;
    for (SelRange* r = table.FirstRange(); r; r = r->NextEntry())
        out.push_back({uint32_t(r->first), uint32_t(r->count), r->tag});
    return out;
}

// A valid document of n records with the given metadata sections.
std::string Document(int n, const std::string& filter, const std::string& bookmarks, const std::string& selections,
                     const std::string& tableSize = "")
{
    TableRef table(MakeTable(n));
    std::string ini = ViewBlock(*table);
    return Container({{"KXLVER", "1"},
                      {"TABLESIZE", tableSize.empty() ? std::to_string(n) : tableSize},
                      {"TABLE", RecordBytes(*table)},
                      {"FILTER", filter},
                      {"BOOKMARKS", bookmarks},
                      {"SELECTIONS", selections},
                      {"INI", ini}});
}

} // namespace

TEST(KxlLayout, ThreeRecordsWithoutMetadata)
{
    TempDir dir;
    TableRef table(MakeTable(3));
    std::string path = dir.Path("three.kxl");
    std::string ini = ViewBlock(*table);
    ASSERT_TRUE(SaveTable(path, *table));

    std::string bytes = ReadAll(path);
    EXPECT_EQ(bytes.substr(0, 37), "\nSECTION:    KXLVER:1               \n");
    EXPECT_EQ(bytes.substr(bytes.size() - 19), "\n<<<END OF FILE>>>\n");
    Sections s = Parse(bytes);
    ASSERT_EQ(s.size(), 7u);
    const char* names[] = {"KXLVER", "TABLESIZE", "TABLE", "FILTER", "BOOKMARKS", "SELECTIONS", "INI"};
    for (size_t k = 0; k < 7; ++k)
        EXPECT_EQ(s[k].first, names[k]);
    EXPECT_EQ(s[0].second, "1");
    EXPECT_EQ(s[1].second, "3");
    EXPECT_EQ(s[2].second.size(), 1488u);
    EXPECT_EQ(s[2].second, RecordBytes(*table));
    EXPECT_TRUE(s[3].second.empty());
    EXPECT_TRUE(s[4].second.empty());
    EXPECT_TRUE(s[5].second.empty());
    EXPECT_EQ(s[6].second, ini);
    size_t total = 0;
    for (const auto& sec : s)
        total += 37 + sec.second.size();
    EXPECT_EQ(bytes.size(), total + 19);
}

TEST(KxlLayout, FilterAndBookmarkBytes)
{
    TempDir dir;
    TableRef table(MakeTable(3));
    table->BookmarkSet(1, true);
    table->ManualFilterPrepare(2, false);
    table->Filtered[0] = 0;
    table->Filtered[1] = 2;
    table->NumMannualFiltered = 2;
    table->ManualFilter();
    table->BookmarkSet(1, true);
    std::string path = dir.Path("f.kxl");
    ASSERT_TRUE(SaveTable(path, *table));

    Sections s = Parse(ReadAll(path));
    ASSERT_EQ(s.size(), 7u);
    EXPECT_EQ(s[3].second, U32s({0, 2}));
    // nv, row, nh, original index.
    EXPECT_EQ(s[4].second, U32s({1, 1, 1, 1}));
    EXPECT_TRUE(s[5].second.empty());

    Loaded doc;
    Load(path, doc);
    ASSERT_EQ(doc.code, 0);
    EXPECT_TRUE(doc.metadataOk);
    EXPECT_TRUE(doc.table->FilterOn);
    EXPECT_EQ(doc.table->RowCount(), 2);
    EXPECT_EQ(doc.table->OriginalIndex(1), 2);
    EXPECT_EQ(BookmarkIndices(doc.table->Bookmarks()), std::vector<int32_t>({1}));
    EXPECT_EQ(BookmarkIndices(doc.table->HiddenBookmarks()), std::vector<int32_t>({1}));
    EXPECT_NE(doc.table->GetRecordByOriginalIndex(1)->bookmark, nullptr);
    doc.table->ClearFilter();
    EXPECT_EQ(BookmarkIndices(doc.table->Bookmarks()), std::vector<int32_t>({1, 2}));
}

TEST(KxlLayout, SelectionBytes)
{
    TempDir dir;
    TableRef table(MakeTable(10));
    table->SelRangeSet(4, 6, true, 2);
    std::string path = dir.Path("s.kxl");
    ASSERT_TRUE(SaveTable(path, *table));
    Sections s = Parse(ReadAll(path));
    ASSERT_EQ(s.size(), 7u);
    EXPECT_EQ(s[5].second, U32s({1, 4, 3, 2}));

    Loaded doc;
    Load(path, doc);
    ASSERT_EQ(doc.code, 0);
    EXPECT_EQ(Ranges(*doc.table), (std::vector<std::vector<uint32_t>>{{4, 3, 2}}));
    EXPECT_EQ(doc.table->NumSelected, 3u);
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

    PrefTabTable tab;
    tab.Grid = 1;
    tab.Colorize = 1;
    tab.ColorSelect = 0x123456;
    tab.ClearColumns();
    tab.AddColumn(FIELD_TEXT);
    tab.AddColumn(FIELD_TIME);
    tab.pinnedCount = 2;
    tab.pinned[0].phrase = "needle; with a semicolon";
    tab.pinned[0].color = 0xFF0000;
    tab.pinned[0].mode = 1;
    tab.pinned[0].matchCase = 1;
    tab.pinned[1].phrase = "second";
    tab.pinned[1].color = 0x00FF00;
    table->Prefs().formats[FIELD_NUM1] = NUMFMT_HEX;
    table->Prefs().TreeLevel1Field = FIELD_PID;
    std::string ini = ViewBlock(tab, table->Prefs());
    std::string path = dir.Path("full.kxl");
    ASSERT_TRUE(FileKxl::Save(path.c_str(), *table, ini.c_str(), ini.size(), true));

    Loaded doc;
    Load(path, doc);
    ASSERT_EQ(doc.code, 0);
    EXPECT_TRUE(doc.metadataOk);
    KxTable& back = *doc.table;
    EXPECT_EQ(RecordBytes(back), RecordBytes(*table));
    EXPECT_TRUE(back.FilterOn);
    ASSERT_EQ(back.RowCount(), 12);
    for (int32_t row = 0; row < 12; ++row)
        EXPECT_EQ(back.OriginalIndex(row), 4 + row);
    EXPECT_EQ(BookmarkIndices(back.Bookmarks()), BookmarkIndices(table->Bookmarks()));
    EXPECT_EQ(BookmarkIndices(back.HiddenBookmarks()), std::vector<int32_t>({3}));
    EXPECT_EQ(Ranges(back), Ranges(*table));
    EXPECT_EQ(back.NumSelected, 5u);
    EXPECT_EQ(back.CurRow(), 8);
    EXPECT_EQ(back.GetRecord(7)->selRange, back.FirstRange()->NextEntry());

    // The view block comes back whole.
    EXPECT_EQ(doc.tab.Grid, 1);
    EXPECT_EQ(doc.tab.Colorize, 1);
    EXPECT_EQ(doc.tab.ColorSelect, 0x123456u);
    ASSERT_EQ(doc.tab.columnCount, 2);
    EXPECT_EQ(doc.tab.columns[0], FIELD_TEXT);
    ASSERT_EQ(doc.tab.pinnedCount, 2);
    EXPECT_EQ(doc.tab.pinned[0].phrase, "needle; with a semicolon");
    EXPECT_EQ(doc.tab.pinned[0].color, 0xFF0000);
    EXPECT_EQ(doc.tab.pinned[0].mode, 1);
    EXPECT_EQ(doc.tab.pinned[0].matchCase, 1);
    EXPECT_EQ(doc.tab.pinned[1].phrase, "second");
    EXPECT_EQ(doc.kx.formats[FIELD_NUM1], NUMFMT_HEX);
    EXPECT_EQ(back.Prefs().TreeLevel1Field, FIELD_PID);
    EXPECT_EQ(std::string(doc.table->GetRecord(0)->text[FIELD_NUM1]).substr(0, 2), "0x");

    // Clearing the filter brings the document's full bookmark set back.
    back.ClearSelections();
    back.ClearFilter();
    EXPECT_EQ(BookmarkIndices(back.Bookmarks()), std::vector<int32_t>({3, 4, 10}));
}

TEST(KxlTime, NormalisedDocumentKeepsItsAbsoluteTimes)
{
    TempDir dir;
    TableRef table(MakeTable(5, true));
    EXPECT_EQ(table->Prefs().Time0, T0);
    ASSERT_TRUE(table->NormalizeTimeOn(2));
    EXPECT_EQ(table->Prefs().Time0, T0 + 2000);
    EXPECT_EQ(table->Prefs().Time0Index, 2);
    EXPECT_EQ(int64_t(table->GetRecordByOriginalIndex(0)->prot.msg.TIME), -2000);
    std::string path = dir.Path("time.kxl");
    ASSERT_TRUE(SaveTable(path, *table));

    Loaded doc;
    Load(path, doc);
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
    EXPECT_EQ(back.Prefs().Time0, T0);
    EXPECT_EQ(back.Prefs().Time0Index, -1);
}

TEST(KxlTime, NormaliseAtRowsAndBack)
{
    TableRef table(MakeTable(6));
    EXPECT_FALSE(table->TimeNormalised());
    // Switching off what is not on changes nothing.
    table->NormalizeTimeOff();
    EXPECT_EQ(table->GetRecordByOriginalIndex(3)->prot.msg.TIME, T0 + 3000);

    ASSERT_TRUE(table->NormalizeTimeOn(1));
    ASSERT_TRUE(table->NormalizeTimeOn(4));
    EXPECT_EQ(table->GetRecordByOriginalIndex(4)->prot.msg.TIME, 0u);
    EXPECT_EQ(table->Prefs().Time0, T0 + 4000);
    EXPECT_STREQ(table->GetRecordByOriginalIndex(4)->text[FIELD_TIME], "0");
    EXPECT_FALSE(table->NormalizeTimeOn(6));
    table->NormalizeTimeOff();
    for (int32_t i = 0; i < 6; ++i)
        EXPECT_EQ(table->GetRecordByOriginalIndex(i)->prot.msg.TIME, T0 + uint64_t(i) * 1000);

    TableRef full(MakeTable(1));
    EXPECT_FALSE(full->SetRelativeTimeBase(5, 0));
}

TEST(KxlUpdate, InPlaceRewritesOnlyTheMetadata)
{
    TempDir dir;
    TableRef table(MakeTable(8));
    table->BookmarkSet(1, true);
    table->BookmarkSet(2, true);
    table->BookmarkSet(3, true);
    std::string path = dir.Path("u.kxl");
    ASSERT_TRUE(SaveTable(path, *table));
    std::string before = ReadAll(path);
    struct stat st1;
    ASSERT_EQ(stat(path.c_str(), &st1), 0);
    const size_t tableEnd = 37 + 1 + 37 + 1 + 37 + 8 * 496;

    table->ClearBookmarks();
    table->BookmarkSet(5, true);
    table->SelRangeSet(0, 1, true, 3);
    Reports reports;
    ASSERT_TRUE(SaveTable(path, *table, false));
    EXPECT_FALSE(Reports::HasPart("will be recreated"));
    struct stat st2;
    ASSERT_EQ(stat(path.c_str(), &st2), 0);
    EXPECT_EQ(st1.st_ino, st2.st_ino);
    std::string after = ReadAll(path);
    EXPECT_EQ(after.substr(0, tableEnd), before.substr(0, tableEnd));

    Loaded doc;
    Load(path, doc);
    ASSERT_EQ(doc.code, 0);
    EXPECT_EQ(BookmarkIndices(doc.table->Bookmarks()), std::vector<int32_t>({5}));
    EXPECT_EQ(Ranges(*doc.table), (std::vector<std::vector<uint32_t>>{{0, 2, 3}}));

    // A shorter tail leaves old bytes behind the end marker; they are not
    // read.
    table->ClearBookmarks();
    table->ClearSelections();
    ASSERT_TRUE(SaveTable(path, *table, false));
    std::string shrunk = ReadAll(path);
    EXPECT_EQ(shrunk.size(), after.size());
    Loaded again;
    Load(path, again);
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
    Loaded doc;
    Load(path, doc);
    ASSERT_EQ(doc.code, 0);
    EXPECT_EQ(doc.table->RecordCount(), 4);
    EXPECT_EQ(BookmarkIndices(doc.table->Bookmarks()), std::vector<int32_t>({3}));

    WriteAll(path, "not a document");
    Reports::Texts().clear();
    ASSERT_TRUE(SaveTable(path, *table, false));
    EXPECT_TRUE(Reports::HasPart("open failure when updating, error = 8!"));
    EXPECT_TRUE(Reports::Has("File '" + path + "' update failure, will be recreated!"));
    Loaded fixed;
    Load(path, fixed);
    EXPECT_EQ(fixed.code, 0);
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

TEST(KxlSaveFailure, FailedWholeSaveKeepsThePreviousDocument)
{
    TempDir dir;
    std::string path = dir.Path("keep.kxl");
    TableRef small(MakeTable(2));
    ASSERT_TRUE(SaveTable(path, *small));
    std::string before = ReadAll(path);

    TableRef big(MakeTable(40));
    Reports reports;
    {
        FileSizeLimit limit(before.size() + 4000);
        EXPECT_FALSE(SaveTable(path, *big));
    }
    // Buffered writes fail at the latest when the file is completed.
    EXPECT_TRUE(Reports::HasPart("error while writing KXL file section") || Reports::Has("File.FlushStop()"));
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(dir.Entries(), 1u);
    Loaded doc;
    Load(path, doc);
    EXPECT_EQ(doc.code, 0);
}

TEST(KxlSaveFailure, UpdateWithoutRoomKeepsThePreviousDocument)
{
    TempDir dir;
    std::string path = dir.Path("grow.kxl");
    TableRef table(MakeTable(50));
    ASSERT_TRUE(SaveTable(path, *table));
    std::string before = ReadAll(path);

    // Bookmarks on every row make the metadata grow past the limit.
    for (int32_t row = 0; row < 50; ++row)
        table->BookmarkSet(row, true);
    {
        Reports reports;
        FileSizeLimit limit(before.size() + 100);
        EXPECT_FALSE(SaveTable(path, *table, false));
        EXPECT_TRUE(Reports::HasPart("no room for the new metadata"));
    }
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(dir.Entries(), 1u);
}

TEST(KxlSaveFailure, ViewBlockMissingOrTooLong)
{
    TempDir dir;
    std::string path = dir.Path("ini.kxl");
    TableRef table(MakeTable(2));
    ASSERT_TRUE(SaveTable(path, *table));
    std::string before = ReadAll(path);
    Reports reports;
    std::string huge(10000, 'x');
    EXPECT_FALSE(FileKxl::Save(path.c_str(), *table, huge.c_str(), huge.size(), true));
    EXPECT_FALSE(FileKxl::Save(path.c_str(), *table, huge.c_str(), huge.size(), false));
    EXPECT_FALSE(FileKxl::Save(path.c_str(), *table, nullptr, 0, true));
    EXPECT_EQ(ReadAll(path), before);
    // 9999 bytes is the largest view block a reader takes.
    EXPECT_TRUE(FileKxl::Save(path.c_str(), *table, huge.c_str(), 9999, true));
    FileKxl reader(path.c_str());
    EXPECT_EQ(reader.Open(), 0);
    EXPECT_EQ(reader.IniSize(), 9999u);
}

TEST(KxlOpen, ResultCodes)
{
    TempDir dir;
    std::string path = dir.Path("codes.kxl");
    auto open = [&](const std::string& bytes) {
        WriteAll(path, bytes);
        FileKxl reader(path.c_str());
        return reader.Open();
    };
    TableRef table(MakeTable(3));
    std::string records = RecordBytes(*table);
    std::string ini = ViewBlock(*table);
    auto doc = [&](const std::string& version, const std::string& size, const std::string& recs,
                   const std::string& iniName, const std::string& iniText) {
        return Container({{"KXLVER", version},
                          {"TABLESIZE", size},
                          {"TABLE", recs},
                          {"FILTER", ""},
                          {"BOOKMARKS", ""},
                          {"SELECTIONS", ""},
                          {iniName, iniText}});
    };
    Reports reports;
    EXPECT_EQ(open(doc("1", "3", records, "INI", ini)), 0);

    EXPECT_EQ(open(doc("2", "3", records, "INI", ini)), 8);
    EXPECT_TRUE(Reports::Has("File '" + path + "': unsupported version 2"));
    Sections six = {{"KXLVER", "1"}, {"TABLESIZE", "3"}, {"TABLE", records},
                    {"FILTER", ""},  {"BOOKMARKS", ""},  {"INI", ini}};
    Reports::Texts().clear();
    EXPECT_EQ(open(Container(six)), 8);
    EXPECT_TRUE(Reports::Has("File '" + path + "' is broken!"));
    EXPECT_EQ(open(""), 8);
    EXPECT_EQ(open(doc("1", "abc", records, "INI", ini)), 8);
    EXPECT_EQ(open(doc("1", "-3", records, "INI", ini)), 8);
    EXPECT_EQ(open(doc("1", "99999999999", records, "INI", ini)), 8);
    EXPECT_EQ(open(doc("1", "", records, "INI", ini)), 8);

    EXPECT_EQ(open(doc("1", "3", records, "INX", ini)), 9);
    EXPECT_EQ(open(doc("1", "3", records, "INI", std::string(10000, ';'))), 10);
    EXPECT_EQ(open(doc("1", "3", records, "INI", std::string(9999, ';'))), 0);
    EXPECT_EQ(open(doc("1", "4", records, "INI", ini)), 11);
    EXPECT_EQ(open(doc("1", "3", records + "xx", "INI", ini)), 11);

    std::filesystem::remove(path);
    FileKxl missing(path.c_str());
    EXPECT_EQ(missing.Open(), 8);
}

TEST(KxlRead, RecordsStopAtTheTableAndAreMadeSafe)
{
    TempDir dir;
    std::string path = dir.Path("read.kxl");
    TableRef table(MakeTable(2));
    std::string records = RecordBytes(*table);
    // Record 1: an opt_len past the area and a string offset past opt_len.
    ZmLib::KxdProt hostile;
    memcpy(&hostile, records.data() + 496, sizeof(hostile));
    hostile.msg.opt_len = 1000;
    hostile.msg.offsets[ZmLib::KxdProt::SLOT_TEXT] = 2000;
    memset(hostile.msg.strings, 'A', sizeof(hostile.msg.strings));
    records.replace(496, 496, reinterpret_cast<const char*>(&hostile), 496);
    WriteAll(path, Container({{"KXLVER", "1"},
                              {"TABLESIZE", "2"},
                              {"TABLE", records},
                              {"FILTER", U32s({0, 1})},
                              {"BOOKMARKS", ""},
                              {"SELECTIONS", ""},
                              {"INI", ViewBlock(*table)}}));
    FileKxl reader(path.c_str());
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

TEST(KxlMetadata, BadFilterIsNotAppliedNorAreItsRows)
{
    TempDir dir;
    std::string path = dir.Path("filter.kxl");
    const std::string bookmarks = U32s({1, 0});
    const std::string selections = U32s({1, 0, 1, 4});
    const std::vector<std::string> filters = {
        U32s({2, 1}),        // descending
        U32s({0, 5}),        // beyond the records
        U32s({1, 1}),        // repeated
        std::string("\1\0\0", 3), // shorter than one value
        U32s({0, 1}) + "x",  // stray byte
        U32s({0, 1, 2, 3, 4, 5}), // more rows than records
    };
    for (const std::string& filter : filters) {
        WriteAll(path, Document(5, filter, bookmarks, selections));
        Reports reports;
        Loaded doc;
        Load(path, doc);
        ASSERT_EQ(doc.code, 0);
        EXPECT_FALSE(doc.metadataOk);
        EXPECT_FALSE(doc.table->FilterOn);
        EXPECT_EQ(doc.table->RowCount(), 5);
        EXPECT_EQ(doc.table->Bookmarks().Length(), 0u);
        EXPECT_EQ(doc.table->NumSelected, 0u);
    }
}

TEST(KxlMetadata, HostileBookmarksAreSkipped)
{
    TempDir dir;
    std::string path = dir.Path("bk.kxl");
    Reports reports;
    // Rows 1, 9 (beyond), 1 (repeated) and 3; the count claims 100.
    WriteAll(path, Document(5, "", U32s({100, 1, 9, 1, 3}), ""));
    Loaded doc;
    Load(path, doc);
    ASSERT_EQ(doc.code, 0);
    EXPECT_EQ(BookmarkIndices(doc.table->Bookmarks()), std::vector<int32_t>({1, 3}));
    EXPECT_TRUE(Reports::HasPart("Bookmark on row 9 skipped"));
    EXPECT_TRUE(Reports::HasPart("Bookmark on row 1 skipped"));

    // Hidden part under a filter of records 0 and 2: record 2 is visible,
    // 7 is beyond, 4 repeats, 3 dangles half.
    WriteAll(path, Document(5, U32s({0, 2}), U32s({1, 1, 5, 2, 7, 4, 4, 1}) + "zz", ""));
    Loaded filtered;
    Load(path, filtered);
    ASSERT_EQ(filtered.code, 0);
    EXPECT_EQ(BookmarkIndices(filtered.table->Bookmarks()), std::vector<int32_t>({1}));
    EXPECT_EQ(BookmarkIndices(filtered.table->HiddenBookmarks()), std::vector<int32_t>({1, 4}));
    filtered.table->ClearFilter();
    EXPECT_EQ(BookmarkIndices(filtered.table->Bookmarks()), std::vector<int32_t>({1, 2, 4}));

    for (const std::string& bad : {std::string("\1\0", 2), std::string()}) {
        WriteAll(path, Document(5, "", bad, ""));
        Loaded tiny;
        Load(path, tiny);
        ASSERT_EQ(tiny.code, 0);
        EXPECT_EQ(tiny.table->Bookmarks().Length(), 0u);
    }
}

TEST(KxlMetadata, HiddenBookmarksWithoutFilterStayAsRows)
{
    TempDir dir;
    std::string path = dir.Path("nofilter.kxl");
    // A document whose filter showed nothing stores no filter; its hidden
    // bookmarks name rows of the unfiltered view.
    WriteAll(path, Document(5, "", U32s({0, 2, 1, 3}), ""));
    Reports reports;
    Loaded doc;
    Load(path, doc);
    ASSERT_EQ(doc.code, 0);
    EXPECT_TRUE(Reports::Has("FilterOn && n2"));
    EXPECT_EQ(BookmarkIndices(doc.table->Bookmarks()), std::vector<int32_t>({1, 3}));
    EXPECT_EQ(doc.table->HiddenBookmarks().Length(), 0u);
}

TEST(KxlMetadata, HostileSelectionsAreClippedOrSkipped)
{
    TempDir dir;
    std::string path = dir.Path("sel.kxl");
    Reports reports;
    // {0,2,1}, overlapping {1,2,2}, {5,100,3} clipped to rows 5..9, then
    // {20,1,4} beyond; the count claims 9.
    WriteAll(path, Document(10, "", "", U32s({9, 0, 2, 1, 1, 2, 2, 5, 100, 3, 20, 1, 4})));
    Loaded doc;
    Load(path, doc);
    ASSERT_EQ(doc.code, 0);
    EXPECT_EQ(Ranges(*doc.table), (std::vector<std::vector<uint32_t>>{{0, 2, 1}, {5, 5, 3}}));
    EXPECT_EQ(doc.table->NumSelected, 7u);
    EXPECT_TRUE(Reports::HasPart("clipped"));

    // A first row near 2^32 with a count that wraps.
    WriteAll(path, Document(10, "", "", U32s({1, 0xFFFFFFF0u, 0x20, 1})));
    Loaded wrap;
    Load(path, wrap);
    ASSERT_EQ(wrap.code, 0);
    EXPECT_EQ(wrap.table->NumSelected, 0u);

    Reports::Texts().clear();
    WriteAll(path, Document(10, "", "", U32s({0})));
    Loaded none;
    Load(path, none);
    EXPECT_TRUE(Reports::Has("nranges"));
    EXPECT_EQ(none.table->NumSelected, 0u);

    // A range of no rows stops the list.
    WriteAll(path, Document(10, "", "", U32s({2, 1, 0, 1, 4, 1, 1})));
    Loaded empty;
    Load(path, empty);
    EXPECT_TRUE(Reports::Has("last >= r.first"));
    EXPECT_EQ(empty.table->NumSelected, 0u);

    WriteAll(path, Document(10, "", "", "ab"));
    Loaded tiny;
    Load(path, tiny);
    EXPECT_EQ(tiny.table->NumSelected, 0u);
}

TEST(KxlMetadata, OversizedSectionAndBadPrefsAreSkipped)
{
    TempDir dir;
    std::string path = dir.Path("big.kxl");
    // Selections far larger than a table of 3 rows can hold.
    WriteAll(path, Document(3, "", U32s({1, 2}), std::string(4000, '\xff')));
    Reports reports;
    Loaded doc;
    Load(path, doc);
    ASSERT_EQ(doc.code, 0);
    EXPECT_FALSE(doc.metadataOk);
    EXPECT_TRUE(Reports::HasPart("section 'SELECTIONS' of 4000 bytes is too long"));
    EXPECT_EQ(BookmarkIndices(doc.table->Bookmarks()), std::vector<int32_t>({2}));

    // A view block whose current row and Time0Index lie beyond the records.
    TableRef table(MakeTable(3, true));
    table->Prefs().CurPossition = 50;
    table->Prefs().Time0Index = 70;
    std::string ini = ViewBlock(*table);
    WriteAll(path, Container({{"KXLVER", "1"},
                              {"TABLESIZE", "3"},
                              {"TABLE", RecordBytes(*table)},
                              {"FILTER", ""},
                              {"BOOKMARKS", ""},
                              {"SELECTIONS", ""},
                              {"INI", ini}}));
    Loaded prefs;
    Load(path, prefs);
    ASSERT_EQ(prefs.code, 0);
    EXPECT_EQ(prefs.table->CurRow(), 2);
    EXPECT_EQ(prefs.table->Prefs().Time0Index, -1);
}

TEST(KxlSerialise, SectionBytesOfTheTable)
{
    TableRef table(MakeTable(6));
    std::vector<uint8_t> out;
    table->SerializeFiltered(out);
    table->SerializeBookmarks(out);
    table->SerializeSelections(out);
    EXPECT_TRUE(out.empty());

    table->BookmarkSet(4, true);
    table->SelRangeSet(0, 1, true, 7);
    table->SelRangeSet(3, 3, true, 8);
    table->SerializeBookmarks(out);
    EXPECT_EQ(std::string(out.begin(), out.end()), U32s({1, 4}));
    out.clear();
    table->SerializeSelections(out);
    EXPECT_EQ(std::string(out.begin(), out.end()), U32s({2, 0, 2, 7, 3, 1, 8}));
}
