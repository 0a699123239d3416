#include "utils/osal/timeros.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <pthread.h>

#include "utils/kx/kx.h"

namespace ZmLib {

namespace {
thread_local bool t_onTimerThread = false;
}

// The process-wide timer thread. It is created once and never destroyed, so
// that timers destroyed late at exit still find it.
class TimerThread {
public:
    using Clock = std::chrono::steady_clock;

    struct Entry {
        TIMER_OS* timer;
        Clock::duration period;
        Clock::time_point deadline;
    };

    static TimerThread& Get();

    void Loop(uint64_t generation);
    // Removes the timer's entry; the caller holds the mutex.
    void Remove(TIMER_OS* timer)
    {
        queue.erase(std::remove_if(queue.begin(), queue.end(), [&](const Entry& e) { return e.timer == timer; }),
                    queue.end());
    }

    std::mutex mutex;
    std::condition_variable wake; // the queue changed or the thread must end
    std::condition_variable idle; // a callback returned
    std::thread thread;
    bool running = false;
    bool endAtExit = false;
    uint64_t generation = 0; // a loop of an older generation ends
    std::vector<Entry> queue;
    TIMER_OS* firing = nullptr;
};

namespace {
TimerThread* g_instance = nullptr;
TimerThread* g_parentInstance = nullptr; // kept reachable in a forked child
std::once_flag g_instanceOnce;

// A forked child has no timer thread, and the parent's state (a joinable
// thread handle, a mutex that thread may hold) is meaningless there: the
// child starts over with a fresh, stopped timer thread object. The old one
// is left alone, as destroying a joinable handle would end the process.
void ChildAfterFork()
{
    g_parentInstance = g_instance;
    g_instance = new TimerThread;
}
} // namespace

TimerThread& TimerThread::Get()
{
    std::call_once(g_instanceOnce, [] {
        g_instance = new TimerThread;
        pthread_atfork(nullptr, nullptr, &ChildAfterFork);
    });
    return *g_instance;
}

void TimerThread::Loop(uint64_t myGeneration)
{
    t_onTimerThread = true;
    std::unique_lock<std::mutex> lock(mutex);
    while (generation == myGeneration) {
        if (queue.empty()) {
            wake.wait(lock);
            continue;
        }
        auto next = std::min_element(queue.begin(), queue.end(),
                                     [](const Entry& a, const Entry& b) { return a.deadline < b.deadline; });
        Clock::time_point now = Clock::now();
        if (next->deadline > now) {
            wake.wait_until(lock, next->deadline);
            continue;
        }
        TIMER_OS* timer = next->timer;
        if (timer->oneShot_) {
            timer->active_ = 0;
            queue.erase(next);
        } else {
            // A late thread does not fire the missed periods one after another.
            next->deadline += next->period;
            if (next->deadline <= now)
                next->deadline = now + next->period;
        }
        TIMER_OS::Callback callback = timer->callback_;
        void* argument = timer->argument_;
        firing = timer;
        lock.unlock();
        if (callback)
            callback(argument);
        lock.lock();
        if (firing == timer)
            firing = nullptr;
        idle.notify_all();
    }
}

namespace {
void DoneAtExit()
{
    TIMER_OS::Done();
}
} // namespace

void TIMER_OS::Init()
{
    TimerThread& t = TimerThread::Get();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (t.running)
        return;
    try {
        t.thread = std::thread(&TimerThread::Loop, &t, t.generation);
    } catch (const std::system_error&) {
        KX::PrintTagged(0, __FILE__, __LINE__, __func__, "hTimerThread");
        abort();
    }
    t.running = true;
    if (!t.endAtExit) {
        t.endAtExit = true;
        std::atexit(&DoneAtExit);
    }
}

void TIMER_OS::Done()
{
    TimerThread& t = TimerThread::Get();
    std::unique_lock<std::mutex> lock(t.mutex);
    if (!t.running)
        return;
    ++t.generation;
    t.wake.notify_all();
    std::thread thread = std::move(t.thread);
    lock.unlock();
    // From a callback (exit() called there) the thread cannot join itself;
    // its loop ends when the callback returns.
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach();
    else
        thread.join();
    lock.lock();
    for (const TimerThread::Entry& e : t.queue)
        e.timer->active_ = 0;
    t.queue.clear();
    t.running = false;
}

bool TIMER_OS::IsRunning()
{
    TimerThread& t = TimerThread::Get();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.running;
}

TIMER_OS::~TIMER_OS()
{
    Stop();
}

bool TIMER_OS::Set(Callback callback, void* argument)
{
    Stop();
    TimerThread& t = TimerThread::Get();
    std::lock_guard<std::mutex> lock(t.mutex);
    callback_ = callback;
    argument_ = argument;
    active_ = 0;
    return true;
}

bool TIMER_OS::Start(uint32_t periodMs, bool oneShot)
{
    TimerThread& t = TimerThread::Get();
    bool callbackSet;
    bool timerThreadRunning;
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        callbackSet = callback_ != nullptr;
        timerThreadRunning = t.running;
        if (callbackSet && timerThreadRunning) {
            auto period = std::chrono::milliseconds(periodMs ? periodMs : 1);
            t.Remove(this);
            t.queue.push_back({this, period, TimerThread::Clock::now() + period});
            oneShot_ = oneShot ? 1 : 0;
            active_ = 1;
            t.wake.notify_all();
        }
    }
    // Reported outside the lock: an output may take its time.
    if (!KX_VERIFY(KxSys, callbackSet))
        return false;
    return KX_VERIFY(KxSys, timerThreadRunning);
}

void TIMER_OS::Stop()
{
    TimerThread& t = TimerThread::Get();
    std::unique_lock<std::mutex> lock(t.mutex);
    t.Remove(this);
    active_ = 0;
    if (!t_onTimerThread)
        t.idle.wait(lock, [&] { return t.firing != this; });
}

} // namespace ZmLib
