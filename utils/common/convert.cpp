#include "utils/common/convert.h"

#include "utils/common/strbase.h"
#include "utils/osal/process.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <ctime>

namespace ZmLib {

namespace {

// Numbers read from times are capped so that no sum below overflows.
constexpr uint32_t NUMBER_CAP = 999999999;

int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int Emit(char* out, size_t outsize, int n)
{
    if (n < 0) {
        if (outsize > 0)
            out[0] = '\0';
        return 0;
    }
    if (outsize == 0)
        return 0;
    return size_t(n) < outsize ? n : int(outsize - 1);
}

#define KXV_WRITE(out, outsize, ...) Emit((out), (outsize), std::snprintf((out), (outsize), __VA_ARGS__))

// Builds a short number text without snprintf: every record's times and
// numbers are rendered when it enters a table.
class TextOut {
public:
    TextOut& Char(char ch)
    {
        *p_++ = ch;
        return *this;
    }
    // v as exactly n digits, zero-padded.
    TextOut& Digits(uint64_t v, int n)
    {
        for (int i = n - 1; i >= 0; --i) {
            p_[i] = char('0' + v % 10);
            v /= 10;
        }
        p_ += n;
        return *this;
    }
    TextOut& Unsigned(uint64_t v) { return Digits(v, DigitCount(v)); }
    // Copies the text into out, cut to outsize - 1 characters.
    int CopyTo(char* out, size_t outsize) const
    {
        if (outsize == 0)
            return 0;
        size_t n = size_t(p_ - text_);
        if (n >= outsize)
            n = outsize - 1;
        std::memcpy(out, text_, n);
        out[n] = '\0';
        return int(n);
    }

