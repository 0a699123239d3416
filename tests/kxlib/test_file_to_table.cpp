// Raw record files read record by record into a table: generated traces in
// both file forms and byte orders, cut and damaged files, and unreadable ones.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "kxlib/kxchannels.h"
#include "kxlib/reader/filekx.h"
#include "kxlib/reader/filekxd.h"
#include "kxlib/table/kxtable.h"
#include "tests/kxlib/kxfilegen.h"
#include "tests/kxlib/rawload.h"

using KxFileGen::Form;
using ZmLib::KxdProt;
using ZmLib::KxProt;

namespace {

int Silent(ZmLib::KXEVENT*, ZmLib::KX*) { return 0; }

// Every test gets its own folder; the READER and TABLE channels stay quiet
// (the damaged files warn on purpose).
class FileToTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tmp = getenv("TMPDIR");
        dir_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/kxfile2table-XXXXXX";
        ASSERT_NE(mkdtemp(&dir_[0]), nullptr);
        savedReader_ = KxReaderChannel.output;
        savedTable_ = KxTableChannel.output;
        KxReaderChannel.output = &Silent;
        KxTableChannel.output = &Silent;
    }
    void TearDown() override
    {
        KxReaderChannel.output = savedReader_;
        KxTableChannel.output = savedTable_;
        for (const std::string& file : files_)
            unlink(file.c_str());
        rmdir(dir_.c_str());
    }

    std::string Write(const std::string& name, const std::string& bytes)
    {
        std::string path = dir_ + "/" + name;
        EXPECT_TRUE(KxFileGen::WriteFile(path.c_str(), bytes));
        files_.push_back(path);
        return path;
    }

    std::string dir_;
    std::vector<std::string> files_;
    ZmLib::KxOutputFn savedReader_ = nullptr;
    ZmLib::KxOutputFn savedTable_ = nullptr;
};

std::unique_ptr<File2Kxd> OpenReader(const std::string& path, Form form)
{
    std::unique_ptr<File2Kxd> reader;
    if (form == Form::Kx)
        reader.reset(new FileKx(path.c_str()));
    else
        reader.reset(new FileKxd(path.c_str()));
    EXPECT_EQ(reader->Open(), 0) << path;
    return reader;
}

// A table with the program's default preferences, released at scope end.
struct Loaded {
    explicit Loaded(const std::string& path) : table(new KxTable(path.c_str(), nullptr, PrefKxTable::Default())) {}
    ~Loaded() { table->Release(); }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    KxTable* table;
};

std::string FormName(Form form, bool swapped)
{
    return std::string(form == Form::Kx ? "kx" : "kxd") + (swapped ? "-swapped" : "");
}

// Offsets where the records of an unswapped generated file start.
std::vector<size_t> RecordStarts(const std::string& bytes, Form form)
{
    const size_t head = form == Form::Kx ? KxProt::LEN_HEADER : size_t(FileKxd::LEN_HEAD);
    const size_t optLenAt = head - KxProt::LEN_HEADER + offsetof(KxProt, opt_len);
    std::vector<size_t> starts;
    size_t at = 0;
    while (at + head <= bytes.size()) {
        starts.push_back(at);
        size_t optLen = uint8_t(bytes[at + optLenAt]) | size_t(uint8_t(bytes[at + optLenAt + 1])) << 8;
        at += head + optLen;
    }
    return starts;
}

// The texts of every field of every row.
std::vector<std::vector<std::string>> Texts(KxTable& table)
{
    std::vector<std::vector<std::string>> rows;
    for (int32_t row = 0; row < table.RowCount(); ++row) {
        KxdRecord* record = table.GetRecord(row);
        std::vector<std::string> texts;
        for (int field = 0; field < FIELD_Nums; ++field)
            texts.push_back(record->text[field]);
        rows.push_back(texts);
    }
    return rows;
}

// A head with opt_len 400 followed by its 400 bytes: one oversized message.
std::string OversizedMessage(Form form)
{
    KxdProt record;
    memset(&record, 0, sizeof record);
    record.msg.magic = KxProt::MAGIC;
    record.msg.opt_len = 400;
    std::string out;
    KxFileGen::AppendHead(out, record, form, false);
    out.append(400, 'z');
    return out;
}

} // namespace

