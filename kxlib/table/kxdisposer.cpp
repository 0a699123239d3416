#include "kxlib/table/kxdisposer.h"

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

struct Worker {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<std::function<void()>> jobs;
    // A job taken from the queue and still running.
    bool busy = false;
    bool stop = false;
    bool running = false;
    bool stopAtExit = false;
    uint64_t done = 0;
    std::thread thread;

    void Loop()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stop || !jobs.empty(); });
            if (jobs.empty()) {
                // Under the lock: a job handed from now on starts a new worker.
                running = false;
                idle.notify_all();
                return;
            }
            std::function<void()> job = std::move(jobs.front());
            jobs.pop_front();
            busy = true;
            lock.unlock();
            job();
            // What the job held goes here, off the caller's thread too.
            job = nullptr;
            lock.lock();
            busy = false;
            ++done;
            idle.notify_all();
        }
    }
};

// Never destroyed: jobs handed while static objects go find it whole.
Worker& TheWorker()
{
    static Worker* worker = new Worker;
    return *worker;
}

void StopAtExit() { KxDisposer::Stop(); }

} // namespace

void KxDisposer::Hand(std::function<void()> job)
{
    Worker& w = TheWorker();
    {
        std::lock_guard<std::mutex> lock(w.mutex);
        if (!w.running) {
            try {
                w.stop = false;
                w.thread = std::thread(&Worker::Loop, &w);
                w.running = true;
            } catch (const std::system_error&) {
            }
            if (w.running && !w.stopAtExit) {
                w.stopAtExit = true;
                std::atexit(&StopAtExit);
            }
        }
        if (w.running) {
            w.jobs.push_back(std::move(job));
            w.wake.notify_one();
            return;
        }
    }
    job();
}

void KxDisposer::Wait()
{
    Worker& w = TheWorker();
    std::unique_lock<std::mutex> lock(w.mutex);
    w.idle.wait(lock, [&w] { return !w.running || (w.jobs.empty() && !w.busy); });
}

void KxDisposer::Stop()
{
    Worker& w = TheWorker();
    std::thread thread;
    {
        std::unique_lock<std::mutex> lock(w.mutex);
        if (!w.running)
            return;
        // Another caller is stopping it: wait until the queue is done as
        // that caller does.
        if (!w.thread.joinable()) {
            w.idle.wait(lock, [&w] { return !w.running; });
            return;
        }
        w.stop = true;
        w.wake.notify_one();
        thread = std::move(w.thread);
    }
    // The queue is emptied before the loop ends.
    thread.join();
}

uint64_t KxDisposer::JobsRun()
{
    Worker& w = TheWorker();
    std::lock_guard<std::mutex> lock(w.mutex);
    return w.done;
}
