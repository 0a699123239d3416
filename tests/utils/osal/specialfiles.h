// Paths that are no regular file, for the tests of what a load or a write
// refuses: a FIFO with or without a writer, a socket, and a guard that frees
// a reader (or a writer) left waiting on a FIFO, so that a fault shows as a
// failure, not a hang.
#pragma once

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace kxtest {

// A socket file at path; false when it cannot be made (a path too long for
// a socket address included).
inline bool MakeSocket(const std::string& path)
{
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool bound = fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        close(fd);
    return bound;
}

// A FIFO at path; with lines, a writer that holds it open with them
// written (and no end: a reader that reads it waits for more).
class Fifo {
public:
    explicit Fifo(const std::string& path, const std::string& lines = std::string()) : path_(path)
    {
        made_ = mkfifo(path.c_str(), 0600) == 0;
        if (made_ && !lines.empty()) {
            // Read and write: opening does not wait for a reader.
            writer_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
            made_ = writer_ >= 0 && write(writer_, lines.data(), lines.size()) == ssize_t(lines.size());
        }
    }
    ~Fifo()
    {
        if (writer_ >= 0)
            close(writer_);
    }
    Fifo(const Fifo&) = delete;
    Fifo& operator=(const Fifo&) = delete;

    bool Made() const { return made_; }

    // Gives a reader waiting on it (to open, or for more) its end: the
    // writer goes, and a writer comes and goes at once.
    void End()
    {
        if (writer_ >= 0)
            close(writer_);
        writer_ = -1;
        const int fd = open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            close(fd);
    }

private:
    std::string path_;
    int writer_ = -1;
    bool made_ = false;
};

// Ends the FIFO when the scope has not ended within the time: a reader that
// waits on it then goes on, and Waited() tells. Or frees it by release (a
// writer that waits goes on once a reader opens the FIFO).
class FifoGuard {
public:
    FifoGuard(Fifo& fifo, std::chrono::milliseconds limit) : FifoGuard(limit, [&fifo] { fifo.End(); }) {}
    FifoGuard(std::chrono::milliseconds limit, std::function<void()> release)
        : thread_([this, release, limit] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!cv_.wait_for(lock, limit, [this] { return done_; })) {
                  waited_ = true;
                  release();
              }
          })
    {
    }
    ~FifoGuard()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        cv_.notify_one();
        thread_.join();
    }
    FifoGuard(const FifoGuard&) = delete;
    FifoGuard& operator=(const FifoGuard&) = delete;

    bool Waited()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return waited_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    bool waited_ = false;
    std::thread thread_;
};

} // namespace kxtest
