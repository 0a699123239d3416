// Raw record files read record by record into a table: generated traces in
// both file forms and byte orders, cut and damaged files, and unreadable ones.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "kxlib/reader/filekx.h"
#include "kxlib/reader/filekxd.h"
#include "tests/kxlib/kxfilegen.h"
#include "tests/kxlib/rawload.h"
#include "tests/kxlib/table_fixtures.h"

using KxFileGen::Form;
using ZmLib::KxdProt;
using ZmLib::KxProt;

namespace {

// Every test gets its own folder; the channels' reports are kept from the
// output (the damaged files warn on purpose).
class FileToTableTest : public ::testing::Test {
protected:
    // Writes the file, opens it and loads it into table.
    RawLoadResult Load(const std::string& name, const std::string& bytes, Form form, TableRef& table,
                       uint8_t prot = 0)
    {
        std::string path = dir_.Write(name, bytes);
        if (form == Form::Kx)
            reader_.reset(new FileKx(path.c_str()));
        else
            reader_.reset(new FileKxd(path.c_str()));
        EXPECT_EQ(reader_->Open(), 0) << path;
        table.table = new KxTable(path.c_str(), nullptr, PrefKxTable::Default());
        return LoadRawRecords(*reader_, *table, prot);
    }

    TempDir dir_;
    Reports reports_;
    std::unique_ptr<File2Kxd> reader_;
};

std::string FormName(Form form, bool swapped)
{
    return std::string(form == Form::Kx ? "kx" : "kxd") + (swapped ? "-swapped" : "");
}

std::string Trace(uint32_t records, Form form)
{
    KxFileGen::Options options;
    options.records = records;
    options.form = form;
    return KxFileGen::Generate(options);
}

// Offsets where the records of an unswapped generated file start.
std::vector<size_t> RecordStarts(const std::string& bytes, Form form)
{
    const size_t head = form == Form::Kx ? KxProt::LEN_HEADER : size_t(FileKxd::LEN_HEAD);
    const size_t optLenAt = head - KxProt::LEN_HEADER + offsetof(KxProt, opt_len);
    std::vector<size_t> starts;
    for (size_t at = 0; at + head <= bytes.size();) {
        starts.push_back(at);
        at += head + (uint8_t(bytes[at + optLenAt]) | size_t(uint8_t(bytes[at + optLenAt + 1])) << 8);
    }
    return starts;
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
    return out + std::string(400, 'z');
}

} // namespace

