#include "utils/kx/kx.h"
#include "utils/osal/sock.h"
#include "utils/osal/thread.h"
#include "utils/osal/timeros.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace ZmLib;

namespace {

// ---------------------------------------------------------------------------
// Records of the "SYS" channel, caught at its output.

struct Record {
    int level;
    uint16_t flags;
    std::string text;
};

std::mutex g_recordsMutex;
std::vector<Record> g_records;

int CatchRecord(KXEVENT* event, KX*)
{
    std::lock_guard<std::mutex> lock(g_recordsMutex);
    g_records.push_back({event->level, event->flags, event->text ? event->text : ""});
    return 0;
}

int RecordToStderr(KXEVENT* event, KX*)
{
    fprintf(stderr, "%s\n", event->text ? event->text : "");
    return 0;
}

class SysRecords : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedOutput_ = KxSys.output;
        savedThreshold_ = KxSys.threshold;
        KxSys.output = &CatchRecord;
        KxSys.threshold = 3;
        std::lock_guard<std::mutex> lock(g_recordsMutex);
        g_records.clear();
    }
    void TearDown() override
    {
        KxSys.output = savedOutput_;
        KxSys.threshold = savedThreshold_;
    }

    static std::vector<Record> Records()
    {
        std::lock_guard<std::mutex> lock(g_recordsMutex);
        return g_records;
    }
    // Index of the first record with exactly this text, -1 when none.
    static int Find(const std::string& text)
    {
        std::vector<Record> records = Records();
        for (size_t i = 0; i < records.size(); ++i)
            if (records[i].text == text)
                return int(i);
        return -1;
    }
    static Record At(int index) { return Records().at(size_t(index)); }

private:
    KxOutputFn savedOutput_ = nullptr;
    int32_t savedThreshold_ = 0;
};

// Polls a condition; the bound only keeps a broken build from hanging.
template <class Condition>
bool Eventually(Condition condition)
{
    for (int i = 0; i < 20000; ++i) {
        if (condition())
            return true;
        ZmLib::Sleep(1);
    }
    return condition();
}

// Runs body in a forked child and reports whether the child exited on its
// own with code 0 (a child still alive after a minute is killed).
bool ChildExitsCleanly(void (*body)())
{
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(90); // body must end the process itself
    }
    if (pid < 0)
        return false;
    int status = 0;
    for (int i = 0; i < 6000; ++i) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        ZmLib::Sleep(10);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return false;
}

// ---------------------------------------------------------------------------
// Threads

class Worker : public THREAD {
public:
    ~Worker() override { Stop(WAIT_FOREVER); }

    void Run() override
    {
        ++runs;
        if (holdUntilStop) {
            while (!StopRequested())
                ZmLib::Sleep(1);
        } else {
            ZmLib::Sleep(1);
        }
        ++returns;
    }

    std::atomic<int> runs{0};
    std::atomic<int> returns{0};
    bool holdUntilStop = false;
};

using ThreadTest = SysRecords;

TEST(ThreadPriority, ScaleToLevels)
{
    const int expected[32] = {-15, -2, -2, -2, -2, -2, -2, -1, -1, -1, -1, -1, -1, 0, 0, 0,
                              0,   0,  0,  1,  1,  1,  1,  1,  1,  2,  2,  2,  2,  2,  2, 15};
    for (uint32_t i = 0; i < 32; ++i)
        EXPECT_EQ(expected[i], THREAD::PriorityLevel(i)) << i;
    EXPECT_EQ(19, THREAD::NiceValue(-15));
    EXPECT_EQ(10, THREAD::NiceValue(-2));
    EXPECT_EQ(5, THREAD::NiceValue(-1));
    EXPECT_EQ(-5, THREAD::NiceValue(1));
    EXPECT_EQ(-10, THREAD::NiceValue(2));
    EXPECT_EQ(0, THREAD::NiceValue(0));
    EXPECT_EQ(-20, THREAD::NiceValue(15));
}

TEST_F(ThreadTest, PriorityAboveCriticalIsRefused)
{
    Worker worker;
    EXPECT_FALSE(worker.Construct("w", 32));
    EXPECT_EQ(0, worker.Id());
    int at = Find("Priority <= THREAD::PRIORITY_CRITICAL");
    ASSERT_GE(at, 0);
    EXPECT_EQ(KX_LEVEL_VERIFY, At(at).level);
}

