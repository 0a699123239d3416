// A text file read ahead and parsed on worker threads: the workers take the
// file in pieces of READ_SIZE bytes, cut each at its last whole line, parse
// the lines of their pieces into records (each with its STIME of the
// moment it was parsed) and hand the pieces back in file order. The rows
// are the ones a line-by-line read gives: each ends at its line end or is
// cut where the line is too long, between two characters. At most a few
// pieces wait ahead of the reader, so a load that stops early leaves the
// workers idle.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "kxlib/reader/textlineparser.h"
#include "utils/osal/fileb.h"

class TextChunks {
public:
    static constexpr size_t READ_SIZE = 256 * 1024;
    static constexpr uint32_t ROW_BYTES_MAX = TextLineParser::ROW_BYTES_MAX;

    // The file is read from its current position by threads workers.
    TextChunks(ZmLib::FILEB& file, const TextLineParser& parser, int threads);
    // Stops and joins the workers.
    ~TextChunks();
    TextChunks(const TextChunks&) = delete;
    TextChunks& operator=(const TextChunks&) = delete;

    enum class Kind {
        Line,       // record and note hold the next line
        ReadFailed, // the file could not be read on; no line follows
        End,
    };
    struct Item {
        const ZmLib::KxdProt* record = nullptr;
        const TextLineParser::Note* note = nullptr;
        // Not 0: a read failed here with this errno, to be reported now
        // (with Line: before the line, which it cut short).
        int reportError = 0;
    };
    // The next line in file order, waiting for the workers when needed.
    // After ReadFailed or End, End only.
    Kind Next(Item& item);

private:
    struct Piece {
        uint64_t seq = 0;
        std::vector<char> text;
        size_t used = 0;
        std::vector<ZmLib::KxdProt> records;
        std::vector<TextLineParser::Note> notes;
        size_t count = 0;
        bool last = false;   // nothing follows this piece
        int readError = 0;   // with last: the read that failed after it
        bool cutShort = false; // its last line is cut by that failure
    };

    void Work();
    // Under the read lock: the next bytes of the file into piece. False when
    // the file was read whole before.
    bool Read(Piece& piece);
    void Parse(TextLineParser::Scratch& scratch, Piece& piece) const;
    Piece* TakeReady(uint64_t seq);

    ZmLib::FILEB& file_;
    const TextLineParser& parser_;
    std::mutex readMutex_;
    std::vector<char> carry_; // the start of a line the last piece cut off
    uint64_t nextRead_ = 0;
    bool readDone_ = false;

    std::mutex mutex_;
    std::condition_variable wake_;  // a free piece, or stop
    std::condition_variable ready_; // a parsed piece
    std::vector<std::unique_ptr<Piece>> pieces_;
    std::vector<Piece*> free_;
    std::vector<Piece*> parsed_;
    bool noMoreReads_ = false;
    bool stop_ = false;

    // The reading thread's own.
    Piece* current_ = nullptr;
    size_t index_ = 0;
    uint64_t nextHand_ = 0;
    bool ended_ = false;

    std::vector<std::thread> threads_;
};