// A generated trace loads complete in either file form and byte order,
// without presentation errors, with the nesting, execution times and names an
// independent model of the trace gives.
TEST_F(FileToTableTest, GeneratedTracesLoadCompleteInEveryForm)
{
    std::map<std::string, std::vector<std::vector<std::string>>> texts;
    for (Form form : {Form::Kx, Form::Kxd}) {
        for (bool swapped : {false, true}) {
            const std::string name = FormName(form, swapped);
            SCOPED_TRACE(name);
            KxFileGen::Options options;
            options.records = 3000;
            options.maxDepth = 8;
            options.form = form;
            options.swapped = swapped;
            KxFileGen::Summary summary;
            const std::string bytes = KxFileGen::Generate(options, &summary);
            EXPECT_EQ(summary.processNames, 3u);
            EXPECT_EQ(summary.threadNames, 12u);
            ASSERT_GT(summary.enters, 300u);
            EXPECT_EQ(summary.bytes, bytes.size());
            TableRef table(nullptr);
            RawLoadResult result = Load("trace." + name, bytes, form, table);
            EXPECT_FALSE(result.gaveUp);
            EXPECT_EQ(result.errors, 0u);
            EXPECT_EQ(result.attempts, 3000u);
            EXPECT_EQ(result.consumed, int64_t(summary.bytes));
            ASSERT_EQ(table->RecordCount(), 3000);
            EXPECT_FALSE(table->Modified());
            EXPECT_STREQ(table->Name(), "trace");

            std::map<uint64_t, std::vector<const KxdRecord*>> open; // enters by TID
            std::set<uint64_t> announced;
            std::set<std::string> threadTexts;
            uint32_t enters = 0, leaves = 0;
            for (int32_t row = 0; row < 3000; ++row) {
                SCOPED_TRACE("row " + std::to_string(row));
                const KxdRecord* record = table->GetRecord(row);
                const KxProt& msg = record->prot.msg;
                ASSERT_EQ(record->errorKind, uint32_t(KXERR_NoErrors));
                // Times are counted from the first record, 17 microseconds apart.
                ASSERT_EQ(msg.SEQ, uint32_t(row));
                ASSERT_EQ(msg.TIME, uint64_t(row) * 17);
                ASSERT_EQ(record->prot.STIME, form == Form::Kxd ? uint64_t(1561910811000250 + row * 17) : 0u);

                std::vector<const KxdRecord*>& stack = open[msg.TID];
                if (msg.FLAGS & KXFLAGS_FUNC_ENTER) {
                    stack.push_back(record);
                    ++enters;
                }
                // An enter counts itself, a leave the function it closes.
                ASSERT_EQ(record->prot.NEST, stack.size());
                ASSERT_EQ(std::string(record->Text(FIELD_NEST)), std::to_string(record->prot.NEST));
                if (msg.FLAGS & KXFLAGS_FUNC_LEAVE) {
                    ASSERT_FALSE(stack.empty());
                    const KxdRecord* enter = stack.back();
                    stack.pop_back();
                    ++leaves;
                    ASSERT_EQ(record->prot.EXECTIME, msg.TIME - enter->prot.msg.TIME);
                    // The enter carries the time its leave measured.
                    ASSERT_EQ(enter->prot.EXECTIME, record->prot.EXECTIME);
                    ASSERT_STREQ(enter->Text(FIELD_ETIME), record->Text(FIELD_ETIME));
                    ASSERT_STREQ(record->Text(FIELD_TEXT), record->Text(FIELD_FUNC));
                } else if (!(msg.FLAGS & KXFLAGS_FUNC_ENTER)) {
                    ASSERT_EQ(record->prot.EXECTIME, 0u);
                }

                // From its announcement on, a thread's records show its name;
                // every record shows its process' name.
                uint32_t process = uint32_t(msg.PID - KxFileGen::ProcessId(0));
                uint32_t thread = uint32_t(msg.TID - KxFileGen::ThreadId(process, 0));
                ASSERT_EQ(record->Text(FIELD_PNAME), KxFileGen::ProcessName(process));
                if (msg.FLAGS & KXFLAGS_THREAD_NAME)
                    announced.insert(msg.TID);
                ASSERT_EQ(record->Text(FIELD_TNAME), announced.count(msg.TID) ? KxFileGen::ThreadName(process, thread)
                                                                             : std::to_string(msg.TID));
                threadTexts.insert(record->Text(FIELD_TNAME));

                std::vector<std::string>& rowTexts = texts[name].emplace_back();
                for (int field = 0; field < FIELD_Nums; ++field)
                    rowTexts.push_back(record->Text(field));
            }
            EXPECT_EQ(enters, summary.enters);
            EXPECT_EQ(leaves, summary.leaves);
            for (const auto& thread : open)
                EXPECT_TRUE(thread.second.empty()) << "TID " << thread.first;
            EXPECT_GT(table->MaxNest(), 1);
            EXPECT_LE(table->MaxNest(), 8);
            EXPECT_EQ(announced.size(), 12u);
            EXPECT_EQ(table->Tids().Count(), 12);
            for (uint32_t p = 0; p < 3; ++p) {
                ASSERT_NE(table->ProcessName(KxFileGen::ProcessId(p)), nullptr);
                EXPECT_EQ(table->ProcessName(KxFileGen::ProcessId(p)), KxFileGen::ProcessName(p));
                for (uint32_t t = 0; t < 4; ++t) {
                    KxTidEntry* entry = table->Tids().Find(KxFileGen::ThreadId(p, t));
                    ASSERT_NE(entry, nullptr);
                    EXPECT_EQ(entry->name, KxFileGen::ThreadName(p, t));
                    EXPECT_EQ(entry->depth, 0);
                }
            }
            // The aux tree's first level holds exactly the thread texts shown.
            std::set<std::string> treeTexts;
            for (KxAuxNode1* node = table->AuxTree().First(); node; node = node->next)
                treeTexts.insert(node->text);
            EXPECT_EQ(treeTexts, threadTexts);
        }
    }
    // Byte order changes nothing; the file form only the receive prefix.
    EXPECT_EQ(texts["kx"], texts["kx-swapped"]);
    EXPECT_EQ(texts["kxd"], texts["kxd-swapped"]);
    for (size_t row = 0; row < texts["kx"].size(); ++row)
        for (int field = 0; field < FIELD_Nums; ++field)
            ASSERT_TRUE(field == FIELD_STIME || field == FIELD_IP || texts["kx"][row][field] == texts["kxd"][row][field])
                << "row " << row << " field " << field;
}

