#include "kxlib/reader/syslogshape.h"

#include <cstring>

namespace SyslogShape {

const char* const EXPRESSION = "(\\w{3}[\\d\\W]+)\\s(\\(?\\w+\\)?)\\s[\\w\\.]+?(\\w+)\\s([^:]+):?\\s(.*)\\r?\\n?";

namespace {

// Ways of matching tried before a line is left to the engine: the engine's
// own steps stay far below its budget within them, so both give up on the
// same lines.
constexpr int ATTEMPTS_MAX = 256;

bool IsWord(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// "[\d\W]": anything but a letter or '_'.
bool IsDigitOrNonWord(char c) { return !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'); }

// The walk over one line: each part tries its ways in the engine's order and
// goes on with the next part, the first way whose rest matches wins.
class Walk {
public:
    Walk(const char* line, int length, int* spans) : line_(line), n_(length), spans_(spans) {}

    bool Gave() const { return attempts_ > ATTEMPTS_MAX; }

    // "(\w{3}[\d\W]+)\s" then the host.
    bool Time()
    {
        if (n_ < 4 || !IsWord(line_[0]) || !IsWord(line_[1]) || !IsWord(line_[2]))
            return false;
        const int run = Run(3, IsDigitOrNonWord);
        for (int end = 3 + run; end > 3; --end)
            if (Try() && Space(end) && Host(end + 1))
                return Set(1, 0, end);
        return false;
    }

private:
    // "(\(?\w+\)?)\s" then the level.
    bool Host(int at)
    {
        for (int open = at < n_ && line_[at] == '(' ? 1 : 0; open >= 0; --open) {
            const int from = at + open;
            for (int end = from + Run(from, IsWord); end > from; --end)
                for (int close = end < n_ && line_[end] == ')' ? 1 : 0; close >= 0; --close)
                    if (Try() && Space(end + close) && Level(end + close + 1))
                        return Set(2, at, end + close);
        }
        return false;
    }

    // "[\w\.]+?(\w+)\s" then the name: the lazy run grows one byte a try.
    bool Level(int at)
    {
        const int reach = Run(at, [](char c) { return IsWord(c) || c == '.'; });
        for (int lazy = 1; lazy <= reach; ++lazy) {
            const int from = at + lazy;
            for (int end = from + Run(from, IsWord); end > from; --end)
                if (Try() && Space(end) && Name(end + 1))
                    return Set(3, from, end);
            if (Gave())
                return false;
        }
        return false;
    }

    // "([^:]+):?\s" then the text.
    bool Name(int at)
    {
        const void* colon = memchr(line_ + at, ':', size_t(n_ - at));
        const int reach = colon ? int(static_cast<const char*>(colon) - line_) : n_;
        for (int end = reach; end > at; --end) {
            if (!Try())
                return false;
            if (end < n_ && line_[end] == ':' && Space(end + 1))
                return Set(4, at, end) && Text(end + 2);
            if (Space(end))
                return Set(4, at, end) && Text(end + 1);
        }
        return false;
    }

    // "(.*)\r?\n?" to the end: the line's bytes up to its LF.
    bool Text(int at) { return Set(5, at, at < n_ ? n_ - 1 : n_); }

    template <class Class>
    int Run(int at, Class inClass) const
    {
        int end = at;
        while (end < n_ && inClass(line_[end]))
            ++end;
        return end - at;
    }
    // "\s" within the lines taken here: a blank or the LF.
    bool Space(int at) const { return at < n_ && (line_[at] == ' ' || line_[at] == '\n'); }
    bool Try() { return ++attempts_ <= ATTEMPTS_MAX; }
    bool Set(int group, int start, int end)
    {
        spans_[2 * group] = start;
        spans_[2 * group + 1] = end;
        return true;
    }

    const char* line_;
    const int n_;
    int* spans_;
    int attempts_ = 0;
};

} // namespace

Outcome Match(const char* line, uint32_t length, int spans[2 * (GROUPS + 1)])
{
    // Printable ASCII and the LF at the end: the classes of the expression
    // need no more than that, and '.' stops only at the LF.
    if (length == 0 || length > 0xFFFF || line[length - 1] != '\n')
        return Outcome::Unsure;
    for (uint32_t k = 0; k + 1 < length; ++k)
        if (static_cast<unsigned char>(line[k]) < 0x20 || static_cast<unsigned char>(line[k]) > 0x7E)
            return Outcome::Unsure;
    Walk walk(line, int(length), spans);
    const bool matched = walk.Time();
    if (walk.Gave())
        return Outcome::Unsure;
    if (!matched)
        return Outcome::NoMatch;
    spans[0] = 0;
    spans[1] = int(length);
    return Outcome::Matched;
}

} // namespace SyslogShape
