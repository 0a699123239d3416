#include "kxlib/reader/textlineparser.h"

#include <cstring>

#include "utils/osal/process.h"

namespace {

constexpr unsigned char CONTINUATION_MASK = 0xC0;
constexpr unsigned char CONTINUATION = 0x80;
// A sequence is at most four bytes: a lead and three continuations.
constexpr uint32_t SEQUENCE_MAX = 4;

// Bytes of the sequence that lead starts; 1 for a byte that starts none.
uint32_t SequenceLength(unsigned char lead)
{
    if (lead >= 0xF8 || lead < 0xC0)
        return 1;
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
}

} // namespace

uint32_t TextLineParser::CharBoundary(const char* text, uint32_t limit)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    uint32_t lead = limit;
    while (lead > 0 && limit - lead < SEQUENCE_MAX - 1 && (bytes[lead - 1] & CONTINUATION_MASK) == CONTINUATION)
        --lead;
    if (lead == 0)
        return limit;
    --lead;
    return lead + SequenceLength(bytes[lead]) > limit ? lead : limit;
}

uint32_t TextLineParser::RowLength(const char* text, size_t length, bool& continues)
{
    continues = false;
    const size_t look = length < ROW_BYTES_MAX ? length : ROW_BYTES_MAX;
    const void* lf = memchr(text, '\n', look);
    if (lf != nullptr) {
        const auto end = uint32_t(static_cast<const char*>(lf) - text) + 1;
        if (end - LineEndLength(text, end) <= LINE_LENGTH_MAX)
            return end;
    } else if (length <= LINE_LENGTH_MAX) {
        return uint32_t(length);
    }
    continues = true;
    return CharBoundary(text, LINE_LENGTH_MAX);
}

uint32_t TextLineParser::LineEndLength(const char* line, size_t length)
{
    if (length == 0 || line[length - 1] != '\n')
        return 0;
    return length >= 2 && line[length - 2] == '\r' ? 2 : 1;
}

uint64_t TextLineParser::StampNow()
{
    const int64_t base = ZmLib::PROCESS::TimeBase;
    return uint64_t(base != 0 ? base + ZmLib::TickMillis() * 1000 : ZmLib::NowMicros());
}
