// Record memory of table blocks: whole pages from the kernel, zero when they
// arrive.
// Taking in a fresh page costs a fault on its first write; a load has the
// pages taken in ahead of its records on helper threads.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace KxBlockMemory {

// Zero-filled memory of at least bytes; null when exhausted.
void* Allocate(size_t bytes);
void Free(void* memory, size_t bytes);
// Block memory beyond bytes in use is refused as if the system had no more;
// 0 (the default) sets no limit. For tests of loads that run out of memory.
void SetLimit(size_t bytes);
// Block memory handed out and not freed yet.
size_t InUse();
// Takes in the pages of the range now without changing their contents.
// False when the kernel cannot (the pages then arrive on first write).
bool Populate(void* memory, size_t bytes);

} // namespace KxBlockMemory

// While one lives, the block memory that its thread allocates is carved in
// order from large reservations: a load takes many blocks, and one mapping
// call per many blocks keeps the address-space lock free for the helpers
// that take pages in. What was not carved is given back at its end.
class KxBlockArena {
public:
    KxBlockArena();
    ~KxBlockArena();
    KxBlockArena(const KxBlockArena&) = delete;
    KxBlockArena& operator=(const KxBlockArena&) = delete;

    // The arena of the calling thread, or null.
    static KxBlockArena* Current();
    void* Carve(size_t bytes);

private:
    void GiveBackRest();

    KxBlockArena* outer_;
    char* next_ = nullptr;
    char* end_ = nullptr;
};

// Helper threads that take in ranges of pages in the order requested. The
// destructor waits for nothing that is still queued: it drops it and joins.
class KxPagePopulator {
public:
    explicit KxPagePopulator(int threads);
    ~KxPagePopulator();
    KxPagePopulator(const KxPagePopulator&) = delete;
    KxPagePopulator& operator=(const KxPagePopulator&) = delete;

    void Request(void* memory, size_t bytes);

private:
    struct Piece {
        char* memory;
        size_t bytes;
    };
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Piece> pieces_;
    bool stop_ = false;
    bool failed_ = false;
    std::vector<std::thread> threads_;
};
