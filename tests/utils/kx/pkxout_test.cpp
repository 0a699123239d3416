#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <netinet/in.h>
#include <set>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "kx_capture.h"
#include "tests/utils/osal/osal_fixtures.h"
#include "utils/kx/pkxfile.h"
#include "utils/osal/process.h"

using namespace ZmLib;
using kxtest::ReadFile;
using kxtest::ReadRecords;
using kxtest::TestChannel;

namespace {

// 127.0.0.1 with the first octet in the low byte, written out by hand.
constexpr uint32_t LOOPBACK = 0x0100007F;

// A stream with a log path in a scratch folder and, on demand, a loopback
// receiver for the UDP output.
class PkxOutputTest : public kxtest::KxStreamTest {
protected:
    void TearDown() override
    {
        KxStreamTest::TearDown();
        if (receiver_ >= 0)
            close(receiver_);
    }

    uint16_t Listen()
    {
        receiver_ = socket(AF_INET, SOCK_DGRAM, 0);
        EXPECT_GE(receiver_, 0);
        // Only a safety net: a missing datagram fails instead of hanging.
        timeval safety{30, 0};
        setsockopt(receiver_, SOL_SOCKET, SO_RCVTIMEO, &safety, sizeof safety);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof sa;
        EXPECT_EQ(bind(receiver_, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
        EXPECT_EQ(getsockname(receiver_, reinterpret_cast<sockaddr*>(&sa), &length), 0);
        return ntohs(sa.sin_port);
    }

    std::string Receive()
    {
        char buffer[2048];
        ssize_t n = recv(receiver_, buffer, sizeof buffer, 0);
        EXPECT_GT(n, 0) << "no datagram arrived";
        return n > 0 ? std::string(buffer, size_t(n)) : std::string();
    }

    kxtest::TempDir dir_;
    std::string path_ = dir_ / "KxViewer.kx";
    int receiver_ = -1;
};

} // namespace

TEST_F(PkxOutputTest, NewFileReportsFailureMovesTheOldFileToBakAndWritesText)
{
    kxtest::WriteFile(path_, "old log");
    kxtest::WriteFile(path_ + ".bak", "older");
    std::string bad = dir_ / "missing/KxViewer.kx";
    EXPECT_EQ(PKX::NewFile(bad.c_str(), 0x7FFFFFFF, false), 0u);
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0].rfind("ERROR [", 0), 0u);
    EXPECT_NE(Lines()[0].find("] PKXFILE " + bad + " open failure"), std::string::npos) << Lines()[0];
    EXPECT_EQ(PKX::FindOutput(KX_OUT_FILE), nullptr);

    // The slot stays free for a later attempt, here in text mode.
    EXPECT_EQ(PKX::NewFile(path_.c_str(), 0x7FFFFFFF, true), uint32_t(KX_OUT_FILE));
    EXPECT_EQ(ReadFile(path_ + ".bak"), "old log");
    EXPECT_EQ(ReadFile(path_), "");
    KX::AddFlagsAll(KX_OUT_FILE);
    KxSys.Notice(0, "hello\nworld");
    std::string text = ReadFile(path_);
    EXPECT_EQ(text.rfind("KX>> ", 0), 0u);
    EXPECT_EQ(text.find('\n'), text.size() - 1);
    EXPECT_EQ(text.substr(text.size() - 10), " >> hello\n");
}

TEST_F(PkxOutputTest, SizeLimitMovesTheFullFileToBak)
{
    // Every record: "SYS", "record NN" -> opt_len 15, 87 bytes; the limit
    // is reached exactly by the last record of a file.
    const long size = 72 + 15;
    const int perFile = 12;
    ASSERT_NE(PKX::NewFile(path_.c_str(), uint32_t(perFile * size), false), 0u);
    KX::SetFlagsAll(KX_OUT_FILE);
    for (int i = 0; i < perFile - 1; ++i)
        KxSys.Print(0, 1, nullptr, "record %02d", i);
    EXPECT_EQ(long(ReadFile(path_).size()), (perFile - 1) * size);
    EXPECT_FALSE(kxtest::Exists(path_ + ".bak"));

    // The record that reaches the limit is the last of the file.
    KxSys.Print(0, 1, nullptr, "record %02d", perFile - 1);
    EXPECT_EQ(ReadFile(path_), "");
    std::vector<KxProt> full = ReadRecords(ReadFile(path_ + ".bak"));
    ASSERT_EQ(int(full.size()), perFile);
    EXPECT_STREQ(full.back().String(KxdProt::SLOT_TEXT), ("record " + std::to_string(perFile - 1)).c_str());

    KxSys.Print(0, 1, nullptr, "record %02d", perFile);
    std::vector<KxProt> fresh = ReadRecords(ReadFile(path_));
    ASSERT_EQ(fresh.size(), 1u);
    EXPECT_EQ(fresh[0].SEQ, uint32_t(perFile));
    EXPECT_EQ(static_cast<PKXFILE*>(PKX::FindOutput(KX_OUT_FILE))->BytesWritten(), size);
}

