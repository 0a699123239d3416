#include "tests/utils/osal/osal_fixtures.h"
#include "utils/kx/kx.h"
#include "utils/osal/sock.h"
#include "utils/osal/thread.h"
#include "utils/osal/timeros.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace ZmLib;
using kxtest::Eventually;

namespace {

// Every test here watches the "SYS" channel.
class SysTest : public ::testing::Test {
protected:
    kxtest::KxCapture sys;
};

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
        if (waitpid(pid, &status, WNOHANG) == pid)
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
        do
            ZmLib::Sleep(1);
        while (holdUntilStop && !StopRequested());
        ++returns;
    }
    // Constructs and starts a thread that stays in Run until stopped.
    bool StartHeld(const char* name)
    {
        holdUntilStop = true;
        return Construct(name, 15) && Start(true) && Eventually([&] { return runs == 1; });
    }

    std::atomic<int> runs{0};
    std::atomic<int> returns{0};
    bool holdUntilStop = false;
};

using ThreadTest = SysTest;

TEST(ThreadPriority, ScaleToLevelsAndNiceValues)
{
    const int expected[32] = {-15, -2, -2, -2, -2, -2, -2, -1, -1, -1, -1, -1, -1, 0, 0, 0,
                              0,   0,  0,  1,  1,  1,  1,  1,  1,  2,  2,  2,  2,  2,  2, 15};
    for (uint32_t i = 0; i < 32; ++i)
        EXPECT_EQ(expected[i], THREAD::PriorityLevel(i)) << i;
    const int nice[][2] = {{-15, 19}, {-2, 10}, {-1, 5}, {0, 0}, {1, -5}, {2, -10}, {15, -20}};
    for (const auto& n : nice)
        EXPECT_EQ(n[1], THREAD::NiceValue(n[0])) << n[0];
}

TEST_F(ThreadTest, PriorityLimitsAndNiceValueOfALowPriority)
{
    Worker worker;
    EXPECT_TRUE(worker.Stop(0)); // never constructed
    EXPECT_TRUE(sys.Empty());
    EXPECT_FALSE(worker.Construct("w", 32));
    EXPECT_EQ(0, worker.Id());
    EXPECT_TRUE(sys.Has(KX_LEVEL_VERIFY, "Priority <= THREAD::PRIORITY_CRITICAL"));
    EXPECT_TRUE(worker.Construct("critical", THREAD::PRIORITY_CRITICAL));
    EXPECT_TRUE(worker.Stop(THREAD::WAIT_FOREVER));

    ASSERT_TRUE(worker.Construct("low", 3));
    EXPECT_EQ(10, getpriority(PRIO_PROCESS, id_t(worker.Id())));
}

TEST_F(ThreadTest, RepeatingThreadRunsUntilStopped)
{
    Worker worker;
    ASSERT_TRUE(worker.Construct("repeat", 15, 0x20));
    int64_t id = worker.Id();
    EXPECT_NE(CurrentThreadId(), id);
    EXPECT_EQ(0, worker.runs); // waits at its start gate
    ASSERT_TRUE(worker.Start(true));
    ASSERT_TRUE(Eventually([&] { return worker.runs >= 5; }));
    EXPECT_TRUE(worker.Stop(THREAD::WAIT_FOREVER));
    int runs = worker.runs;
    EXPECT_EQ(runs, worker.returns);
    ZmLib::Sleep(5);
    EXPECT_EQ(runs, worker.runs);

    int starting = sys.Find("THREAD STARTING: repeat, TID=" + std::to_string(id));
    int started = sys.Find("THREAD STARTED:  repeat, TID=" + std::to_string(id));
    ASSERT_GE(starting, 0);
    ASSERT_LT(starting, started);
    for (int at : {starting, started})
        EXPECT_EQ(0x20 | KXF_TEXT, sys.Reports()[size_t(at)].flags);
    EXPECT_TRUE(sys.Has(KX_LEVEL_NOTICE, "Thread 'repeat' will stop"));
    EXPECT_TRUE(sys.Has(KX_LEVEL_INFO, "Waiting... timeout = -1"));
    EXPECT_GE(sys.Find("Thread 'repeat' stopped, waiting result = 1 (0/1)"), 0);
}

