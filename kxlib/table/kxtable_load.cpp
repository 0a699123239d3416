#include "kxlib/table/kxtable_load.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <deque>
#include <memory>
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
constexpr size_t CHUNK = 2048;
// Chunks on their way from the reading thread to the order stage: enough to
// ride out a thread that the machine leaves waiting, few enough that an
// Abort does not leave much to finish.
constexpr size_t CHUNKS = 8;
// Records a worker renders per turn.
constexpr size_t PIECE = 64;
// Slots whose pages are taken in ahead of the reader.
constexpr uint32_t AHEAD_SLOTS = 32768;
// Helpers that take the pages in: past three the kernel's page lists are
// the limit, and more helpers only spin on their locks.
constexpr int POPULATORS = 3;
constexpr unsigned MAX_DEFAULT_WORKERS = 8;
// How often a reading thread that waits for the other stages is given back
// to its caller's progress callback.
constexpr std::chrono::milliseconds WAIT_TURN(20);

// Slots ahead of the one being filled whose record lines are asked for: the
// kernel leaves fresh pages out of the cache, and every record writes its
// record bytes and its block link. Only those: the rest of a slot is written
// by the render workers, whose caches should get it instead.
constexpr size_t PREFETCH_SLOTS = 16;

// A hint only: an address past the block's memory does not fault.
void PrefetchForWrite(const KxdRecord* slot)
{
    const char* bytes = reinterpret_cast<const char*>(&slot->prot);
    for (size_t line = 0; line < sizeof(ZmLib::KxdProt); line += 64)
        __builtin_prefetch(bytes + line, 1);
    __builtin_prefetch(&slot->block, 1);
}

// The lines of a record's text offsets and number texts: a render worker
// writes them first, and on fresh pages each write waits for its line.
void PrefetchTexts(const KxdRecord* record)
{
    const char* from = reinterpret_cast<const char*>(record->textOff);
    const char* to = reinterpret_cast<const char*>(&record->NumsBufFreePos);
    for (const char* line = from; line <= to; line += 64)
        __builtin_prefetch(line, 1);
    __builtin_prefetch(to, 1);
}

// Records ahead of the one being rendered whose text lines are asked for.
constexpr size_t RENDER_AHEAD = 3;

// Records ahead of the one being analysed in order whose lines are asked for.
constexpr size_t ORDER_AHEAD = 4;

void PrefetchWhole(const KxdRecord* record)
{
    const char* bytes = reinterpret_cast<const char*>(record);
    for (size_t line = 0; line < sizeof(KxdRecord); line += 64)
        __builtin_prefetch(bytes + line, 1);
}

// The attempts of the read loop: its counters, stop conditions and the slot
// kept for the next attempt after a failure.
class Attempts {
public:
    Attempts(KxReader& reader, KxTable& table, const KxLoadOptions& options)
        : reader_(reader), table_(table), options_(options)
    {
    }

    // One read attempt. A record that was read and kept comes back in *kept:
    // analysed whole when whole is set, otherwise only its time base. False
    // when the loop ends (a kept record may still have come back).
    bool Next(KxdRecord** kept, bool whole);
    // The progress callback once more while the reading thread waits; a
    // refusal stops the loop at the next attempt.
    void Wait();
    // Removes a slot left unused.
    void Finish();

    KxLoadResult result;
    int32_t Kept() const { return kept_; }

private:
    KxReader& reader_;
    KxTable& table_;
    const KxLoadOptions& options_;
    KxdRecord* slot_ = nullptr;
    int32_t kept_ = 0;
    bool refused_ = false;
};

void Attempts::Wait()
{
    if (options_.progress && !refused_)
        refused_ = !options_.progress(result.attempts, result.consumed);
}

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
    // A refusal is final: the callback is not asked again while the
    // records in flight are finished.
    if (!refused_ && options_.progress)
        refused_ = !options_.progress(result.attempts, result.consumed);
    if (refused_) {
        result.aborted = true;
        return false;
    }
    const bool fresh = !slot_;
    if (fresh) {
        // A new slot is zero whole.
        slot_ = table_.NewRecord();
        PrefetchForWrite(slot_ + PREFETCH_SLOTS);
    } else {
        // Kept from an attempt that failed or was dropped.
        memset(reinterpret_cast<char*>(&slot_->prot) + viewerBytes, 0, ZmLib::KxdProt::SIZE - viewerBytes);
    }
    reader_.SetRecord(&slot_->prot, fresh);
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
                KxdRecord::ProcessTimeBase(slot_, true);
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
    // The reader's end ends the loop, not the size seen at the open: a file
    // that says it is empty (/proc) has lines all the same.
    return true;
}

void Attempts::Finish()
{
    if (slot_)
        table_.DelRecord(table_.RowCount() - 1);
    slot_ = nullptr;
}

