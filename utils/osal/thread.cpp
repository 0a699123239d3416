#include "utils/osal/thread.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <string>
#include <sys/resource.h>
#include <system_error>
#include <unistd.h>

#include "utils/kx/kx.h"

namespace ZmLib {

// Everything the thread itself touches besides Run. It is shared, so that a
// killed (detached) thread keeps its own copy while the object starts anew.
struct THREAD::State {
    CRITSECT section{"THREAD"};
    std::string name;
    uint16_t flags = 0;
    std::atomic<bool> keepRunning{false};
    std::atomic<bool> stopRequested{false};

    std::mutex mutex;
    std::condition_variable changed;
    int64_t tid = 0;      // published by the thread before it waits at the gate
    bool released = false;
    bool cancelled = false;
    bool ended = false;
};

namespace {
// The object and state whose Run the calling thread executes, so that a
// killed thread keeps seeing its own stop request.
thread_local const THREAD* t_self = nullptr;
thread_local const void* t_state = nullptr;
} // namespace

int64_t CurrentThreadId()
{
    return int64_t(gettid());
}

void Sleep(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

THREAD::THREAD() : state_(std::make_shared<State>()) {}

THREAD::~THREAD()
{
    if (!handle_.joinable())
        return;
    state_->keepRunning = false;
    state_->stopRequested = true;
    Cancel();
    handle_.join();
}

int THREAD::PriorityLevel(uint32_t priority)
{
    if (priority == 0)
        return -15;
    if (priority <= 6)
        return -2;
    if (priority <= 12)
        return -1;
    if (priority <= 18)
        return 0;
    if (priority <= 24)
        return 1;
    if (priority <= 30)
        return 2;
    return 15;
}

int THREAD::NiceValue(int level)
{
    switch (level) {
    case -15:
        return 19;
    case -2:
        return 10;
    case -1:
        return 5;
    case 1:
        return -5;
    case 2:
        return -10;
    case 15:
        return -20;
    default:
        return 0;
    }
}

void THREAD::Body(THREAD* self, std::shared_ptr<State> state)
{
    std::unique_lock<std::mutex> lock(state->mutex);
    state->tid = CurrentThreadId();
    state->changed.notify_all();
    state->changed.wait(lock, [&] { return state->released; });
    bool run = !state->cancelled;
    lock.unlock();

    if (run) {
        t_self = self;
        t_state = state.get();
        KxSys.Emit(0, state->flags, "THREAD STARTED:  %s, TID=%lld", state->name.c_str(), (long long)state->tid);
        std::lock_guard<CRITSECT> running(state->section);
        do
            self->Run();
        while (state->keepRunning);
    }

    lock.lock();
    state->ended = true;
    state->changed.notify_all();
}

bool THREAD::Construct(const char* name, uint32_t priority, uint16_t flags)
{
    if (!KX_VERIFY_TEXT(KxSys, priority <= PRIORITY_CRITICAL, "Priority <= THREAD::PRIORITY_CRITICAL"))
        return false;
    if (!KX_VERIFY_TEXT(KxSys, !handle_.joinable(), "!hThread"))
        return false;
    name_ = name ? name : "";
    priority_ = priority;
    flags_ = flags;
    state_ = std::make_shared<State>();
    state_->name = name_;
    state_->flags = flags;
    try {
        handle_ = std::thread(&THREAD::Body, this, state_);
    } catch (const std::system_error&) {
        return KX_VERIFY_TEXT(KxSys, false, "ThreadIdWin");
    }
    {
        std::unique_lock<std::mutex> lock(state_->mutex);
        state_->changed.wait(lock, [&] { return state_->tid != 0; });
        id_ = state_->tid;
    }
    KxSys.Emit(0, flags_, "THREAD STARTING: %s, TID=%lld", name_, (long long)id_);
    ApplyPriority();
    return true;
}

void THREAD::ApplyPriority()
{
    int level = PriorityLevel(priority_);
    // Raising a priority needs privileges; the thread then runs at the
    // normal one.
    if (setpriority(PRIO_PROCESS, id_t(id_), NiceValue(level)) != 0) {
        int error = errno;
        KX_PRINT(KxSys, 2, "Thread '%s' keeps its priority, level = %d, errno = %d", name_, level, error);
    }
}

bool THREAD::Start(bool repeat)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!KX_VERIFY_TEXT(KxSys, handle_.joinable() && !state_->released, "hThread && !Started"))
        return false;
    state_->keepRunning = repeat;
    state_->stopRequested = false;
    state_->released = true;
    state_->changed.notify_all();
    return true;
}

void THREAD::ShouldStop()
{
    KX_PRINT(KxSys, 1, "Thread '%s' will stop", name_);
    state_->keepRunning = false;
    state_->stopRequested = true;
}

bool THREAD::StopRequested() const
{
    if (t_self == this)
        return static_cast<const State*>(t_state)->stopRequested;
    return state_->stopRequested;
}

CRITSECT& THREAD::Section()
{
    return state_->section;
}

bool THREAD::Cancel()
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->released)
        return false;
    state_->released = true;
    state_->cancelled = true;
    state_->changed.notify_all();
    return true;
}

bool THREAD::Stop(uint32_t timeoutMs)
{
    if (id_ == 0)
        return true;
    ShouldStop();
    Cancel();
    KX_PRINT(KxSys, 2, "Waiting... timeout = %d", int(timeoutMs));
    bool result = Wait(timeoutMs);
    KX_PRINT(KxSys, 2, "Thread '%s' stopped, waiting result = %d (0/1)", name_, result ? 1 : 0);
    return result;
}

bool THREAD::Wait(uint32_t timeoutMs)
{
    if (!handle_.joinable())
        return true;
    {
        std::unique_lock<std::mutex> lock(state_->mutex);
        auto ended = [&] { return state_->ended; };
        if (timeoutMs == WAIT_FOREVER)
            state_->changed.wait(lock, ended);
        else if (!state_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ended))
            return false;
    }
    handle_.join();
    return true;
}

void THREAD::Kill()
{
    if (id_ == 0)
        return;
    if (handle_.joinable()) {
        KX_WARNING(KxSys, "Thread '%s' cannot be killed, detached, TID=%lld", name_, (long long)id_);
        state_->keepRunning = false;
        state_->stopRequested = true;
        Cancel();
        handle_.detach();
    }
    id_ = 0;
    auto fresh = std::make_shared<State>();
    fresh->name = name_;
    fresh->flags = flags_;
    state_ = fresh;
}

} // namespace ZmLib