TEST_F(ThreadTest, PriorityCriticalIsAccepted)
{
    Worker worker;
    EXPECT_TRUE(worker.Construct("critical", THREAD::PRIORITY_CRITICAL));
    EXPECT_NE(0, worker.Id());
    EXPECT_TRUE(worker.Stop(THREAD::WAIT_FOREVER));
}

TEST_F(ThreadTest, LowPriorityBecomesANiceValue)
{
    Worker worker;
    ASSERT_TRUE(worker.Construct("low", 3));
    errno = 0;
    EXPECT_EQ(10, getpriority(PRIO_PROCESS, id_t(worker.Id())));
    EXPECT_TRUE(worker.Stop(THREAD::WAIT_FOREVER));
}

TEST_F(ThreadTest, StopOfANeverConstructedThread)
{
    Worker worker;
    EXPECT_TRUE(worker.Stop(0));
    EXPECT_TRUE(Records().empty());
}

TEST_F(ThreadTest, RepeatingThreadRunsUntilStopped)
{
    Worker worker;
    ASSERT_TRUE(worker.Construct("repeat", 15, 0x20));
    int64_t id = worker.Id();
    EXPECT_GT(id, 0);
    EXPECT_NE(CurrentThreadId(), id);
    EXPECT_EQ(0, worker.runs); // waits at its start gate
    ASSERT_TRUE(worker.Start(true));
    ASSERT_TRUE(Eventually([&] { return worker.runs >= 5; }));
    EXPECT_TRUE(worker.Stop(THREAD::WAIT_FOREVER));
    int runs = worker.runs;
    EXPECT_EQ(runs, worker.returns);
    ZmLib::Sleep(5);
    EXPECT_EQ(runs, worker.runs);

    std::string tid = std::to_string(id);
    int starting = Find("THREAD STARTING: repeat, TID=" + tid);
    int started = Find("THREAD STARTED:  repeat, TID=" + tid);
    ASSERT_GE(starting, 0);
    ASSERT_GE(started, 0);
    EXPECT_LT(starting, started);
    EXPECT_EQ(0x20 | KXF_TEXT, At(starting).flags);
    EXPECT_EQ(0x20 | KXF_TEXT, At(started).flags);
    int willStop = Find("Thread 'repeat' will stop");
    ASSERT_GE(willStop, 0);
    EXPECT_EQ(KX_LEVEL_NOTICE, At(willStop).level);
    int waiting = Find("Waiting... timeout = -1");
    ASSERT_GE(waiting, 0);
    EXPECT_EQ(KX_LEVEL_INFO, At(waiting).level);
    EXPECT_GE(Find("Thread 'repeat' stopped, waiting result = 1"), 0);
}

TEST_F(ThreadTest, SingleRunEndsByItself)
{
    Worker worker;
    ASSERT_TRUE(worker.Construct("once", 15));
    ASSERT_TRUE(worker.Start(false));
    EXPECT_TRUE(worker.Wait(THREAD::WAIT_FOREVER));
    EXPECT_EQ(1, worker.runs);
    EXPECT_TRUE(worker.Stop(0)); // already ended
}

TEST_F(ThreadTest, ConstructedButNeverStartedThreadStops)
{
    // The thread waits at its gate; Stop must let it end without Run.
    Worker worker;
    ASSERT_TRUE(worker.Construct("idle", 15));
    EXPECT_TRUE(worker.Stop(10000));
    EXPECT_EQ(0, worker.runs);
    EXPECT_EQ(-1, Find("THREAD STARTED:  idle, TID=" + std::to_string(worker.Id())));
}

TEST_F(ThreadTest, WaitTimesOutWhileTheThreadRuns)
{
    Worker worker;
    worker.holdUntilStop = true;
    ASSERT_TRUE(worker.Construct("busy", 15));
    ASSERT_TRUE(worker.Start(true));
    ASSERT_TRUE(Eventually([&] { return worker.runs == 1; }));
    EXPECT_FALSE(worker.Wait(1));
    EXPECT_TRUE(worker.Stop(THREAD::WAIT_FOREVER));
    EXPECT_EQ(1, worker.returns);
}

