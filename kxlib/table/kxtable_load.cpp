#include "kxlib/table/kxtable_load.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "kxlib/kxauxtree.h"
#include "kxlib/kxdrecord.h"
#include "kxlib/reader/kxlibexcept.h"
#include "kxlib/reader/kxreader.h"
#include "kxlib/table/kxblockmem.h"
#include "kxlib/table/kxtable.h"
#include "utils/common/kxexcept.h"

namespace {

constexpr int32_t GIVE_UP_ATTEMPTS = 10;
// Records read before their texts go to the workers.
constexpr size_t CHUNK = 4096;
// Records a worker renders per turn.
constexpr size_t PIECE = 64;
// Slots whose pages are taken in ahead of the reader.
constexpr uint32_t AHEAD_SLOTS = 32768;
constexpr int POPULATORS = 6;
constexpr unsigned MAX_DEFAULT_WORKERS = 8;

// Slots ahead of the one being filled whose record lines are asked for: the
// kernel leaves fresh pages out of the cache, and every record writes its
// record bytes. Only those: the rest of a slot is written by the render
// workers, whose caches should get it instead.
constexpr size_t PREFETCH_SLOTS = 16;

// A hint only: an address past the block's memory does not fault.
void PrefetchForWrite(const KxdRecord* slot)
{
    const char* bytes = reinterpret_cast<const char*>(&slot->prot);
    for (size_t line = 0; line < sizeof(ZmLib::KxdProt); line += 64)
        __builtin_prefetch(bytes + line, 1);
}

// The attempts of the read loop: its counters, stop conditions and the slot
// kept for the next attempt after a failure.
class Attempts {
public:
    Attempts(KxReader& reader, KxTable& table, int64_t size, const KxLoadOptions& options)
        : reader_(reader), table_(table), size_(size), options_(options)
    {
    }

    // One read attempt. A record that was read and kept comes back in *kept:
    // analysed whole when whole is set, otherwise only its time base. False
    // when the loop ends (a kept record may still have come back).
    bool Next(KxdRecord** kept, bool whole);
    // Removes a slot left unused.
    void Finish();