TEST_F(FileToTableTest, ProtIsStoredBeforeItsTextIsRendered)
{
    std::string bytes = Trace(20, Form::Kxd);
    // Every receive prefix says PROT 3.
    for (size_t start : RecordStarts(bytes, Form::Kxd))
        bytes[start + offsetof(KxdProt, PROT)] = 3;
    for (uint8_t prot : {uint8_t(0), uint8_t(1)}) {
        TableRef table(nullptr);
        Load("prot.kxd", bytes, Form::Kxd, table, prot);
        ASSERT_EQ(table->RecordCount(), 20);
        for (int32_t row = 0; row < 20; ++row) {
            EXPECT_EQ(table->GetRecord(row)->prot.PROT, prot);
            EXPECT_EQ(std::string(table->GetRecord(row)->Text(FIELD_PROT)), std::to_string(prot)) << "row " << row;
        }
    }
}

// Damaged files keep every good record in order, without gaps or stray
// slots; ten failures before the first good record make a file unreadable.
TEST_F(FileToTableTest, DamagedFilesKeepTheirGoodRecords)
{
    struct Case {
        std::string name;
        Form form;
        std::string bytes;
        bool gaveUp;
        uint32_t errors;
        int32_t kept;
        const char* end; // nullptr when the load gives up
    };
    std::vector<Case> cases;
    for (Form form : {Form::Kx, Form::Kxd}) {
        const std::string bytes = Trace(400, form);
        const std::vector<size_t> starts = RecordStarts(bytes, form);
        const size_t head = form == Form::Kx ? KxProt::LEN_HEADER : size_t(FileKxd::LEN_HEAD);
        std::string withLong = bytes.substr(0, starts[100]);
        withLong.insert(starts[60], OversizedMessage(form));
        cases.push_back({"cut-head." + FormName(form, false), form, bytes.substr(0, starts[250] + 30), false, 1, 250,
                         "250 records accepted, 1 bad records"});
        cases.push_back({"cut-strings." + FormName(form, false), form, bytes.substr(0, starts[251] + head + 3), false,
                         1, 251, "251 records accepted, 1 bad records"});
        cases.push_back({"long." + FormName(form, false), form, withLong, false, 1, 100,
                         "100 records accepted, 1 bad records"});
    }
    std::string tenBad;
    for (int k = 0; k < 10; ++k)
        tenBad += OversizedMessage(Form::Kx);
    const std::string good = Trace(1, Form::Kx);
    cases.push_back({"badfirst.kx", Form::Kx, tenBad + good, true, 10, 0, nullptr});
    cases.push_back({"goodfirst.kx", Form::Kx, good + tenBad, false, 10, 1, "1 records accepted, 10 bad records"});
    cases.push_back({"zeros.kxd", Form::Kxd, std::string(5000, '\0'), true, 10, 0, nullptr});
    cases.push_back({"empty.kx", Form::Kx, "", false, 0, 0, "0 records accepted, 0 bad records"});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TableRef table(nullptr);
        RawLoadResult result = Load(c.name, c.bytes, c.form, table);
        EXPECT_EQ(result.gaveUp, c.gaveUp);
        EXPECT_EQ(result.errors, c.errors);
        EXPECT_EQ(reader_->Bad(), c.errors);
        EXPECT_EQ(result.attempts, c.gaveUp ? 10u : uint32_t(c.kept) + c.errors);
        EXPECT_EQ(result.endText, c.end ? std::string("End of Stream: ") + c.end : "");
        ASSERT_EQ(table->RecordCount(), c.kept);
        EXPECT_EQ(table->RowCount(), c.kept);
        EXPECT_EQ(table->FindRecord(c.kept), nullptr);
        EXPECT_EQ(table->BlockCount(), 1u);
        for (int32_t row = 0; row < c.kept; ++row) {
            ASSERT_EQ(table->GetRecord(row)->prot.msg.SEQ, uint32_t(row));
            ASSERT_EQ(table->GetRecord(row)->errorKind, uint32_t(KXERR_NoErrors)) << "row " << row;
        }
    }
}