TEST_F(ThreadTest, SingleRunEndsByItselfAndAnUnstartedThreadStops)
{
    Worker once;
    ASSERT_TRUE(once.Construct("once", 15));
    ASSERT_TRUE(once.Start(false));
    EXPECT_TRUE(once.Wait(THREAD::WAIT_FOREVER));
    EXPECT_EQ(1, once.runs);
    EXPECT_TRUE(once.Stop(0)); // already ended

    // The thread waits at its gate; Stop must let it end without Run.
    Worker idle;
    ASSERT_TRUE(idle.Construct("idle", 15));
    EXPECT_TRUE(idle.Stop(10000));
    EXPECT_EQ(0, idle.runs);
    EXPECT_EQ(-1, sys.Find("THREAD STARTED:  idle, TID=" + std::to_string(idle.Id())));
}

TEST_F(ThreadTest, RunningThreadHoldsItsSectionAndRefusesASecondConstruct)
{
    Worker worker;
    ASSERT_TRUE(worker.StartHeld("busy"));
    EXPECT_FALSE(worker.Wait(1));
    EXPECT_FALSE(worker.Section().TryEnter());
    EXPECT_FALSE(worker.Construct("second", 15));
    EXPECT_GE(sys.Find("!hThread"), 0);
    EXPECT_TRUE(worker.Stop(THREAD::WAIT_FOREVER));
    EXPECT_EQ(1, worker.returns);
    ASSERT_TRUE(worker.Section().TryEnter());
    worker.Section().Leave();
    // After the thread ended the object can start another one.
    EXPECT_TRUE(worker.Construct("third", 15));
}