TEST_F(ThreadTest, RunningThreadHoldsItsSection)
{
    Worker worker;
    worker.holdUntilStop = true;
    ASSERT_TRUE(worker.Construct("holder", 15));
    ASSERT_TRUE(worker.Start(true));
    ASSERT_TRUE(Eventually([&] { return worker.runs == 1; }));
    EXPECT_FALSE(worker.Section().TryEnter());
    EXPECT_TRUE(worker.Stop(THREAD::WAIT_FOREVER));
    ASSERT_TRUE(worker.Section().TryEnter());
    worker.Section().Leave();
}

TEST_F(ThreadTest, SecondConstructWhileRunningIsRefused)
{
    Worker worker;
    ASSERT_TRUE(worker.Construct("first", 15));
    EXPECT_FALSE(worker.Construct("second", 15));
    EXPECT_GE(Find("!hThread"), 0);
    EXPECT_TRUE(worker.Stop(THREAD::WAIT_FOREVER));
    // After the thread ended the object can start another one.
    EXPECT_TRUE(worker.Construct("third", 15));
    EXPECT_TRUE(worker.Stop(THREAD::WAIT_FOREVER));
}

TEST_F(ThreadTest, KillDetachesAndTheThreadStillSeesItsStop)
{
    Worker worker;
    worker.holdUntilStop = true;
    ASSERT_TRUE(worker.Construct("victim", 15));
    ASSERT_TRUE(worker.Start(true));
    ASSERT_TRUE(Eventually([&] { return worker.runs == 1; }));
    int64_t id = worker.Id();
    worker.Kill();
    EXPECT_EQ(0, worker.Id());
    int at = Find("Thread 'victim' cannot be killed, detached, TID=" + std::to_string(id));
    ASSERT_GE(at, 0);
    EXPECT_EQ(KX_LEVEL_WARNING, At(at).level);
    // A fresh section, free at once.
    ASSERT_TRUE(worker.Section().TryEnter());
    worker.Section().Leave();
    // The detached thread leaves its Run and does not run it again.
    ASSERT_TRUE(Eventually([&] { return worker.returns == 1; }));
    ZmLib::Sleep(5);
    EXPECT_EQ(1, worker.runs);
    EXPECT_TRUE(worker.Stop(0)); // nothing left to stop
}

// ---------------------------------------------------------------------------
// Timers

void Count(void* argument)
{
    ++*static_cast<std::atomic<int>*>(argument);
}

class TimerTest : public SysRecords {
protected:
    void SetUp() override
    {
        SysRecords::SetUp();
        TIMER_OS::Init();
    }
    void TearDown() override
    {
        TIMER_OS::Done();
        SysRecords::TearDown();
    }
};

TEST_F(TimerTest, InitStartsTheThreadOnceAndDoneEndsIt)
{
    EXPECT_TRUE(TIMER_OS::IsRunning());
    TIMER_OS::Init();
    EXPECT_TRUE(TIMER_OS::IsRunning());
    TIMER_OS::Done();
    EXPECT_FALSE(TIMER_OS::IsRunning());
    TIMER_OS::Done();
    TIMER_OS::Init();
    EXPECT_TRUE(TIMER_OS::IsRunning());
}

TEST_F(TimerTest, OneShotFiresOnce)
{
    std::atomic<int> count{0};
    TIMER_OS timer;
    EXPECT_TRUE(timer.Set(&Count, &count));
    EXPECT_FALSE(timer.IsActive());
    ASSERT_TRUE(timer.Start(1, true));
    EXPECT_TRUE(timer.IsOneShot());
    ASSERT_TRUE(Eventually([&] { return count == 1; }));
    ZmLib::Sleep(20);
    EXPECT_EQ(1, count);
    EXPECT_FALSE(timer.IsActive());
}

