#include "kxlib/reader/textchunks.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

using ZmLib::KxdProt;

namespace {

// Records a piece first makes room for; more when its lines are short.
constexpr size_t FIRST_RECORDS = 2048;

// Rows ahead of the one handed out whose lines are asked for.
constexpr size_t HAND_AHEAD = 6;

// The lines of a parsed row that its taker reads: the head, the start of
// the string area, where most texts of a log line end, and the numbers
// after the area.
void PrefetchParsed(const KxdProt& record)
{
    const char* bytes = reinterpret_cast<const char*>(&record);
    for (size_t line = 0; line < 256; line += 64)
        __builtin_prefetch(bytes + line);
    __builtin_prefetch(&record.EXECTIME);
}

} // namespace

TextChunks::TextChunks(ZmLib::FILEB& file, const TextLineParser& parser, int threads)
    : file_(file), parser_(parser)
{
    // Two pieces a worker: one parsed, one waiting for the reader.
    const size_t count = 2 * size_t(threads) + 2;
    for (size_t k = 0; k < count; ++k) {
        pieces_.push_back(std::make_unique<Piece>());
        free_.push_back(pieces_.back().get());
    }
    for (int t = 0; t < threads; ++t)
        threads_.emplace_back([this] { Work(); });
}

TextChunks::~TextChunks()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void TextChunks::Work()
{
    const std::unique_ptr<TextLineParser::Scratch> scratch = parser_.NewScratch();
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || (!noMoreReads_ && !free_.empty()); });
        if (stop_)
            return;
        Piece* piece = free_.back();
        free_.pop_back();
        lock.unlock();
        bool got = false;
        {
            std::lock_guard<std::mutex> reading(readMutex_);
            got = Read(*piece);
        }
        if (got) {
            try {
                Parse(*scratch, *piece);
            } catch (const std::bad_alloc&) {
                // The lines parsed so far are handed on; the input ends
                // after them as after a failed read.
                piece->last = true;
                piece->readError = ENOMEM;
                piece->cutShort = false;
            }
        }
        lock.lock();
        if (!got || piece->last)
            noMoreReads_ = true;
        if (!got) {
            free_.push_back(piece);
            continue;
        }
        parsed_.push_back(piece);
        ready_.notify_all();
    }
}

bool TextChunks::Read(Piece& piece)
{
    if (readDone_)
        return false;
    piece.seq = nextRead_++;
    piece.used = piece.count = 0;
    piece.last = piece.cutShort = false;
    piece.readError = 0;
    const size_t carry = carry_.size();
    piece.text.resize(carry + READ_SIZE);
    char* text = piece.text.data();
    if (carry > 0)
        memcpy(text, carry_.data(), carry);
    size_t got = file_.Read(text + carry, READ_SIZE);
    if (got < READ_SIZE) {
        readDone_ = true;
        piece.last = true;
        if (file_.Handle != nullptr && ferror(file_.Handle)) {
            // The bytes of a failed read are not used.
            piece.readError = errno != 0 ? errno : EIO;
            clearerr(file_.Handle);
            got = 0;
        }
    }
    const size_t total = carry + got;
    // Every line end ends a line; after the last one the rows that are
    // surely cut are cut, as Parse cuts them.
    const void* lastEnd = memrchr(text, '\n', total);
    size_t whole = lastEnd ? size_t(static_cast<const char*>(lastEnd) - text) + 1 : 0;
    bool continues = false;
    while (total - whole >= ROW_BYTES_MAX)
        whole += TextLineParser::RowLength(text + whole, total - whole, continues);
    if (piece.last) {
        piece.used = total;
        piece.cutShort = piece.readError != 0 && whole != total;
        carry_.clear();
    } else {
        piece.used = whole;
        carry_.assign(text + whole, text + total);
    }
    return true;
}

void TextChunks::Parse(TextLineParser::Scratch& scratch, Piece& piece) const
{
    char line[ROW_BYTES_MAX + 1];
    const char* text = piece.text.data();
    size_t pos = 0;
    while (pos < piece.used) {
        bool continues = false;
        const size_t length = TextLineParser::RowLength(text + pos, piece.used - pos, continues);
        // Before the end of the file a row without a line end is one that
        // Read cut: the last of a piece may be shorter than the limit.
        continues = continues || (!piece.last && TextLineParser::LineEndLength(text + pos, length) == 0);
        if (piece.count == piece.records.size()) {
            const size_t more = std::max(FIRST_RECORDS, 2 * piece.records.size());
            piece.records.resize(more);
            piece.notes.resize(more);
        }
        memcpy(line, text + pos, length);
        line[length] = 0;
        KxdProt& record = piece.records[piece.count];
        memset(&record, 0, sizeof record);
        TextLineParser::Note& note = piece.notes[piece.count];
        note = TextLineParser::Note();
        note.length = uint32_t(length);
        note.continues = continues;
        parser_.ParseLine(scratch, line, record, note);
        // Here rather than where the row is handed out, which is one thread
        // for every row.
        record.STIME = TextLineParser::StampNow();
        ++piece.count;
        pos += length;
    }
}

TextChunks::Piece* TextChunks::TakeReady(uint64_t seq)
{
    for (size_t k = 0; k < parsed_.size(); ++k) {
        if (parsed_[k]->seq == seq) {
            Piece* piece = parsed_[k];
            parsed_.erase(parsed_.begin() + std::ptrdiff_t(k));
            return piece;
        }
    }
    return nullptr;
}

TextChunks::Kind TextChunks::Next(Item& item)
{
    item = Item();
    if (ended_)
        return Kind::End;
    while (current_ == nullptr || index_ == current_->count) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (current_ != nullptr) {
            const bool last = current_->last;
            const int readError = current_->readError;
            const bool reported = current_->cutShort;
            free_.push_back(current_);
            current_ = nullptr;
            lock.unlock();
            wake_.notify_one();
            if (last) {
                ended_ = true;
                if (readError == 0)
                    return Kind::End;
                item.reportError = reported ? 0 : readError;
                return Kind::ReadFailed;
            }
            lock.lock();
        }
        ready_.wait(lock, [this] { return (current_ = TakeReady(nextHand_)) != nullptr; });
        ++nextHand_;
        index_ = 0;
    }
    // The rows were parsed on other cores: the lines of those a few ahead
    // are asked for while this one is taken.
    if (index_ + HAND_AHEAD < current_->count)
        PrefetchParsed(current_->records[index_ + HAND_AHEAD]);
    item.record = &current_->records[index_];
    item.note = &current_->notes[index_];
    ++index_;
    if (current_->last && current_->cutShort && index_ == current_->count)
        item.reportError = current_->readError;
    return Kind::Line;
}