TEST_F(ThreadTest, KillDetachesAndTheThreadStillSeesItsStop)
{
    Worker worker;
    ASSERT_TRUE(worker.StartHeld("victim"));
    int64_t id = worker.Id();
    worker.Kill();
    EXPECT_EQ(0, worker.Id());
    EXPECT_TRUE(sys.Has(KX_LEVEL_WARNING, "Thread 'victim' cannot be killed, detached, TID=" + std::to_string(id)));
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

class TimerTest : public SysTest {
protected:
    void SetUp() override { TIMER_OS::Init(); }
    void TearDown() override { TIMER_OS::Done(); }

public:
    std::atomic<int> count{0};
    TIMER_OS timer;
};

TEST_F(TimerTest, StartNeedsACallbackAndTheThreadDoneDisarms)
{
    TIMER_OS::Init();
    EXPECT_TRUE(TIMER_OS::IsRunning());
    EXPECT_FALSE(timer.Start(1, true));
    EXPECT_GE(sys.Find("callbackSet"), 0);
    timer.Set(&Count, &count);
    ASSERT_TRUE(timer.Start(60000, false));
    TIMER_OS::Done();
    EXPECT_FALSE(TIMER_OS::IsRunning());
    EXPECT_FALSE(timer.IsActive());
    EXPECT_FALSE(timer.Start(1, true));
    EXPECT_FALSE(timer.IsActive());
    EXPECT_GE(sys.Find("timerThreadRunning"), 0);
    TIMER_OS::Done();
    TIMER_OS::Init();
    EXPECT_TRUE(TIMER_OS::IsRunning());
    EXPECT_EQ(0, count);
}

TEST_F(TimerTest, OneShotFiresOncePeriodicUntilStopped)
{
    std::atomic<int> periodicCount{0};
    TIMER_OS periodic;
    EXPECT_TRUE(timer.Set(&Count, &count));
    periodic.Set(&Count, &periodicCount);
    ASSERT_TRUE(timer.Start(1, true));
    ASSERT_TRUE(periodic.Start(1, false));
    EXPECT_TRUE(timer.IsOneShot());
    ASSERT_TRUE(Eventually([&] { return count == 1 && periodicCount >= 5; }));
    EXPECT_TRUE(periodic.IsActive());
    periodic.Stop();
    EXPECT_FALSE(periodic.IsActive());
    int stopped = periodicCount;
    ZmLib::Sleep(20);
    EXPECT_EQ(1, count);
    EXPECT_FALSE(timer.IsActive());
    EXPECT_EQ(stopped, periodicCount);
}

TEST_F(TimerTest, StopWaitsForARunningCallback)
{
    static std::atomic<bool> entered{false};
    static std::atomic<bool> left{false};
    timer.Set(
        [](void*) {
            entered = true;
            ZmLib::Sleep(30);
            left = true;
        },
        nullptr);
    ASSERT_TRUE(timer.Start(1, false));
    ASSERT_TRUE(Eventually([&] { return entered.load(); }));
    timer.Stop();
    EXPECT_TRUE(left);
}

TEST_F(TimerTest, CallbackMayStopItsOwnTimer)
{
    timer.Set(
        [](void* self) {
            TimerTest* test = static_cast<TimerTest*>(self);
            ++test->count;
            test->timer.Stop();
        },
        this);
    ASSERT_TRUE(timer.Start(1, false));
    ASSERT_TRUE(Eventually([&] { return count == 1; }));
    ZmLib::Sleep(20);
    EXPECT_EQ(1, count);
    EXPECT_FALSE(timer.IsActive());
}

TEST_F(TimerTest, SetAndDestructionDisarmRearmingRestarts)
{
    std::atomic<int> second{0};
    TIMER_OS* armed = new TIMER_OS;
    armed->Set(&Count, &count);
    ASSERT_TRUE(armed->Start(1, false));
    ASSERT_TRUE(Eventually([&] { return count >= 1; }));
    armed->Set(&Count, &second);
    EXPECT_FALSE(armed->IsActive());
    int firstCount = count;
    ASSERT_TRUE(armed->Start(1, false));
    ASSERT_TRUE(Eventually([&] { return second >= 2; }));
    delete armed; // a later firing would touch freed memory
    int secondCount = second;
    ZmLib::Sleep(20);
    EXPECT_EQ(firstCount, count);
    EXPECT_EQ(secondCount, second);
}

std::atomic<int> g_childCount{0};

void ChildWithPeriodicTimer()
{
    // A parent's timer thread does not exist here: the child must see a
    // stopped one, start its own, and still end through exit().
    if (TIMER_OS::IsRunning())
        _exit(4);
    TIMER_OS::Init();
    static TIMER_OS timer;
    timer.Set(&Count, &g_childCount);
    timer.Start(1, false);
    if (!Eventually([] { return g_childCount >= 3; }))
        _exit(3);
    exit(0);
}

void ChildExitingFromACallback()
{
    TIMER_OS::Init();
    static TIMER_OS timer;
    timer.Set([](void*) { exit(0); }, nullptr);
    timer.Start(1, true);
    for (;;)
        ZmLib::Sleep(10);
}

TEST(TimerExit, ProcessExitsWithAPeriodicTimerArmedOrFromACallback)
{
    ASSERT_FALSE(TIMER_OS::IsRunning());
    EXPECT_TRUE(ChildExitsCleanly(&ChildWithPeriodicTimer));
    EXPECT_TRUE(ChildExitsCleanly(&ChildExitingFromACallback));
}

TEST(TimerExit, ChildForkedWhileTheTimerThreadRunsExits)
{
    TIMER_OS::Init();
    std::atomic<int> count{0};
    TIMER_OS timer;
    timer.Set(&Count, &count);
    ASSERT_TRUE(timer.Start(1, false));
    EXPECT_TRUE(ChildExitsCleanly(&ChildWithPeriodicTimer));
    timer.Stop();
    TIMER_OS::Done();
}

// ---------------------------------------------------------------------------
// Sockets

const uint32_t LOOPBACK = SOCK::Address(127, 0, 0, 1);

uint16_t PortOf(SOCK& sock)
{
    uint16_t port = 0;
    EXPECT_TRUE(sock.SockName(nullptr, &port));
    return port;
}

// A TCP listener on a free loopback port and a client connected to it.
struct TcpPair {
    TcpPair()
    {
        EXPECT_TRUE(listener.OpenListen(0));
        port = PortOf(listener);
        EXPECT_TRUE(client.Open(SOCK_TCP, true));
        EXPECT_TRUE(client.Connect(LOOPBACK, port));
    }
    SOCK listener;
    SOCK client;
    uint16_t port = 0;
};

using SockTest = SysTest;

TEST_F(SockTest, UdpDatagramOverLoopback)
{
    SOCK receiver;
    SOCK sender;
    EXPECT_EQ(0x0100007Fu, LOOPBACK);
    ASSERT_TRUE(receiver.Open(SOCK_UDP, true));
    ASSERT_TRUE(receiver.Bind(LOOPBACK, 0));
    uint32_t address = 0;
    uint16_t port = 0;
    ASSERT_TRUE(receiver.SockName(&address, &port));
    EXPECT_EQ(LOOPBACK, address);
    ASSERT_NE(0, port);

    ASSERT_TRUE(sender.Open(SOCK_UDP, true));
    ASSERT_EQ(5, sender.SendTo("hello", 5, LOOPBACK, port));
    char buffer[16] = {};
    uint32_t from = 0;
    uint16_t fromPort = 0;
    ASSERT_EQ(5, receiver.RecvFromWait(10, buffer, sizeof buffer, &from, &fromPort));
    EXPECT_STREQ("hello", buffer);
    EXPECT_EQ(LOOPBACK, from);
    EXPECT_EQ(PortOf(sender), fromPort);
}

TEST_F(SockTest, TimeOutsClosedSocketsAndBadArguments)
{
    SOCK sock;
    char buffer[4];
    // A closed socket fails at once: there is nothing to wait on.
    EXPECT_FALSE(sock.IsValid());
    EXPECT_TRUE(sock.Close());
    EXPECT_EQ(-1, sock.Recv(0, buffer, sizeof buffer, 0));
    EXPECT_EQ(-1, sock.RecvFromWait(0, buffer, sizeof buffer, nullptr, nullptr));

    EXPECT_FALSE(sock.Open(7, true));
    EXPECT_FALSE(sock.IsValid());
    EXPECT_TRUE(sys.Has(KX_LEVEL_ERROR, "Socket creation failure, type = 7"));

    ASSERT_TRUE(sock.Open(SOCK_UDP, true));
    ASSERT_TRUE(sock.Bind(LOOPBACK, 0));
    EXPECT_EQ(0, sock.Recv(1, buffer, sizeof buffer, 0));
    EXPECT_EQ(0, sock.RecvFromWait(0, buffer, sizeof buffer, nullptr, nullptr));
    EXPECT_EQ(-1, sock.Recv(0, buffer, -1, 0));
    EXPECT_EQ(-1, sock.RecvFrom(nullptr, 4, nullptr, nullptr));
    EXPECT_EQ(-1, sock.SendTo(nullptr, 4, LOOPBACK, 9));
    EXPECT_EQ(EINVAL, errno);
    EXPECT_TRUE(sock.Close());
    EXPECT_EQ(SOCK::INVALID_HANDLE, sock.Handle());
    EXPECT_TRUE(sock.Close());
}

TEST_F(SockTest, TcpConnectAcceptAndExchange)
{
    TcpPair tcp;
    uint32_t peer = 0;
    uint16_t peerPort = 0;
    SOCK* accepted = tcp.listener.Accept(nullptr, &peer, &peerPort);
    ASSERT_NE(nullptr, accepted);
    EXPECT_EQ(SOCK_TCP, accepted->Type());
    EXPECT_EQ(LOOPBACK, peer);
    EXPECT_EQ(PortOf(tcp.client), peerPort);
    uint16_t seenPort = 0;
    ASSERT_TRUE(tcp.client.PeerName(nullptr, &seenPort));
    EXPECT_EQ(tcp.port, seenPort);

    ASSERT_EQ(3, tcp.client.SendTo("abc", 3, 0, 0));
    char buffer[8] = {};
    EXPECT_EQ(3, accepted->Recv(10, buffer, sizeof buffer, 0));
    EXPECT_STREQ("abc", buffer);
    delete accepted;

    // Into a given object.
    SOCK second;
    ASSERT_TRUE(second.Open(SOCK_TCP, true));
    ASSERT_TRUE(second.Connect(LOOPBACK, tcp.port));
    SOCK target;
    EXPECT_EQ(&target, tcp.listener.Accept(&target, nullptr, nullptr));
    EXPECT_TRUE(target.IsValid());
}

TEST_F(SockTest, AcceptListenAndBindFailuresAreWarnings)
{
    SOCK listener;
    ASSERT_TRUE(listener.Open(SOCK_TCP, false));
    ASSERT_TRUE(listener.Bind(LOOPBACK, 0));
    ASSERT_TRUE(listener.Listen(1));
    EXPECT_EQ(nullptr, listener.Accept(nullptr, nullptr, nullptr));
    EXPECT_TRUE(sys.Has(KX_LEVEL_WARNING, "Socket #" + std::to_string(listener.Handle()) +
                                              " accept failure, errno = " + std::to_string(EAGAIN)));

    SOCK udp;
    ASSERT_TRUE(udp.Open(SOCK_UDP, true));
    EXPECT_FALSE(udp.Listen(4));
    EXPECT_GE(sys.Find("Socket #" + std::to_string(udp.Handle()) +
                       " listen failure, backlog = 4, errno = " + std::to_string(EOPNOTSUPP)),
              0);

    uint16_t port = PortOf(listener);
    SOCK second;
    EXPECT_FALSE(second.OpenListen(port));
    EXPECT_FALSE(second.IsValid());
    std::string bindFailure = " bind failure on port " + std::to_string(port) + ", errno = " + std::to_string(EADDRINUSE);
    bool warned = false;
    for (const kxtest::KxReport& r : sys.Reports())
        warned |= r.level == KX_LEVEL_WARNING && r.text.find(bindFailure) != std::string::npos;
    EXPECT_TRUE(warned);
    // A second try on the same object must not meet an open socket.
    EXPECT_TRUE(second.OpenListen(0));
}

TEST_F(SockTest, SendingToAClosedPeerDoesNotKillTheProcess)
{
    // SIGPIPE is left at its default here: only the send flags protect us.
    TcpPair tcp;
    delete tcp.listener.Accept(nullptr, nullptr, nullptr);
    int result = 0;
    for (int i = 0; i < 200 && result >= 0; ++i) {
        result = tcp.client.SendTo("x", 1, 0, 0);
        ZmLib::Sleep(1);
    }
    EXPECT_EQ(-1, result);
}

TEST_F(SockTest, InitIgnoresSigpipeAndDoneRestoresIt)
{
    auto handler = [] {
        struct sigaction current{};
        sigaction(SIGPIPE, nullptr, &current);
        return current.sa_handler;
    };
    ASSERT_EQ(SIG_DFL, handler());
    EXPECT_TRUE(SOCK::Init());
    EXPECT_EQ(SIG_IGN, handler());
    SOCK::Done();
    EXPECT_EQ(SIG_DFL, handler());
}

// Each way of reusing an open socket as a new one.
void ReuseAnOpenSocket(int how)
{
    KxSys.output = [](KXEVENT* event, KX*) {
        fprintf(stderr, "%s\n", event->text ? event->text : "");
        return 0;
    };
    SOCK sock;
    SOCK listener;
    if (!sock.Open(how == 2 ? SOCK_TCP : SOCK_UDP, true))
        return;
    if (how == 0)
        sock.Construct(1000, SOCK_UDP);
    else if (how == 1)
        sock.OpenListen(0);
    else if (listener.OpenListen(0))
        listener.Accept(&sock, nullptr, nullptr);
}

TEST(SockDeathTest, UsingAnOpenSocketAsNewAborts)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int how = 0; how < 3; ++how)
        EXPECT_DEATH(ReuseAnOpenSocket(how), "!IsValid\\(\\)") << how;
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
        if (other != nullptr) {
            delete other;
            other = nullptr;
        }
    }
    bool OpenUdp() { return Open(SOCK_UDP, true) && Bind(LOOPBACK, 0); }

    int reads = 0;
    Reader* other = nullptr; // deleted by the next OnRead
};