    KxLoadResult result;
    int32_t Kept() const { return kept_; }

private:
    KxReader& reader_;
    KxTable& table_;
    const int64_t size_;
    const KxLoadOptions& options_;
    KxdRecord* slot_ = nullptr;
    int32_t kept_ = 0;
};

bool Attempts::Next(KxdRecord** kept, bool whole)
{
    constexpr size_t viewerBytes = offsetof(ZmLib::KxdProt, EXECTIME);
    *kept = nullptr;
    if (options_.maxRecords >= 0 && result.attempts >= options_.maxRecords)
        return false;
    if (result.errors == GIVE_UP_ATTEMPTS && result.attempts == GIVE_UP_ATTEMPTS) {
        result.gaveUp = true;
        return false;
    }
    if (options_.progress && !options_.progress(result.attempts, result.consumed)) {
        result.aborted = true;
        return false;
    }
    if (!slot_) {
        // A new slot is zero whole.
        slot_ = table_.NewRecord();
        PrefetchForWrite(slot_ + PREFETCH_SLOTS);
    } else {
        // Kept from an attempt that failed or was dropped.
        memset(reinterpret_cast<char*>(&slot_->prot) + viewerBytes, 0, ZmLib::KxdProt::SIZE - viewerBytes);
    }
    reader_.SetRecord(&slot_->prot);
    int32_t code = 0;
    try {
        result.consumed += reader_.ReadRecord();
        if (!options_.flaggedOnly || slot_->prot.msg.FLAGS != 0) {
            // Before the analysis, so that the PROT text shows it.
            if (options_.prot >= 0)
                slot_->prot.PROT = uint8_t(options_.prot);
            if (whole)
                KxdRecord::ProcessLine4Client(slot_, false);
            else
                KxdRecord::ProcessTimeBase(slot_, table_.RecordCount() == 1);
            *kept = slot_;
            slot_ = nullptr;
            ++kept_;
        }
    } catch (const ZmLib::KxExcept& except) {
        code = except.code;
        if (code == KxLibExcept::END_OF_STREAM)
            result.endText = except.text ? except.text : "";
    } catch (int32_t thrown) {
        code = thrown;
    }
    if (code == KxLibExcept::END_OF_STREAM)
        return false;
    if (code != 0)
        ++result.errors;
    ++result.attempts;
    // A read that failed on the file itself would fail again on every later
    // attempt without moving on; one without a system error found the file
    // shorter than its records.
    if (code == KxLibExcept::FILE_IO_ERROR) {
        result.inputFailed = true;
        result.readError = reader_.LastReadError();
        if (result.readError == 0)
            result.endedInside = reader_.Accepted() + 1;
        return false;
    }
    if (code == KxLibExcept::MSG_TOO_SHORT && result.endedInside == 0)
        result.endedInside = reader_.Accepted() + 1;
    return result.consumed < size_;
}

void Attempts::Finish()
{
    if (slot_)
        table_.DelRecord(table_.RowCount() - 1);
    slot_ = nullptr;
}

KxLoadResult LoadSequential(KxReader& reader, KxTable& table, int64_t size, const KxLoadOptions& options)
{
    Attempts attempts(reader, table, size, options);
    KxdRecord* kept = nullptr;
    while (attempts.Next(&kept, true)) {
    }
    attempts.Finish();
    return attempts.result;
}

// Worker threads that render the texts of a chunk of records; the thread
// that waits for them takes pieces as well.
class RenderCrew {
public:
    RenderCrew(int threads, const int32_t* formats, bool copyMode) : formats_(formats), copyMode_(copyMode)
    {
        for (int t = 0; t < threads; ++t)
            threads_.emplace_back([this] { Work(false); });
    }
    ~RenderCrew()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& thread : threads_)
            thread.join();
    }
    RenderCrew(const RenderCrew&) = delete;
    RenderCrew& operator=(const RenderCrew&) = delete;

    // Only after Wait: no piece of an earlier chunk is still in hand. With
    // sources, each slot is first made a copy of its source (never the
    // table's first record, whose time base may set the table's).
    void Start(KxdRecord* const* records, const KxdRecord* const* sources, size_t count)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            records_ = records;
            sources_ = sources;
            count_ = count;
            next_ = 0;
            finished_ = 0;
        }
        // One wake-up here: each worker that takes a piece wakes the next,
        // so that the reading thread does not pay for every worker's.
        wake_.notify_one();
    }

    void Wait()
    {
        Work(true);
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return finished_ == count_; });
    }

private:
    // A worker renders until told to stop; the waiting thread until no
    // piece is left.
    void Work(bool untilEmpty)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (untilEmpty) {
                if (next_ >= count_)
                    return;
            } else {
                wake_.wait(lock, [this] { return stop_ || next_ < count_; });
                if (stop_)
                    return;
            }
            const size_t from = next_;
            const size_t to = std::min(from + PIECE, count_);
            next_ = to;
            KxdRecord* const* records = records_;
            const KxdRecord* const* sources = sources_;
            const bool more = to < count_;
            lock.unlock();
            if (more && !untilEmpty)
                wake_.notify_one();
            for (size_t k = from; k < to; ++k) {
                if (sources) {
                    KxdRecord::CopyInto(records[k], sources[k]);
                    KxdRecord::ProcessTimeBase(records[k], false);
                }
                KxdRecord::ProcessOwnTexts(records[k], copyMode_, formats_);
            }
            lock.lock();
            finished_ += to - from;
            if (finished_ == count_)
                done_.notify_all();
        }
    }

    const int32_t* formats_;
    const bool copyMode_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    KxdRecord* const* records_ = nullptr;
    const KxdRecord* const* sources_ = nullptr;
    size_t count_ = 0;
    size_t next_ = 0;
    size_t finished_ = 0;
    bool stop_ = false;
    std::vector<std::thread> threads_;
};

// A thread that runs the analysis that depends on earlier records, chunk
// after chunk in the order handed over, while the calling thread reads on.
class OrderStage {
public:
    OrderStage(KxAuxTree& auxTree, bool copyMode)
        : auxTree_(auxTree), copyMode_(copyMode), thread_([this] { Run(); })
    {
    }
    ~OrderStage()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    OrderStage(const OrderStage&) = delete;
    OrderStage& operator=(const OrderStage&) = delete;

