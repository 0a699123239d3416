#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "kx_capture.h"
#include "utils/osal/timeros.h"

using namespace ZmLib;
using kxtest::CaptureRecord;
using kxtest::KxStreamTest;

namespace {

// A channel whose records the test keeps.
struct RecordingChannel {
    explicit RecordingChannel(const char* name) : channel(name)
    {
        KX::Register(&channel, KX_OUT_STD);
        channel.output = &CaptureRecord;
    }
    KX channel;
};

size_t ListLength()
{
    size_t count = 0;
    for (KX* channel = KX::Head(); channel && count < 100; channel = channel->next)
        ++count;
    return count;
}

} // namespace

using KxChannelTest = KxStreamTest;

TEST_F(KxChannelTest, InitLeavesSysAloneAndFindsByExactName)
{
    KX other("TABLE");
    KX::Register(&other, KxSys.flags);
    EXPECT_EQ(KX::FindByName("TABLE"), &other);
    EXPECT_EQ(other.threshold, 1);
    EXPECT_EQ(other.flags, KX_OUT_STD);
    EXPECT_EQ(other.route, &other);
    KX::Init(2, false, nullptr, KX_OUT_STD | KX_OUT_FILE, false);
    EXPECT_EQ(KX::Head(), &KxSys);
    EXPECT_EQ(KxSys.next, nullptr);
    EXPECT_EQ(KxSys.threshold, 2);
    EXPECT_EQ(KxSys.flags, KX_OUT_STD | KX_OUT_FILE);
    EXPECT_EQ(KX::FindByName("SYS"), &KxSys);
    EXPECT_EQ(KX::FindByName("sys"), nullptr);
    EXPECT_EQ(KX::FindByName("TABLE"), nullptr);
    EXPECT_EQ(KX::FindByName(nullptr), nullptr);
}

TEST_F(KxChannelTest, RegisteringTwiceKeepsTheListFinite)
{
    KX table("TABLE");
    KX::Register(&table, 1);
    KX::Register(&table, 3);
    KX::Register(&KxSys, 1);
    ASSERT_EQ(ListLength(), 2u);
    EXPECT_EQ(table.flags, 3u);
    EXPECT_EQ(KX::FindByName("READER"), nullptr);
}

TEST_F(KxChannelTest, ThresholdGatesTraceButNotReports)
{
    RecordingChannel rc("TABLE");
    KX& ch = rc.channel;
    ch.Print(0, 2, "Fn", "hidden %d", 2);
    ch.PrintText(0, 2, "Fn", "hidden");
    ch.FuncEnter(0, 2, "Fn");
    ch.FuncLeave(0, 2, "Fn");
    EXPECT_TRUE(Records().empty());
    ch.Print(0, 1, "Fn", "shown %d", 1);
    ASSERT_EQ(Records().size(), 1u);
    EXPECT_STREQ(Records()[0].String(KxdProt::SLOT_TEXT), "shown 1");
    EXPECT_STREQ(Records()[0].String(KxdProt::SLOT_FUNC), "Fn");
    ch.threshold = -3;
    ch.ErrorReport(0, "f.cpp", 1, "Fn", "always");
    ch.WarningReport(0, "f.cpp", 2, "Fn", "always");
    ch.Notice(0, "always");
    ch.Emit(0, 0);
    EXPECT_EQ(Records().size(), 5u);
}

TEST_F(KxChannelTest, SuspendAndRestore)
{
    RecordingChannel rc("TABLE");
    KX& ch = rc.channel;
    KX reader("READER");
    KX::Register(&reader, 1);
    reader.threshold = -2;
    KX::SuspendAll();
    EXPECT_EQ(ch.threshold, -1);
    EXPECT_EQ(reader.threshold, -2);
    ch.Print(0, 0, "Fn", "warning-level trace");
    EXPECT_TRUE(Records().empty());
    ch.Print(0, -1, "Fn", "error-level trace");
    EXPECT_EQ(Records().size(), 1u);
    KX::RestoreAll();
    EXPECT_EQ(ch.threshold, 1);
    EXPECT_EQ(KxSys.threshold, 1);
    // Negative before the suspension: gets the saved value of an earlier
    // one, 0 when there was none.
    EXPECT_EQ(reader.threshold, 0);
}


