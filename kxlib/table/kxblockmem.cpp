#include "kxlib/table/kxblockmem.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdint>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace {

constexpr size_t PAGE = 4096;
// Pages that one helper takes in per request.
constexpr size_t POPULATE_PIECE = size_t(2) << 20;

// Reservation of an arena: about 64 blocks of records.
constexpr size_t ARENA_SIZE = size_t(640) << 20;

thread_local KxBlockArena* currentArena = nullptr;

// Block memory handed out and not freed, and the limit on it (0: none).
std::atomic<size_t> inUse{0};
std::atomic<size_t> limitBytes{0};

size_t RoundUp(size_t bytes, size_t unit) { return (bytes + unit - 1) & ~(unit - 1); }

// size bytes (whole pages), or null. No huge-page advice: measured on a
// virtual machine whose host hands memory back and forth in 8 MB pieces,
// huge pages arrived at a fifth of the rate of ordinary pages taken in by
// the same threads, and never faster.
char* Map(size_t size)
{
    void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return memory == MAP_FAILED ? nullptr : static_cast<char*>(memory);
}

} // namespace

void* KxBlockMemory::Allocate(size_t bytes)
{
    const size_t size = RoundUp(bytes, PAGE);
    const size_t limit = limitBytes.load();
    if (inUse.fetch_add(size) + size > limit && limit != 0) {
        inUse -= size;
        return nullptr;
    }
    KxBlockArena* arena = KxBlockArena::Current();
    void* memory = arena != nullptr ? arena->Carve(bytes) : Map(size);
    if (memory == nullptr)
        inUse -= size;
    return memory;
}

void KxBlockMemory::Free(void* memory, size_t bytes)
{
    if (!memory)
        return;
    munmap(memory, RoundUp(bytes, PAGE));
    inUse -= RoundUp(bytes, PAGE);
}

void KxBlockMemory::SetLimit(size_t bytes) { limitBytes = bytes; }

size_t KxBlockMemory::InUse() { return inUse.load(); }

bool KxBlockMemory::Populate(void* memory, size_t bytes)
{
    return madvise(memory, bytes, MADV_POPULATE_WRITE) == 0;
}

KxBlockArena::KxBlockArena() : outer_(currentArena) { currentArena = this; }

KxBlockArena::~KxBlockArena()
{
    GiveBackRest();
    currentArena = outer_;
}

KxBlockArena* KxBlockArena::Current() { return currentArena; }

void KxBlockArena::GiveBackRest()
{
    if (next_ < end_)
        munmap(next_, size_t(end_ - next_));
    next_ = end_ = nullptr;
}

void* KxBlockArena::Carve(size_t bytes)
{
    // Pieces are whole pages, so that each can be freed on its own.
    const size_t size = RoundUp(bytes, PAGE);
    if (size_t(end_ - next_) < size) {
        GiveBackRest();
        const size_t reserve = size > ARENA_SIZE ? size : ARENA_SIZE;
        next_ = Map(reserve);
        if (!next_)
            return nullptr;
        end_ = next_ + reserve;
    }
    char* piece = next_;
    next_ += size;
    return piece;
}

KxPagePopulator::KxPagePopulator(int threads)
{
    for (int t = 0; t < threads; ++t)
        threads_.emplace_back([this] { Run(); });
}

KxPagePopulator::~KxPagePopulator()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        pieces_.clear();
    }
    wake_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void KxPagePopulator::Request(void* memory, size_t bytes)
{
    // In pieces, so that several helpers share one request.
    char* at = static_cast<char*>(memory);
    size_t added = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (failed_ || threads_.empty())
            return;
        while (bytes > 0) {
            size_t piece = bytes < POPULATE_PIECE ? bytes : POPULATE_PIECE;
            pieces_.push_back({at, piece});
            at += piece;
            bytes -= piece;
            ++added;
        }
    }
    // A helper per piece: waking the others costs the caller and finds
    // nothing for them to do.
    for (size_t k = 0; k < added && k < threads_.size(); ++k)
        wake_.notify_one();
}

void KxPagePopulator::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !pieces_.empty(); });
        if (stop_)
            return;
        Piece piece = pieces_.front();
        pieces_.pop_front();
        lock.unlock();
        bool done = KxBlockMemory::Populate(piece.memory, piece.bytes);
        lock.lock();
        if (!done) {
            // An older kernel: the writer takes in its pages itself.
            failed_ = true;
            pieces_.clear();
        }
    }
}