KxLoadResult LoadSequential(KxReader& reader, KxTable& table, const KxLoadOptions& options)
{
    Attempts attempts(reader, table, options);
    KxdRecord* kept = nullptr;
    while (attempts.Next(&kept, true)) {
    }
    attempts.Finish();
    return attempts.result;
}

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

// Records on their way from the reading thread through the workers, which
// render their own texts, to the order stage.
struct Chunk {
    std::vector<KxdRecord*> records;
    // Copies: the record to copy into each slot first, and how far to move
    // its TIME.
    const KxdRecord* const* sources = nullptr;
    int64_t timeShift = 0;
    // The table's KxTable::AbsoluteBase when the chunk was filled: the
    // reading thread may start the time while the chunk is rendered.
    uint64_t timeBase = 0;
    // Records that no worker took yet, and those rendered.
    size_t next = 0;
    size_t finished = 0;
};

// Worker threads that render the chunks handed over, a thread that runs the
// analysis that depends on earlier records, chunk after chunk in the order
// handed over once each is rendered, and one that then adds them to the aux
// tree, which nothing in that analysis reads. The reading thread only reads:
// it hands a chunk over and goes on with the next.
class Pipeline {
public:
    Pipeline(KxTable& table, bool copyMode, int workers, std::function<void()> waiting)
        : auxTree_(table.AuxTree()), formats_(table.Prefs().formats), copyMode_(copyMode),
          waiting_(std::move(waiting))
    {
        for (size_t k = 0; k < CHUNKS; ++k) {
            chunks_.emplace_back(new Chunk);
            free_.push_back(chunks_.back().get());
        }
        for (int t = 0; t < workers; ++t)
            workers_.emplace_back([this] { Work(); });
        order_ = std::thread([this] { Order(); });
        tree_ = std::thread([this] { Tree(); });
    }
    // Waits until every chunk handed over was analysed.
    ~Pipeline()
    {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            WaitFor(lock, [this] { return queue_.empty() && !ordering_ && analysed_.empty() && !adding_; });
            stop_ = true;
        }
        work_.notify_all();
        rendered_.notify_all();
        analysedOne_.notify_all();
        for (std::thread& thread : workers_)
            thread.join();
        order_.join();
        tree_.join();
    }
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    // An empty chunk, once one is back from the aux tree.
    Chunk& Take()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        WaitFor(lock, [this] { return !free_.empty(); });
        Chunk* chunk = free_.back();
        free_.pop_back();
        chunk->records.clear();
        chunk->sources = nullptr;
        chunk->next = 0;
        chunk->finished = 0;
        return *chunk;
    }

    void Hand(Chunk& chunk)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (chunk.records.empty()) {
                free_.push_back(&chunk);
                return;
            }
            queue_.push_back(&chunk);
        }
        // One wake-up here: each worker that takes a piece wakes the next,
        // so that the reading thread does not pay for every worker's.
        work_.notify_one();
    }