// Sends one datagram to each reader and waits until all have arrived, so that
// one Select sees them all.
void SendToAll(std::initializer_list<Reader*> readers)
{
    SOCK sender;
    ASSERT_TRUE(sender.Open(SOCK_UDP, true));
    std::vector<pollfd> fds;
    for (Reader* r : readers) {
        ASSERT_EQ(1, sender.SendTo("x", 1, LOOPBACK, PortOf(*r)));
        fds.push_back({int(r->Handle()), POLLIN, 0});
    }
    ASSERT_TRUE(Eventually([&] { return poll(fds.data(), fds.size(), 0) == int(fds.size()); }));
}

using SelectTest = SysTest;

TEST_F(SelectTest, CallsTheHandlersOfTheReadableSocketsOnly)
{
    Reader a;
    Reader b;
    ASSERT_TRUE(a.OpenUdp());
    ASSERT_TRUE(b.OpenUdp());
    SELECT select;
    select.SetTimeout(-1);
    EXPECT_EQ(0, select.Select()); // nothing to wait on: no endless wait
    ASSERT_TRUE(select.Add(&a));
    select.SetTimeout(5);
    EXPECT_EQ(0, select.Select());
    ASSERT_TRUE(select.Add(&b));
    EXPECT_EQ(2u, select.Count());
    select.SetTimeout(10000);
    SendToAll({&b});
    EXPECT_EQ(1, select.Select());
    EXPECT_EQ(0, a.reads);
    EXPECT_EQ(1, b.reads);
    SendToAll({&a, &b});
    EXPECT_EQ(2, select.Select());
    EXPECT_EQ(1, a.reads);
    EXPECT_EQ(2, b.reads);
}

