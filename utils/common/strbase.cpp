#include "utils/common/strbase.h"

#include "utils/common/textring.h"
#include "utils/kx/kx.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace ZmLib {

namespace {

// The ring index's fetch-add is the whole "Autostr" critical section.
TextRing<TEMP_BUFFER_COUNT, TEMP_BUFFER_SIZE> g_tempRing;

// Case-insensitive search of needle in the first hayLen characters of hay.
const char* FindFolded(const char* hay, size_t hayLen, const char* needle)
{
    size_t needleLen = std::strlen(needle);
    if (needleLen == 0)
        return hay;
    if (needleLen > hayLen)
        return nullptr;
    for (size_t i = 0; i + needleLen <= hayLen; ++i) {
        size_t k = 0;
        while (k < needleLen && AsciiLower(hay[i + k]) == AsciiLower(needle[k]))
            ++k;
        if (k == needleLen)
            return hay + i;
    }
    return nullptr;
}

// Reads 1..3 decimal digits of an octet (0..255); returns the characters read
// or 0 when there is no valid octet.
int ReadOctet(const char* p, uint32_t* value)
{
    uint32_t v = 0;
    int n = 0;
    while (n < 3 && AsciiIsDigit(p[n])) {
        v = v * 10 + uint32_t(p[n] - '0');
        ++n;
    }
    if (n == 0 || v > 255 || AsciiIsDigit(p[n]))
        return 0;
    *value = v;
    return n;
}

} // namespace

int ReadIPv4(const char* text, uint32_t* ip, bool firstOctetHigh)
{
    uint32_t result = 0;
    int pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (text[pos] != '.')
                return 0;
            ++pos;
        }
        uint32_t octet = 0;
        int n = ReadOctet(text + pos, &octet);
        if (n == 0)
            return 0;
        result = firstOctetHigh ? (result << 8) | octet : result | (octet << (8 * i));
        pos += n;
    }
    *ip = result;
    return pos;
}

int StrBase::VFormatTemp(char*& buffer, const char* format, va_list args)
{
    buffer = TempBuffer();
    int n = std::vsnprintf(buffer, TEMP_STR_CAPACITY + 1, format, args);
    return n < 0 ? -1 : (n < int(TEMP_STR_CAPACITY) ? n : int(TEMP_STR_CAPACITY));
}

StrBase::StrBase(char* buffer, uint32_t capacity) : data_(buffer), cursor_(buffer), capacity_(capacity)
{
    data_[0] = '\0';
}

StrBase::StrBase() : data_(TempBuffer()), cursor_(data_), capacity_(TEMP_STR_CAPACITY)
{
    data_[0] = '\0';
}

char* StrBase::TempBuffer()
{
    return g_tempRing.Take();
}

uint32_t StrBase::Set(const char* text)
{
    length_ = 0;
    data_[0] = '\0';
    Add(text);
    return length_;
}

uint32_t StrBase::Add(const char* text)
{
    if (!text)
        return 0;
    uint32_t start = length_;
    while (length_ < capacity_ && *text)
        data_[length_++] = *text++;
    data_[length_] = '\0';
    return length_ - start;
}

uint32_t StrBase::AddUntil(const char* text, char stop1, char stop2)
{
    if (!text)
        return 0;
    uint32_t start = length_;
    while (length_ < capacity_ && *text && *text != stop1 && *text != stop2)
        data_[length_++] = *text++;
    data_[length_] = '\0';
    return length_ - start;
}

uint32_t StrBase::AddField(const char* text, uint32_t width)
{
    uint32_t added = AddUntil(text, ',', ',');
    if (width > added) {
        uint32_t pad = width - added;
        if (uint64_t(length_) + pad < capacity_) {
            std::memset(data_ + length_, ' ', pad);
            length_ += pad;
            data_[length_] = '\0';
            return width;
        }
    }
    return added;
}

uint32_t StrBase::AddChars(uint32_t count, char ch)
{
    if (uint64_t(length_) + count >= capacity_)
        return 0;
    std::memset(data_ + length_, ch, count);
    length_ += count;
    data_[length_] = '\0';
    return count;
}

