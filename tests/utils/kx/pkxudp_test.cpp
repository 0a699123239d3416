#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <netinet/in.h>
#include <string>
#include <cerrno>
#include <cstddef>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "kx_capture.h"
#include "utils/kx/pkxudp.h"
#include "utils/osal/process.h"

using namespace ZmLib;
using kxtest::KxStreamTest;

namespace {

// 127.0.0.1 with the first octet in the low byte, written out by hand.
constexpr uint32_t LOOPBACK = 0x0100007F;

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

int OpenDescriptors()
{
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    closedir(dir);
    return count;
}

// Decodes one datagram as a wire message; fails the test when its length
// does not match its own opt_len.
KxProt Decode(const std::string& datagram)
{
    KxProt record;
    memset(&record, 0, sizeof record);
    EXPECT_GE(datagram.size(), KxProt::LEN_HEADER);
    EXPECT_LE(datagram.size(), KxProt::LEN_MAX);
    if (datagram.size() < KxProt::LEN_HEADER || datagram.size() > KxProt::LEN_MAX)
        return record;
    memcpy(&record, datagram.data(), datagram.size());
    EXPECT_EQ(datagram.size(), KxProt::LEN_HEADER + record.opt_len);
    return record;
}

// A channel of the test with the given outputs.
struct TestChannel {
    TestChannel(const char* name, uint32_t flags) : channel(name) { KX::Register(&channel, flags); }
    KX channel;
};

// A stream with a UDP output aimed at a loopback receiver of the test.
class PkxUdpTest : public KxStreamTest {
protected:
    void SetUp() override
    {
        KxStreamTest::SetUp();
        receiver_ = socket(AF_INET, SOCK_DGRAM, 0);
        ASSERT_GE(receiver_, 0);
        // Only a safety net against a hang: a missing datagram fails the
        // test instead of blocking it for ever.
        timeval safety{30, 0};
        setsockopt(receiver_, SOL_SOCKET, SO_RCVTIMEO, &safety, sizeof safety);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(bind(receiver_, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
        socklen_t length = sizeof sa;
        ASSERT_EQ(getsockname(receiver_, reinterpret_cast<sockaddr*>(&sa), &length), 0);
        port_ = ntohs(sa.sin_port);
    }
    void TearDown() override
    {
        KxStreamTest::TearDown();
        if (receiver_ >= 0)
            close(receiver_);
    }

    std::string Receive()
    {
        char buffer[2048];
        ssize_t n = recv(receiver_, buffer, sizeof buffer, 0);
        EXPECT_GT(n, 0) << "no datagram arrived";
        return n > 0 ? std::string(buffer, size_t(n)) : std::string();
    }

    int receiver_ = -1;
    uint16_t port_ = 0;
};

} // namespace

TEST_F(PkxUdpTest, NewUdpTakesTheUdpSlot)
{
    EXPECT_EQ(PKX::NewUdp(LOOPBACK, port_), uint32_t(KX_OUT_UDP));
    PKX* output = PKX::FindOutput(KX_OUT_UDP);
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->id, PKX_ID_UDP);
    EXPECT_EQ(output->mask, uint32_t(KX_OUT_UDP));
    EXPECT_EQ(output->threshold, 127);
    auto* udp = dynamic_cast<PKXUDP*>(output);
    ASSERT_NE(udp, nullptr);
    EXPECT_EQ(udp->Address(), LOOPBACK);
    EXPECT_EQ(udp->Port(), port_);
    EXPECT_TRUE(Lines().empty());
}

TEST_F(PkxUdpTest, DatagramIsTheRawRecordTheLogFileHolds)
{
    char dir[] = "/tmp/kx_udp_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string path = std::string(dir) + "/KxViewer.kx";
    ASSERT_EQ(PKX::NewFile(path.c_str(), 0x7FFFFFFF, false), uint32_t(KX_OUT_FILE));
    ASSERT_EQ(PKX::NewUdp(LOOPBACK, port_), uint32_t(KX_OUT_UDP));
    TestChannel reader("READER", KX_OUT_FILE | KX_OUT_UDP);

    uint32_t line = __LINE__ + 1;
    reader.channel.ErrorReport(0x1122334455667788ull, "reader.cpp", line, "Parse", "bad offset %d", 17);
    reader.channel.Print(0, 1, "Load", "loaded %s", "file.kx");
    reader.channel.FuncEnter(0, 1, "Scan");

    std::string datagrams[3] = {Receive(), Receive(), Receive()};
    EXPECT_EQ(Slurp(path), datagrams[0] + datagrams[1] + datagrams[2]);

    // The wire bytes themselves, little-endian, as a reader of the stream
    // sees them.
    const std::string& bytes = datagrams[0];
    ASSERT_GE(bytes.size(), KxProt::LEN_HEADER);
    EXPECT_EQ(uint8_t(bytes[0]), 1); // FLAGS: ready text
    EXPECT_EQ(uint8_t(bytes[4]), 0xAA);
    EXPECT_EQ(uint8_t(bytes[5]), 0xAA);
    EXPECT_EQ(uint8_t(bytes[6]), 0);
    EXPECT_EQ(uint8_t(bytes[7]), 0xFF); // LEVEL -1
    EXPECT_EQ(uint8_t(bytes[32]), 0x88); // KXKEY, low byte first
    EXPECT_EQ(uint8_t(bytes[39]), 0x11);
    EXPECT_EQ(bytes[KxProt::LEN_HEADER], 0); // the empty string of absent fields
    EXPECT_EQ(bytes.substr(KxProt::LEN_HEADER + 1, 7), std::string("READER\0", 7));

    KxProt error = Decode(bytes);
    EXPECT_EQ(error.FLAGS, 1u);
    EXPECT_EQ(error.LEVEL, -1);
    EXPECT_EQ(error.SEQ, 0u);
    EXPECT_EQ(error.LINE, line);
    EXPECT_EQ(error.PID, PROCESS::MainThreadId);
    EXPECT_NE(error.TID, 0u);
    EXPECT_EQ(error.offsets[KxdProt::SLOT_KXNAME], 1u);
    EXPECT_STREQ(error.String(KxdProt::SLOT_FILE), "reader.cpp");
    EXPECT_STREQ(error.String(KxdProt::SLOT_FUNC), "Parse");
    EXPECT_STREQ(error.String(KxdProt::SLOT_TEXT), "bad offset 17");
    EXPECT_EQ(error.opt_len, 1 + 7 + 11 + 6 + 14);

    KxProt print = Decode(datagrams[1]);
    EXPECT_EQ(print.SEQ, 1u);
    EXPECT_EQ(print.LEVEL, 1);
    EXPECT_STREQ(print.String(KxdProt::SLOT_TEXT), "loaded file.kx");
    EXPECT_EQ(print.offsets[KxdProt::SLOT_FILE], 0u);

    KxProt enter = Decode(datagrams[2]);
    EXPECT_EQ(enter.SEQ, 2u);
    EXPECT_EQ(enter.FLAGS, uint32_t(KXF_FUNC_ENTER));
    EXPECT_STREQ(enter.String(KxdProt::SLOT_FUNC), "Scan");
    EXPECT_EQ(datagrams[2].size(), KxProt::LEN_HEADER + 1 + 7 + 5);

    PKX::Done();
    unlink(path.c_str());
    rmdir(dir);
}

TEST_F(PkxUdpTest, LongTextArrivesTruncatedAt456Bytes)
{
    ASSERT_EQ(PKX::NewUdp(LOOPBACK, port_), uint32_t(KX_OUT_UDP));
    KX::Init(1, false, nullptr, KX_OUT_UDP, false);
    std::string text(500, 'x');
    KxSys.NoticeText(0, text.c_str());
    std::string datagram = Receive();
    ASSERT_EQ(datagram.size(), 456u);
    KxProt record = Decode(datagram);
    EXPECT_EQ(record.opt_len, 384u);
    EXPECT_EQ(datagram.substr(KxProt::LEN_HEADER + 370), std::string(" TRUNCATED...\0", 14));
}

TEST_F(PkxUdpTest, OnlyEventsForTheUdpOutputAreSent)
{
    ASSERT_EQ(PKX::NewUdp(LOOPBACK, port_), uint32_t(KX_OUT_UDP));
    TestChannel quiet("GUI", KX_OUT_STD);
    TestChannel loud("TABLE", KX_OUT_UDP);
    PKX::FindOutput(KX_OUT_UDP)->threshold = 0;

    quiet.channel.Print(0, 1, "F", "not for the UDP output");
    loud.channel.Print(0, 1, "F", "above the output's threshold");
    loud.channel.Print(0, 0, "F", "sent");

    // Datagrams keep their order, so the first one shows what was skipped.
    KxProt record = Decode(Receive());
    EXPECT_STREQ(record.String(KxdProt::SLOT_TEXT), "sent");
    EXPECT_STREQ(record.String(KxdProt::SLOT_KXNAME), "TABLE");
    EXPECT_EQ(record.SEQ, 2u);
}

TEST_F(PkxUdpTest, SecondUdpOutputIsRefused)
{
    ASSERT_EQ(PKX::NewUdp(LOOPBACK, port_), uint32_t(KX_OUT_UDP));
    EXPECT_EQ(PKX::NewUdp(LOOPBACK, uint16_t(port_ + 1)), 0u);
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0].rfind("VERIFY failure  [", 0), 0u) << Lines()[0];
    EXPECT_NE(Lines()[0].find("] ArrayPkx[id]==0"), std::string::npos) << Lines()[0];
    EXPECT_EQ(static_cast<PKXUDP*>(PKX::FindOutput(KX_OUT_UDP))->Port(), port_);
}