// ---------------------------------------------------------- whole traces

TEST_F(FileToTableTest, GeneratedTracesLoadCompleteInEveryForm)
{
    std::map<std::string, std::vector<std::vector<std::string>>> texts;
    for (Form form : {Form::Kx, Form::Kxd}) {
        for (bool swapped : {false, true}) {
            const std::string name = FormName(form, swapped);
            SCOPED_TRACE(name);
            KxFileGen::Options options;
            options.records = 3000;
            options.form = form;
            options.swapped = swapped;
            KxFileGen::Summary summary;
            std::string path = Write("trace." + name, KxFileGen::Generate(options, &summary));

            std::unique_ptr<File2Kxd> reader = OpenReader(path, form);
            Loaded loaded(path);
            KxTable& table = *loaded.table;
            RawLoadResult result = LoadRawRecords(*reader, table);

            EXPECT_FALSE(result.gaveUp);
            EXPECT_EQ(result.errors, 0u);
            EXPECT_EQ(result.attempts, 3000u);
            EXPECT_EQ(result.consumed, int64_t(summary.bytes));
            EXPECT_EQ(reader->Accepted(), 3000u);
            EXPECT_EQ(reader->Bad(), 0u);
            ASSERT_EQ(table.RecordCount(), 3000);
            EXPECT_EQ(table.RowCount(), 3000);
            EXPECT_FALSE(table.Modified());
            EXPECT_STREQ(table.Name(), "trace");

            // Times are counted from the first record, 17 microseconds apart.
            for (int32_t row = 0; row < 3000; ++row) {
                const KxdRecord* record = table.GetRecord(row);
                ASSERT_EQ(record->prot.msg.SEQ, uint32_t(row));
                ASSERT_EQ(record->prot.msg.TIME, uint64_t(row) * 17);
                ASSERT_EQ(record->prot.PROT, 0);
                if (form == Form::Kxd) {
                    ASSERT_EQ(record->prot.STIME, uint64_t(options.startTime + 250 + int64_t(row) * 17));
                }
            }
            texts[name] = Texts(table);
        }
    }
    // Byte order changes nothing; the file form only the receive prefix.
    EXPECT_EQ(texts["kx"], texts["kx-swapped"]);
    EXPECT_EQ(texts["kxd"], texts["kxd-swapped"]);
    ASSERT_EQ(texts["kx"].size(), texts["kxd"].size());
    for (size_t row = 0; row < texts["kx"].size(); ++row) {
        for (int field = 0; field < FIELD_Nums; ++field) {
            if (field == FIELD_STIME || field == FIELD_IP)
                continue;
            ASSERT_EQ(texts["kx"][row][field], texts["kxd"][row][field]) << "row " << row << " field " << field;
        }
    }
}