StrBase& StrBase::Format(const char* format, ...)
{
    length_ = 0;
    data_[0] = '\0';
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(data_, size_t(capacity_) + 1, format, args);
    va_end(args);
    if (n < 0)
        data_[0] = '\0';
    else
        length_ = uint32_t(n) < capacity_ ? uint32_t(n) : capacity_;
    return *this;
}

int StrBase::AddFormat(const char* format, ...)
{
    uint32_t room = capacity_ - length_;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(data_ + length_, size_t(room) + 1, format, args);
    va_end(args);
    if (n < 0) {
        data_[length_] = '\0';
        return n;
    }
    uint32_t kept = uint32_t(n) < room ? uint32_t(n) : room;
    length_ += kept;
    return int(kept);
}

char* StrBase::ToLower()
{
    for (uint32_t i = 0; i < length_; ++i)
        data_[i] = AsciiLower(data_[i]);
    return data_;
}

char* StrBase::Lower()
{
    SyncLength();
    return ToLower();
}

void StrBase::PadRight(uint32_t width, char fill, bool cut)
{
    if (length_ < width && width < capacity_) {
        std::memset(data_ + length_, fill, width - length_);
        length_ = width;
        data_[length_] = '\0';
    } else if (cut && width < length_) {
        length_ = width;
        data_[length_] = '\0';
    }
}

void StrBase::PadLeft(uint32_t width, char fill, bool cut)
{
    if (length_ < width && width < capacity_) {
        uint32_t shift = width - length_;
        std::memmove(data_ + shift, data_, length_);
        std::memset(data_, fill, shift);
        length_ = width;
        data_[length_] = '\0';
    } else if (cut && width < length_) {
        length_ = width;
        data_[length_] = '\0';
    }
}

char* StrBase::TrimRight()
{
    while (length_ > 0) {
        char c = data_[length_ - 1];
        if (c != ' ' && c != '\r' && c != '\n')
            break;
        --length_;
    }
    data_[length_] = '\0';
    return data_;
}

char* StrBase::Trim()
{
    TrimRight();
    char* p = data_;
    while (*p == ' ')
        ++p;
    return p;
}

void StrBase::Clear()
{
    length_ = 0;
    data_[0] = '\0';
    cursor_ = data_;
}

uint32_t StrBase::SyncLength()
{
    length_ = uint32_t(strnlen(data_, capacity_));
    data_[length_] = '\0';
    return length_;
}

bool StrBase::StartsWith(const char* prefix, uint32_t* count) const
{
    uint32_t n = 0;
    if (prefix) {
        while (prefix[n] && n < length_ && data_[n] == prefix[n])
            ++n;
    }
    if (count)
        *count = n;
    return !prefix || prefix[n] == '\0';
}

uint32_t StrBase::FindNoCase(const char* text, uint32_t start) const
{
    if (!text || start > length_)
        return STR_NOT_FOUND;
    const char* hit = FindFolded(data_ + start, length_ - start, text);
    return hit ? uint32_t(hit - data_) : STR_NOT_FOUND;
}

char* StrBase::Mid(uint32_t start, uint32_t count) const
{
    if (start >= length_)
        return nullptr;
    uint32_t n = length_ - start;
    if (count > 0 && count < n)
        n = count;
    if (n > TEMP_STR_CAPACITY)
        n = TEMP_STR_CAPACITY;
    char* out = TempBuffer();
    std::memcpy(out, data_ + start, n);
    out[n] = '\0';
    return out;
}

char* StrBase::SkipPast(const char* needle)
{
    if (!needle || cursor_ >= data_ + length_)
        return nullptr;
    const char* hit = std::strstr(cursor_ + 1, needle);
    if (!hit)
        return nullptr;
    cursor_ = data_ + (hit - data_) + std::strlen(needle);
    return cursor_;
}

char* StrBase::SkipPastHere(const char* needle)
{
    if (!needle || cursor_ > data_ + length_)
        return nullptr;
    const char* hit = std::strstr(cursor_, needle);
    if (!hit)
        return nullptr;
    cursor_ = data_ + (hit - data_) + std::strlen(needle);
    return cursor_;
}