TEST_F(PkxOutputTest, FourThreadsGiveDistinctDecodableRecords)
{
    ASSERT_NE(PKX::NewFile(path_.c_str(), 0x7FFFFFFF, false), 0u);
    KX::SetFlagsAll(KX_OUT_FILE);
    // The notices also reach the standard output; keep it quiet.
    KxvOutputHook previous = KxvSetDebugOutputHook([](const char*) {});
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

    std::vector<KxProt> records = ReadRecords(ReadFile(path_));
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

TEST_F(PkxOutputTest, DatagramsAreTheRawRecordsTheLogFileHolds)
{
    ASSERT_EQ(PKX::NewFile(path_.c_str(), 0x7FFFFFFF, false), uint32_t(KX_OUT_FILE));
    ASSERT_EQ(PKX::NewUdp(LOOPBACK, Listen()), uint32_t(KX_OUT_UDP));
    TestChannel quiet("GUI", KX_OUT_STD);
    TestChannel reader("READER", KX_OUT_FILE | KX_OUT_UDP);

    quiet.channel.Notice(0, "neither in the file nor sent");
    uint32_t line = __LINE__ + 1;
    reader.channel.ErrorReport(0x1122334455667788ull, "reader.cpp", line, "Parse", "bad offset %d", 17);
    reader.channel.Print(0, 1, "Load", "loaded %s", "file.kx");
    reader.channel.FuncEnter(0, 1, "Scan");
    reader.channel.NoticeText(0, std::string(500, 'x').c_str());

    std::string datagrams[4] = {Receive(), Receive(), Receive(), Receive()};
    std::string file = ReadFile(path_);
    EXPECT_EQ(file, datagrams[0] + datagrams[1] + datagrams[2] + datagrams[3]);
    std::vector<KxProt> records = ReadRecords(file);
    ASSERT_EQ(records.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(datagrams[i].size(), records[i].MessageLength()) << i;
        EXPECT_EQ(records[i].SEQ, i + 1);
    }

    // The wire bytes themselves, little-endian.
    const std::string& bytes = datagrams[0];
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x01\0\0\0\xAA\xAA\0\xFF", 8)); // FLAGS, magic, LEVEL -1
    EXPECT_EQ(bytes.substr(32, 8), "\x88\x77\x66\x55\x44\x33\x22\x11");      // KXKEY
    EXPECT_EQ(bytes.substr(KxProt::LEN_HEADER, 8), std::string("\0READER\0", 8));

    EXPECT_EQ(records[0].LINE, line);
    EXPECT_EQ(records[0].PID, PROCESS::MainThreadId);
    EXPECT_NE(records[0].TID, 0u);
    EXPECT_STREQ(records[0].String(KxdProt::SLOT_TEXT), "bad offset 17");
    EXPECT_STREQ(records[1].String(KxdProt::SLOT_TEXT), "loaded file.kx");
    EXPECT_EQ(records[2].FLAGS, uint32_t(KXF_FUNC_ENTER));
    ASSERT_EQ(datagrams[3].size(), 456u);
    EXPECT_EQ(datagrams[3].substr(KxProt::LEN_HEADER + 370), std::string(" TRUNCATED...\0", 14));
}

namespace {

// Runs in the child of the death test: the kernel refuses every new socket
// there (a seccomp filter on socket(2) answering EACCES), nothing else.
void NewUdpWithoutSockets()
{
    KxvSetDebugOutputHook([](const char* text) { fprintf(stderr, "%s\n", text); });
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_socket, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EACCES),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{uint16_t(sizeof code / sizeof code[0]), code};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        fprintf(stderr, "no seccomp\n");
        _exit(0);
    }
    PKX::NewUdp(LOOPBACK, 9);
}

} // namespace

// The death test's child runs the fixture again and ends without its
// destructors: it gets one without a scratch folder.
using PkxOutputDeathTest = kxtest::KxStreamTest;

TEST_F(PkxOutputDeathTest, SocketFailureIsAnAssertion)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(NewUdpWithoutSockets(), "ASSERT failure  \\[[^]]*:[0-9]+\\] Socket\\.Open \\(SOCK_UDP, false\\)");
}
