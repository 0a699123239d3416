// Timers served by the process-wide timer thread: a deadline queue and a
// condition variable. Callbacks run on the timer thread and do their own
// locking.
#pragma once

#include <atomic>
#include <cstdint>

namespace ZmLib {

class TIMER_OS {
public:
    using Callback = void (*)(void* argument);

    TIMER_OS() = default;
    // Disarms the timer; a callback of it that is running is waited for.
    ~TIMER_OS();
    TIMER_OS(const TIMER_OS&) = delete;
    TIMER_OS& operator=(const TIMER_OS&) = delete;

    // Starts the timer thread (once; later calls do nothing). The thread is
    // also ended at exit, before static objects are destroyed.
    static void Init();
    // Ends and joins the timer thread; armed timers become inactive.
    static void Done();
    static bool IsRunning();

    // Stores callback and argument; the timer is disarmed first.
    bool Set(Callback callback, void* argument);
    // Arms the timer: the callback runs after periodMs milliseconds (at
    // least 1) and, unless oneShot, every periodMs after that. Arming an
    // armed timer starts it anew.
    bool Start(uint32_t periodMs, bool oneShot);
    // Disarms the timer. When it returns, no callback of this timer runs or
    // will run, unless it is called from that very callback.
    void Stop();

    bool IsActive() const { return active_ != 0; }
    bool IsOneShot() const { return oneShot_ != 0; }

private:
    friend class TimerThread;

    std::atomic<uint8_t> active_{0};
    std::atomic<uint8_t> oneShot_{0};
    Callback callback_ = nullptr;
    void* argument_ = nullptr;
};

} // namespace ZmLib
