// The load with worker threads against the plain sequential loop: the same
// files must give the same record slots, aux trees, thread lists and counts,
// also when the load is stopped half-way.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kxlib/reader/filekx.h"
#include "kxlib/reader/filekxd.h"
#include "kxlib/reader/filekxl.h"
#include "kxlib/table/kxtable_load.h"
#include "tests/kxlib/kxfilegen.h"
#include "tests/kxlib/table_fixtures.h"

using KxFileGen::Form;
using ZmLib::KxdProt;
using ZmLib::KxProt;

namespace {

struct Release {
    void operator()(KxTable* table) const { table->Release(); }
};

struct Loaded {
    std::unique_ptr<KxTable, Release> table;
    KxLoadResult result;
};

// A slot with every pointer into the record as its offset from the record:
// two tables hold the same record when these bytes are equal.
std::vector<char> SlotImage(const KxdRecord& record)
{
    KxdRecord copy;
    memcpy(static_cast<void*>(&copy), static_cast<const void*>(&record), sizeof(copy));
    const char* base = reinterpret_cast<const char*>(&record);
    for (char*& text : copy.text)
        text = reinterpret_cast<char*>(text - base);
    copy.NumsBufFreePos = reinterpret_cast<char*>(record.NumsBufFreePos - base);
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
    for (int32_t i = 0; i < a.RecordCount(); ++i) {
        ASSERT_EQ(SlotImage(*a.GetRecordByOriginalIndex(i)), SlotImage(*b.GetRecordByOriginalIndex(i)))
            << "record " << i;
    }
    // Aux trees: nodes, order, indices and children.
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
    // Thread lists with their open function stacks.
    ASSERT_EQ(a.Tids().Count(), b.Tids().Count());
    for (int32_t t = 0; t < a.Tids().Count(); ++t) {
        const KxTidEntry* x = a.Tids().At(t);
        const KxTidEntry* y = b.Tids().At(t);
        EXPECT_EQ(x->tid, y->tid);
        EXPECT_STREQ(x->name, y->name);
        ASSERT_EQ(x->depth, y->depth);
        for (int32_t d = 0; d < x->depth; ++d)
            EXPECT_EQ(IndexOf(x->stack[d]), IndexOf(y->stack[d]));
        EXPECT_EQ(x->hasLast, y->hasLast);
        EXPECT_EQ(x->lastTime, y->lastTime);
    }
    EXPECT_EQ(a.Prefs().Time0, b.Prefs().Time0);
    EXPECT_EQ(a.Prefs().Time0Index, b.Prefs().Time0Index);
    EXPECT_STREQ(a.VersionText() ? a.VersionText() : "-", b.VersionText() ? b.VersionText() : "-");
}

void ExpectSameResults(const KxLoadResult& a, const KxLoadResult& b)
{
    EXPECT_EQ(a.attempts, b.attempts);
    EXPECT_EQ(a.errors, b.errors);
    EXPECT_EQ(a.consumed, b.consumed);
    EXPECT_EQ(a.gaveUp, b.gaveUp);
    EXPECT_EQ(a.inputFailed, b.inputFailed);
    EXPECT_EQ(a.aborted, b.aborted);
    EXPECT_EQ(a.endText, b.endText);
}

std::string Head(Form form, const KxdProt& record)
{
    std::string out;
    KxFileGen::AppendHead(out, record, form, false);
    return out;
}

// A message whose magic is neither byte order's.
std::string BadMagic(Form form)
{
    KxdProt record;
    memset(&record, 0, sizeof record);
    record.msg.magic = 0x1234;
    return Head(form, record);
}

// A head with opt_len 400 and its 400 bytes: skipped as too long.
std::string Oversized(Form form)
{
    KxdProt record;
    memset(&record, 0, sizeof record);
    record.msg.magic = KxProt::MAGIC;
    record.msg.opt_len = 400;
    return Head(form, record) + std::string(400, 'x');
}

// Two traces, the second starting earlier (time rollbacks on every thread,
// names announced again), with bad records between them and a head cut off
// at the end. More threads than any worker count.
std::string Trace(Form form, bool swapped, uint32_t records)
{
    KxFileGen::Options options;
    options.records = records;
    options.processes = 5;
    options.threadsPerProcess = 9;
    options.maxDepth = 8;
    options.form = form;
    options.swapped = swapped;
    std::string bytes = KxFileGen::Generate(options);
    bytes += BadMagic(form) + Oversized(form) + BadMagic(form);
    options.seed = 7;
    options.startTime -= 5000000;
    bytes += KxFileGen::Generate(options);
    bytes += Oversized(form);
    options.seed = 9;
    options.records = records / 3;
    bytes += KxFileGen::Generate(options);
    return bytes + Head(form, KxdProt{}).substr(0, 30);
}

class LoadParallelTest : public ::testing::Test {
protected:
    Loaded Load(const std::string& path, Form form, KxLoadOptions options, const PrefKxTable& prefs)
    {
        std::unique_ptr<File2Kxd> reader;
        if (form == Form::Kx)
            reader.reset(new FileKx(path.c_str()));
        else
            reader.reset(new FileKxd(path.c_str()));
        EXPECT_EQ(reader->Open(), 0) << path;
        Loaded loaded;
        loaded.table.reset(new KxTable(path.c_str(), nullptr, prefs));
        loaded.result = KxLoadRecords(*reader, *loaded.table, reader->GetFileSize(), options);
        return loaded;
    }