TEST_F(KxChannelTest, SequenceNumbersStartAtZeroAndFollowEachOther)
{
    KxSys.Notice(0, "one");
    KxSys.Notice(0, "two");
    KxSys.Print(0, 1, "Fn", "three");
    ASSERT_EQ(Lines().size(), 3u);
    EXPECT_NE(Lines()[0].find(" #      0 "), std::string::npos) << Lines()[0];
    EXPECT_NE(Lines()[1].find(" #      1 "), std::string::npos) << Lines()[1];
    EXPECT_NE(Lines()[2].find(" #      2 "), std::string::npos) << Lines()[2];
    EXPECT_EQ(Lines()[0].substr(Lines()[0].size() - 7), " >> one");
}

TEST_F(KxChannelTest, AssertionRecordKeepsTheExpression)
{
    RecordingChannel rc("SCRIPT");
    KX& ch = rc.channel;
    ch.AssertReport(5, false, "a.cpp", 10, "Fn", "100 % n == 0 && fmt(\"%s%n\")");
    ch.AssertReport(0, true, "a.cpp", 11, "Fn", "p != nullptr");
    ASSERT_EQ(Records().size(), 2u);
    const KxProt& a = Records()[0];
    EXPECT_EQ(a.LEVEL, -6);
    EXPECT_EQ(a.FLAGS, 0u);
    EXPECT_EQ(a.KXKEY, 5u);
    EXPECT_EQ(a.LINE, 10u);
    EXPECT_STREQ(a.String(KxdProt::SLOT_TEXT), "100 % n == 0 && fmt(\"%s%n\")");
    EXPECT_STREQ(a.String(KxdProt::SLOT_FILE), "a.cpp");
    EXPECT_STREQ(a.String(KxdProt::SLOT_KXNAME), "SCRIPT");
    EXPECT_EQ(Records()[1].LEVEL, -5);
}


TEST_F(KxChannelTest, EventFlagsMaskAndFields)
{
    RecordingChannel rc("GUI");
    KX& ch = rc.channel;
    ch.FuncEnter(9, 1, "Enter", "x=%d", 4);
    ch.FuncEnter(9, 1, "Enter");
    ch.FuncLeave(9, 1, "Enter");
    ch.Emit(3, KXF_NEW_INSTANCE, "NEW INSTANCE: %s, KEY=%llX", "Obj", 0xABCull);
    ch.Emit(3, KXF_VERSION);
    ch.NoticeText(2, "100%");
    ASSERT_EQ(Records().size(), 6u);
    EXPECT_EQ(Records()[0].FLAGS, 3u);
    EXPECT_STREQ(Records()[0].String(KxdProt::SLOT_TEXT), "x=4");
    EXPECT_EQ(Records()[1].FLAGS, 2u);
    EXPECT_EQ(Records()[1].offsets[KxdProt::SLOT_TEXT], 0);
    EXPECT_EQ(Records()[2].FLAGS, 4u);
    EXPECT_EQ(Records()[2].KXKEY, 0u);
    EXPECT_STREQ(Records()[2].String(KxdProt::SLOT_FUNC), "Enter");
    EXPECT_EQ(Records()[3].FLAGS, uint32_t(KXF_NEW_INSTANCE | KXF_TEXT));
    EXPECT_EQ(Records()[3].LEVEL, 1);
    EXPECT_STREQ(Records()[3].String(KxdProt::SLOT_TEXT), "NEW INSTANCE: Obj, KEY=ABC");
    EXPECT_EQ(Records()[4].FLAGS, uint32_t(KXF_VERSION));
    EXPECT_STREQ(Records()[5].String(KxdProt::SLOT_TEXT), "100%");
    EXPECT_EQ(Records()[5].FLAGS, 1u);
}