TEST_F(TimerTest, PeriodicFiresUntilStopped)
{
    std::atomic<int> count{0};
    TIMER_OS timer;
    timer.Set(&Count, &count);
    ASSERT_TRUE(timer.Start(1, false));
    ASSERT_TRUE(Eventually([&] { return count >= 5; }));
    EXPECT_TRUE(timer.IsActive());
    timer.Stop();
    EXPECT_FALSE(timer.IsActive());
    int stopped = count;
    ZmLib::Sleep(20);
    EXPECT_EQ(stopped, count);
}

struct SlowCallback {
    std::atomic<bool> entered{false};
    std::atomic<bool> left{false};
};

void Slow(void* argument)
{
    SlowCallback* slow = static_cast<SlowCallback*>(argument);
    slow->entered = true;
    ZmLib::Sleep(30);
    slow->left = true;
}

TEST_F(TimerTest, StopWaitsForARunningCallback)
{
    SlowCallback slow;
    TIMER_OS timer;
    timer.Set(&Slow, &slow);
    ASSERT_TRUE(timer.Start(1, false));
    ASSERT_TRUE(Eventually([&] { return slow.entered.load(); }));
    timer.Stop();
    EXPECT_TRUE(slow.left);
}

struct SelfStopping {
    TIMER_OS timer;
    std::atomic<int> count{0};
};

void StopSelf(void* argument)
{
    SelfStopping* s = static_cast<SelfStopping*>(argument);
    ++s->count;
    s->timer.Stop();
}

TEST_F(TimerTest, CallbackMayStopItsOwnTimer)
{
    SelfStopping s;
    s.timer.Set(&StopSelf, &s);
    ASSERT_TRUE(s.timer.Start(1, false));
    ASSERT_TRUE(Eventually([&] { return s.count == 1; }));
    ZmLib::Sleep(20);
    EXPECT_EQ(1, s.count);
    EXPECT_FALSE(s.timer.IsActive());
}

TEST_F(TimerTest, DestroyingAnArmedTimerDisarmsIt)
{
    std::atomic<int> count{0};
    TIMER_OS* timer = new TIMER_OS;
    timer->Set(&Count, &count);
    ASSERT_TRUE(timer->Start(1, false));
    ASSERT_TRUE(Eventually([&] { return count >= 2; }));
    delete timer; // a later firing would touch freed memory
    int after = count;
    ZmLib::Sleep(20);
    EXPECT_EQ(after, count);
}

TEST_F(TimerTest, SetDisarmsAndRearmingRestarts)
{
    std::atomic<int> first{0};
    std::atomic<int> second{0};
    TIMER_OS timer;
    timer.Set(&Count, &first);
    ASSERT_TRUE(timer.Start(1, false));
    ASSERT_TRUE(Eventually([&] { return first >= 1; }));
    timer.Set(&Count, &second);
    EXPECT_FALSE(timer.IsActive());
    int firstCount = first;
    ZmLib::Sleep(20);
    EXPECT_EQ(firstCount, first);
    EXPECT_EQ(0, second);
    ASSERT_TRUE(timer.Start(1, true));
    ASSERT_TRUE(Eventually([&] { return second == 1; }));
    EXPECT_EQ(firstCount, first);
}

TEST_F(TimerTest, StartNeedsACallbackAndTheThread)
{
    TIMER_OS timer;
    EXPECT_FALSE(timer.Start(1, true));
    EXPECT_FALSE(timer.IsActive());
    EXPECT_GE(Find("callbackSet"), 0);

    std::atomic<int> count{0};
    timer.Set(&Count, &count);
    TIMER_OS::Done();
    EXPECT_FALSE(timer.Start(1, true));
    EXPECT_FALSE(timer.IsActive());
    EXPECT_GE(Find("timerThreadRunning"), 0);
}

TEST_F(TimerTest, DoneLeavesArmedTimersInactive)
{
    std::atomic<int> count{0};
    TIMER_OS timer;
    timer.Set(&Count, &count);
    ASSERT_TRUE(timer.Start(60000, false));
    EXPECT_TRUE(timer.IsActive());
    TIMER_OS::Done();
    EXPECT_FALSE(timer.IsActive());
    EXPECT_EQ(0, count);
}

std::atomic<int> g_childCount{0};

void ChildWithPeriodicTimer()
{
    TIMER_OS::Init();
    static TIMER_OS timer;
    timer.Set(&Count, &g_childCount);
    timer.Start(1, false);
    if (!Eventually([] { return g_childCount >= 3; }))
        _exit(3);
    exit(0);
}