char* StrBase::SkipPastHere(const StrBase& needle)
{
    if (cursor_ > data_ + length_)
        return nullptr;
    const char* hit = std::strstr(cursor_, needle.c_str());
    if (!hit)
        return nullptr;
    cursor_ = data_ + (hit - data_) + needle.Length();
    return cursor_;
}

char* StrBase::NextToken()
{
    char* end = data_ + length_;
    if (cursor_ >= end || *cursor_ == '\0')
        return nullptr;
    char* token;
    if (*cursor_ == '"') {
        token = cursor_ + 1;
        char* close = token;
        while (close < end && *close != '"')
            ++close;
        if (close == end) {
            // An unclosed quote runs to the end of the text.
            cursor_ = end;
            return token;
        }
        *close = '\0';
        cursor_ = close + 1;
        if (cursor_ < end && *cursor_ == ' ')
            ++cursor_;
        return token;
    }
    token = cursor_;
    char* p = token;
    while (p < end && *p != ' ')
        ++p;
    if (p < end) {
        *p = '\0';
        ++p;
    }
    cursor_ = p;
    return token;
}

int64_t StrBase::GetInt64(const char* format)
{
    while (*cursor_ == '0')
        ++cursor_;
    if (!AsciiIsDigit(*cursor_))
        return 0;
    Str<40> scan(format);
    scan.Add("%n");
    long long value = 0;
    int used = 0;
    if (std::sscanf(cursor_, scan.c_str(), &value, &used) < 1 || used <= 0) {
        error_ = 1;
        return 0;
    }
    cursor_ += used;
    return int64_t(value);
}

int32_t StrBase::GetInt(const char* format)
{
    while (*cursor_ == '0')
        ++cursor_;
    if (!AsciiIsDigit(*cursor_))
        return 0;
    Str<40> scan(format);
    scan.Add("%n");
    int value = 0;
    int used = 0;
    if (std::sscanf(cursor_, scan.c_str(), &value, &used) < 1 || used <= 0) {
        error_ = 1;
        return 0;
    }
    cursor_ += used;
    return int32_t(value);
}

uint32_t StrBase::GetIPv4()
{
    uint32_t result = 0;
    int n = ReadIPv4(cursor_, &result, true);
    if (n == 0) {
        error_ = 1;
        return 0;
    }
    cursor_ += n;
    return result;
}

int StrBase::str2bytes(const char* text, uint8_t* out, int outsize)
{
    if (outsize >= STR2BYTES_MAX) {
        // An assertion report, but the caller goes on with 0.
        KxSys.AssertReport(0, false, __FILE__, __LINE__, __func__, "outsize < STR2BYTES_MAX");
        return 0;
    }
    if (!out || outsize <= 0)
        return 0;
    std::memset(out, 0, size_t(outsize));
    if (!text)
        return 0;
    uint8_t bytes[STR2BYTES_MAX];
    int count = 0;
    int pos = 0;
    while (text[pos] && count < outsize) {
        int value = HexDigit(text[pos++]);
        // A digit followed by the end or by ':' stands alone.
        if (text[pos] && text[pos] != ':')
            value = (value << 4) | HexDigit(text[pos++]);
        bytes[count++] = uint8_t(value);
        if (text[pos] == ':')
            ++pos;
    }
    std::memcpy(out + (outsize - count), bytes, size_t(count));
    return pos;
}

PathStr::PathStr() : StrBase(buffer_, sizeof(buffer_) - 1)
{
    work_[0] = '\0';
}

PathStr::PathStr(const char* text) : PathStr()
{
    Set(text);
}

PathStr::PathStr(const PathStr& other) : PathStr()
{
    CopyFrom(other);
}

PathStr& PathStr::operator=(const PathStr& other)
{
    if (this != &other)
        CopyFrom(other);
    return *this;
}