    // Takes the chunk's records; waits while MAX_QUEUED chunks are waiting,
    // so that an Abort does not leave much to finish.
    void Hand(std::vector<KxdRecord*>& chunk)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        room_.wait(lock, [this] { return queue_.size() < MAX_QUEUED; });
        queue_.emplace_back();
        queue_.back().swap(chunk);
        lock.unlock();
        wake_.notify_all();
    }

private:
    static constexpr size_t MAX_QUEUED = 4;

    // Runs every chunk handed over, also those still queued when closed.
    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return closed_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            std::vector<KxdRecord*> chunk;
            chunk.swap(queue_.front());
            queue_.pop_front();
            lock.unlock();
            room_.notify_all();
            for (KxdRecord* record : chunk)
                KxdRecord::ProcessInOrder(record, copyMode_, false);
            auxTree_.AddAll(chunk.data(), chunk.size());
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable room_;
    std::deque<std::vector<KxdRecord*>> queue_;
    bool closed_ = false;
    KxAuxTree& auxTree_;
    const bool copyMode_;
    std::thread thread_;
};

// Keeps the pages of the slots that the next records will take populated
// ahead of the reader: in the last block, then in the block that follows it.
class PageAhead {
public:
    PageAhead(KxTable& table, int threads) : table_(table), populator_(threads) {}

    // wanted: slots that the rest of the load is expected to need.
    void Keep(uint32_t wanted)
    {
        const int32_t count = table_.RecordCount();
        const KxdRecord* last = count > 0 ? table_.FindRecordByOriginalIndex(count - 1) : nullptr;
        KxTblock* block = last ? last->block : table_.FirstBlock();
        const uint32_t writer = last ? uint32_t(last - block->recs) + 1 : 0;
        wanted = std::min(wanted, AHEAD_SLOTS);
        if (!frontRecs_ || (frontRecs_ != block->recs && frontRecs_ != nextRecs_)) {
            frontRecs_ = block->recs;
            front_ = writer;
        }
        if (frontRecs_ == block->recs && front_ < writer)
            front_ = writer;
        for (;;) {
            const uint32_t ahead =
                frontRecs_ == block->recs ? front_ - writer : (KxTblock::SIZE - writer) + front_;
            if (ahead >= wanted)
                return;
            if (front_ == KxTblock::SIZE) {
                if (frontRecs_ != block->recs)
                    return;
                nextRecs_ = table_.NextBlockRecords();
                frontRecs_ = nextRecs_;
                front_ = 0;
            }
            const uint32_t to = std::min<uint32_t>(KxTblock::SIZE, front_ + (wanted - ahead));
            Request(frontRecs_ + front_, frontRecs_ + to);
            front_ = to;
        }
    }

private:
    void Request(KxdRecord* from, KxdRecord* to)
    {
        // The kernel takes whole pages from a page boundary.
        constexpr uintptr_t page = 4096;
        uintptr_t start = reinterpret_cast<uintptr_t>(from) & ~(page - 1);
        uintptr_t end = (reinterpret_cast<uintptr_t>(to) + page - 1) & ~(page - 1);
        populator_.Request(reinterpret_cast<void*>(start), end - start);
    }

    KxTable& table_;
    KxPagePopulator populator_;
    KxdRecord* frontRecs_ = nullptr;
    KxdRecord* nextRecs_ = nullptr;
    uint32_t front_ = 0;
};

// Slots the rest of the load is expected to take: the input left divided by
// the bytes per record so far (a header's 72 bytes before the first record),
// and a few more for records shorter than the average.
uint32_t ExpectedSlots(const Attempts& attempts, int64_t size, const KxLoadOptions& options)
{
    const int64_t left = size > attempts.result.consumed ? size - attempts.result.consumed : 0;
    const int64_t perRecord =
        attempts.Kept() > 0 ? std::max<int64_t>(1, attempts.result.consumed / attempts.Kept()) : 72;
    int64_t slots = left / perRecord + 64;
    if (options.maxRecords >= 0)
        slots = std::min<int64_t>(slots, int64_t(options.maxRecords) - attempts.result.attempts);
    return uint32_t(std::max<int64_t>(0, std::min<int64_t>(slots, AHEAD_SLOTS)));
}