TEST_F(SelectTest, AReaderIsListedOnceAndLeavesWithEitherSide)
{
    Reader a;
    SELECT first;
    {
        SELECT second;
        EXPECT_TRUE(first.Add(&a));
        EXPECT_FALSE(first.Add(&a));
        EXPECT_FALSE(second.Add(&a));
        EXPECT_FALSE(first.Add(nullptr));
        first.Remove(&a);
        EXPECT_EQ(0u, first.Count());
        EXPECT_TRUE(second.Add(&a));
    }
    EXPECT_TRUE(first.Add(&a)); // the destroyed SELECT let it go
    {
        Reader b;
        first.Add(&b);
        EXPECT_EQ(2u, first.Count());
    }
    EXPECT_EQ(1u, first.Count());
}

TEST_F(SelectTest, HandlerMayDestroyAnotherReadyReader)
{
    Reader first;
    Reader* second = new Reader;
    ASSERT_TRUE(first.OpenUdp());
    ASSERT_TRUE(second->OpenUdp());
    first.other = second;
    SELECT select;
    select.Add(&first);
    select.Add(second);
    select.SetTimeout(10000);
    SendToAll({second, &first});
    EXPECT_EQ(2, select.Select());
    EXPECT_EQ(1, first.reads);
    EXPECT_EQ(nullptr, first.other);
    EXPECT_EQ(1u, select.Count());
}

} // namespace