TEST_F(PkxUdpTest, DeletingTheOutputClosesItsSocket)
{
    int before = OpenDescriptors();
    ASSERT_EQ(PKX::NewUdp(LOOPBACK, port_), uint32_t(KX_OUT_UDP));
    EXPECT_EQ(OpenDescriptors(), before + 1);
    EXPECT_TRUE(PKX::Delete(PKX_ID_UDP));
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_EQ(PKX::FindOutput(KX_OUT_UDP), nullptr);

    ASSERT_EQ(PKX::NewUdp(LOOPBACK, port_), uint32_t(KX_OUT_UDP));
    PKX::Done();
    EXPECT_EQ(OpenDescriptors(), before);
}

namespace {

void WriteLineToStderr(const char* text)
{
    fprintf(stderr, "%s\n", text);
}

// Runs in the child of the death test: the kernel refuses every new socket
// there (a seccomp filter on socket(2) answering EACCES), nothing else.
void NewUdpWithoutSockets(uint16_t port)
{
    KxvSetDebugOutputHook(&WriteLineToStderr);
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
    PKX::NewUdp(LOOPBACK, port);
}

} // namespace

TEST_F(PkxUdpTest, SocketFailureIsAnAssertion)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(NewUdpWithoutSockets(port_),
                 "ASSERT failure  \\[[^]]*:[0-9]+\\] Socket\\.Open \\(SOCK_UDP, false\\)");
}

// Socket use is started and ended with the outputs: a peer that went away
// must not end the process with SIGPIPE while the stream runs.
TEST_F(PkxUdpTest, InitAndDoneStartAndEndSocketUse)
{
    struct sigaction current{};
    PKX::Done();
    sigaction(SIGPIPE, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
    ASSERT_TRUE(PKX::Init(nullptr));
    sigaction(SIGPIPE, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_IGN);
    PKX::Done();
    sigaction(SIGPIPE, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
    EXPECT_TRUE(Lines().empty());
}
