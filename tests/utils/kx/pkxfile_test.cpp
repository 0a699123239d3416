#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "kx_capture.h"
#include "utils/kx/pkxfile.h"

using namespace ZmLib;
using kxtest::KxStreamTest;

namespace {

std::string TempDir()
{
    char dir[] = "/tmp/kx_file_XXXXXX";
    return mkdtemp(dir) ? dir : "";
}

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

long FileSize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

std::string Slurp(const std::string& path)
{
    std::string out;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        out.append(buffer, n);
    fclose(file);
    return out;
}

// Cuts a raw log into its records; fails the test on a malformed one.
std::vector<KxProt> ReadRecords(const std::string& bytes)
{
    std::vector<KxProt> records;
    size_t pos = 0;
    while (pos < bytes.size()) {
        KxProt record;
        memset(&record, 0, sizeof record);
        EXPECT_GE(bytes.size() - pos, KxProt::LEN_HEADER);
        if (bytes.size() - pos < KxProt::LEN_HEADER)
            break;
        memcpy(&record, bytes.data() + pos, KxProt::LEN_HEADER);
        EXPECT_EQ(record.magic, KxProt::MAGIC);
        EXPECT_LE(record.opt_len, KxProt::LEN_STRFIELDS);
        if (record.opt_len > KxProt::LEN_STRFIELDS || bytes.size() - pos - KxProt::LEN_HEADER < record.opt_len)
            break;
        memcpy(record.strings, bytes.data() + pos + KxProt::LEN_HEADER, record.opt_len);
        EXPECT_EQ(record.strings[record.opt_len - 1], 0);
        pos += KxProt::LEN_HEADER + record.opt_len;
        records.push_back(record);
    }
    return records;
}

void Quiet(const char*) {}

} // namespace

class PkxFileTest : public KxStreamTest {
protected:
    void SetUp() override
    {
        KxStreamTest::SetUp();
        dir_ = TempDir();
        ASSERT_FALSE(dir_.empty());
        path_ = dir_ + "/KxViewer.kx";
    }
    void TearDown() override
    {
        KxStreamTest::TearDown();
        unlink(path_.c_str());
        unlink((path_ + ".bak").c_str());
        rmdir(dir_.c_str());
    }
    std::string dir_;
    std::string path_;
};

TEST_F(PkxFileTest, NewFileMovesTheOldFileToBak)
{
    FILE* old = fopen(path_.c_str(), "wb");
    fputs("old log", old);
    fclose(old);
    FILE* older = fopen((path_ + ".bak").c_str(), "wb");
    fputs("older", older);
    fclose(older);

    EXPECT_EQ(PKX::NewFile(path_.c_str(), 0x7FFFFFFF, false), uint32_t(KX_OUT_FILE));
    EXPECT_EQ(Slurp(path_ + ".bak"), "old log");
    EXPECT_EQ(FileSize(path_), 0);
    PKX* output = PKX::FindOutput(KX_OUT_FILE);
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->id, PKX_ID_FILE);
    EXPECT_STREQ(static_cast<PKXFILE*>(output)->Path(), path_.c_str());
}

TEST_F(PkxFileTest, OpenFailureLeavesNoOutput)
{
    std::string bad = dir_ + "/missing/KxViewer.kx";
    EXPECT_EQ(PKX::NewFile(bad.c_str(), 0x7FFFFFFF, false), 0u);
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0].rfind("ERROR [", 0), 0u);
    EXPECT_NE(Lines()[0].find("] PKXFILE " + bad + " open failure"), std::string::npos) << Lines()[0];
    EXPECT_EQ(PKX::FindOutput(KX_OUT_FILE), nullptr);
    // The slot is free for a later attempt.
    EXPECT_EQ(PKX::NewFile(path_.c_str(), 0x7FFFFFFF, false), uint32_t(KX_OUT_FILE));
}

TEST_F(PkxFileTest, SecondFileOutputIsRefusedWithoutStopping)
{
    ASSERT_EQ(PKX::NewFile(path_.c_str(), 0x7FFFFFFF, false), uint32_t(KX_OUT_FILE));
    EXPECT_EQ(PKX::NewFile(path_.c_str(), 0x7FFFFFFF, false), 0u);
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_NE(Lines()[0].find("] ArrayPkx[id]==0"), std::string::npos) << Lines()[0];
    EXPECT_TRUE(PKX::Delete(PKX_ID_FILE));
    EXPECT_EQ(PKX::FindOutput(KX_OUT_FILE), nullptr);
}

