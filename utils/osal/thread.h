// Named critical sections and the worker-thread class: a thread with a
// priority scale, a start gate and a cooperative stop.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace ZmLib {

// A recursive lock with a name; usable with std::lock_guard.
class CRITSECT {
public:
    explicit CRITSECT(const char* name = "") : name_(name) {}
    CRITSECT(const CRITSECT&) = delete;
    CRITSECT& operator=(const CRITSECT&) = delete;

    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }
    bool TryEnter() { return mutex_.try_lock(); }
    void lock() { Enter(); }
    void unlock() { Leave(); }
    bool try_lock() { return TryEnter(); }
    const char* Name() const { return name_; }

private:
    std::recursive_mutex mutex_;
    const char* name_;
};

// Linux thread id (the kernel's TID) of the calling thread.
int64_t CurrentThreadId();

// A worker thread. Construct creates it waiting at a start gate, Start lets
// it run: it calls Run again and again while it should keep running, holding
// its critical section all the while. Run polls StopRequested.
// A derived class stops the thread in its own destructor, since Run must not
// be called on a half-destroyed object.
class THREAD {
public:
    static constexpr uint32_t PRIORITY_CRITICAL = 31;
    static constexpr uint32_t WAIT_FOREVER = 0xFFFFFFFFu;

    THREAD();
    virtual ~THREAD();
    THREAD(const THREAD&) = delete;
    THREAD& operator=(const THREAD&) = delete;

    virtual void Run() = 0;

    // priority 0..31 (see PriorityLevel); flags go with the start records.
    bool Construct(const char* name, uint32_t priority, uint16_t flags = 0);
    bool Start(bool repeat);
    void ShouldStop();
    // A thread that was constructed but never started ends without Run.
    bool Stop(uint32_t timeoutMs);
    bool Wait(uint32_t timeoutMs);
    // Linux cannot end a thread from outside safely: the thread is asked to
    // stop, detached and forgotten; the object gets a fresh critical section.
    void Kill();

    bool StopRequested() const;
    int64_t Id() const { return id_; }
    const char* Name() const { return name_; }
    uint32_t Priority() const { return priority_; }
    uint16_t Flags() const { return flags_; }
    CRITSECT& Section();

    // The priority scale as levels from -15 (idle) to 15 (time critical).
    static int PriorityLevel(uint32_t priority);
    // The nice value that stands for a level on Linux.
    static int NiceValue(int level);

private:
    struct State;
    static void Body(THREAD* self, std::shared_ptr<State> state);
    void ApplyPriority();
    // Opens the start gate without running; false when it was already open.
    bool Cancel();

    std::thread handle_;
    const char* name_ = "";
    uint32_t priority_ = 0;
    uint16_t flags_ = 0;
    std::shared_ptr<State> state_;
    int64_t id_ = 0;
};

void Sleep(uint32_t ms);

} // namespace ZmLib
