// The load with worker threads against the plain sequential loop: the same
// files must give the same record slots, aux trees, thread lists and counts,
// also when the load is stopped half-way.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "kxlib/kxchannels.h"
#include "kxlib/reader/filecsv.h"
#include "kxlib/reader/filekx.h"
#include "kxlib/reader/filekxd.h"
#include "kxlib/reader/filekxl.h"
#include "kxlib/reader/kxlibexcept.h"
#include "kxlib/reader/log2kxdmulti.h"
#include "kxlib/reader/textchunks.h"
#include "kxlib/table/kxtable_load.h"
#include "kxlib/table/kxtids.h"
#include "tests/kxlib/kxfilegen.h"
#include "tests/kxlib/table_fixtures.h"

using KxFileGen::Form;
using ZmLib::KxdProt;
using ZmLib::KxProt;

namespace {

struct Release {
    void operator()(KxTable* table) const { table->Release(); }
};
using TablePtr = std::unique_ptr<KxTable, Release>;

struct Loaded {
    TablePtr table;
    KxLoadResult result;
};

// A slot without its block: two tables hold the same record when these
// bytes are equal.
std::vector<char> SlotImage(const KxdRecord& record)
{
    KxdRecord copy;
    memcpy(static_cast<void*>(&copy), static_cast<const void*>(&record), sizeof(copy));
    copy.block = nullptr;
    std::vector<char> image(sizeof(copy));
    memcpy(image.data(), static_cast<const void*>(&copy), sizeof(copy));
    return image;
}

int32_t IndexOf(const KxdRecord* record)
{
    return record ? int32_t(record->block->first + uint32_t(record - record->block->recs)) : -1;
}

void ExpectSameTables(KxTable& a, KxTable& b)
{
    ASSERT_EQ(a.RecordCount(), b.RecordCount());
    for (int32_t i = 0; i < a.RecordCount(); ++i)
        ASSERT_EQ(SlotImage(*a.GetRecordByOriginalIndex(i)), SlotImage(*b.GetRecordByOriginalIndex(i))) << i;
    ASSERT_EQ(a.AuxTree().Count(), b.AuxTree().Count());
    for (KxAuxNode1 *x = a.AuxTree().First(), *y = b.AuxTree().First(); x || y; x = x->next, y = y->next) {
        ASSERT_TRUE(x && y);
        EXPECT_STREQ(x->text, y->text);
        EXPECT_EQ(x->index, y->index);
        ASSERT_EQ(x->count, y->count);
        for (KxAuxNode2 *p = x->first, *q = y->first; p || q; p = p->next, q = q->next) {
            ASSERT_TRUE(p && q);
            EXPECT_STREQ(p->text, q->text);
            EXPECT_EQ(p->index, q->index);
        }
    }
    ASSERT_EQ(a.Tids().Count(), b.Tids().Count());
    for (int32_t t = 0; t < a.Tids().Count(); ++t) {
        const KxTidEntry* x = a.Tids().At(t);
        const KxTidEntry* y = b.Tids().At(t);
        EXPECT_EQ(std::tie(x->tid, x->depth, x->hasLast, x->lastTime),
                  std::tie(y->tid, y->depth, y->hasLast, y->lastTime));
        EXPECT_STREQ(x->name, y->name);
        for (int32_t d = 0; d < std::min(x->depth, y->depth); ++d)
            EXPECT_EQ(IndexOf(x->stack[d]), IndexOf(y->stack[d]));
    }
    EXPECT_EQ(a.Prefs().Time0, b.Prefs().Time0);
    EXPECT_EQ(a.Prefs().Time0Index, b.Prefs().Time0Index);
    EXPECT_STREQ(a.VersionText() ? a.VersionText() : "-", b.VersionText() ? b.VersionText() : "-");
}

auto Key(const KxLoadResult& r)
{
    return std::tie(r.attempts, r.errors, r.consumed, r.gaveUp, r.inputFailed, r.aborted, r.endText, r.endedInside,
                    r.readError);
}

// A message head with this magic and opt_len, followed by opt_len bytes.
std::string Junk(Form form, uint16_t magic, uint16_t optLen)
{
    KxdProt record;
    memset(&record, 0, sizeof record);
    record.msg.magic = magic;
    record.msg.opt_len = optLen;
    std::string out;
    KxFileGen::AppendHead(out, record, form, false);
    return out + std::string(optLen, 'x');
}

std::string BadMagic(Form form) { return Junk(form, 0x1234, 0); }
std::string Oversized(Form form) { return Junk(form, KxProt::MAGIC, 400); }

// Two traces, the second starting earlier (time rollbacks on every thread,
// names announced again), bad records between them and a head cut off at the
// end. More threads than any worker count.
std::string Trace(Form form, bool swapped, uint32_t records)
{
    KxFileGen::Options options;
    options.records = records;
    options.processes = 5;
    options.threadsPerProcess = 9;
    options.maxDepth = 8;
    options.form = form;
    options.swapped = swapped;
    std::string bytes = KxFileGen::Generate(options) + BadMagic(form) + Oversized(form) + BadMagic(form);
    options.seed = 7;
    options.startTime -= 5000000;
    bytes += KxFileGen::Generate(options) + Oversized(form);
    options.seed = 9;
    options.records = records / 3;
    std::string cut;
    KxFileGen::AppendHead(cut, KxdProt{}, form, false);
    return bytes + KxFileGen::Generate(options) + cut.substr(0, 30);
}

class LoadParallelTest : public ::testing::Test {
protected:
    Loaded Load(const std::string& path, Form form, KxLoadOptions options, int workers,
                const PrefKxTable& prefs = PrefKxTable::Default())
    {
        std::unique_ptr<KxReader> reader;
        if (path.size() > 4 && path.substr(path.size() - 4) == ".kxl")
            reader.reset(new FileKxl(path.c_str()));
        else if (form == Form::Kx)
            reader.reset(new FileKx(path.c_str()));
        else
            reader.reset(new FileKxd(path.c_str()));
        EXPECT_EQ(reader->Open(), 0) << path;
        Loaded loaded{TablePtr(new KxTable(path.c_str(), nullptr, prefs)), {}};
        options.workers = workers;
        loaded.result = KxLoadRecords(*reader, *loaded.table, reader->GetFileSize(), options);
        return loaded;
    }
    // Loads with one worker and with `workers`: results and tables must agree.
    std::pair<Loaded, Loaded> LoadBoth(const std::string& path, Form form, const KxLoadOptions& options, int workers,
                                       const PrefKxTable& prefs = PrefKxTable::Default())
    {
        std::pair<Loaded, Loaded> both{Load(path, form, options, 1, prefs), Load(path, form, options, workers, prefs)};
        EXPECT_EQ(Key(both.first.result), Key(both.second.result));
        ExpectSameTables(*both.first.table, *both.second.table);
        return both;
    }