void ExitFromCallback(void*)
{
    exit(0);
}

void ChildExitingFromACallback()
{
    TIMER_OS::Init();
    static TIMER_OS timer;
    timer.Set(&ExitFromCallback, nullptr);
    timer.Start(1, true);
    for (;;)
        ZmLib::Sleep(10);
}

TEST(TimerExit, ProcessExitsWithAPeriodicTimerArmed)
{
    ASSERT_FALSE(TIMER_OS::IsRunning());
    EXPECT_TRUE(ChildExitsCleanly(&ChildWithPeriodicTimer));
}

TEST(TimerExit, ProcessExitsFromATimerCallback)
{
    ASSERT_FALSE(TIMER_OS::IsRunning());
    EXPECT_TRUE(ChildExitsCleanly(&ChildExitingFromACallback));
}

void ChildOfARunningTimerThread()
{
    // The parent's timer thread does not exist here: the child must see a
    // stopped one, start its own, and still end through exit().
    if (TIMER_OS::IsRunning())
        _exit(4);
    TIMER_OS::Init();
    static TIMER_OS timer;
    timer.Set(&Count, &g_childCount);
    timer.Start(1, false);
    if (!Eventually([] { return g_childCount >= 1; }))
        _exit(3);
    exit(0);
}

TEST(TimerExit, ChildForkedWhileTheTimerThreadRunsExits)
{
    TIMER_OS::Init();
    std::atomic<int> count{0};
    TIMER_OS timer;
    timer.Set(&Count, &count);
    ASSERT_TRUE(timer.Start(1, false));
    EXPECT_TRUE(ChildExitsCleanly(&ChildOfARunningTimerThread));
    timer.Stop();
    TIMER_OS::Done();
}

// ---------------------------------------------------------------------------
// Sockets

const uint32_t LOOPBACK = SOCK::Address(127, 0, 0, 1);

using SockTest = SysRecords;

TEST_F(SockTest, UdpDatagramOverLoopback)
{
    SOCK receiver;
    SOCK sender;
    EXPECT_EQ(0x0100007Fu, LOOPBACK);
    ASSERT_TRUE(receiver.Open(SOCK_UDP, true));
    EXPECT_EQ(SOCK_UDP, receiver.Type());
    ASSERT_TRUE(receiver.Bind(LOOPBACK, 0));
    uint32_t address = 0;
    uint16_t port = 0;
    ASSERT_TRUE(receiver.SockName(&address, &port));
    EXPECT_EQ(LOOPBACK, address);
    ASSERT_NE(0, port);

    ASSERT_TRUE(sender.Open(SOCK_UDP, true));
    ASSERT_EQ(5, sender.SendTo("hello", 5, LOOPBACK, port));
    uint16_t senderPort = 0;
    ASSERT_TRUE(sender.SockName(nullptr, &senderPort));

    char buffer[16] = {};
    uint32_t from = 0;
    uint16_t fromPort = 0;
    ASSERT_EQ(5, receiver.RecvFromWait(10, buffer, sizeof buffer, &from, &fromPort));
    EXPECT_STREQ("hello", buffer);
    EXPECT_EQ(LOOPBACK, from);
    EXPECT_EQ(senderPort, fromPort);
}

TEST_F(SockTest, RecvTimesOutWithZero)
{
    SOCK sock;
    ASSERT_TRUE(sock.Open(SOCK_UDP, true));
    ASSERT_TRUE(sock.Bind(LOOPBACK, 0));
    char buffer[4];
    EXPECT_EQ(0, sock.Recv(1, buffer, sizeof buffer, 0));
    EXPECT_EQ(0, sock.RecvFromWait(0, buffer, sizeof buffer, nullptr, nullptr));
}

TEST_F(SockTest, ReceivingOnAClosedSocketFailsAtOnce)
{
    // Not a time-out: there is nothing to wait on.
    SOCK sock;
    char buffer[4];
    EXPECT_EQ(-1, sock.Recv(0, buffer, sizeof buffer, 0));
    EXPECT_EQ(-1, sock.RecvFromWait(0, buffer, sizeof buffer, nullptr, nullptr));
}