TEST_F(KxChannelTest, ReportsAlwaysReachTheStandardOutput)
{
    KX quiet("SYSLOG");
    KX::Register(&quiet, 0);
    quiet.Print(0, 1, "Fn", "trace");
    quiet.Emit(0, KXF_VERSION, "version");
    EXPECT_TRUE(Lines().empty());
    quiet.Notice(0, "notice");
    quiet.ErrorReport(0, "f.cpp", 7, "Fn", "failed %d", 7);
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_NE(Lines()[1].find("SYSLOG     >> ERROR [f.cpp:7] failed 7"), std::string::npos) << Lines()[1];
    EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(KxChannelTest, TraceLevelsAboveTheRecordRangeStayTrace)
{
    RecordingChannel rc("TABLE");
    KX& ch = rc.channel;
    ch.threshold = 1000;
    ch.Print(0, 300, "Fn", "deep trace");
    ch.PrintText(0, -300, "Fn", "very severe");
    ASSERT_EQ(Records().size(), 2u);
    EXPECT_EQ(Records()[0].LEVEL, 127);
    EXPECT_EQ(Records()[1].LEVEL, -128);
}

TEST_F(KxChannelTest, FunctionGuardLeavesOnEveryPath)
{
    RecordingChannel rc("TEAROFF");
    KX& ch = rc.channel;
    auto traced = [&ch](bool early) {
        KX_FUNC(ch, 1);
        if (early)
            return 1;
        return 2;
    };
    traced(true);
    traced(false);
    ASSERT_EQ(Records().size(), 4u);
    EXPECT_EQ(Records()[0].FLAGS, 2u);
    EXPECT_EQ(Records()[1].FLAGS, 4u);
    EXPECT_EQ(Records()[3].FLAGS, 4u);
    EXPECT_STREQ(Records()[1].String(KxdProt::SLOT_FUNC), "operator()");
}

TEST_F(KxChannelTest, UnregisteredChannelPrintsItsName)
{
    KX early("TEAROFF");
    EXPECT_EQ(early.Notice(0, "dropped"), 0);
    EXPECT_EQ(early.ErrorReport(0, "f", 1, "Fn", "dropped"), 0);
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Lines()[0], "Non-constructed KX-Class 'TEAROFF'");
}

TEST_F(KxChannelTest, SpoolerModeIsRefused)
{
    EXPECT_FALSE(KX::Init(1, false, nullptr, KX_OUT_STD, true));
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0].rfind("ASSERT failure  [", 0), 0u);
    EXPECT_NE(Lines()[0].find("] !spoolermode"), std::string::npos);
    EXPECT_TRUE(KX::Init(1, false, nullptr, KX_OUT_STD, false));
}


namespace {

std::string ReadAll(int fd)
{
    std::string out;
    char buffer[256];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        out.append(buffer, size_t(n));
    return out;
}

} // namespace