private:
    // The reading thread's waits: waiting (when set) is called every
    // WAIT_TURN meanwhile, without the lock, so that the caller's window
    // keeps answering however long another stage takes.
    template <typename Ready>
    void WaitFor(std::unique_lock<std::mutex>& lock, Ready ready)
    {
        while (!room_.wait_for(lock, WAIT_TURN, ready)) {
            if (!waiting_)
                continue;
            lock.unlock();
            waiting_();
            lock.lock();
        }
    }

    void Work()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            Chunk* chunk = nullptr;
            work_.wait(lock, [this, &chunk] {
                for (Chunk* queued : queue_) {
                    if (queued->next < queued->records.size()) {
                        chunk = queued;
                        return true;
                    }
                }
                return stop_;
            });
            if (!chunk)
                return;
            const size_t from = chunk->next;
            const size_t to = std::min(from + PIECE, chunk->records.size());
            chunk->next = to;
            const bool more = to < chunk->records.size();
            lock.unlock();
            if (more)
                work_.notify_one();
            for (size_t k = from; k < to; ++k) {
                KxdRecord* record = chunk->records[k];
                if (k == from)
                    for (size_t ahead = k + 1; ahead < to && ahead < k + RENDER_AHEAD; ++ahead)
                        PrefetchTexts(chunk->records[ahead]);
                if (k + RENDER_AHEAD < to)
                    PrefetchTexts(chunk->records[k + RENDER_AHEAD]);
                if (chunk->sources) {
                    KxdRecord::CopyInto(record, chunk->sources[k], chunk->timeShift);
                    KxdRecord::ProcessTimeBase(record, false);
                }
                KxdRecord::ProcessOwnTexts(record, copyMode_, formats_, chunk->timeBase);
            }
            lock.lock();
            chunk->finished += to - from;
            if (chunk->finished == chunk->records.size() && chunk == queue_.front())
                rendered_.notify_one();
        }
    }

    // Runs every chunk handed over, in order, each once it is rendered.
    void Order()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            rendered_.wait(lock, [this] {
                return stop_ || (!queue_.empty() && queue_.front()->finished == queue_.front()->records.size());
            });
            if (queue_.empty())
                return;
            Chunk* chunk = queue_.front();
            queue_.pop_front();
            ordering_ = true;
            lock.unlock();
            const std::vector<KxdRecord*>& records = chunk->records;
            for (size_t k = 0; k < records.size(); ++k) {
                // The records were rendered on other cores: the lines of the
                // ones ahead are asked for while this one is analysed.
                if (k + ORDER_AHEAD < records.size())
                    PrefetchWhole(records[k + ORDER_AHEAD]);
                KxdRecord::ProcessInOrder(records[k], copyMode_, false);
            }
            lock.lock();
            ordering_ = false;
            analysed_.push_back(chunk);
            analysedOne_.notify_one();
        }
    }

    // Adds every analysed chunk to the aux tree, in order.
    void Tree()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            analysedOne_.wait(lock, [this] { return stop_ || !analysed_.empty(); });
            if (analysed_.empty())
                return;
            Chunk* chunk = analysed_.front();
            analysed_.pop_front();
            adding_ = true;
            lock.unlock();
            auxTree_.AddAll(chunk->records.data(), chunk->records.size());
            lock.lock();
            adding_ = false;
            free_.push_back(chunk);
            // The reading thread may wait for room or for the end.
            room_.notify_all();
        }
    }

    KxAuxTree& auxTree_;
    const int32_t* formats_;
    const bool copyMode_;
    const std::function<void()> waiting_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable rendered_;
    std::condition_variable analysedOne_;
    std::condition_variable room_;
    std::vector<std::unique_ptr<Chunk>> chunks_;
    std::vector<Chunk*> free_;
    std::deque<Chunk*> queue_;
    std::deque<Chunk*> analysed_;
    bool ordering_ = false;
    bool adding_ = false;
    bool stop_ = false;
    std::vector<std::thread> workers_;
    std::thread order_;
    std::thread tree_;
};

// Chunks come from fill (added to the table; read with their time base
// done, or with sources to copy) until it returns false; the pipeline
// renders and analyses them while the next ones are filled. expected: the
// slots still to come; waiting: as Pipeline's.
void RunPipeline(KxTable& table, bool copyMode, int workers, const std::function<bool(Chunk& chunk)>& fill,
                 const std::function<uint32_t()>& expected, std::function<void()> waiting = nullptr)
{
    KxBlockArena arena;
    PageAhead ahead(table, std::min(POPULATORS, workers));
    Pipeline pipeline(table, copyMode, workers - 1, std::move(waiting));
    bool more = true;
    while (more) {
        Chunk& chunk = pipeline.Take();
        ahead.Keep(expected());
        more = fill(chunk);
        chunk.timeBase = table.AbsoluteBase();
        pipeline.Hand(chunk);
    }
}

KxLoadResult LoadParallel(KxReader& reader, KxTable& table, int64_t size, const KxLoadOptions& options,
                          int workers)
{
    Attempts attempts(reader, table, options);
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
        [&] { return ExpectedSlots(attempts, size, options); }, [&attempts] { attempts.Wait(); });
    table.SettleRecordsBeforeTime();
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
        return LoadSequential(reader, table, options);
    return LoadParallel(reader, table, size, options, workers);
}

void KxAppendCopies(KxTable& dest, const KxdRecord* const* sources, size_t count, int workers, int64_t timeShift)
{
    workers = Workers(workers);
    auto appendOne = [&](const KxdRecord* source) {
        KxdRecord* slot = dest.NewRecord();
        KxdRecord::CopyInto(slot, source, timeShift);
        KxdRecord::ProcessLine4Client(slot, true);
    };
    // Threads do not pay for a few records.
    if (workers == 1 || count < 4 * CHUNK) {
        for (size_t k = 0; k < count; ++k)
            appendOne(sources[k]);
        return;
    }
    size_t next = 0;
    // The records that may start the table's time are copied and analysed
    // whole before the others, as the one-worker loop does.
    if (dest.RecordCount() == 0)
        appendOne(sources[next++]);
    while (next < count && !dest.TimeStarted())
        appendOne(sources[next++]);
    RunPipeline(
        dest, true, workers,
        [&](Chunk& chunk) {
            chunk.sources = sources + next;
            chunk.timeShift = timeShift;
            while (next < count && chunk.records.size() < CHUNK) {
                chunk.records.push_back(dest.NewRecord());
                ++next;
            }
            return next < count;
        },
        [&] { return uint32_t(std::min<size_t>(count - next, AHEAD_SLOTS)); });
    dest.ReleaseNextBlock();
}