void PathStr::CopyFrom(const PathStr& other)
{
    std::memcpy(buffer_, other.buffer_, sizeof(buffer_));
    std::memcpy(work_, other.work_, sizeof(work_));
    error_ = other.error_;
    length_ = other.length_;
    cursor_ = data_ + (other.cursor_ - other.data_);
    auto repoint = [&](const char* p) -> char* { return p ? work_ + (p - other.work_) : nullptr; };
    dir_ = repoint(other.dir_);
    name_ = repoint(other.name_);
    ext_ = repoint(other.ext_);
}

bool PathStr::SplitPath(bool cutExtension)
{
    SyncLength();
    const char* src = data_;
    uint32_t n = length_;
    if (n > 0 && src[0] == '"') {
        ++src;
        --n;
        // Only a closing quote is dropped, never another last character.
        if (n > 0 && src[n - 1] == '"')
            --n;
    }
    std::memcpy(work_, src, n);
    work_[n] = '\0';

    char* sep = nullptr;
    for (char* p = work_; *p; ++p) {
        if (*p == '/' || *p == '\\')
            sep = p;
    }
    if (sep) {
        *sep = '\0';
        dir_ = work_;
        name_ = sep + 1;
    } else {
        dir_ = nullptr;
        name_ = work_;
    }
    char* dot = std::strchr(name_, '.');
    ext_ = dot ? dot + 1 : nullptr;
    if (dot && cutExtension)
        *dot = '\0';
    return true;
}

bool PathStr::MakePath(const char* dir, const char* name, const char* ext)
{
    bool fits = true;
    if (dir) {
        Set(dir);
        fits = length_ == std::strlen(dir);
    } else {
        Clear();
    }
    if (length_ > 0 && data_[length_ - 1] != '/' && data_[length_ - 1] != '\\')
        fits = Add("/") == 1 && fits;
    if (name)
        fits = Add(name) == std::strlen(name) && fits;
    if (ext) {
        fits = Add(".") == 1 && fits;
        fits = Add(ext) == std::strlen(ext) && fits;
    }
    SplitPath(false);
    return fits;
}

bool PathStr::Rebase(const char* path)
{
    Set(path);
    SplitPath(true);
    // MakePath reads the parts from the work buffer before splitting again.
    return MakePath(dir_, name_, ext_);
}

bool PathStr::SetPath(const char* dir, const char* name, const char* ext)
{
    if (!name) {
        Set(dir);
        return SplitPath(true);
    }
    return MakePath(dir, name, ext);
}

int HexDump(const uint8_t* bytes, int count, char* out, size_t outsize, bool colons)
{
    if (!out || outsize == 0)
        return 0;
    out[0] = '\0';
    if (!bytes || count < 1)
        return 0;
    static const char digits[] = "0123456789ABCDEF";
    size_t pos = 0;
    for (int i = 0; i < count; ++i) {
        bool colon = colons && i > 0;
        if (pos + (colon ? 3 : 2) >= outsize)
            break;
        if (colon)
            out[pos++] = ':';
        out[pos++] = digits[bytes[i] >> 4];
        out[pos++] = digits[bytes[i] & 0x0F];
    }
    out[pos] = '\0';
    return int(pos);
}

int HexDigit(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    return 0;
}

bool IsBlank(const char* text)
{
    if (!text)
        return true;
    for (; *text; ++text) {
        if (*text != ' ' && *text != '\t')
            return false;
    }
    return true;
}

void ReplaceChar(char* text, char from, char to)
{
    if (!text)
        return;
    for (; *text; ++text) {
        if (*text == from)
            *text = to;
    }
}

int StrICmp(const char* a, const char* b)
{
    if (!a)
        a = "";
    if (!b)
        b = "";
    for (;; ++a, ++b) {
        signed char ca = static_cast<signed char>(AsciiLower(*a));
        signed char cb = static_cast<signed char>(AsciiLower(*b));
        if (ca != cb)
            return ca - cb;
        if (ca == 0)
            return 0;
    }
}

const char* StrIStr(const char* haystack, const char* needle)
{
    if (!haystack)
        return nullptr;
    if (!needle)
        return haystack;
    return FindFolded(haystack, std::strlen(haystack), needle);
}

} // namespace ZmLib
