// Fixed-capacity, NUL-terminated 8-bit strings and the scratch-buffer ring.
// A StrBase never grows and never allocates; writing operations stop at the
// capacity and always keep the terminating NUL.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace ZmLib {

// Size of one scratch buffer and the capacity of a string laid over one.
constexpr uint32_t TEMP_BUFFER_SIZE = 1104;
constexpr uint32_t TEMP_BUFFER_COUNT = 512;
constexpr uint32_t TEMP_STR_CAPACITY = 1099;
constexpr uint32_t STR_NOT_FOUND = 0xFFFFFFFFu;
constexpr int STR2BYTES_MAX = 32;

class StrBase {
public:
    // A string over a caller's buffer of capacity + 1 bytes; the buffer is
    // emptied.
    StrBase(char* buffer, uint32_t capacity);
    // A string over a fresh scratch buffer (capacity 1099).
    StrBase();

    StrBase(const StrBase&) = delete;
    StrBase& operator=(const StrBase&) = delete;

    // Takes the next buffer of the process-wide ring of 512 buffers of 1104
    // bytes. It stays valid until 512 further buffers are taken.
    static char* TempBuffer();
    // Formats into a fresh scratch buffer, cut at its capacity; returns the
    // length kept, -1 on a format error.
    static int VFormatTemp(char*& buffer, const char* format, va_list args);

    // Writing operations.
    uint32_t Set(const char* text);
    uint32_t Add(const char* text);
    uint32_t AddUntil(const char* text, char stop1, char stop2);
    uint32_t AddField(const char* text, uint32_t width);
    uint32_t AddChars(uint32_t count, char ch);
    StrBase& Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Appends, cut at the capacity; returns the characters kept (negative on
    // a formatting error).
    int AddFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
    char* ToLower();
    char* Lower();
    void PadRight(uint32_t width, char fill, bool cut);
    void PadLeft(uint32_t width, char fill, bool cut);
    // Trailing blanks, CR and LF only; Trim also returns a pointer past the
    // leading blanks, which stay in the buffer.
    char* TrimRight();
    char* Trim();
    // Empties the string and puts the cursor back to its start.
    void Clear();

    // Reading operations.
    bool StartsWith(const char* prefix, uint32_t* count = nullptr) const;
    uint32_t FindNoCase(const char* text, uint32_t start = 0) const;
    char* Mid(uint32_t start, uint32_t count) const;
    char* SkipPast(const char* needle);
    char* SkipPastHere(const char* needle);
    char* SkipPastHere(const StrBase& needle);
    // A token runs to the next blank, or between double quotes (an unclosed
    // quote runs to the end of the text); null at the end of the text.
    char* NextToken();
    // Skips '0's; 0 without error when no digit follows. The cursor moves
    // over the characters the format consumed.
    int64_t GetInt64(const char* format = "%lld");
    int32_t GetInt(const char* format = "%d");
    // a.b.c.d with the first octet in the HIGH byte; each octet 0..255.
    uint32_t GetIPv4();

    // Reads pairs of hex digits into out, right-aligned; returns the number
    // of text characters consumed. outsize must be below STR2BYTES_MAX.
    static int str2bytes(const char* text, uint8_t* out, int outsize);

    const char* c_str() const { return data_; }
    char* Data() { return data_; }
    uint32_t Length() const { return length_; }
    uint32_t Capacity() const { return capacity_; }
    char* Cursor() const { return cursor_; }
    void SetCursor(char* cursor) { cursor_ = cursor; }
    void ResetCursor() { cursor_ = data_; }
    bool Error() const { return error_ != 0; }
    bool Empty() const { return length_ == 0; }
    // Takes the length from the first NUL, after the buffer was written
    // directly.
    uint32_t SyncLength();
    // Sets the length after the buffer was filled directly with bytes that
    // may include NUL; cut at the capacity, a NUL written after.
    void SetLength(uint32_t length)
    {
        length_ = length < capacity_ ? length : capacity_;
        data_[length_] = '\0';
    }

protected:
    uint8_t error_ = 0;
    char* data_;
    char* cursor_;
    uint32_t capacity_;
    uint32_t length_ = 0;
};

// A string with its own inline buffer of N bytes (capacity N - 1).
template <uint32_t N>
class Str : public StrBase {
    static_assert(N >= 1, "a string needs room for its NUL");

public:
    Str() : StrBase(buffer_, N - 1) {}
    explicit Str(const char* text) : StrBase(buffer_, N - 1) { Set(text); }
    Str(const Str& other) : StrBase(buffer_, N - 1) { Set(other.c_str()); }
    Str& operator=(const Str& other)
    {
        if (this != &other)
            Set(other.c_str());
        return *this;
    }

private:
    char buffer_[N];
};

// A string over a scratch buffer of the ring (capacity 1099).
class TempStr : public StrBase {
public:
    TempStr() = default;
    explicit TempStr(const char* text) { Set(text); }
};

// A path of up to 1099 characters with its directory, name and extension.
// dir, name and ext point into a private work buffer (null when absent).
class PathStr : public StrBase {
public:
    PathStr();
    explicit PathStr(const char* text);
    PathStr(const PathStr& other);
    PathStr& operator=(const PathStr& other);

    // Copies the text into the work buffer and cuts it into dir, name and
    // ext; splits at the last '/' or '\\'. Surrounding double quotes are
    // dropped (an opening one alone is dropped too). ext follows the first
    // '.' of the name; cutExtension ends the name there.
    bool SplitPath(bool cutExtension);
    // dir '/' name '.' ext; false when the path was cut at the capacity.
    bool MakePath(const char* dir, const char* name, const char* ext);
    bool Rebase(const char* path);
    bool SetPath(const char* dir, const char* name, const char* ext);

    const char* Dir() const { return dir_; }
    const char* Name() const { return name_; }
    const char* Ext() const { return ext_; }

private:
    void CopyFrom(const PathStr& other);

    char buffer_[1100];
    char* dir_ = nullptr;
    char* name_ = nullptr;
    char* ext_ = nullptr;
    char work_[TEMP_BUFFER_SIZE];
};

// Free helpers on C strings. Case rules are ASCII only.
// HexDump writes whole "%02X" entries only, as many as fit in outsize bytes
// with the NUL; returns the characters written.
int HexDump(const uint8_t* bytes, int count, char* out, size_t outsize, bool colons);
int HexDigit(char ch);
// Reads a.b.c.d at text, each octet 1..3 digits of 0..255; the first octet
// goes into the high byte when firstOctetHigh, else into the low byte.
// Returns the characters read, 0 (ip untouched) when there is no address.
int ReadIPv4(const char* text, uint32_t* ip, bool firstOctetHigh);
bool IsBlank(const char* text);
void ReplaceChar(char* text, char from, char to);
int StrICmp(const char* a, const char* b);
const char* StrIStr(const char* haystack, const char* needle);

// ASCII-only character helpers (never the locale-dependent C library ones).
inline char AsciiLower(char ch) { return (ch >= 'A' && ch <= 'Z') ? char(ch - 'A' + 'a') : ch; }
inline char AsciiUpper(char ch) { return (ch >= 'a' && ch <= 'z') ? char(ch - 'a' + 'A') : ch; }
inline bool AsciiIsDigit(char ch) { return ch >= '0' && ch <= '9'; }
inline bool AsciiIsAlpha(char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); }
inline bool AsciiIsSpace(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\f' || ch == '\v'; }

} // namespace ZmLib