TEST_F(FileToTableTest, WellFormedTraceHasNoErrorsAndExactNesting)
{
    KxFileGen::Options options;
    options.records = 5000;
    options.maxDepth = 8;
    KxFileGen::Summary summary;
    std::string path = Write("nest.kx", KxFileGen::Generate(options, &summary));
    ASSERT_GT(summary.enters, 500u);

    std::unique_ptr<File2Kxd> reader = OpenReader(path, Form::Kx);
    Loaded loaded(path);
    KxTable& table = *loaded.table;
    LoadRawRecords(*reader, table);
    ASSERT_EQ(table.RecordCount(), 5000);

    // An independent model: per thread, the TIMEs of the open enters.
    std::map<uint64_t, std::vector<uint64_t>> open;
    uint32_t enters = 0;
    uint32_t leaves = 0;
    for (int32_t row = 0; row < table.RecordCount(); ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        const KxdRecord* record = table.GetRecord(row);
        const KxProt& msg = record->prot.msg;
        std::vector<uint64_t>& stack = open[msg.TID];
        ASSERT_EQ(record->errorKind, uint32_t(KXERR_NoErrors));
        if (msg.FLAGS & KXFLAGS_FUNC_ENTER) {
            stack.push_back(msg.TIME);
            ++enters;
            ASSERT_EQ(record->prot.NEST, stack.size());
            // The enter's ETIME is written when its leave arrives.
        } else if (msg.FLAGS & KXFLAGS_FUNC_LEAVE) {
            ASSERT_FALSE(stack.empty());
            ASSERT_EQ(record->prot.NEST, stack.size());
            uint64_t enteredAt = stack.back();
            stack.pop_back();
            ++leaves;
            ASSERT_EQ(record->prot.EXECTIME, msg.TIME - enteredAt);
            ASSERT_EQ(record->prot.EXECTIME % 17, 0u);
            ASSERT_STREQ(record->text[FIELD_TEXT], record->text[FIELD_FUNC]);
        } else {
            ASSERT_EQ(record->prot.NEST, stack.size());
            ASSERT_EQ(record->prot.EXECTIME, 0u);
        }
        ASSERT_EQ(std::string(record->text[FIELD_NEST]), std::to_string(record->prot.NEST));
    }
    EXPECT_EQ(enters, summary.enters);
    EXPECT_EQ(leaves, summary.leaves);
    for (const auto& thread : open)
        EXPECT_TRUE(thread.second.empty()) << "TID " << thread.first;

    // Every enter carries the time its leave measured.
    std::map<uint64_t, std::vector<const KxdRecord*>> enterStack;
    for (int32_t row = 0; row < table.RecordCount(); ++row) {
        const KxdRecord* record = table.GetRecord(row);
        std::vector<const KxdRecord*>& stack = enterStack[record->prot.msg.TID];
        if (record->Flags() & KXFLAGS_FUNC_ENTER) {
            stack.push_back(record);
        } else if (record->Flags() & KXFLAGS_FUNC_LEAVE) {
            ASSERT_EQ(stack.back()->prot.EXECTIME, record->prot.EXECTIME) << "row " << row;
            ASSERT_STREQ(stack.back()->text[FIELD_ETIME], record->text[FIELD_ETIME]) << "row " << row;
            stack.pop_back();
        }
    }
    EXPECT_GT(table.MaxNest(), 1);
    EXPECT_LE(table.MaxNest(), 8);
}

TEST_F(FileToTableTest, AnnouncedNamesAreResolved)
{
    KxFileGen::Options options;
    options.records = 1500;
    options.processes = 3;
    options.threadsPerProcess = 4;
    for (Form form : {Form::Kx, Form::Kxd}) {
        SCOPED_TRACE(FormName(form, true));
        options.form = form;
        options.swapped = true;
        std::string path = Write("names." + FormName(form, true), KxFileGen::Generate(options));
        std::unique_ptr<File2Kxd> reader = OpenReader(path, form);
        Loaded loaded(path);
        KxTable& table = *loaded.table;
        LoadRawRecords(*reader, table);
        ASSERT_EQ(table.RecordCount(), 1500);

        for (uint32_t p = 0; p < 3; ++p) {
            ASSERT_NE(table.ProcessName(KxFileGen::ProcessId(p)), nullptr);
            EXPECT_EQ(table.ProcessName(KxFileGen::ProcessId(p)), KxFileGen::ProcessName(p));
            for (uint32_t t = 0; t < 4; ++t) {
                KxTidEntry* entry = table.Tids().Find(KxFileGen::ThreadId(p, t));
                ASSERT_NE(entry, nullptr);
                EXPECT_EQ(entry->name, KxFileGen::ThreadName(p, t));
                EXPECT_EQ(entry->depth, 0);
            }
        }
        EXPECT_EQ(table.Tids().Count(), 12);

        // From its announcement on, a thread's records show its name; every
        // record shows its process' name.
        std::set<uint64_t> announced;
        std::set<std::string> threadTexts;
        for (int32_t row = 0; row < table.RecordCount(); ++row) {
            const KxdRecord* record = table.GetRecord(row);
            const KxProt& msg = record->prot.msg;
            uint32_t process = uint32_t(msg.PID - KxFileGen::ProcessId(0));
            uint32_t thread = uint32_t(msg.TID - KxFileGen::ThreadId(process, 0));
            ASSERT_EQ(record->text[FIELD_PNAME], KxFileGen::ProcessName(process)) << "row " << row;
            if (msg.FLAGS & KXFLAGS_THREAD_NAME)
                announced.insert(msg.TID);
            if (announced.count(msg.TID))
                ASSERT_EQ(record->text[FIELD_TNAME], KxFileGen::ThreadName(process, thread)) << "row " << row;
            else
                ASSERT_EQ(std::string(record->text[FIELD_TNAME]), std::to_string(msg.TID)) << "row " << row;
            threadTexts.insert(record->text[FIELD_TNAME]);
        }
        EXPECT_EQ(announced.size(), 12u);

        // The aux tree's first level holds exactly the thread texts shown.
        std::set<std::string> treeTexts;
        for (KxAuxNode1* node = table.AuxTree().First(); node; node = node->next)
            treeTexts.insert(node->text);
        EXPECT_EQ(treeTexts, threadTexts);
        EXPECT_EQ(table.AuxTree().Count(), int32_t(threadTexts.size()));
    }
}

