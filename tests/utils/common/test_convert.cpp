#include "utils/common/convert.h"
#include "utils/common/strbase.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>

using namespace ZmLib;

namespace {

constexpr int64_t kHour = 3600 * US_PER_SECOND;
constexpr int64_t kMinute = 60 * US_PER_SECOND;

std::string T2S(int64_t value, int form)
{
    char buf[64];
    int n = Time2Str(value, buf, sizeof buf, form);
    EXPECT_EQ(size_t(n), std::strlen(buf));
    return buf;
}

std::string Abs(int64_t value)
{
    char buf[64];
    Time2StrAbs(value, buf, sizeof buf);
    return buf;
}

int64_t Utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int us = 0)
{
    return Date2Us({y, mo, d}) + h * kHour + mi * kMinute + s * US_PER_SECOND + us;
}

// Sets TZ for the lifetime of the object.
struct ScopedTz {
    explicit ScopedTz(const char* tz) : had(std::getenv("TZ") != nullptr), old(had ? std::getenv("TZ") : "")
    {
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTz()
    {
        had ? setenv("TZ", old.c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    bool had;
    std::string old;
};

bool WildReference(const char* t, const char* p, bool matchCase)
{
    if (*p == '\0')
        return *t == '\0';
    if (*p == '*')
        return WildReference(t, p + 1, matchCase) || (*t && WildReference(t + 1, p, matchCase));
    if (*t == '\0')
        return false;
    bool same = *p == '?' || *p == *t || (!matchCase && AsciiLower(*p) == AsciiLower(*t));
    return same && WildReference(t + 1, p + 1, matchCase);
}

} // namespace

TEST(Calendar, CivilRoundTripAcrossEras)
{
    EXPECT_EQ(-719468, DaysFromCivil(0, 3, 1));
    EXPECT_EQ(11016, DaysFromCivil(2000, 2, 29));
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<int64_t> any(INT64_MIN, INT64_MAX);
    for (int i = 0; i < 20000; ++i) {
        int64_t us = any(rng);
        CivilTime c = CivilFromUs(us);
        ASSERT_TRUE(c.month >= 1 && c.month <= 12 && c.day >= 1 && c.day <= 31) << us;
        __int128 back = (__int128)DaysFromCivil(c.year, c.month, c.day) * US_PER_DAY +
                        (((c.hour * 60 + c.minute) * 60 + c.second) * US_PER_SECOND) + c.microsecond;
        ASSERT_TRUE(back == us) << us;
    }
}

TEST(Addresses, BothByteOrdersReadTheSameTexts)
{
    // One reader: the same texts are addresses (or not) in either order.
    const char* texts[] = {"10.1.2.3",  "255.255.255.255", "0.0.0.0", "0010.1.2.3", "1.2.3.2555",
                           "1.2.3.256", "1.2.3",           "1..2.3",  ".1.2.3",     "1.2.3.4 x"};
    for (const char* text : texts) {
        Str<32> s(text);
        uint32_t high = s.GetIPv4();
        uint32_t low = 0;
        EXPECT_EQ(!s.Error(), Str2IPChecked(text, &low)) << text;
        EXPECT_EQ(high, __builtin_bswap32(Str2IP(text))) << text;
    }
}

TEST(Addresses, FirstOctetInTheLowByte)
{
    char buf[32];
    const uint32_t ip = 10u | (1u << 8) | (2u << 16) | (3u << 24);
    EXPECT_EQ(8, IP2Str(ip, buf, sizeof buf));
    EXPECT_STREQ("10.1.2.3", buf);
    EXPECT_EQ(14, IPPort2Str(0xFFFFFFFFu, 80, buf, 15));
    EXPECT_STREQ("255.255.255.25", buf);
    EXPECT_STREQ("4.3.2.1:65535", IPPort2Temp(0x01020304u, 65535));

    EXPECT_EQ(ip, Str2IP("10.1.2.3"));
    EXPECT_EQ(0u, Str2IP("10.1.2"));
    EXPECT_EQ(0u, Str2IP("10.1.2.300"));
    // The prefix length: 32 without one, 0xFFFFFFFF when missing or above 32.
    const struct {
        const char* text;
        uint32_t ip, bits;
    } masks[] = {{"10.0.0.0/40", 10u, 0xFFFFFFFFu}, {"10.0.0.1", 10u | (1u << 24), 32u},
                 {"192.168.0.0/16", 192u | (168u << 8), 16u}};
    for (const auto& m : masks) {
        uint32_t bits = 0;
        EXPECT_EQ(m.ip, Str2IPMask(m.text, &bits)) << m.text;
        EXPECT_EQ(m.bits, bits) << m.text;
    }
    uint32_t port = 9;
    EXPECT_EQ(127u | (1u << 24), Str2IPPort("127.0.0.1:8080", &port));
    EXPECT_EQ(8080u, port);
    EXPECT_EQ(127u | (1u << 24), Str2IPPort("127.0.0.1", &port));
    EXPECT_EQ(0u, port);
}

TEST(Numbers, Int64ToFixedWritesTheSignFirst)
{
    const struct {
        int64_t value;
        int decimals;
        const char* text;
    } cases[] = {{5, 3, "0.005"}, {-5, 3, "-0.005"}, {-12345, 2, "-123.45"}, {42, 0, "42"},
                 {INT64_MIN, 3, "-9223372036854775.808"}, {5, 25, "0.0000000000000000000000005"},
                 {INT64_MAX, 20, "0.09223372036854775807"}};
    for (const auto& c : cases) {
        char buf[64];
        EXPECT_EQ(int(std::strlen(c.text)), Int64ToFixed(c.value, c.decimals, buf, sizeof buf)) << c.text;
        EXPECT_STREQ(c.text, buf);
    }
    char small[4];
    EXPECT_EQ(3, Int64ToFixed(12345, 2, small, sizeof small));
    EXPECT_STREQ("123", small);
}

TEST(Numbers, WideToAnsiCutsAtCapacity)
{
    Str<6> s("old");
    EXPECT_EQ(5u, WideToAnsi(s, L"abcdefgh"));
    EXPECT_STREQ("abcde", s.c_str());
    EXPECT_EQ(0u, WideToAnsi(s, nullptr));

    const char* old = std::setlocale(LC_CTYPE, nullptr);
    std::string saved = old ? old : "C";
    if (std::setlocale(LC_CTYPE, "C.UTF-8")) {
        Str<4> u;
        // 'a' then a two-byte character, then one that does not fit whole.
        EXPECT_EQ(3u, WideToAnsi(u, L"a\u00e9\u00e9"));
        EXPECT_STREQ("a\xC3\xA9", u.c_str());
    }
    std::setlocale(LC_CTYPE, "C");
    Str<8> c;
    WideToAnsi(c, L"x\u4e2dy");
    EXPECT_STREQ("x?y", c.c_str());
    std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(TimeToText, DurationsAndInstantsInEveryForm)
{
    const int64_t d = 24 * kHour + kHour + kMinute + US_PER_SECOND;
    const int64_t t = Utc(2019, 6, 30, 19, 6, 51, 250000);
    const struct {
        int64_t value;
        int form;
        const char* text;
    } cases[] = {{d, 0, "25:01"}, {d, 1, "25:01:01"}, {d, 2, "1d 1:01:01.000"}, {d, 3, "1d 1:01:01.000000"},
                 {-61 * US_PER_SECOND, 0, "-0:01"}, {-1500000, 3, "-0:00:01.500000"}, {250, 3, "0:00:00.000250"},
                 {5, 4, ""}, {-5, -1, ""}, {INT64_MIN, 3, "-106751991d 4:00:54.775808"},
                 {DURATION_LIMIT_US - 1, 3, "3649d 23:59:59.999999"}, {DURATION_LIMIT_US, 0, "1979-12-30 00:00"},
                 {t, 0, "2019-06-30 19:06"}, {t, 2, "2019-06-30 19:06:51.250"}};
    for (const auto& c : cases)
        EXPECT_EQ(c.text, T2S(c.value, c.form)) << c.value << " form " << c.form;

    EXPECT_EQ("1970-01-01  0:00:00.000000", Abs(0));
    EXPECT_EQ("1969-12-31 23:59:59.999999", Abs(-1));
    EXPECT_EQ("2000-02-29 23:59:59.999999", Abs(Utc(2000, 3, 1) - 1));
    EXPECT_EQ("294247-01-10  4:00:54.775807", Abs(INT64_MAX));
    EXPECT_EQ("-290308-12-21 19:59:05.224192", Abs(INT64_MIN));
    char buf[32];
    EXPECT_EQ(10, Time2Str(t, buf, 11, 3));
    EXPECT_STREQ("2019-06-30", buf);
    RelTime2StrMs(3 * 86400 * 1000LL + 5, buf, sizeof buf);
    EXPECT_STREQ("3d 0:00:00.005", buf);
    EXPECT_EQ(8, Secs2Str(86400 + 3600 * 5 + 62, buf, sizeof buf));
    EXPECT_STREQ(" 5:01:02", buf);
    Secs2Str(-1, buf, sizeof buf);
    EXPECT_STREQ("23:59:59", buf);
}

TEST(TimeToText, Secs2StrAtTheEndsOfTheRange)
{
    // Hand-computed: INT64_MIN lies 30592 s after a day boundary, INT64_MAX
    // 55807 s after one.
    const struct {
        int64_t seconds;
        const char* text;
    } cases[] = {
        {INT64_MIN, " 8:29:52"}, {INT64_MIN + 1, " 8:29:53"}, {INT64_MIN + 86399, " 8:29:51"},
        {INT64_MAX, "15:30:07"}, {INT64_MAX - 1, "15:30:06"},
    };
    for (const auto& c : cases) {
        char buf[16];
        EXPECT_EQ(8, Secs2Str(c.seconds, buf, sizeof buf)) << c.seconds;
        EXPECT_STREQ(c.text, buf) << c.seconds;
    }
}

// Instants, durations and fixed-point numbers are written by hand on the
// load path; these printf forms are the reference for every value.
TEST(TimeToText, HandWrittenFormsAgreeWithPrintf)
{
    std::mt19937_64 rng(11);
    const char* instantForms[] = {"%" PRId64 "-%02d-%02d %02d:%02d", "%" PRId64 "-%02d-%02d %02d:%02d:%02d",
                                  "%" PRId64 "-%02d-%02d %02d:%02d:%02d.%03d",
                                  "%" PRId64 "-%02d-%02d %02d:%02d:%02d.%06d"};
    for (int i = 0; i < 50000; ++i) {
        int64_t v = int64_t(rng() >> (rng() % 64));
        if (i & 1)
            v = -v;
        SCOPED_TRACE(v);
        char got[64], want[64];
        if (v >= DURATION_LIMIT_US) {
            CivilTime c = CivilFromUs(v);
            for (int form = 0; form < 4; ++form) {
                int second = form == 0 ? 0 : c.second;
                snprintf(want, sizeof want, instantForms[form], c.year, c.month, c.day, c.hour, c.minute,
                         form == 0 ? c.minute : second, form == 2 ? c.microsecond / 1000 : c.microsecond);
                if (form == 0)
                    snprintf(want, sizeof want, instantForms[0], c.year, c.month, c.day, c.hour, c.minute);
                ASSERT_EQ(Time2Str(v, got, sizeof got, form), int(strlen(want)));
                ASSERT_STREQ(got, want);
            }
        }
        uint64_t m = v < 0 ? 0 - uint64_t(v) : uint64_t(v);
        uint64_t s = m / 1000000, days = s / 86400;
        if (days > 0)
            snprintf(want, sizeof want, "%s%" PRIu64 "d %u:%02u:%02u.%06u", v < 0 ? "-" : "", days,
                     unsigned(s / 3600 % 24), unsigned(s / 60 % 60), unsigned(s % 60), unsigned(m % 1000000));
        else
            snprintf(want, sizeof want, "%s%u:%02u:%02u.%06u", v < 0 ? "-" : "", unsigned(s / 3600 % 24),
                     unsigned(s / 60 % 60), unsigned(s % 60), unsigned(m % 1000000));
        RelTime2StrUs(v, got, sizeof got);
        ASSERT_STREQ(got, want);
        char digits[32];
        snprintf(digits, sizeof digits, "%" PRIu64, m);
        int n = int(strlen(digits));
        for (int decimals = 1; decimals <= 6; ++decimals) {
            if (n > decimals)
                snprintf(want, sizeof want, "%s%.*s.%s", v < 0 ? "-" : "", n - decimals, digits,
                         digits + (n - decimals));
            else
                snprintf(want, sizeof want, "%s0.%0*d%s", v < 0 ? "-" : "", decimals - n, 0, digits);
            if (n > decimals || decimals - n > 0) {
                Int64ToFixed(v, decimals, got, sizeof got);
                ASSERT_STREQ(got, want) << decimals;
            }
        }
        // A cut text keeps its first characters.
        char small[6];
        Time2Str(v, small, sizeof small, 3);
        Time2Str(v, got, sizeof got, 3);
        ASSERT_EQ(std::string(got).substr(0, 5), small);
    }
}

TEST(TextToTime, TimeOfDay)
{
    // Digits below a microsecond are dropped; parts read before a failure
    // count; huge numbers are capped and never overflow.
    const struct {
        const char* text;
        int64_t us;
    } cases[] = {{"12:00:00.05", 12 * kHour + 50000}, {"12:00:00.1234567", 12 * kHour + 123456},
                 {"12:00:00.99999999999999999999", 12 * kHour + 999999}, {"12:30", 12 * kHour + 30 * kMinute},
                 {"12:00:05.", 12 * kHour + 5 * US_PER_SECOND}, {" 9:00:00", 9 * kHour}, {"x", 0}, {"", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(c.us, Str2TimeOfDay(c.text)) << c.text;
    EXPECT_GT(Str2TimeOfDay("99999999999999999999:99999999999999:9999999999.9"), 0);
}

TEST(TextToTime, SyslogYearAndMonthFollowTheLocalClock)
{
    // Moments around a new year where the local year is not UTC's.
    const struct {
        const char* tz;
        int64_t now;
        const char* text;
        int64_t us;
    } cases[] = {
        {"XST-3", Utc(2024, 12, 31, 22), "Jan  1 00:30:00", Utc(2025, 1, 1, 0, 30)},
        {"XST-3", Utc(2024, 12, 31, 22), "Dec 31 23:00:00", Utc(2024, 12, 31, 23)},
        {"YST5", Utc(2025, 1, 1, 2), "Jan  1 00:30:00", Utc(2024, 1, 1, 0, 30)},
        {"YST5", Utc(2025, 1, 1, 2), "Dec 31 20:00:00", Utc(2024, 12, 31, 20)},
        {"UTC0", Utc(2025, 1, 1, 2), "Jan  1 00:30:00", Utc(2025, 1, 1, 0, 30)},
    };
    for (const auto& c : cases) {
        ScopedTz tz(c.tz);
        EXPECT_EQ(c.us, Str2Time(c.text, c.now)) << c.tz << " " << c.text;
    }
}

// A syslog date has no year: it is the clock's, or the year before when it
// would lie more than a day after the clock, whatever the month.
TEST(TextToTime, SyslogYearKeepsTheTimeBehindTheClock)
{
    ScopedTz tz("UTC0");
    const int64_t now = Utc(2026, 12, 8, 9);
    const struct {
        const char* text;
        int64_t us;
    } cases[] = {
        {"Dec 31 23:59:59", Utc(2025, 12, 31, 23, 59, 59)},
        {"Jan  1 00:00:01", Utc(2026, 1, 1, 0, 0, 1)},
        {"Dec  9 09:00:00", Utc(2026, 12, 9, 9)},
        {"Dec  9 09:00:00.000001", Utc(2025, 12, 9, 9, 0, 0, 1)},
        {"Dec  8 23:00:00", Utc(2026, 12, 8, 23)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.us, Str2Time(c.text, now)) << c.text;
}

// The import's reading: the whole text, and a date and time of day that
// exist; a leap second passes. The other readings keep their values.
TEST(TextToTime, WholeTextsOfPossibleTimes)
{
    const int64_t now = Utc(2026, 12, 8, 9);
    const struct {
        const char* text;
        bool whole;
        int64_t us; // as the whole reading gives it
        int64_t loose; // as Str2Time gives it
    } cases[] = {
        {"2026-12-07T10:00:00", true, Utc(2026, 12, 7, 10), Utc(2026, 12, 7, 10)},
        {"2026-12-07T10:00:60", true, Utc(2026, 12, 7, 10, 1), Utc(2026, 12, 7, 10, 1)},
        {"2026-12-07T10:60:00", false, 0, Utc(2026, 12, 7, 11)},
        {"2026-12-07T10:00:61", false, 0, Utc(2026, 12, 7, 10, 1, 1)},
        {"2026-12-07T24:00:00", false, 0, Utc(2026, 12, 8)},
        {"2026-12-07T99:99:99", false, 0, Utc(2026, 12, 11, 4, 40, 39)},
        {"2026-02-29", false, 0, Utc(2026, 3, 1)},
        {"2026-02-30 00:00:00", false, 0, Utc(2026, 3, 2)},
        {"2024-02-29", true, Utc(2024, 2, 29), Utc(2024, 2, 29)},
        {"2026-12-31 23:59:59.5  ", true, Utc(2026, 12, 31, 23, 59, 59, 500000),
         Utc(2026, 12, 31, 23, 59, 59, 500000)},
        {"Nov 31 10:00:00", false, 0, Utc(2026, 12, 1, 10)},
        {"Feb 29 10:00:00", false, 0, Utc(2026, 3, 1, 10)},
        {"Nov 30 10:00:00", true, Utc(2026, 11, 30, 10), Utc(2026, 11, 30, 10)},
        {"Nov 30 24:00:00", false, 0, Utc(2026, 12, 1)},
        {"23:59:60", true, 86400 * US_PER_SECOND, 86400 * US_PER_SECOND},
        {"24:00:00", false, 0, 86400 * US_PER_SECOND},
        {"07/Dec/2024:08:00:00", false, 0, 7},
        {"12345", true, 12345, 12345},
        {"", false, 0, 0},
    };
    ScopedTz tz("UTC0");
    for (const auto& c : cases) {
        int64_t value = -1;
        EXPECT_EQ(c.whole, Str2TimeWhole(c.text, std::strlen(c.text), now, &value)) << c.text;
        EXPECT_EQ(c.us, value) << c.text;
        EXPECT_EQ(c.loose, Str2Time(c.text, now)) << c.text;
    }
    int64_t value = -1;
    EXPECT_FALSE(Str2TimeWhole(nullptr, 0, now, &value));
    EXPECT_EQ(0, value);
    // A duration of time() is not a time of day.
    EXPECT_EQ(25 * kHour + 61 * kMinute, Str2TimeOfDay("25:61"));
}

// Unpadded fields are read where they are; a text whose fields or
// separators are not where a date and time put them is read in part or not
// at all, never as another time. A NUL hides no text from the whole reading.
TEST(TextToTime, UnpaddedAndMalformedDatesNeverNameAnotherTime)
{
    const int64_t now = Utc(2026, 12, 8, 9);
    const struct {
        std::string text;
        bool whole;
        int64_t loose; // as Str2Time gives it
        ptrdiff_t read;
    } cases[] = {
        {"2025-01-19 18:05:03", true, Utc(2025, 1, 19, 18, 5, 3), 19},
        {"2025-1-19 18:05:03", true, Utc(2025, 1, 19, 18, 5, 3), 18},
        {"2024-4-11 22:06:52", true, Utc(2024, 4, 11, 22, 6, 52), 18},
        {"2025-1-9 8:5:3", true, Utc(2025, 1, 9, 8, 5, 3), 14},
        {"2025/1/9  8:05:03.25", true, Utc(2025, 1, 9, 8, 5, 3, 250000), 20},
        {"2025.12.1T8:05:03Z", true, Utc(2025, 12, 1, 8, 5, 3), 18},
        {"2025-1-19 18:05:03+01:00", true, Utc(2025, 1, 19, 18, 5, 3), 24},
        {"2024-2-29 18:50:06", true, Utc(2024, 2, 29, 18, 50, 6), 18},
        {"2025-1-19", true, Utc(2025, 1, 19), 9},
        // Impossible: the loose reading rolls over as Date2Us does.
        {"2025-2-29 18:50:06", false, Utc(2025, 3, 1, 18, 50, 6), 18},
        // Truncated.
        {"2025-1-19 18:05:", false, Utc(2025, 1, 19, 18, 5), 15},
        {"2025-1-19 18:", false, Utc(2025, 1, 19, 18), 12},
        {"2025-1-", false, 0, 0},
        {"2025-1", false, 0, 0},
        // Wrong separators or field widths.
        {"2025-01/19 18:05:03", false, 0, 0},
        {"2025:01:19 18:05:03", false, 0, 0},
        {"2025-001-19 18:05:03", false, 0, 0},
        {"2025-1-190 18:05:03", false, 0, 0},
        {"2025-01-19_18:05:03", false, Utc(2025, 1, 19), 10},
        {"2025-01-19 18.05.03", false, Utc(2025, 1, 19, 18), 13},
        {"2026-12-07+01:00", false, Utc(2026, 12, 7), 10},
        {"Jan  5:10:00:00", false, Utc(2026, 1, 5), 6},
        {"Jan  5 8:05:03", true, Utc(2026, 1, 5, 8, 5, 3), 14},
        // Trailing text and NULs.
        {"2025-01-19 18:05:03 x", false, Utc(2025, 1, 19, 18, 5, 3), 19},
        {std::string("2025-01-19 18:05:03\0xyz", 23), false, Utc(2025, 1, 19, 18, 5, 3), 19},
        {std::string("2025-01-19\0 18:05:03", 20), false, Utc(2025, 1, 19), 10},
        {std::string("Jan  5 10:00:00\0 x", 18), false, Utc(2026, 1, 5, 10), 15},
    };
    ScopedTz tz("UTC0");
    for (const auto& c : cases) {
        int64_t value = -1;
        EXPECT_EQ(c.whole, Str2TimeWhole(c.text.c_str(), c.text.size(), now, &value)) << c.text;
        EXPECT_EQ(c.whole ? c.loose : 0, value) << c.text;
        const char* end = nullptr;
        EXPECT_EQ(c.loose, Str2Time(c.text.c_str(), now, &end)) << c.text;
        EXPECT_EQ(c.read, end - c.text.c_str()) << c.text;
    }
}

TEST(TextToTime, DatesNumbersAndSyslogForms)
{
    // The text's length is checked before a fixed position is read, and a
    // time of day is not a date in year 9. The reading stops after the
    // characters read: a caller tells a text read whole from one read in
    // part.
    const struct {
        const char* text;
        int64_t us;
        ptrdiff_t read;
    } cases[] = {{"2019-06-30 19:06:51.25", Utc(2019, 6, 30, 19, 6, 51, 250000), 22},
                 {"2019-06-30", Utc(2019, 6, 30), 10},
                 {"2019-06", 0, 0},
                 {"2019-13-01 00:00:00", 0, 0},
                 {"2019-00-01 00:00:00", 0, 0},
                 {"9:05:03.5", 9 * kHour + 5 * kMinute + 3 * US_PER_SECOND + 500000, 9},
                 {"0x10", 16, 4},
                 {"010", 8, 3},
                 {"-7", -7, 2},
                 {"abc", 0, 0},
                 {"", 0, 0},
                 {"99999999999999999999999", INT64_MAX, 23},
                 {"Jan  5 10:00:00", Utc(2023, 1, 5, 10), 15},
                 {"Dec 31 23:59:59", Utc(2022, 12, 31, 23, 59, 59), 15},
                 {"Jul 15 01:02:03.4", Utc(2023, 7, 15, 1, 2, 3, 400000), 17},
                 {"Jun  1", Utc(2023, 6, 1), 6},
                 {"jan  5 10:00:00", 0, 0},
                 {"Jan 32 10:00:00", 0, 0},
                 {"Jan  0 10:00:00", 0, 0},
                 // Read in part: the value of the part, and where it stopped.
                 {"07/Dec/2024:08:00:00 +0100", 7, 2},
                 {"2024-12-07 08:00:00 +01:00", Utc(2024, 12, 7, 8), 19},
                 // A zone designator is read but not applied.
                 {"2024-12-07T08:00:00+01:00", Utc(2024, 12, 7, 8), 25},
                 {"2024-12-07T08:00:00.5-0500", Utc(2024, 12, 7, 8, 0, 0, 500000), 26},
                 {"2024-12-07T08:00:01Z", Utc(2024, 12, 7, 8, 0, 1), 20},
                 {"2024-12-07T08:00:00+01", Utc(2024, 12, 7, 8), 22},
                 {"2024-12-07T08:00:00+1", Utc(2024, 12, 7, 8), 19},
                 {"Jan  5 10:00:00 host", Utc(2023, 1, 5, 10), 15},
                 {"9:05:03.", 9 * kHour + 5 * kMinute + 3 * US_PER_SECOND, 7},
                 {"12 ", 12, 2}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.us, Str2Time(c.text, Utc(2023, 7, 15, 12))) << c.text;
        const char* end = nullptr;
        EXPECT_EQ(c.us, Str2Time(c.text, Utc(2023, 7, 15, 12), &end)) << c.text;
        EXPECT_EQ(c.read, end - c.text) << c.text;
    }
    EXPECT_EQ(0, Str2Time(nullptr));
    const char* end = "";
    EXPECT_EQ(0, Str2Time(nullptr, 0, &end));
    EXPECT_EQ(end, nullptr);
    const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 0; m < 12; ++m) {
        std::string text = std::string(names[m]) + " 10 08:00:00";
        EXPECT_EQ(Utc(2023, m + 1, 10, 8), Str2Time(text.c_str(), Utc(2023, 12, 31))) << text;
    }
    const struct {
        const char* text;
        int64_t us;
    } dates[] = {{"19/6/30", Utc(2019, 6, 30)}, {"75-1-2", Utc(1975, 1, 2)}, {"69-1-2", Utc(2069, 1, 2)},
                 {"100.1.2", Utc(100, 1, 2)}, {"2019-6-", 0}, {"2019-13-1", 0}, {"999999999-1-1", 0},
                 // A day its month does not have is no date.
                 {"2025-2-29", 0}, {"2024-2-29", Utc(2024, 2, 29)}, {"19/4/31", 0}};
    for (const auto& dt : dates)
        EXPECT_EQ(dt.us, Str2Date(dt.text)) << dt.text;
    EXPECT_EQ(Utc(2019, 3, 1), Date2Us({2019, 2, 29}));
}

TEST(TextToTime, RoundTripsIndependentOfTimeZone)
{
    for (const char* tz : {"UTC", "Asia/Kolkata"}) {
        ScopedTz scoped(tz);
        time_t probe = 1700000000;
        tm local{};
        localtime_r(&probe, &local);
        EXPECT_EQ(std::string(tz) == "UTC" ? 0 : 19800, local.tm_gmtoff) << tz;

        std::mt19937_64 rng(2024);
        std::uniform_int_distribution<int64_t> instants(0, Utc(2100, 1, 1));
        for (int i = 0; i < 5000; ++i) {
            int64_t t = instants(rng);
            std::string abs = Abs(t);
            ASSERT_EQ(t, Str2Time(abs.c_str())) << tz << " " << abs;
            if (t >= DURATION_LIMIT_US) {
                std::string form3 = T2S(t, 3);
                ASSERT_EQ(t, Str2Time(form3.c_str())) << tz << " " << form3;
                ASSERT_EQ(t - t % 1000, Str2Time(T2S(t, 2).c_str())) << tz;
                ASSERT_EQ(t - t % US_PER_SECOND, Str2Time(T2S(t, 1).c_str())) << tz;
            }
        }
        EXPECT_EQ("2019-06-30 19:06:51.250000", T2S(Utc(2019, 6, 30, 19, 6, 51, 250000), 3)) << tz;
    }
}

TEST(Wildcards, EdgesBeyondTheRandomReference)
{
    EXPECT_TRUE(StrWildMatch("mississippi", "m*iss*pi", true));
    EXPECT_FALSE(StrWildMatch("mississippi", "m*iss*pix", true));
    EXPECT_TRUE(StrWildMatch("abc.TXT", "*.txt", false));
    EXPECT_TRUE(StrWildMatch(nullptr, "", true));
    // Bytes above 127 are not folded.
    EXPECT_FALSE(StrWildMatch("\xC4", "\xE4", false));
}

TEST(Wildcards, AgreesWithRecursiveReference)
{
    std::mt19937 rng(99);
    const char textChars[] = "abAB";
    const char patternChars[] = "abAB?**";
    for (int i = 0; i < 20000; ++i) {
        std::string text, pattern;
        int tl = int(rng() % 9), pl = int(rng() % 7);
        for (int k = 0; k < tl; ++k)
            text += textChars[rng() % 4];
        for (int k = 0; k < pl; ++k)
            pattern += patternChars[rng() % 7];
        for (bool matchCase : {false, true}) {
            ASSERT_EQ(WildReference(text.c_str(), pattern.c_str(), matchCase),
                      StrWildMatch(text.c_str(), pattern.c_str(), matchCase))
                << "text '" << text << "' pattern '" << pattern << "' case " << matchCase;
        }
    }
}