    static int DigitCount(uint64_t v)
    {
        int n = 1;
        while (v >= 10) {
            v /= 10;
            ++n;
        }
        return n;
    }

private:
    char text_[64];
    char* p_ = text_;
};

// An instant with a four-digit year, as the "%lld-%02d-%02d ..." forms of
// Time2Str write it.
int WriteInstant(const CivilTime& c, int form, char* out, size_t outsize)
{
    TextOut t;
    t.Digits(uint64_t(c.year), 4).Char('-').Digits(uint64_t(c.month), 2).Char('-').Digits(uint64_t(c.day), 2);
    t.Char(' ').Digits(uint64_t(c.hour), 2).Char(':').Digits(uint64_t(c.minute), 2);
    if (form >= 1)
        t.Char(':').Digits(uint64_t(c.second), 2);
    if (form == 2)
        t.Char('.').Digits(uint64_t(c.microsecond / 1000), 3);
    else if (form == 3)
        t.Char('.').Digits(uint64_t(c.microsecond), 6);
    return t.CopyTo(out, outsize);
}

// Reads decimal digits at p (no sign, no blanks); returns the count read.
int ReadNumber(const char* p, uint32_t* value)
{
    uint32_t v = 0;
    int n = 0;
    while (AsciiIsDigit(p[n])) {
        if (v <= NUMBER_CAP)
            v = v * 10 + uint32_t(p[n] - '0');
        ++n;
    }
    *value = v > NUMBER_CAP ? NUMBER_CAP : v;
    return n;
}

// Month of a capitalised English abbreviation, 0 when none.
int SyslogMonth(const char* t)
{
    switch (t[0]) {
    case 'A':
        return t[1] == 'p' ? 4 : t[1] == 'u' ? 8 : 0;
    case 'D':
        return 12;
    case 'F':
        return 2;
    case 'J':
        if (t[1] == 'a')
            return 1;
        return t[2] == 'n' ? 6 : t[2] == 'l' ? 7 : 0;
    case 'M':
        return t[2] == 'r' ? 3 : t[2] == 'y' ? 5 : 0;
    case 'N':
        return 11;
    case 'O':
        return 10;
    case 'S':
        return 9;
    default:
        return 0;
    }
}

bool MidnightUs(const DateFields& date, int64_t* us)
{
    if (date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31)
        return false;
    return !__builtin_mul_overflow(DaysFromCivil(date.year, date.month, date.day), US_PER_DAY, us);
}

int32_t DaysInMonth(int64_t year, int32_t month)
{
    return int32_t(DaysFromCivil(year + (month == 12 ? 1 : 0), month % 12 + 1, 1) - DaysFromCivil(year, month, 1));
}

// A time of day "h:m:s.f" (parts from the end may be missing, blanks may
// lead each part); *end is where the reading stopped, before a ':' that no
// number follows. *possible is cleared when a part read lies beyond the
// clock (hour 24, minute 60, second 61; a leap second 60 passes).
int64_t TimeOfDay(const char* text, const char** end, bool* possible)
{
    static constexpr uint32_t PART_MAX[3] = {23, 59, 60};
    uint32_t values[3] = {0, 0, 0};
    const char* p = text;
    int read = 0;
    for (; read < 3; ++read) {
        const char* part = p;
        if (read > 0) {
            if (*p != ':')
                break;
            ++p;
        }
        while (*p == ' ' || *p == '\t')
            ++p;
        int n = ReadNumber(p, &values[read]);
        if (n == 0) {
            p = part;
            break;
        }
        p += n;
        if (values[read] > PART_MAX[read])
            *possible = false;
    }
    int64_t result = ((int64_t(values[0]) * 60 + values[1]) * 60 + values[2]) * US_PER_SECOND;
    *end = p;
    if (read < 3 || *p != '.' || !AsciiIsDigit(p[1]))
        return result;
    ++p;
    // Digits beyond the sixth are below a microsecond and are dropped.
    int64_t fraction = 0;
    int digits = 0;
    for (; AsciiIsDigit(*p); ++p) {
        if (digits < 6) {
            fraction = fraction * 10 + (*p - '0');
            ++digits;
        }
    }
    for (; digits < 6; ++digits)
        fraction *= 10;
    *end = p;
    return result + fraction;
}

// date + time of day, 0 when the date is not valid or the sum leaves the
// 64-bit range. *possible is cleared for a day beyond its month's last.
int64_t DatePlusTime(const DateFields& date, int64_t timeOfDay, bool* possible)
{
    int64_t midnight = 0;
    if (!MidnightUs(date, &midnight))
        return 0;
    if (date.day > DaysInMonth(date.year, date.month))
        *possible = false;
    int64_t result;
    if (__builtin_add_overflow(midnight, timeOfDay, &result))
        return 0;
    return result;
}

// Reads one or two digits at *p, moving *p past them; false for none or
// more.
bool ReadShortNumber(const char** p, uint32_t* value)
{
    const int n = ReadNumber(*p, value);
    *p += n;
    return n == 1 || n == 2;
}

// The time of day after a date that ends at p: after a blank or 'T' when a
// number follows, else none, the reading stopping at p.
int64_t TimeAfterDate(const char* p, const char** end, bool* possible)
{
    *end = p;
    if (*p != ' ' && *p != 'T')
        return 0;
    const char* q = p + 1;
    while (*q == ' ' || *q == '\t')
        ++q;
    if (!AsciiIsDigit(*q))
        return 0;
    return TimeOfDay(p + 1, end, possible);
}

int64_t SyslogTime(const char* t, int64_t nowUs, const char** end, bool* possible)
{
    *end = t;
    int month = SyslogMonth(t);
    if (month == 0)
        return 0;
    const char* p = t + 4;
    if (*p == ' ')
        ++p;
    uint32_t day = 0;
    if (!ReadShortNumber(&p, &day) || day < 1 || day > 31)
        return 0;
    const int64_t timeOfDay = TimeAfterDate(p, end, possible);
    // The year of the user's clock, not of UTC; a time more than a day
    // after the clock's (a day of slack for the writer's clock and zone) was
    // written the year before.
    const int64_t nowLocal = nowUs + LocalTimeOffsetAt(nowUs);
    const int64_t year = CivilFromUs(nowLocal).year;
    bool unused = true;
    const int64_t thisYear = DatePlusTime({int32_t(year), month, int32_t(day)}, timeOfDay, &unused);
    const bool ahead = thisYear > nowLocal && thisYear - nowLocal > US_PER_DAY;
    return DatePlusTime({int32_t(ahead ? year - 1 : year), month, int32_t(day)}, timeOfDay, possible);
}

// Bytes of an RFC 3339 zone designator at p ("Z", "+01:00", "-0500" or
// "+01"); 0 when there is none.
int ZoneLength(const char* p)
{
    if (*p == 'Z' || *p == 'z')
        return 1;
    if ((*p != '+' && *p != '-') || !AsciiIsDigit(p[1]) || !AsciiIsDigit(p[2]))
        return 0;
    if (p[3] == ':' && AsciiIsDigit(p[4]) && AsciiIsDigit(p[5]))
        return 6;
    return AsciiIsDigit(p[3]) && AsciiIsDigit(p[4]) ? 5 : 3;
}

// "yyyy-m-d", month and day of one or two digits after the same separator
// ('-', '/' or '.') twice, then an optional time of day and zone designator.
// Anything else is no date: a fixed position read in an unpadded text would
// name another day.
int64_t IsoDateTime(const char* t, const char** end, bool* possible)
{
    *end = t;
    const char separator = t[4];
    if (separator != '-' && separator != '/' && separator != '.')
        return 0;
    uint32_t year = 0, month = 0, day = 0;
    ReadNumber(t, &year);
    const char* p = t + 5;
    if (!ReadShortNumber(&p, &month) || *p != separator)
        return 0;
    ++p;
    if (!ReadShortNumber(&p, &day) || month < 1 || month > 12 || day < 1 || day > 31)
        return 0;
    const char* dateEnd = p;
    const int64_t timeOfDay = TimeAfterDate(p, end, possible);
    const int64_t result = DatePlusTime({int32_t(year), int32_t(month), int32_t(day)}, timeOfDay, possible);
    // A zone designator follows a time of day only; it is read but not
    // applied: the time reads as written.
    if (*end != dateEnd)
        *end += ZoneLength(*end);
    return result;
}

// Str2Time; *possible is cleared for a date or time of day that does not
// exist.
int64_t ReadTime(const char* text, int64_t nowUs, const char** end, bool* possible)
{
    *end = text;
    if (!text)
        return 0;
    size_t len = std::strlen(text);
    if (len >= 6 && AsciiIsAlpha(text[0]) && text[3] == ' ' && AsciiIsDigit(text[5]))
        return SyslogTime(text, nowUs, end, possible);
    if (len >= 5 && AsciiIsDigit(text[0]) && AsciiIsDigit(text[1]) && AsciiIsDigit(text[2]) &&
        AsciiIsDigit(text[3]) && !AsciiIsDigit(text[4]))
        return IsoDateTime(text, end, possible);
    if (AsciiIsDigit(text[0]) && (text[1] == ':' || (text[1] != '\0' && text[2] == ':')))
        return TimeOfDay(text, end, possible);
    char* stop = nullptr;
    long long value = std::strtoll(text, &stop, 0);
    *end = stop;
    if (stop == text)
        return 0;
    return int64_t(value);
}

int WriteDuration(uint64_t absValue, bool negative, int64_t unitsPerSecond, int fractionDigits, char* out,
                  size_t outsize)
{
    uint64_t units = uint64_t(unitsPerSecond);
    uint64_t totalSeconds = absValue / units;
    uint64_t days = totalSeconds / 86400;
    TextOut t;
    if (negative)
        t.Char('-');
    if (days > 0)
        t.Unsigned(days).Char('d').Char(' ');
    t.Unsigned(totalSeconds / 3600 % 24).Char(':').Digits(totalSeconds / 60 % 60, 2).Char(':');
    t.Digits(totalSeconds % 60, 2).Char('.').Digits(absValue % units, fractionDigits);
    return t.CopyTo(out, outsize);
}

uint64_t AbsU64(int64_t v)
{
    return v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v);
}

} // namespace