TEST_F(SockTest, BadBufferArgumentsAreRefused)
{
    SOCK sock;
    ASSERT_TRUE(sock.Open(SOCK_UDP, true));
    char buffer[4];
    EXPECT_EQ(-1, sock.Recv(0, buffer, -1, 0));
    EXPECT_EQ(-1, sock.RecvFrom(nullptr, 4, nullptr, nullptr));
    EXPECT_EQ(-1, sock.SendTo(nullptr, 4, LOOPBACK, 9));
    EXPECT_EQ(EINVAL, errno);
}

TEST_F(SockTest, CloseOfAClosedSocket)
{
    SOCK sock;
    EXPECT_FALSE(sock.IsValid());
    EXPECT_TRUE(sock.Close());
    ASSERT_TRUE(sock.Open(SOCK_TCP, true));
    EXPECT_TRUE(sock.IsValid());
    EXPECT_TRUE(sock.Close());
    EXPECT_EQ(SOCK::INVALID_HANDLE, sock.Handle());
    EXPECT_TRUE(sock.Close());
}

TEST_F(SockTest, OpenWithAnUnknownTypeFails)
{
    SOCK sock;
    EXPECT_FALSE(sock.Open(7, true));
    EXPECT_FALSE(sock.IsValid());
    int at = Find("Socket creation failure, type = 7");
    ASSERT_GE(at, 0);
    EXPECT_EQ(KX_LEVEL_ERROR, At(at).level);
}

TEST_F(SockTest, TcpConnectAcceptAndExchange)
{
    SOCK listener;
    ASSERT_TRUE(listener.OpenListen(0));
    uint16_t port = 0;
    ASSERT_TRUE(listener.SockName(nullptr, &port));

    SOCK client;
    ASSERT_TRUE(client.Open(SOCK_TCP, true));
    ASSERT_TRUE(client.Connect(LOOPBACK, port));
    uint32_t peer = 0;
    uint16_t peerPort = 0;
    SOCK* accepted = listener.Accept(nullptr, &peer, &peerPort);
    ASSERT_NE(nullptr, accepted);
    EXPECT_EQ(SOCK_TCP, accepted->Type());
    EXPECT_EQ(LOOPBACK, peer);
    uint16_t clientPort = 0;
    ASSERT_TRUE(client.SockName(nullptr, &clientPort));
    EXPECT_EQ(clientPort, peerPort);
    uint16_t seenPort = 0;
    ASSERT_TRUE(client.PeerName(nullptr, &seenPort));
    EXPECT_EQ(port, seenPort);

    ASSERT_EQ(3, client.SendTo("abc", 3, 0, 0));
    char buffer[8] = {};
    EXPECT_EQ(3, accepted->Recv(10, buffer, sizeof buffer, 0));
    EXPECT_STREQ("abc", buffer);
    delete accepted;

    // Into a given object.
    SOCK second;
    ASSERT_TRUE(second.Open(SOCK_TCP, true));
    ASSERT_TRUE(second.Connect(LOOPBACK, port));
    SOCK target;
    EXPECT_EQ(&target, listener.Accept(&target, nullptr, nullptr));
    EXPECT_TRUE(target.IsValid());
}

TEST_F(SockTest, AcceptFailureIsAWarning)
{
    SOCK listener;
    ASSERT_TRUE(listener.Open(SOCK_TCP, false));
    ASSERT_TRUE(listener.Bind(LOOPBACK, 0));
    ASSERT_TRUE(listener.Listen(1));
    EXPECT_EQ(nullptr, listener.Accept(nullptr, nullptr, nullptr));
    std::string expected = "Socket #" + std::to_string(listener.Handle()) +
                           " accept failure, errno = " + std::to_string(EAGAIN);
    int at = Find(expected);
    ASSERT_GE(at, 0);
    EXPECT_EQ(KX_LEVEL_WARNING, At(at).level);
}

