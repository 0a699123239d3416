#include "kxlib/fields.h"

#include <cstdlib>
#include <cstring>

#include "utils/common/convert.h"
#include "utils/kx/kx.h"

const NumFormatRow NumFormatTable[NUMFMT_Nums] = {
    {"STR", "String"},
    {"INT", "Integer"},
    {"HEX", "Hexadecimal: 0x123ABC"},
    {"IP", "IP4 addr: 192.168.1.2"},
    {"MINUTES", "Time: [DATE] hh:mm"},
    {"SECONDS", "Time: [DATE] hh:mm:ss"},
    {"MILLISECONDS", "Time: [DATE] hh:mm:ss.xxx"},
    {"MICROSECONDS", "Time: [DATE] hh:mm:ss.xxxxxx"},
    {"DECIMAL1", "Decimal-1: 123456789.0"},
    {"DECIMAL2", "Decimal-2: 12345678.90"},
    {"DECIMAL3", "Decimal-3: 1234567.890"},
    {"DECIMAL4", "Decimal-4: 123456.7890"},
    {"DECIMAL5", "Decimal-5: 12345.67890"},
    {"DECIMAL6", "Decimal-6: 1234.567890"},
};

namespace {

// Number rendering runs for every number field of every loaded record: the
// common formats write their digits two at a time and straight into out.
const char DigitPairs[201] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                             "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                             "8081828384858687888990919293949596979899";

int DigitCount(uint64_t value)
{
    int n = 1;
    for (;;) {
        if (value < 10)
            return n;
        if (value < 100)
            return n + 1;
        if (value < 1000)
            return n + 2;
        if (value < 10000)
            return n + 3;
        value /= 10000;
        n += 4;
    }
}

// Writes exactly n digits of value ending at end (exclusive).
void WriteDigitsBackward(uint64_t value, char* end, int n)
{
    while (n >= 2) {
        end -= 2;
        memcpy(end, DigitPairs + 2 * (value % 100), 2);
        value /= 100;
        n -= 2;
    }
    if (n)
        *--end = char('0' + value % 10);
}

uint64_t Magnitude(int64_t value)
{
    // As unsigned, so that INT64_MIN does not overflow.
    return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

int WriteDecimal(int64_t value, char* out)
{
    uint64_t magnitude = Magnitude(value);
    int len = 0;
    if (value < 0)
        out[len++] = '-';
    int n = DigitCount(magnitude);
    WriteDigitsBackward(magnitude, out + len + n, n);
    len += n;
    out[len] = 0;
    return len;
}

// "0x" and the digits; -1 with nothing written when that and the
// terminator need more than room bytes.
int WriteHex32(uint32_t value, char* out, int room)
{
    static const char hex[] = "0123456789ABCDEF";
    int n = 1;
    while (n < 8 && (value >> (4 * n)))
        ++n;
    if (2 + n >= room)
        return -1;
    out[0] = '0';
    out[1] = 'x';
    for (int k = n - 1; k >= 0; --k, value >>= 4)
        out[2 + k] = hex[value & 0xF];
    out[2 + n] = 0;
    return 2 + n;
}

constexpr uint64_t POWERS_OF_TEN[7] = {1, 10, 100, 1000, 10000, 100000, 1000000};

// The fixed-point formats' text ("-12.345"): the integer part, '.', and
// exactly decimals digits, as the number conversions write it.
int RenderFixed(int64_t value, int decimals, char* out, int room)
{
    const uint64_t magnitude = Magnitude(value);
    const uint64_t whole = magnitude / POWERS_OF_TEN[decimals];
    const int sign = value < 0 ? 1 : 0;
    const int digits = DigitCount(whole);
    const int length = sign + digits + 1 + decimals;
    if (length >= room)
        return -1;
    out[0] = '-';
    WriteDigitsBackward(whole, out + sign + digits, digits);
    out[sign + digits] = '.';
    WriteDigitsBackward(magnitude % POWERS_OF_TEN[decimals], out + length, decimals);
    out[length] = 0;
    return length;
}

// A duration's text ("-1d 2:03:04.567"), as the time conversions write it:
// days only when there are any, the hours without padding.
int RenderDuration(uint64_t magnitude, bool negative, int fractionDigits, char* out, int room)
{
    const uint64_t units = POWERS_OF_TEN[fractionDigits];
    const uint64_t seconds = magnitude / units;
    const uint64_t days = seconds / 86400;
    const uint64_t inDay = seconds % 86400;
    const int dayDigits = days > 0 ? DigitCount(days) : 0;
    const int hourDigits = inDay >= 36000 ? 2 : 1;
    const int length = (negative ? 1 : 0) + (days > 0 ? dayDigits + 2 : 0) + hourDigits + 7 + fractionDigits;
    if (length >= room)
        return -1;
    char* p = out;
    if (negative)
        *p++ = '-';
    if (days > 0) {
        p += dayDigits;
        WriteDigitsBackward(days, p, dayDigits);
        *p++ = 'd';
        *p++ = ' ';
    }
    p += hourDigits;
    WriteDigitsBackward(inDay / 3600, p, hourDigits);
    p[0] = ':';
    memcpy(p + 1, DigitPairs + 2 * (inDay / 60 % 60), 2);
    p[3] = ':';
    memcpy(p + 4, DigitPairs + 2 * (inDay % 60), 2);
    p[6] = '.';
    WriteDigitsBackward(magnitude % units, p + 7 + fractionDigits, fractionDigits);
    out[length] = 0;
    return length;
}

// Length of "YYYY-MM-DD hh:mm:ss".
constexpr int SECOND_TEXT_LEN = 19;

// Instants with millisecond or microsecond digits: records of one trace share
// their second, so the date and time of day are rendered once per second (a
// cache per thread, since loads render on several threads).
int WriteInstant(int64_t value, char* out, int fractionDigits, int form)
{
    struct SecondText {
        int64_t second = INT64_MIN;
        char text[SECOND_TEXT_LEN + 1];
    };
    static thread_local SecondText cache;
    if (value < ZmLib::DURATION_LIMIT_US)
        return ZmLib::Time2Str(value, out, FIELD_NUM_TEXT_MAX, form);
    const int64_t second = value / ZmLib::US_PER_SECOND;
    if (second != cache.second) {
        char text[FIELD_NUM_TEXT_MAX];
        // Years outside 1000..9999 take another layout: no shortcut.
        if (ZmLib::Time2Str(second * ZmLib::US_PER_SECOND, text, sizeof(text), 1) != SECOND_TEXT_LEN)
            return ZmLib::Time2Str(value, out, FIELD_NUM_TEXT_MAX, form);
        memcpy(cache.text, text, sizeof(cache.text));
        cache.second = second;
    }
    uint64_t fraction = uint64_t(value % ZmLib::US_PER_SECOND);
    if (fractionDigits == 3)
        fraction /= 1000;
    memcpy(out, cache.text, SECOND_TEXT_LEN);
    out[SECOND_TEXT_LEN] = '.';
    WriteDigitsBackward(fraction, out + SECOND_TEXT_LEN + 1 + fractionDigits, fractionDigits);
    out[SECOND_TEXT_LEN + 1 + fractionDigits] = 0;
    return SECOND_TEXT_LEN + 1 + fractionDigits;
}

} // namespace

int fieldsConvertNum2Str(int64_t value, char* out, uint32_t format)
{
    switch (format) {
    case NUMFMT_INT:
        return WriteDecimal(value, out);
    case NUMFMT_HEX:
        return WriteHex32(static_cast<uint32_t>(value), out, int(FIELD_NUM_TEXT_MAX));
    case NUMFMT_IP:
        return ZmLib::IP2Str(static_cast<uint32_t>(value), out, FIELD_NUM_TEXT_MAX);
    case NUMFMT_MILLISECONDS:
        return WriteInstant(value, out, 3, int(format - NUMFMT_MINUTES));
    case NUMFMT_MICROSECONDS:
        return WriteInstant(value, out, 6, int(format - NUMFMT_MINUTES));
    case NUMFMT_MINUTES:
    case NUMFMT_SECONDS:
        return ZmLib::Time2Str(value, out, FIELD_NUM_TEXT_MAX, static_cast<int>(format - NUMFMT_MINUTES));
    case NUMFMT_DECIMAL1:
    case NUMFMT_DECIMAL2:
    case NUMFMT_DECIMAL3:
    case NUMFMT_DECIMAL4:
    case NUMFMT_DECIMAL5:
    case NUMFMT_DECIMAL6:
        return ZmLib::Int64ToFixed(value, static_cast<int>(format - (NUMFMT_DECIMAL1 - 1)), out, FIELD_NUM_TEXT_MAX);
    default:
        ZmLib::KxSys.ErrorReport(0, __FILE__, __LINE__, __func__, "Internal error");
        abort();
    }
}

int fieldsRenderNum(int64_t value, char* out, int room, uint32_t format)
{
    if (format >= NUMFMT_DECIMAL1 && format <= NUMFMT_DECIMAL6)
        return RenderFixed(value, int(format - (NUMFMT_DECIMAL1 - 1)), out, room);
    switch (format) {
    case NUMFMT_INT: {
        const uint64_t magnitude = Magnitude(value);
        const int sign = value < 0 ? 1 : 0;
        const int digits = DigitCount(magnitude);
        if (sign + digits >= room)
            return -1;
        out[0] = '-';
        WriteDigitsBackward(magnitude, out + sign + digits, digits);
        out[sign + digits] = 0;
        return sign + digits;
    }
    case NUMFMT_HEX:
        return WriteHex32(static_cast<uint32_t>(value), out, room);
    case NUMFMT_MILLISECONDS:
        // The milliseconds of a duration are its microseconds divided first.
        if (value < ZmLib::DURATION_LIMIT_US)
            return RenderDuration(Magnitude(value / 1000), value / 1000 < 0, 3, out, room);
        break;
    case NUMFMT_MICROSECONDS:
        if (value < ZmLib::DURATION_LIMIT_US)
            return RenderDuration(Magnitude(value), value < 0, 6, out, room);
        break;
    default:
        break;
    }
    char buffer[FIELD_NUM_TEXT_MAX];
    const int length = fieldsConvertNum2Str(value, buffer, format);
    if (length < 0 || length >= room)
        return -1;
    memcpy(out, buffer, size_t(length) + 1);
    return length;
}

uint32_t FieldValidNumFormat(uint32_t format)
{
    return (format >= NUMFMT_INT && format < NUMFMT_Nums) ? format : static_cast<uint32_t>(NUMFMT_INT);
}

int32_t FieldIndexByKey(const char* key)
{
    if (!key)
        return -1;
    for (int32_t i = 0; i < FIELD_Nums; ++i)
        if (strcmp(FieldTable[i].key, key) == 0)
            return i;
    return -1;
}

const char* FieldTitle(int32_t index)
{
    if (index < 0)
        return "None";
    if (index >= FIELD_Nums)
        return "INCORRECT VALUE";
    return FieldTable[index].title;
}

const char* FieldKey(int32_t index)
{
    if (index < 0)
        return "None";
    if (index >= FIELD_Nums)
        return "INCORRECT VALUE";
    return FieldTable[index].key;
}