int64_t DaysFromCivil(int64_t year, int32_t month, int32_t day)
{
    int64_t y = year - (month <= 2 ? 1 : 0);
    int64_t era = FloorDiv(y, 400);
    int64_t yoe = y - era * 400;
    int64_t mp = month > 2 ? month - 3 : month + 9;
    int64_t doy = (153 * mp + 2) / 5 + day - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilTime CivilFromUs(int64_t us)
{
    CivilTime c{};
    int64_t days = us / US_PER_DAY;
    int64_t inDay = us % US_PER_DAY;
    if (inDay < 0) {
        inDay += US_PER_DAY;
        --days;
    }
    c.microsecond = int32_t(inDay % US_PER_SECOND);
    int64_t secs = inDay / US_PER_SECOND;
    c.hour = int32_t(secs / 3600);
    c.minute = int32_t(secs / 60 % 60);
    c.second = int32_t(secs % 60);

    int64_t z = days + 719468;
    int64_t era = FloorDiv(z, 146097);
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    c.day = int32_t(doy - (153 * mp + 2) / 5 + 1);
    c.month = int32_t(mp < 10 ? mp + 3 : mp - 9);
    c.year = yoe + era * 400 + (c.month <= 2 ? 1 : 0);
    return c;
}

int IP2Str(uint32_t ip, char* out, size_t outsize)
{
    return KXV_WRITE(out, outsize, "%u.%u.%u.%u", ip & 0xFF, (ip >> 8) & 0xFF, (ip >> 16) & 0xFF, ip >> 24);
}

int IPPort2Str(uint32_t ip, uint32_t port, char* out, size_t outsize)
{
    return KXV_WRITE(out, outsize, "%u.%u.%u.%u:%u", ip & 0xFF, (ip >> 8) & 0xFF, (ip >> 16) & 0xFF, ip >> 24,
                     port);
}

char* IPPort2Temp(uint32_t ip, uint32_t port)
{
    char* out = StrBase::TempBuffer();
    IPPort2Str(ip, port, out, TEMP_STR_CAPACITY + 1);
    return out;
}

uint32_t Str2IP(const char* text)
{
    uint32_t ip = 0;
    return Str2IPChecked(text, &ip) ? ip : 0;
}

bool Str2IPChecked(const char* text, uint32_t* ip)
{
    uint32_t value = 0;
    if (!text || ReadIPv4(text, &value, false) == 0)
        return false;
    *ip = value;
    return true;
}

uint32_t Str2IPMask(const char* text, uint32_t* bits)
{
    Str<32> copy(text);
    char* slash = std::strchr(copy.Data(), '/');
    *bits = 32;
    if (slash) {
        *slash = '\0';
        uint32_t n = 0;
        *bits = (ReadNumber(slash + 1, &n) > 0 && n <= 32) ? n : 0xFFFFFFFFu;
    }
    return Str2IP(copy.c_str());
}

uint32_t Str2IPPort(const char* text, uint32_t* port)
{
    Str<32> copy(text);
    char* colon = std::strchr(copy.Data(), ':');
    *port = 0;
    if (colon) {
        *colon = '\0';
        uint32_t n = 0;
        if (ReadNumber(colon + 1, &n) > 0)
            *port = n;
    }
    return Str2IP(copy.c_str());
}

int Int64ToFixed(int64_t value, int decimals, char* out, size_t outsize)
{
    uint64_t magnitude = AbsU64(value);
    int n = TextOut::DigitCount(magnitude);
    TextOut t;
    if (value < 0)
        t.Char('-');
    if (decimals <= 0)
        return t.Unsigned(magnitude).CopyTo(out, outsize);
    // The number formats use 1 to 6 decimals; 40 keeps any text in its buffer.
    if (decimals > 40)
        decimals = 40;
    if (n <= decimals) {
        t.Char('0').Char('.');
        for (int i = 0; i < decimals - n; ++i)
            t.Char('0');
        return t.Unsigned(magnitude).CopyTo(out, outsize);
    }
    uint64_t scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    return t.Unsigned(magnitude / scale).Char('.').Digits(magnitude % scale, decimals).CopyTo(out, outsize);
}

uint32_t WideToAnsi(StrBase& s, const wchar_t* text)
{
    s.Clear();
    if (!text)
        return 0;
    std::mbstate_t state{};
    char bytes[MB_LEN_MAX + 1];
    for (; *text; ++text) {
        size_t n = std::wcrtomb(bytes, *text, &state);
        if (n == size_t(-1)) {
            state = std::mbstate_t{};
            bytes[0] = '?';
            n = 1;
        }
        if (s.Length() + n > s.Capacity())
            break;
        bytes[n] = '\0';
        s.Add(bytes);
    }
    return s.Length();
}

int Time2Str(int64_t value, char* out, size_t outsize, int form)
{
    if (outsize > 0)
        out[0] = '\0';
    if (form < 0 || form > 3)
        return 0;
    if (value < DURATION_LIMIT_US) {
        bool negative = value < 0;
        const char* sign = negative ? "-" : "";
        uint64_t abs = AbsU64(value);
        switch (form) {
        case 0: {
            unsigned long long minutes = abs / (60 * US_PER_SECOND);
            return KXV_WRITE(out, outsize, "%s%llu:%02llu", sign, minutes / 60, minutes % 60);
        }
        case 1: {
            unsigned long long seconds = abs / US_PER_SECOND;
            return KXV_WRITE(out, outsize, "%s%llu:%02llu:%02llu", sign, seconds / 3600, seconds / 60 % 60,
                             seconds % 60);
        }
        case 2:
            return RelTime2StrMs(value / 1000, out, outsize);
        default:
            return RelTime2StrUs(value, out, outsize);
        }
    }
    CivilTime c = CivilFromUs(value);
    if (c.year >= 1000 && c.year <= 9999)
        return WriteInstant(c, form, out, outsize);
    switch (form) {
    case 0:
        return KXV_WRITE(out, outsize, "%lld-%02d-%02d %02d:%02d", (long long)c.year, c.month, c.day, c.hour,
                         c.minute);
    case 1:
        return KXV_WRITE(out, outsize, "%lld-%02d-%02d %02d:%02d:%02d", (long long)c.year, c.month, c.day, c.hour,
                         c.minute, c.second);
    case 2:
        return KXV_WRITE(out, outsize, "%lld-%02d-%02d %02d:%02d:%02d.%03d", (long long)c.year, c.month, c.day,
                         c.hour, c.minute, c.second, c.microsecond / 1000);
    default:
        return KXV_WRITE(out, outsize, "%lld-%02d-%02d %02d:%02d:%02d.%06d", (long long)c.year, c.month, c.day,
                         c.hour, c.minute, c.second, c.microsecond);
    }
}

int Time2StrAbs(int64_t value, char* out, size_t outsize)
{
    CivilTime c = CivilFromUs(value);
    return KXV_WRITE(out, outsize, "%lld-%02d-%02d %2d:%02d:%02d.%06d", (long long)c.year, c.month, c.day, c.hour,
                     c.minute, c.second, c.microsecond);
}

int RelTime2StrUs(int64_t value, char* out, size_t outsize)
{
    return WriteDuration(AbsU64(value), value < 0, US_PER_SECOND, 6, out, outsize);
}

int RelTime2StrMs(int64_t valueMs, char* out, size_t outsize)
{
    return WriteDuration(AbsU64(valueMs), valueMs < 0, 1000, 3, out, outsize);
}

int Secs2Str(int64_t seconds, char* out, size_t outsize)
{
    // The remainder alone: the quotient times 86400 leaves the 64-bit range
    // near its ends.
    int64_t inDay = seconds % 86400;
    if (inDay < 0)
        inDay += 86400;
    return KXV_WRITE(out, outsize, "%2d:%02d:%02d", int(inDay / 3600), int(inDay / 60 % 60), int(inDay % 60));
}

int64_t Str2Time(const char* text)
{
    return Str2Time(text, NowMicros());
}

int64_t Str2Time(const char* text, int64_t nowUs)
{
    const char* end = text;
    return Str2Time(text, nowUs, &end);
}

int64_t Str2Time(const char* text, int64_t nowUs, const char** end)
{
    bool possible = true;
    return ReadTime(text, nowUs, end, &possible);
}

bool Str2TimeWhole(const char* text, size_t length, int64_t nowUs, int64_t* value)
{
    *value = 0;
    // A NUL inside would end the reading early and hide what follows it.
    if (!text || std::memchr(text, '\0', length))
        return false;
    const char* end = text;
    bool possible = true;
    const int64_t time = ReadTime(text, nowUs, &end, &possible);
    if (end == text || !possible)
        return false;
    for (; end < text + length; ++end) {
        if (*end != ' ' && *end != '\t')
            return false;
    }
    *value = time;
    return true;
}

int64_t Str2Date(const char* text)
{
    if (!text)
        return 0;
    uint32_t parts[3] = {0, 0, 0};
    const char* p = text;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (*p == '\0')
                return 0;
            ++p;
        }
        int n = ReadNumber(p, &parts[i]);
        if (n == 0)
            return 0;
        p += n;
    }
    uint32_t year = parts[0];
    if (year < 70)
        year += 2000;
    else if (year < 100)
        year += 1900;
    // A day beyond its month's last is no date, not one of the next month.
    if (parts[1] >= 1 && parts[1] <= 12 && parts[2] > uint32_t(DaysInMonth(year, int32_t(parts[1]))))
        return 0;
    return Date2Us({int32_t(year), int32_t(parts[1]), int32_t(parts[2])});
}

int64_t Str2TimeOfDay(const char* text)
{
    if (!text)
        return 0;
    const char* end = text;
    bool possible = true;
    return TimeOfDay(text, &end, &possible);
}

int64_t Date2Us(const DateFields& date)
{
    int64_t result = 0;
    return MidnightUs(date, &result) ? result : 0;
}

bool StrWildMatch(const char* text, const char* pattern, bool matchCase)
{
    if (!text)
        text = "";
    if (!pattern)
        pattern = "";
    const char* star = nullptr;
    const char* restart = nullptr;
    while (*text) {
        if (*pattern == '*') {
            ++pattern;
            if (*pattern == '\0')
                return true;
            star = pattern;
            restart = text + 1;
            continue;
        }
        if (*pattern == '?' || *pattern == *text ||
            (!matchCase && *pattern != '\0' && AsciiLower(*pattern) == AsciiLower(*text))) {
            ++pattern;
            ++text;
            continue;
        }
        if (!star)
            return false;
        pattern = star;
        text = restart++;
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

} // namespace ZmLib