    TempDir dir_;
    Reports reports_{ZmLib::KX_LEVEL_NOTICE};
};

TEST_F(LoadParallelTest, SameTableAsSequentialLoop)
{
    const struct {
        Form form;
        bool swapped, normalised;
    } cases[] = {{Form::Kx, false, false}, {Form::Kx, true, true}, {Form::Kxd, false, true}, {Form::Kxd, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.form == Form::Kx ? "kx" : "kxd") << c.swapped << c.normalised);
        const std::string path = dir_.Write("trace", Trace(c.form, c.swapped, 12000));
        PrefKxTable prefs = PrefKxTable::Default();
        prefs.NormalizeTime = c.normalised ? 1 : 0;
        for (int workers : {2, 5}) {
            auto both = LoadBoth(path, c.form, {}, workers, prefs);
            EXPECT_EQ(both.first.result.errors, 5);
            EXPECT_GT(both.first.table->RecordCount(), 24000);
        }
    }
}

TEST_F(LoadParallelTest, OptionsActAlike)
{
    const std::string path = dir_.Write("trace", Trace(Form::Kx, false, 9000));
    const struct {
        const char* what;
        int32_t maxRecords;
        bool flaggedOnly;
        int32_t prot;
    } cases[] = {
        {"limit inside a chunk", 5000, false, -1},
        {"limit on a block edge", 10240, false, -1},
        {"flagged only", -1, true, -1},
        {"prot", -1, false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        KxLoadOptions options;
        options.maxRecords = c.maxRecords;
        options.flaggedOnly = c.flaggedOnly;
        options.prot = c.prot;
        LoadBoth(path, Form::Kx, options, 3);
    }
}

// A fresh slot's string area is left as it comes (zero past the strings
// read); a slot kept from a dropped record holds that record's longer
// strings, which the next record read into it must not show.
TEST_F(LoadParallelTest, DroppedRecordLeavesNothingInItsSlot)
{
    const std::string dropped(300, 'x');
    const char* longStrings[KxProt::STR_SLOTS] = {};
    const char* shortStrings[KxProt::STR_SLOTS] = {};
    longStrings[KxdProt::SLOT_TEXT] = dropped.c_str();
    shortStrings[KxdProt::SLOT_TEXT] = "kept";
    for (Form form : {Form::Kx, Form::Kxd}) {
        KxdProt first{};
        first.msg.magic = KxProt::MAGIC;
        first.SetStrings(longStrings, nullptr);
        KxdProt second = first;
        second.msg.FLAGS = 1;
        second.SetStrings(shortStrings, nullptr);
        std::string both;
        std::string alone;
        KxFileGen::AppendRecord(both, first, form, false);
        KxFileGen::AppendRecord(both, second, form, false);
        KxFileGen::AppendRecord(alone, second, form, false);
        KxLoadOptions flagged;
        flagged.flaggedOnly = true;
        for (int workers : {1, 3}) {
            SCOPED_TRACE(testing::Message() << (form == Form::Kx ? "kx" : "kxd") << ", workers " << workers);
            const Loaded loaded = Load(dir_.Write("both", both), form, flagged, workers);
            const Loaded reference = Load(dir_.Write("alone", alone), form, {}, workers);
            EXPECT_EQ(loaded.result.attempts, 2);
            ExpectSameTables(*loaded.table, *reference.table);
        }
    }
}

// Abort half-way: the records read until then are all analysed, no slot is
// left unused, and the table equals a sequential load stopped alike. Also
// just past a chunk and past the chunks that can be on their way at once.
TEST_F(LoadParallelTest, AbortKeepsConsistentTable)
{
    const std::string path = dir_.Write("trace", Trace(Form::Kxd, false, 15000));
    for (int32_t stopAt : {1, 2049, 4097, 13000, 16385}) {
        SCOPED_TRACE(stopAt);
        KxLoadOptions options;
        options.progress = [stopAt](int32_t attempts, int64_t) { return attempts < stopAt; };
        const Loaded parallel = LoadBoth(path, Form::Kxd, options, 4).second;
        EXPECT_TRUE(parallel.result.aborted);
        EXPECT_EQ(parallel.result.attempts, stopAt);
        for (int32_t i = 0; i < parallel.table->RecordCount(); ++i)
            ASSERT_NE(parallel.table->GetRecordByOriginalIndex(i)->Text(FIELD_TIME)[0], 0) << i;
    }
}

// Copies appended to a table: every record analysed again in copy mode.
// Enough copies for the workers to take part, into an empty table (whose
// first copy sets the time base) and after records it already has.
TEST_F(LoadParallelTest, CopiesActAlike)
{
    const Loaded source = Load(dir_.Write("trace", Trace(Form::Kx, true, 24000)), Form::Kx, {}, 1);
    std::vector<const KxdRecord*> records;
    for (int32_t i = 0; i < source.table->RecordCount(); i += 2)
        records.push_back(source.table->GetRecordByOriginalIndex(i));
    ASSERT_GT(records.size(), size_t(10000));
    PrefKxTable normalised = PrefKxTable::Default();
    normalised.NormalizeTime = 1;
    for (const PrefKxTable& prefs : {PrefKxTable::Default(), normalised}) {
        for (size_t already : {size_t(0), size_t(5)}) {
            TablePtr plain(new KxTable(nullptr, "plain", prefs));
            TablePtr parallel(new KxTable(nullptr, "parallel", prefs));
            KxAppendCopies(*plain, records.data() + records.size() - already, already, 1);
            KxAppendCopies(*parallel, records.data() + records.size() - already, already, 1);
            KxAppendCopies(*plain, records.data(), records.size(), 1);
            KxAppendCopies(*parallel, records.data(), records.size(), 4);
            EXPECT_EQ(parallel->RecordCount(), int32_t(records.size() + already));
            ExpectSameTables(*plain, *parallel);
        }
    }
}

// A document saved and read back in large pieces: the records as saved, and
// the same table from both loops.
TEST_F(LoadParallelTest, DocumentRoundTrip)
{
    const Loaded source = Load(dir_.Write("trace", Trace(Form::Kxd, false, 6000)), Form::Kxd, {}, 1);
    const std::string document = dir_.Path("trace.kxl");
    const std::string ini = "[Table]\n";
    ASSERT_TRUE(FileKxl::Save(document.c_str(), *source.table, ini.c_str(), ini.size(), true));
    // The saved times are relative to Time0: read as they stand, as the
    // document loader reads a time-normalised document.
    PrefKxTable asSaved = PrefKxTable::Default();
    asSaved.NormalizeTime = 0;
    const Loaded back = LoadBoth(document, Form::Kxd, {}, 3, asSaved).first;
    ASSERT_EQ(back.table->RecordCount(), source.table->RecordCount());
    for (int32_t i = 0; i < source.table->RecordCount(); ++i)
        ASSERT_EQ(memcmp(&source.table->GetRecordByOriginalIndex(i)->prot,
                         &back.table->GetRecordByOriginalIndex(i)->prot, sizeof(KxdProt)), 0) << i;
}

// A file whose first ten records are bad gives up in both loops alike.
TEST_F(LoadParallelTest, GivesUpAlike)
{
    std::string bytes;
    for (int k = 0; k < 12; ++k)
        bytes += BadMagic(Form::Kx);
    const Loaded parallel = LoadBoth(dir_.Write("bad", bytes), Form::Kx, {}, 3).second;
    EXPECT_TRUE(parallel.result.gaveUp);
    EXPECT_EQ(parallel.table->RecordCount(), 0);
}

// A raw reader whose input fails once `good` records were read: with the
// system's error, or with none (a file found shorter than it said).
class FailingReader : public FileKx {
public:
    FailingReader(const char* path, uint32_t good, int error) : FileKx(path), good_(good), error_(error) {}
    int32_t ReadRecord() override
    {
        if (Accepted() < good_)
            return FileKx::ReadRecord();
        ReadErrno = error_;
        ++RecordsBad;
        throw KxLibExcept(KxLibExcept::FILE_IO_ERROR, int32_t(RecordsAccepted), 0);
    }

private:
    uint32_t good_;
    int error_;
};

// A failed read gives its system error, one without an error the record
// the input ended inside, with one worker and with several.
TEST_F(LoadParallelTest, EarlyEndsAreToldAlike)
{
    KxFileGen::Options generated;
    generated.records = 6000;
    const std::string path = dir_.Write("early", KxFileGen::Generate(generated));
    for (int error : {EIO, 0}) {
        for (int workers : {1, 3}) {
            SCOPED_TRACE(testing::Message() << "error " << error << ", workers " << workers);
            FailingReader reader(path.c_str(), 4500, error);
            ASSERT_EQ(reader.Open(), 0);
            TablePtr table(new KxTable(path.c_str(), nullptr, PrefKxTable::Default()));
            KxLoadOptions options;
            options.workers = workers;
            const KxLoadResult result = KxLoadRecords(reader, *table, reader.GetFileSize(), options);
            EXPECT_EQ(table->RecordCount(), 4500);
            EXPECT_EQ(result.readError, error);
            EXPECT_EQ(result.endedInside, error == 0 ? 4501u : 0u);
        }
    }
}

// Text files: the lines parsed ahead on worker threads give the records,
// counts and reports of the line-by-line read.

enum class TextKind { Log, Csv };

struct TextLoaded {
    Loaded loaded;
    uint32_t accepted = 0;
    uint32_t bad = 0;
    uint32_t unmatched = 0;
    std::vector<std::tuple<uint32_t, int32_t, int32_t>> skips;
    std::vector<std::string> reports;
    // Lines, then per finding (refused, long, cut, unread time): count,
    // first line, last line, offset and the note's findings.
    std::vector<uint64_t> findings;
};

// A template that takes "SKIP<n> ..." lines with two groups for one field
// (so such lines are passed over), then the built-in syslog one.
constexpr int32_t SkipFields[] = {FIELD_TEXT};
const char* const SkipTemplate = "SKIP(\\d+) (.*)\\r?\\n?";
constexpr int32_t SysLogFields[] = {FIELD_TIME, FIELD_HOST, FIELD_LEVEL, FIELD_KXNAME, FIELD_TEXT};
const char* const SysLogTemplate = "(\\w{3}[\\d\\W]+)\\s(\\(?\\w+\\)?)\\s[\\w\\.]+?(\\w+)\\s([^:]+):?\\s(.*)\\r?\\n?";
// Lines "NUMS <n> <n> ..." fill the two numbers stored after the string
// area.
constexpr int32_t NumsFields[] = {FIELD_NUM1, FIELD_NUM2, FIELD_TEXT};
const char* const NumsTemplate = "NUMS (\\d+) (\\d+) (.*)\\r?\\n?";
constexpr int32_t CsvFields[] = {FIELD_TIME, FIELD_SEQ, FIELD_PID, FIELD_LEVEL, FIELD_HOST, FIELD_KXNAME, FIELD_TEXT};

// The time of the read in each record: in file order, then cleared with
// its text so that two loads can be compared byte by byte.
void ClearReadTimes(KxTable& table)
{
    uint64_t last = 0;
    for (int32_t i = 0; i < table.RecordCount(); ++i) {
        KxdRecord* record = table.GetRecordByOriginalIndex(i);
        ASSERT_GE(record->prot.STIME, last) << i;
        last = record->prot.STIME;
        record->prot.STIME = 0;
        char* text = const_cast<char*>(record->Text(FIELD_STIME));
        memset(text, 0, strlen(text));
        record->RenderField(FIELD_STIME, uint32_t(table.Prefs().formats[FIELD_STIME]));
    }
}

TextLoaded LoadText(const std::string& path, TextKind kind, KxLoadOptions options, int workers)
{
    std::unique_ptr<Text2Kxd> reader;
    Log2KxdMulti* log = nullptr;
    if (kind == TextKind::Log) {
        auto templated = std::make_unique<Log2KxdMulti>(path.c_str());
        templated->AddTemplate(SkipTemplate, SkipFields, 1, false);
        templated->AddTemplate(SysLogTemplate, SysLogFields, 5, false);
        templated->AddTemplate(NumsTemplate, NumsFields, 3, false);
        log = templated.get();
        reader = std::move(templated);
    } else {
        reader = std::make_unique<FileCsv>(path.c_str(), 7, CsvFields, ';');
    }
    reader->SetWorkers(workers);
    Reports::All().clear();
    EXPECT_EQ(reader->Open(), 0) << path;
    TextLoaded out;
    out.loaded.table.reset(new KxTable(path.c_str(), nullptr, PrefKxTable::Default()));
    options.workers = workers;
    out.loaded.result = KxLoadRecords(*reader, *out.loaded.table, reader->GetFileSize(), options);
    ClearReadTimes(*out.loaded.table);
    out.accepted = reader->Accepted();
    out.bad = reader->Bad();
    for (int32_t k = 0; log && k < log->TemplateCount(); ++k) {
        const Log2KxdMulti::Skips skips = log->SkippedBy(k);
        out.skips.emplace_back(skips.lines, skips.groups, skips.fields);
    }
    out.unmatched = log ? log->Unmatched() : 0;
    out.findings.push_back(reader->Lines());
    for (const Text2Kxd::Finding* found :
         {&reader->Refused(), &reader->LongLines(), &reader->CutLines(), &reader->BadTimeLines()})
        out.findings.insert(out.findings.end(),
                            {found->count, found->line, found->lastLine, found->offset, found->note.length,
                             uint64_t(found->note.cutField), found->note.badTimeStart, found->note.badTimeLength});
    // Warnings and errors; notices name table instances.
    for (const Reports::Report& report : Reports::All())
        if (report.level <= ZmLib::KX_LEVEL_WARNING)
            out.reports.push_back(std::to_string(report.level) + " " + report.text);
    return out;
}

void ExpectSameTextLoads(const TextLoaded& a, const TextLoaded& b)
{
    EXPECT_EQ(Key(a.loaded.result), Key(b.loaded.result));
    EXPECT_EQ(std::tie(a.accepted, a.bad, a.unmatched, a.skips), std::tie(b.accepted, b.bad, b.unmatched, b.skips));
    EXPECT_EQ(a.findings, b.findings);
    EXPECT_EQ(a.reports, b.reports);
    ExpectSameTables(*a.loaded.table, *b.loaded.table);
}

// Syslog lines with everything a line can be: matched, matched by no
// template, passed over by one, with CR LF, longer than a record line
// (several records, also of UTF-8 characters), exactly at the line limit,
// with a NUL byte, with a date that cannot be read or does not exist, across
// New Year, with numbers stored after the string area.
std::string SyslogText(uint32_t lines)
{
    const char* const words[] = {"connection", "from", "accepted", "session", "timeout", "disk", "usage"};
    std::string out;
    uint32_t seed = 99;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (uint32_t k = 0; k < lines; ++k) {
        const uint32_t second = k / 40;
        char head[96];
        snprintf(head, sizeof head, "Mar %2u %02u:%02u:%02u host%u daemon.%s proc%u[%u]:", 1 + second / 86400 % 28,
                 second / 3600 % 24, second / 60 % 60, second % 60, next() % 3, next() % 2 ? "info" : "err",
                 next() % 5, 100 + next() % 50);
        std::string line = head;
        switch (k % 97) {
        case 5:
            line = "no template takes this line " + std::to_string(k);
            break;
        case 9:
            line = "SKIP" + std::to_string(k) + " passed over";
            break;
        case 13:
            line += std::string(2500 + next() % 3000, 'L');
            break;
        case 17:
            line += std::string(Text2Kxd::LINE_LENGTH_MAX - 1 - line.size(), 'x');
            break;
        case 21:
            line += std::string(Text2Kxd::LINE_LENGTH_MAX - line.size(), 'y');
            break;
        case 25:
            line += " before";
            line += '\0';
            line += "after";
            break;
        case 29:
            for (uint32_t n = 300 + next() % 400; n > 0; --n)
                line += "\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD"; // é€中
            break;
        case 33:
            line[0] = 'X'; // no month
            break;
        case 37:
            line = "NUMS " + std::to_string(k) + " " + std::to_string(next()) + " numbers";
            break;
        case 41:
            line.replace(0, 6, "Feb 30");
            break;
        case 45:
            line.replace(0, 15, "Dec 31 23:59:59");
            break;
        case 46:
            line.replace(0, 15, "Jan  1 00:00:01");
            break;
        default:
            for (uint32_t w = 1 + next() % 12; w > 0; --w)
                line += std::string(" ") + words[next() % 7];
        }
        out += line + (k % 11 == 3 ? "\r\n" : "\n");
    }
    return out;
}

std::string CsvText(uint32_t lines)
{
    std::string out;
    for (uint32_t k = 0; k < lines; ++k) {
        std::string line = std::to_string(1561910811000000ull + k * 1000ull) + "," + std::to_string(k) + "," +
                           std::to_string(100 + k % 7) + "," + std::to_string(int(k % 5) - 2) + ",host" +
                           std::to_string(k % 4) + ";proc;message " + std::to_string(k);
        if (k % 53 == 7)
            line = "99999999999999999999999,1,2,3,h;p;too large";
        else if (k % 53 == 19)
            line = "12;no comma";
        else if (k % 53 == 31)
            line += std::string(3000, 'c');
        else if (k % 53 == 37)
            for (uint32_t n = 300 + k % 400; n > 0; --n)
                line += "\xE2\x82\xAC\xC3\xA9"; // €é
        out += line + (k % 7 == 2 ? "\r\n" : "\n");
    }
    return out;
}

TEST_F(LoadParallelTest, TextFilesLoadAsLineByLine)
{
    const std::string syslog = SyslogText(30000);
    const std::string csv = CsvText(30000);
    std::string pieceExact = syslog.substr(0, 2 * TextChunks::READ_SIZE);
    pieceExact.back() = '\n';
    std::string badStart;
    for (int k = 0; k < 12; ++k)
        badStart += "x,\n";
    const struct {
        const char* what;
        TextKind kind;
        std::string text;
        int32_t maxRecords;
    } cases[] = {
        {"syslog", TextKind::Log, syslog, -1},
        {"syslog cut inside a line", TextKind::Log, syslog.substr(0, syslog.size() - 30), -1},
        {"syslog with a line longer than a read",
         TextKind::Log, syslog.substr(0, 400000) + std::string(3 * TextChunks::READ_SIZE + 77, 'z') + syslog, -1},
        {"syslog ending on a read's edge", TextKind::Log, pieceExact, -1},
        {"syslog up to a limit", TextKind::Log, syslog, 5000},
        {"empty", TextKind::Log, "", -1},
        {"delimited", TextKind::Csv, csv, -1},
        {"delimited cut inside a line", TextKind::Csv, csv.substr(0, csv.size() - 9), -1},
        {"delimited, first ten lines bad", TextKind::Csv, badStart + csv, -1},
        {"delimited, first nine lines bad", TextKind::Csv, badStart.substr(0, 27) + csv, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir_.Write("text", c.text);
        KxLoadOptions options;
        options.maxRecords = c.maxRecords;
        const TextLoaded plain = LoadText(path, c.kind, options, 1);
        for (int workers : {2, 8}) {
            SCOPED_TRACE(workers);
            ExpectSameTextLoads(plain, LoadText(path, c.kind, options, workers));
        }
    }
}

// Abort before the first line, inside the first piece read ahead and far
// into the file: the lines read until then, each record analysed.
TEST_F(LoadParallelTest, TextAbortKeepsConsistentTable)
{
    const std::string path = dir_.Write("syslog", SyslogText(30000));
    for (int32_t stopAt : {0, 1500, 24000}) {
        SCOPED_TRACE(stopAt);
        KxLoadOptions options;
        options.progress = [stopAt](int32_t attempts, int64_t) { return attempts < stopAt; };
        const TextLoaded plain = LoadText(path, TextKind::Log, options, 1);
        const TextLoaded parallel = LoadText(path, TextKind::Log, options, 4);
        ExpectSameTextLoads(plain, parallel);
        EXPECT_TRUE(parallel.loaded.result.aborted);
        EXPECT_EQ(parallel.loaded.result.attempts, stopAt);
        EXPECT_EQ(parallel.loaded.table->RecordCount(), stopAt);
        for (int32_t i = 0; i < parallel.loaded.table->RecordCount(); ++i)
            ASSERT_NE(parallel.loaded.table->GetRecordByOriginalIndex(i)->Text(FIELD_LEVEL)[0], 0) << i;
    }
}

// The order stage held up (its report of a full thread list does not
// return): the reading thread, out of chunks, keeps calling the progress
// callback with the same counts, and a refusal then stops the load at the
// next attempt with every record read until then analysed.
class HeldOrder {
public:
    HeldOrder() : saved_(KxTableChannel.output) { KxTableChannel.output = &Hold; }
    ~HeldOrder() { KxTableChannel.output = saved_; }
    // Lets the held report return: true when it was still held.
    static bool Release()
    {
        std::lock_guard<std::mutex> lock(Mutex());
        const bool held = Held();
        Held() = false;
        Released().notify_all();
        return held;
    }
    // True when a report was held until Release.
    static bool WasReleased() { return released_; }

private:
    static std::mutex& Mutex()
    {
        static std::mutex mutex;
        return mutex;
    }
    static std::condition_variable& Released()
    {
        static std::condition_variable released;
        return released;
    }
    static bool& Held()
    {
        static bool held = false;
        return held;
    }
    static int Hold(ZmLib::KXEVENT* event, ZmLib::KX*)
    {
        if (!event->text || strcmp(event->text, "KxTids list is full") != 0)
            return 0;
        std::unique_lock<std::mutex> lock(Mutex());
        Held() = true;
        // Without calls while the reader waits, nothing releases it.
        released_ = Released().wait_for(lock, std::chrono::seconds(5), [] { return !Held(); });
        Held() = false;
        return 0;
    }
    static inline bool released_ = false;
    ZmLib::KxOutputFn saved_;
};

TEST_F(LoadParallelTest, ReaderWaitingForStagesCallsProgress)
{
    KxFileGen::Options many;
    many.records = 30000;
    // Thread ids of a process stay apart from the next one's up to 100.
    many.processes = KxTids::MAX / 100 + 1;
    many.threadsPerProcess = 100;
    const std::string path = dir_.Write("threads", KxFileGen::Generate(many));
    for (const bool refuse : {false, true}) {
        SCOPED_TRACE(refuse);
        HeldOrder held;
        int32_t last = -1, waitedAt = -1;
        KxLoadOptions options;
        options.progress = [&](int32_t attempts, int64_t) {
            if (attempts == last && waitedAt < 0 && HeldOrder::Release())
                waitedAt = attempts;
            last = attempts;
            return !refuse || waitedAt < 0;
        };
        const Loaded loaded = Load(path, Form::Kx, options, 4);
        EXPECT_TRUE(HeldOrder::WasReleased());
        ASSERT_GT(waitedAt, 0);
        EXPECT_EQ(loaded.result.aborted, refuse);
        EXPECT_EQ(loaded.result.attempts, refuse ? waitedAt : int32_t(many.records));
        EXPECT_EQ(loaded.table->RecordCount(), loaded.result.attempts);
        for (int32_t i = 0; i < loaded.table->RecordCount(); ++i)
            ASSERT_NE(loaded.table->GetRecordByOriginalIndex(i)->Text(FIELD_TNAME)[0], 0) << i;
    }
}

// A refusal is the last answer the progress callback gives: while the
// records on their way are finished (the order stage held well past the
// reading thread's wait turns), it is not asked again, whether it refused
// before a read attempt or while the reading thread waited.
TEST_F(LoadParallelTest, RefusedProgressIsNotAskedAgain)
{
    KxFileGen::Options many;
    many.records = 30000;
    many.processes = KxTids::MAX / 100 + 1;
    many.threadsPerProcess = 100;
    const std::string path = dir_.Write("threads", KxFileGen::Generate(many));
    // The attempt whose record fills the thread list, which the order stage
    // is held at.
    int32_t full = -1;
    KxLoadOptions find;
    find.progress = [&full](int32_t attempts, int64_t) {
        if (full < 0 && Reports::Has("KxTids list is full"))
            full = attempts - 1;
        return true;
    };
    Load(path, Form::Kx, find, 1);
    // The reader runs out of chunks (and waits) within the chunks that can
    // be on their way at once past the held one.
    constexpr int32_t CHUNK_RECORDS = 2048;
    ASSERT_GT(full, 0);
    ASSERT_LT(full + 9 * CHUNK_RECORDS, int32_t(many.records));
    const struct {
        const char* what;
        bool waiting;
    } cases[] = {{"before a read attempt", false}, {"while the reader waits", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HeldOrder held;
        std::thread releaser;
        int32_t last = -1, refusedAt = -1, askedAfter = 0;
        KxLoadOptions options;
        options.progress = [&](int32_t attempts, int64_t) {
            const bool waiting = attempts == last;
            last = attempts;
            if (refusedAt >= 0) {
                ++askedAfter;
                return false;
            }
            // Past a chunk beyond the held record: reached before the
            // chunks run out.
            if (waiting != c.waiting || attempts < full + CHUNK_RECORDS)
                return true;
            refusedAt = attempts;
            releaser = std::thread([] {
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
                while (!HeldOrder::Release())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            });
            return false;
        };
        const Loaded loaded = Load(path, Form::Kx, options, 4);
        releaser.join();
        EXPECT_TRUE(HeldOrder::WasReleased());
        EXPECT_EQ(askedAfter, 0);
        EXPECT_TRUE(loaded.result.aborted);
        EXPECT_EQ(loaded.result.attempts, refusedAt);
        EXPECT_EQ(loaded.table->RecordCount(), refusedAt);
        for (int32_t i = 0; i < loaded.table->RecordCount(); ++i)
            ASSERT_NE(loaded.table->GetRecordByOriginalIndex(i)->Text(FIELD_TNAME)[0], 0) << i;
    }
}

} // namespace