TEST_F(SockTest, FailedOpenListenLeavesTheSocketClosed)
{
    SOCK first;
    ASSERT_TRUE(first.OpenListen(0));
    uint16_t port = 0;
    ASSERT_TRUE(first.SockName(nullptr, &port));

    SOCK second;
    EXPECT_FALSE(second.OpenListen(port));
    EXPECT_FALSE(second.IsValid());
    bool warned = false;
    for (const Record& r : Records())
        warned |= r.level == KX_LEVEL_WARNING && r.text.find(" bind failure on port " + std::to_string(port) +
                                                             ", errno = " + std::to_string(EADDRINUSE)) !=
                                                    std::string::npos;
    EXPECT_TRUE(warned);
    // A second try on the same object must not meet an open socket.
    EXPECT_TRUE(second.OpenListen(0));
}

TEST_F(SockTest, ListenFailureIsAWarning)
{
    SOCK udp;
    ASSERT_TRUE(udp.Open(SOCK_UDP, true));
    EXPECT_FALSE(udp.Listen(4));
    std::string expected = "Socket #" + std::to_string(udp.Handle()) + " listen failure, backlog = 4, errno = " +
                           std::to_string(EOPNOTSUPP);
    EXPECT_GE(Find(expected), 0);
}

TEST_F(SockTest, SendingToAClosedPeerDoesNotKillTheProcess)
{
    // SIGPIPE is left at its default here: only the send flags protect us.
    SOCK listener;
    ASSERT_TRUE(listener.OpenListen(0));
    uint16_t port = 0;
    ASSERT_TRUE(listener.SockName(nullptr, &port));
    SOCK client;
    ASSERT_TRUE(client.Open(SOCK_TCP, true));
    ASSERT_TRUE(client.Connect(LOOPBACK, port));
    SOCK* accepted = listener.Accept(nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, accepted);
    delete accepted;
    int result = 0;
    for (int i = 0; i < 200 && result >= 0; ++i) {
        result = client.SendTo("x", 1, 0, 0);
        ZmLib::Sleep(1);
    }
    EXPECT_EQ(-1, result);
}

TEST_F(SockTest, InitIgnoresSigpipeAndDoneRestoresIt)
{
    struct sigaction before{};
    sigaction(SIGPIPE, nullptr, &before);
    ASSERT_EQ(SIG_DFL, before.sa_handler);
    EXPECT_TRUE(SOCK::Init());
    struct sigaction during{};
    sigaction(SIGPIPE, nullptr, &during);
    EXPECT_EQ(SIG_IGN, during.sa_handler);
    SOCK::Done();
    struct sigaction after{};
    sigaction(SIGPIPE, nullptr, &after);
    EXPECT_EQ(SIG_DFL, after.sa_handler);
}

void ConstructOnOpenSocket()
{
    KxSys.output = &RecordToStderr;
    SOCK sock;
    if (sock.Open(SOCK_UDP, true))
        sock.Construct(1000, SOCK_UDP);
}

void OpenListenOnOpenSocket()
{
    KxSys.output = &RecordToStderr;
    SOCK sock;
    if (sock.Open(SOCK_UDP, true))
        sock.OpenListen(0);
}

void AcceptIntoOpenTarget()
{
    KxSys.output = &RecordToStderr;
    SOCK listener;
    SOCK target;
    if (listener.OpenListen(0) && target.Open(SOCK_TCP, true))
        listener.Accept(&target, nullptr, nullptr);
}

TEST(SockDeathTest, UsingAnOpenSocketAsNewAborts)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(ConstructOnOpenSocket(), "!IsValid\\(\\)");
    EXPECT_DEATH(OpenListenOnOpenSocket(), "!IsValid\\(\\)");
    EXPECT_DEATH(AcceptIntoOpenTarget(), "!IsValid\\(\\)");
}

// ---------------------------------------------------------------------------
// SELECT

class Reader : public SOCK_READER {
public:
    void OnRead() override
    {
        ++reads;
        char buffer[64];
        RecvFrom(buffer, sizeof buffer, nullptr, nullptr);
        if (onRead)
            onRead(this);
    }
    uint16_t Port()
    {
        uint16_t port = 0;
        SockName(nullptr, &port);
        return port;
    }

    int reads = 0;
    void (*onRead)(Reader*) = nullptr;
    void* context = nullptr;
};

bool OpenReader(Reader& reader)
{
    return reader.Open(SOCK_UDP, true) && reader.Bind(LOOPBACK, 0);
}

