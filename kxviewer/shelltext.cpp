#include "kxviewer/shelltext.h"

#include "utils/common/convert.h"
#include "utils/osal/process.h"

QString FormatMicroseconds(int64_t microseconds)
{
    const bool negative = microseconds < 0;
    // Unsigned, so that the most negative count has an absolute value too.
    const uint64_t magnitude = negative ? 0 - uint64_t(microseconds) : uint64_t(microseconds);
    return QString::asprintf("%s%llu.%06llu", negative ? "-" : "", (unsigned long long)(magnitude / 1000000),
                             (unsigned long long)(magnitude % 1000000));
}

QString TimeOfDayText(int64_t utcMicros)
{
    const int64_t local = utcMicros + ZmLib::LocalTimeOffsetAt(utcMicros);
    int64_t seconds = local / 1000000;
    if (local < 0 && local % 1000000 != 0)
        --seconds;
    char text[16];
    ZmLib::Secs2Str(seconds, text, sizeof text);
    return QString::fromLatin1(text);
}

QString TimeOfDayNow() { return TimeOfDayText(ZmLib::NowMicros()); }