TEST_F(PkxFileTest, RawRecordsAsBuilt)
{
    ASSERT_NE(PKX::NewFile(path_.c_str(), 0x7FFFFFFF, false), 0u);
    KX::AddFlagsAll(KX_OUT_FILE);
    KxSys.Notice(77, "first");
    KxSys.ErrorReport(0, "x.cpp", 5, "Fn", "second %s", "text");
    std::vector<KxProt> records = ReadRecords(Slurp(path_));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].SEQ, 0u);
    EXPECT_EQ(records[0].KXKEY, 77u);
    EXPECT_STREQ(records[0].String(KxdProt::SLOT_TEXT), "first");
    EXPECT_EQ(records[1].SEQ, 1u);
    EXPECT_EQ(records[1].LEVEL, -1);
    EXPECT_STREQ(records[1].String(KxdProt::SLOT_FILE), "x.cpp");
    EXPECT_STREQ(records[1].String(KxdProt::SLOT_TEXT), "second text");
    EXPECT_EQ(static_cast<PKXFILE*>(PKX::FindOutput(KX_OUT_FILE))->BytesWritten(), FileSize(path_));
}

TEST_F(PkxFileTest, TextModeWritesLines)
{
    ASSERT_NE(PKX::NewFile(path_.c_str(), 0x7FFFFFFF, true), 0u);
    KX::AddFlagsAll(KX_OUT_FILE);
    KxSys.Notice(0, "hello\nworld");
    std::string text = Slurp(path_);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.rfind("KX>> ", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 10), " >> hello\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
}

TEST_F(PkxFileTest, SizeLimitMovesTheFullFileToBak)
{
    ASSERT_NE(PKX::NewFile(path_.c_str(), 1000, false), 0u);
    KX::SetFlagsAll(KX_OUT_FILE);
    // Every record: "SYS", "record NN" -> opt_len 15, 87 bytes.
    const long size = 72 + 15;
    const int perFile = int((1000 + size - 1) / size);
    for (int i = 0; i < perFile - 1; ++i)
        KxSys.Print(0, 1, nullptr, "record %02d", i);
    EXPECT_EQ(FileSize(path_), (perFile - 1) * size);
    EXPECT_FALSE(Exists(path_ + ".bak"));

    // The record that reaches the limit is the last of the file.
    KxSys.Print(0, 1, nullptr, "record %02d", perFile - 1);
    EXPECT_EQ(FileSize(path_ + ".bak"), perFile * size);
    EXPECT_EQ(FileSize(path_), 0);
    std::vector<KxProt> full = ReadRecords(Slurp(path_ + ".bak"));
    ASSERT_EQ(int(full.size()), perFile);
    EXPECT_STREQ(full.back().String(KxdProt::SLOT_TEXT), ("record " + std::to_string(perFile - 1)).c_str());

    KxSys.Print(0, 1, nullptr, "record %02d", perFile);
    std::vector<KxProt> fresh = ReadRecords(Slurp(path_));
    ASSERT_EQ(fresh.size(), 1u);
    EXPECT_EQ(fresh[0].SEQ, uint32_t(perFile));
    EXPECT_EQ(static_cast<PKXFILE*>(PKX::FindOutput(KX_OUT_FILE))->BytesWritten(), size);
}

TEST_F(PkxFileTest, FourThreadsGiveDistinctDecodableRecords)
{
    ASSERT_NE(PKX::NewFile(path_.c_str(), 0x7FFFFFFF, false), 0u);
    KX::SetFlagsAll(KX_OUT_FILE);
    // The notices also reach the standard output; keep it quiet.
    KxvOutputHook previous = KxvSetDebugOutputHook(&Quiet);
    constexpr int THREADS = 4;
    constexpr int PER_THREAD = 10000;
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < PER_THREAD; ++i)
                KxSys.Notice(uint64_t(t), "thread %d notice %d", t, i);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    KxvSetDebugOutputHook(previous);

    std::vector<KxProt> records = ReadRecords(Slurp(path_));
    ASSERT_EQ(records.size(), size_t(THREADS * PER_THREAD));
    std::set<uint32_t> seqs;
    std::vector<int> next(THREADS, 0);
    for (const KxProt& record : records) {
        seqs.insert(record.SEQ);
        int t = -1, i = -1;
        ASSERT_EQ(sscanf(record.String(KxdProt::SLOT_TEXT), "thread %d notice %d", &t, &i), 2);
        ASSERT_EQ(uint64_t(t), record.KXKEY);
        // Each thread's own records keep their order.
        EXPECT_EQ(i, next[size_t(t)]++);
    }
    EXPECT_EQ(seqs.size(), size_t(THREADS * PER_THREAD));
    EXPECT_EQ(*seqs.rbegin(), uint32_t(THREADS * PER_THREAD - 1));
}
