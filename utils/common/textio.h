// Line-oriented text source and sink, over a file or over a string block in
// memory, so that the same text reader and writer serve both.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "utils/common/strbase.h"
#include "utils/osal/fileb.h"

namespace ZmLib {

class TextIo {
public:
    // The next line, or null at the end of the data.
    virtual char* ReadLine() = 0;
    virtual int Printf(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;
    virtual size_t Write(const void* data, size_t count) = 0;
    virtual int PutChar(char ch) = 0;

protected:
    TextIo() = default;
    // Owners destroy the concrete object, never through this interface.
    ~TextIo() = default;
};

class TextFile : public TextIo {
public:
    TextFile() = default;
    ~TextFile() { Close(); }

    bool Open(const char* path, const char* mode) { return File.Open(path, mode); }
    bool Create(const char* path) { return File.Open(path, "wb"); }
    bool Close() { return File.Close(); }
    bool IsOpen() const { return File.IsOpen(); }

    // At most 1099 characters in a scratch buffer, the '\n' kept; a longer
    // line comes back in pieces.
    char* ReadLine() override;
    __attribute__((format(printf, 2, 3))) int Printf(const char* format, ...) override;
    size_t Write(const void* data, size_t count) override;
    int PutChar(char ch) override;

    FILEB File;
};

// A text held in one heap block: a StrBase header followed by its
// characters. Reading moves the string's cursor; writing appends at its
// length and never grows the block.
class TextBuf : public TextIo {
public:
    TextBuf() = default;
    ~TextBuf() { Free(); }
    TextBuf(const TextBuf&) = delete;
    TextBuf& operator=(const TextBuf&) = delete;

    // Allocates the block for capacity characters; there must be none yet.
    void Construct(uint32_t capacity);
    void Free();

    // The line from the cursor up to the next '\n', which becomes NUL; the
    // last line is returned also without a '\n'. Null when nothing remains.
    char* ReadLine() override;
    // Each writer appends only when the whole piece fits below the capacity.
    __attribute__((format(printf, 2, 3))) int Printf(const char* format, ...) override;
    size_t Write(const void* data, size_t count) override;
    int PutChar(char ch) override;

    StrBase* Buffer = nullptr;

private:
    bool Append(const char* data, size_t count);
};

} // namespace ZmLib