TEST_F(FileToTableTest, ProtIsStoredBeforeItsTextIsRendered)
{
    KxFileGen::Options options;
    options.records = 20;
    options.form = Form::Kxd;
    std::string bytes = KxFileGen::Generate(options);
    // Every receive prefix says PROT 3.
    for (size_t start : RecordStarts(bytes, Form::Kxd))
        bytes[start + offsetof(KxdProt, PROT)] = 3;
    std::string path = Write("prot.kxd", bytes);

    for (uint8_t prot : {uint8_t(0), uint8_t(1)}) {
        std::unique_ptr<File2Kxd> reader = OpenReader(path, Form::Kxd);
        Loaded loaded(path);
        LoadRawRecords(*reader, *loaded.table, prot);
        ASSERT_EQ(loaded.table->RecordCount(), 20);
        for (int32_t row = 0; row < 20; ++row) {
            const KxdRecord* record = loaded.table->GetRecord(row);
            EXPECT_EQ(record->prot.PROT, prot);
            EXPECT_EQ(std::string(record->text[FIELD_PROT]), std::to_string(prot)) << "row " << row;
        }
    }
}

// ------------------------------------------------------ damaged files

TEST_F(FileToTableTest, CutFileKeepsEarlierRecordsAndCountsOneBad)
{
    KxFileGen::Options options;
    options.records = 400;
    for (Form form : {Form::Kx, Form::Kxd}) {
        options.form = form;
        std::string bytes = KxFileGen::Generate(options);
        std::vector<size_t> starts = RecordStarts(bytes, form);
        ASSERT_EQ(starts.size(), 400u);
        const size_t head = form == Form::Kx ? KxProt::LEN_HEADER : size_t(FileKxd::LEN_HEAD);
        // Cut inside the head of record 250, and inside the strings of 251.
        struct Cut {
            const char* where;
            size_t bytes;
            int32_t kept;
        };
        for (Cut cut : {Cut{"head", starts[250] + 30, 250}, Cut{"strings", starts[251] + head + 3, 251}}) {
            SCOPED_TRACE(FormName(form, false) + " cut in " + cut.where);
            std::string path = Write(std::string("cut-") + cut.where + "." + FormName(form, false),
                                     bytes.substr(0, cut.bytes));
            std::unique_ptr<File2Kxd> reader = OpenReader(path, form);
            Loaded loaded(path);
            KxTable& table = *loaded.table;
            RawLoadResult result = LoadRawRecords(*reader, table);

            EXPECT_FALSE(result.gaveUp);
            EXPECT_EQ(result.errors, 1u);
            EXPECT_EQ(reader->Bad(), 1u);
            EXPECT_EQ(result.endText, "End of Stream: " + std::to_string(cut.kept) + " records accepted, 1 bad records");
            // The slot of the cut record is gone again.
            ASSERT_EQ(table.RecordCount(), cut.kept);
            EXPECT_EQ(table.RowCount(), cut.kept);
            for (int32_t row = 0; row < cut.kept; ++row) {
                ASSERT_EQ(table.GetRecord(row)->prot.msg.SEQ, uint32_t(row));
                ASSERT_EQ(table.GetRecord(row)->errorKind, uint32_t(KXERR_NoErrors));
            }
            EXPECT_EQ(table.FindRecord(cut.kept), nullptr);
        }
    }
}