    TempDir dir_;
    Reports reports_{ZmLib::KX_LEVEL_NOTICE};
};

struct FileCase {
    Form form;
    bool swapped;
    bool normalised;
};

TEST_F(LoadParallelTest, SameTableAsSequentialLoop)
{
    const FileCase cases[] = {
        {Form::Kx, false, false},
        {Form::Kx, true, true},
        {Form::Kxd, false, true},
        {Form::Kxd, true, false},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE(std::string(c.form == Form::Kx ? "kx" : "kxd") + (c.swapped ? " swapped" : "") +
                     (c.normalised ? " normalised" : ""));
        const std::string path = dir_.Write("trace", Trace(c.form, c.swapped, 12000));
        PrefKxTable prefs = PrefKxTable::Default();
        prefs.NormalizeTime = c.normalised ? 1 : 0;
        KxLoadOptions options;
        options.workers = 1;
        Loaded plain = Load(path, c.form, options, prefs);
        EXPECT_EQ(plain.result.errors, 5);
        EXPECT_GT(plain.table->RecordCount(), 24000);
        for (int workers : {2, 5}) {
            options.workers = workers;
            Loaded parallel = Load(path, c.form, options, prefs);
            ExpectSameResults(plain.result, parallel.result);
            ExpectSameTables(*plain.table, *parallel.table);
        }
    }
}

TEST_F(LoadParallelTest, OptionsActAlike)
{
    const std::string path = dir_.Write("trace", Trace(Form::Kx, false, 9000));
    struct OptionCase {
        const char* name;
        int32_t maxRecords;
        bool flaggedOnly;
        int32_t prot;
    };
    const OptionCase cases[] = {
        {"limit inside a chunk", 5000, false, -1},
        {"limit on a block edge", 10240, false, -1},
        {"flagged only", -1, true, -1},
        {"prot", -1, false, 1},
    };
    for (const OptionCase& c : cases) {
        SCOPED_TRACE(c.name);
        KxLoadOptions options;
        options.maxRecords = c.maxRecords;
        options.flaggedOnly = c.flaggedOnly;
        options.prot = c.prot;
        options.workers = 1;
        Loaded plain = Load(path, Form::Kx, options, PrefKxTable::Default());
        options.workers = 3;
        Loaded parallel = Load(path, Form::Kx, options, PrefKxTable::Default());
        ExpectSameResults(plain.result, parallel.result);
        ExpectSameTables(*plain.table, *parallel.table);
    }
}

// Abort half-way: the records read until then are all analysed, no slot is
// left unused, and the table equals a sequential load stopped at the same
// attempt.
TEST_F(LoadParallelTest, AbortKeepsConsistentTable)
{
    const std::string path = dir_.Write("trace", Trace(Form::Kxd, false, 15000));
    for (int32_t stopAt : {1, 4097, 13000}) {
        SCOPED_TRACE(stopAt);
        KxLoadOptions options;
        options.progress = [stopAt](int32_t attempts, int64_t) { return attempts < stopAt; };
        options.workers = 1;
        Loaded plain = Load(path, Form::Kxd, options, PrefKxTable::Default());
        options.workers = 4;
        Loaded parallel = Load(path, Form::Kxd, options, PrefKxTable::Default());
        EXPECT_TRUE(parallel.result.aborted);
        EXPECT_EQ(parallel.result.attempts, stopAt);
        ExpectSameResults(plain.result, parallel.result);
        ExpectSameTables(*plain.table, *parallel.table);
        for (int32_t i = 0; i < parallel.table->RecordCount(); ++i)
            ASSERT_NE(parallel.table->GetRecordByOriginalIndex(i)->text[FIELD_TIME][0], 0) << i;
    }
}

// Copies appended to a table: every record analysed again in copy mode.
TEST_F(LoadParallelTest, CopiesActAlike)
{
    const std::string path = dir_.Write("trace", Trace(Form::Kx, true, 9000));
    KxLoadOptions options;
    options.workers = 1;
    Loaded source = Load(path, Form::Kx, options, PrefKxTable::Default());
    std::vector<const KxdRecord*> records;
    for (int32_t i = 0; i < source.table->RecordCount(); i += 2)
        records.push_back(source.table->GetRecordByOriginalIndex(i));
    PrefKxTable normalised = PrefKxTable::Default();
    normalised.NormalizeTime = 1;
    for (const PrefKxTable& prefs : {PrefKxTable::Default(), normalised}) {
        std::unique_ptr<KxTable, Release> plain(new KxTable(nullptr, "plain", prefs));
        std::unique_ptr<KxTable, Release> parallel(new KxTable(nullptr, "parallel", prefs));
        KxAppendCopies(*plain, records.data(), records.size(), 1);
        KxAppendCopies(*parallel, records.data(), records.size(), 4);
        EXPECT_EQ(parallel->RecordCount(), int32_t(records.size()));
        ExpectSameTables(*plain, *parallel);
    }
}

// A document saved and read back in large pieces: the records as they were
// saved, and the same table from both loops.
TEST_F(LoadParallelTest, DocumentRoundTrip)
{
    const std::string path = dir_.Write("trace", Trace(Form::Kxd, false, 6000));
    KxLoadOptions options;
    options.workers = 1;
    Loaded source = Load(path, Form::Kxd, options, PrefKxTable::Default());
    const std::string document = dir_.Path("trace.kxl");
    const std::string ini = "[Table]\n";
    ASSERT_TRUE(FileKxl::Save(document.c_str(), *source.table, ini.c_str(), ini.size(), true));
    Loaded reloaded[2];
    for (int k = 0; k < 2; ++k) {
        FileKxl reader(document.c_str());
        ASSERT_EQ(reader.Open(), 0);
        reloaded[k].table.reset(new KxTable(document.c_str(), nullptr, PrefKxTable::Default()));
        options.workers = k == 0 ? 1 : 3;
        reloaded[k].result = KxLoadRecords(reader, *reloaded[k].table, reader.GetFileSize(), options);
    }
    ASSERT_EQ(reloaded[0].table->RecordCount(), source.table->RecordCount());
    for (int32_t i = 0; i < source.table->RecordCount(); ++i)
        ASSERT_EQ(memcmp(&source.table->GetRecordByOriginalIndex(i)->prot,
                         &reloaded[0].table->GetRecordByOriginalIndex(i)->prot, sizeof(KxdProt)),
                  0)
            << i;
    ExpectSameResults(reloaded[0].result, reloaded[1].result);
    ExpectSameTables(*reloaded[0].table, *reloaded[1].table);
}

// A file whose first ten records are bad gives up in both loops alike.
TEST_F(LoadParallelTest, GivesUpAlike)
{
    std::string bytes;
    for (int k = 0; k < 12; ++k)
        bytes += BadMagic(Form::Kx);
    const std::string path = dir_.Write("bad", bytes);
    KxLoadOptions options;
    options.workers = 1;
    Loaded plain = Load(path, Form::Kx, options, PrefKxTable::Default());
    options.workers = 3;
    Loaded parallel = Load(path, Form::Kx, options, PrefKxTable::Default());
    EXPECT_TRUE(parallel.result.gaveUp);
    EXPECT_EQ(parallel.table->RecordCount(), 0);
    ExpectSameResults(plain.result, parallel.result);
}

} // namespace