// The slots of a chunk, and for copies the records to copy into them.
struct Chunk {
    std::vector<KxdRecord*> records;
    const KxdRecord* const* sources = nullptr;
};

// Records come in chunks from fill (added to the table; read with their time
// base done, or with sources to copy); while the next chunk is filled, the
// crew renders the one before and the order stage analyses the ones before
// that in record order. expected: the slots still to come.
void RunPipeline(KxTable& table, bool copyMode, int workers, const std::function<bool(Chunk& chunk)>& fill,
                 const std::function<uint32_t()>& expected)
{
    KxBlockArena arena;
    PageAhead ahead(table, std::min(POPULATORS, workers));
    OrderStage order(table.AuxTree(), copyMode);
    RenderCrew crew(workers - 1, table.Prefs().formats, copyMode);
    Chunk filling;
    Chunk inFlight;
    bool more = true;
    while (more || !inFlight.records.empty()) {
        filling.records.clear();
        filling.sources = nullptr;
        if (more) {
            ahead.Keep(expected());
            more = fill(filling);
        }
        if (!inFlight.records.empty()) {
            crew.Wait();
            order.Hand(inFlight.records);
        }
        std::swap(inFlight, filling);
        if (!inFlight.records.empty())
            crew.Start(inFlight.records.data(), inFlight.sources, inFlight.records.size());
    }
}

KxLoadResult LoadParallel(KxReader& reader, KxTable& table, int64_t size, const KxLoadOptions& options,
                          int workers)
{
    Attempts attempts(reader, table, size, options);
    RunPipeline(
        table, false, workers,
        [&attempts](Chunk& chunk) {
            bool more = true;
            while (more && chunk.records.size() < CHUNK) {
                KxdRecord* kept = nullptr;
                more = attempts.Next(&kept, false);
                if (kept)
                    chunk.records.push_back(kept);
            }
            return more;
        },
        [&] { return ExpectedSlots(attempts, size, options); });
    attempts.Finish();
    table.ReleaseNextBlock();
    return attempts.result;
}

int Workers(int workers)
{
    // Past a few workers the calling thread's reading is the limit.
    if (workers > 0)
        return workers;
    return int(std::min(MAX_DEFAULT_WORKERS, std::max(1u, std::thread::hardware_concurrency())));
}

} // namespace

KxLoadResult KxLoadRecords(KxReader& reader, KxTable& table, int64_t size, const KxLoadOptions& options)
{
    const int workers = Workers(options.workers);
    if (workers == 1)
        return LoadSequential(reader, table, size, options);
    return LoadParallel(reader, table, size, options, workers);
}

void KxAppendCopies(KxTable& dest, const KxdRecord* const* sources, size_t count, int workers)
{
    workers = Workers(workers);
    // Threads do not pay for a few records.
    if (workers == 1 || count < 2 * CHUNK) {
        for (size_t k = 0; k < count; ++k) {
            KxdRecord* slot = dest.NewRecord();
            KxdRecord::CopyInto(slot, sources[k]);
            KxdRecord::ProcessLine4Client(slot, true);
        }
        return;
    }
    size_t next = 0;
    // The table's first record may set its time base: copied and analysed
    // whole before the others, as the one-worker loop does.
    if (dest.RecordCount() == 0) {
        KxdRecord* slot = dest.NewRecord();
        KxdRecord::CopyInto(slot, sources[next++]);
        KxdRecord::ProcessLine4Client(slot, true);
    }
    RunPipeline(
        dest, true, workers,
        [&](Chunk& chunk) {
            chunk.sources = sources + next;
            while (next < count && chunk.records.size() < CHUNK) {
                chunk.records.push_back(dest.NewRecord());
                ++next;
            }
            return next < count;
        },
        [&] { return uint32_t(std::min<size_t>(count - next, AHEAD_SLOTS)); });
    dest.ReleaseNextBlock();
}