using SelectTest = SysRecords;

TEST_F(SelectTest, CallsTheHandlerOfTheReadableSocketOnly)
{
    Reader a;
    Reader b;
    ASSERT_TRUE(OpenReader(a));
    ASSERT_TRUE(OpenReader(b));
    SELECT select;
    ASSERT_TRUE(select.Add(&a));
    ASSERT_TRUE(select.Add(&b));
    EXPECT_EQ(2u, select.Count());
    select.SetTimeout(10000);

    SOCK sender;
    ASSERT_TRUE(sender.Open(SOCK_UDP, true));
    ASSERT_EQ(1, sender.SendTo("1", 1, LOOPBACK, b.Port()));
    EXPECT_EQ(1, select.Select());
    EXPECT_EQ(0, a.reads);
    EXPECT_EQ(1, b.reads);

    ASSERT_EQ(1, sender.SendTo("1", 1, LOOPBACK, a.Port()));
    ASSERT_EQ(1, sender.SendTo("2", 1, LOOPBACK, b.Port()));
    pollfd fds[2] = {{int(a.Handle()), POLLIN, 0}, {int(b.Handle()), POLLIN, 0}};
    ASSERT_TRUE(Eventually([&] { return poll(fds, 2, 0) == 2; }));
    EXPECT_EQ(2, select.Select());
    EXPECT_EQ(1, a.reads);
    EXPECT_EQ(2, b.reads);
}

TEST_F(SelectTest, TimeoutAndEmptySet)
{
    SELECT select;
    select.SetTimeout(-1);
    EXPECT_EQ(0, select.Select()); // nothing to wait on: no endless wait
    Reader a;
    ASSERT_TRUE(OpenReader(a));
    ASSERT_TRUE(select.Add(&a));
    select.SetTimeout(5);
    EXPECT_EQ(0, select.Select());
    EXPECT_EQ(0, a.reads);
}

TEST_F(SelectTest, AReaderIsListedOnce)
{
    Reader a;
    SELECT first;
    SELECT second;
    EXPECT_TRUE(first.Add(&a));
    EXPECT_FALSE(first.Add(&a));
    EXPECT_FALSE(second.Add(&a));
    EXPECT_FALSE(first.Add(nullptr));
    first.Remove(&a);
    EXPECT_EQ(0u, first.Count());
    EXPECT_TRUE(second.Add(&a));
}

TEST_F(SelectTest, DestroyedReadersLeaveTheirSelect)
{
    SELECT select;
    {
        Reader a;
        select.Add(&a);
        EXPECT_EQ(1u, select.Count());
    }
    EXPECT_EQ(0u, select.Count());
    Reader b;
    {
        SELECT shortLived;
        shortLived.Add(&b);
    }
    EXPECT_TRUE(select.Add(&b));
}

void DeleteOther(Reader* reader)
{
    delete static_cast<Reader*>(reader->context);
    reader->context = nullptr;
}

TEST_F(SelectTest, HandlerMayDestroyAnotherReadyReader)
{
    Reader first;
    Reader* second = new Reader;
    ASSERT_TRUE(OpenReader(first));
    ASSERT_TRUE(OpenReader(*second));
    first.onRead = &DeleteOther;
    first.context = second;
    SELECT select;
    select.Add(&first);
    select.Add(second);
    select.SetTimeout(10000);

    SOCK sender;
    ASSERT_TRUE(sender.Open(SOCK_UDP, true));
    ASSERT_EQ(1, sender.SendTo("x", 1, LOOPBACK, second->Port()));
    ASSERT_EQ(1, sender.SendTo("x", 1, LOOPBACK, first.Port()));
    // Wait until both datagrams are there, so that one Select sees both.
    pollfd fds[2] = {{int(first.Handle()), POLLIN, 0}, {int(second->Handle()), POLLIN, 0}};
    ASSERT_TRUE(Eventually([&] { return poll(fds, 2, 0) == 2; }));
    EXPECT_EQ(2, select.Select());
    EXPECT_EQ(1, first.reads);
    EXPECT_EQ(nullptr, first.context);
    EXPECT_EQ(1u, select.Count());
}

} // namespace