TEST(KxAbortHandler, SignalEndsTheProcessWithItsReport)
{
    char logPath[] = "/tmp/kx_abort_XXXXXX";
    int logFd = mkstemp(logPath);
    ASSERT_GE(logFd, 0);
    close(logFd);

    int errPipe[2], readyPipe[2];
    ASSERT_EQ(pipe(errPipe), 0);
    ASSERT_EQ(pipe(readyPipe), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(errPipe[1], STDERR_FILENO);
        close(errPipe[0]);
        close(readyPipe[0]);
        KxvSetDebugOutputHook([](const char*) {});
        PKX::Init(logPath);
        KX::Init(1, true, nullptr, KX_OUT_STD | KX_OUT_FILE, false);
        KxSys.Notice(0, "before");
        ssize_t sent = write(readyPipe[1], "R", 1);
        (void)sent;
        for (;;)
            pause();
    }
    close(errPipe[1]);
    close(readyPipe[1]);
    char ready = 0;
    ASSERT_EQ(read(readyPipe[0], &ready, 1), 1);
    close(readyPipe[0]);
    kill(child, SIGINT);
    std::string err = ReadAll(errPipe[0]);
    close(errPipe[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(err.find("PROCESS ABORT HANDLER: signal 2\n"), std::string::npos) << err;

    // The log holds the notice and then the handler's record.
    FILE* log = fopen(logPath, "rb");
    ASSERT_NE(log, nullptr);
    KxProt records[2];
    for (KxProt& record : records) {
        memset(&record, 0, sizeof record);
        ASSERT_EQ(fread(&record, 1, KxProt::LEN_HEADER, log), KxProt::LEN_HEADER);
        ASSERT_LE(record.opt_len, KxProt::LEN_STRFIELDS);
        ASSERT_EQ(fread(record.strings, 1, record.opt_len, log), record.opt_len);
    }
    EXPECT_EQ(fgetc(log), EOF);
    fclose(log);
    EXPECT_STREQ(records[0].String(KxdProt::SLOT_TEXT), "before");
    EXPECT_EQ(records[1].magic, KxProt::MAGIC);
    EXPECT_EQ(records[1].LEVEL, -1);
    EXPECT_EQ(records[1].SEQ, 1u);
    EXPECT_STREQ(records[1].String(KxdProt::SLOT_KXNAME), "SYS");
    EXPECT_STREQ(records[1].String(KxdProt::SLOT_FILE), "<unknown>");
    EXPECT_STREQ(records[1].String(KxdProt::SLOT_TEXT), "PROCESS ABORT HANDLER: signal 2");
    unlink(logPath);
    unlink((std::string(logPath) + ".bak").c_str());
}

namespace {

struct Fired {
    std::mutex lock;
    std::condition_variable changed;
    int count = 0;
};

void CountFiring(void* argument)
{
    auto* fired = static_cast<Fired*>(argument);
    std::lock_guard<std::mutex> guard(fired->lock);
    ++fired->count;
    fired->changed.notify_all();
}

} // namespace

TEST_F(KxChannelTest, DoneEndsTheTimerThreadAndInitStartsItAgain)
{
    EXPECT_TRUE(TIMER_OS::IsRunning());
    KX::Done();
    EXPECT_FALSE(TIMER_OS::IsRunning());
    KX::Done();
    EXPECT_FALSE(TIMER_OS::IsRunning());

    ASSERT_TRUE(KX::Init(1, false, nullptr, KX_OUT_STD, false));
    EXPECT_TRUE(TIMER_OS::IsRunning());
    RecordingChannel table("TABLE");
    table.channel.Notice(0, "after restart");
    ASSERT_EQ(Records().size(), 1u);
    EXPECT_EQ(Records()[0].SEQ, 0u);
    EXPECT_STREQ(Records()[0].String(KxdProt::SLOT_TEXT), "after restart");

    // The restarted thread serves timers.
    Fired fired;
    TIMER_OS timer;
    ASSERT_TRUE(timer.Set(&CountFiring, &fired));
    ASSERT_TRUE(timer.Start(1, true));
    {
        std::unique_lock<std::mutex> guard(fired.lock);
        // A safety net only; the timer is due after a millisecond.
        fired.changed.wait_for(guard, std::chrono::seconds(60), [&] { return fired.count > 0; });
        EXPECT_EQ(fired.count, 1);
    }
    EXPECT_FALSE(timer.IsActive());
}

// exit() must end the timer thread that Init started; a process that hangs
// in its exit would never give the status back.
TEST_F(KxChannelTest, ProcessExitsAfterInitStartedTheTimerThread)
{
    // The child starts its own timer thread; the parent's would not exist
    // there after fork().
    KX::Done();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        KxvSetDebugOutputHook([](const char*) {});
        KX::Init(1, true, nullptr, KX_OUT_STD, false);
        if (!TIMER_OS::IsRunning())
            _exit(3);
        // A periodic timer keeps the thread busy while the process ends.
        static Fired fired;
        TIMER_OS timer;
        timer.Set(&CountFiring, &fired);
        timer.Start(1, false);
        {
            std::unique_lock<std::mutex> guard(fired.lock);
            fired.changed.wait(guard, [] { return fired.count > 0; });
        }
        exit(0);
    }
    int status = 0;
    pid_t done = 0;
    // Safety net against a hang: 60 s, far beyond any real exit.
    for (int waited = 0; waited < 6000 && done == 0; ++waited) {
        done = waitpid(child, &status, WNOHANG);
        if (done == 0)
            usleep(10000);
    }
    if (done == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the process did not end";
    }
    ASSERT_EQ(done, child);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