TEST_F(FileToTableTest, OversizedMessageInTheMiddleIsCountedAndSkipped)
{
    for (Form form : {Form::Kx, Form::Kxd}) {
        SCOPED_TRACE(FormName(form, false));
        KxFileGen::Options options;
        options.records = 100;
        options.form = form;
        std::string bytes = KxFileGen::Generate(options);
        std::vector<size_t> starts = RecordStarts(bytes, form);
        bytes.insert(starts[60], OversizedMessage(form));
        std::string path = Write("long." + FormName(form, false), bytes);

        std::unique_ptr<File2Kxd> reader = OpenReader(path, form);
        Loaded loaded(path);
        KxTable& table = *loaded.table;
        RawLoadResult result = LoadRawRecords(*reader, table);
        EXPECT_FALSE(result.gaveUp);
        EXPECT_EQ(result.errors, 1u);
        EXPECT_EQ(result.attempts, 101u);
        ASSERT_EQ(table.RecordCount(), 100);
        // The failed slot was reused: no gap, no stray record.
        for (int32_t row = 0; row < 100; ++row) {
            ASSERT_EQ(table.GetRecord(row)->prot.msg.SEQ, uint32_t(row));
            ASSERT_EQ(table.GetRecord(row)->errorKind, uint32_t(KXERR_NoErrors)) << "row " << row;
        }
    }
}

TEST_F(FileToTableTest, TenFailuresFirstIsUnreadableButNotAfterAGoodRecord)
{
    std::string tenBad;
    for (int k = 0; k < 10; ++k)
        tenBad += OversizedMessage(Form::Kx);
    KxFileGen::Options options;
    options.records = 1;
    const std::string good = KxFileGen::Generate(options);

    {
        std::string path = Write("bad.kx", tenBad + good);
        std::unique_ptr<File2Kxd> reader = OpenReader(path, Form::Kx);
        Loaded loaded(path);
        RawLoadResult result = LoadRawRecords(*reader, *loaded.table);
        EXPECT_TRUE(result.gaveUp);
        EXPECT_EQ(result.attempts, 10u);
        EXPECT_EQ(result.errors, 10u);
        EXPECT_EQ(loaded.table->RecordCount(), 0);
    }
    {
        std::string path = Write("goodfirst.kx", good + tenBad);
        std::unique_ptr<File2Kxd> reader = OpenReader(path, Form::Kx);
        Loaded loaded(path);
        RawLoadResult result = LoadRawRecords(*reader, *loaded.table);
        EXPECT_FALSE(result.gaveUp);
        EXPECT_EQ(result.errors, 10u);
        EXPECT_EQ(result.endText, "End of Stream: 1 records accepted, 10 bad records");
        EXPECT_EQ(loaded.table->RecordCount(), 1);
    }
    {
        // Zero bytes: no magic anywhere.
        std::string path = Write("zeros.kxd", std::string(5000, '\0'));
        std::unique_ptr<File2Kxd> reader = OpenReader(path, Form::Kxd);
        Loaded loaded(path);
        RawLoadResult result = LoadRawRecords(*reader, *loaded.table);
        EXPECT_TRUE(result.gaveUp);
        EXPECT_EQ(reader->Bad(), 10u);
        EXPECT_EQ(loaded.table->RecordCount(), 0);
    }
}

TEST_F(FileToTableTest, EmptyFileGivesEmptyTable)
{
    std::string path = Write("empty.kx", "");
    std::unique_ptr<File2Kxd> reader = OpenReader(path, Form::Kx);
    Loaded loaded(path);
    RawLoadResult result = LoadRawRecords(*reader, *loaded.table);
    EXPECT_FALSE(result.gaveUp);
    EXPECT_EQ(result.attempts, 0u);
    EXPECT_EQ(result.endText, "End of Stream: 0 records accepted, 0 bad records");
    EXPECT_EQ(loaded.table->RecordCount(), 0);
    EXPECT_EQ(loaded.table->BlockCount(), 1u);
}
