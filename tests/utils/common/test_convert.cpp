#include "utils/common/convert.h"
#include "utils/common/strbase.h"

#include <gtest/gtest.h>

#include <clocale>
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
class ScopedTz {
public:
    explicit ScopedTz(const char* tz)
    {
        const char* old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (old)
            old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTz()
    {
        if (hadOld_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool hadOld_ = false;
    std::string old_;
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
    EXPECT_EQ(0, DaysFromCivil(1970, 1, 1));
    EXPECT_EQ(-719468, DaysFromCivil(0, 3, 1));
    EXPECT_EQ(11016, DaysFromCivil(2000, 2, 29));
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<int64_t> any(INT64_MIN, INT64_MAX);
    for (int i = 0; i < 20000; ++i) {
        int64_t us = any(rng);
        CivilTime c = CivilFromUs(us);
        ASSERT_GE(c.month, 1);
        ASSERT_LE(c.month, 12);
        ASSERT_GE(c.day, 1);
        ASSERT_LE(c.day, 31);
        __int128 back = (__int128)DaysFromCivil(c.year, c.month, c.day) * US_PER_DAY +
                        (((c.hour * 60 + c.minute) * 60 + c.second) * US_PER_SECOND) + c.microsecond;
        ASSERT_TRUE(back == us) << us;
    }
    CivilTime neg = CivilFromUs(-1);
    EXPECT_EQ(1969, neg.year);
    EXPECT_EQ(12, neg.month);
    EXPECT_EQ(31, neg.day);
    EXPECT_EQ(23, neg.hour);
    EXPECT_EQ(999999, neg.microsecond);
}

TEST(Addresses, TextForms)
{
    char buf[32];
    uint32_t ip = 10u | (1u << 8) | (2u << 16) | (3u << 24);
    EXPECT_EQ(8, IP2Str(ip, buf, sizeof buf));
    EXPECT_STREQ("10.1.2.3", buf);
    EXPECT_EQ(18, IPPort2Str(0xFFFFFFFFu, 80, buf, sizeof buf));
    EXPECT_STREQ("255.255.255.255:80", buf);
    EXPECT_EQ(14, IPPort2Str(0xFFFFFFFFu, 80, buf, 15));
    EXPECT_STREQ("255.255.255.25", buf);
    EXPECT_STREQ("4.3.2.1:65535", IPPort2Temp(0x01020304u, 65535));
    char tiny[5];
    EXPECT_EQ(4, IP2Str(ip, tiny, sizeof tiny));
    EXPECT_STREQ("10.1", tiny);
}

TEST(Addresses, Parsing)
{
    EXPECT_EQ(10u | (1u << 8) | (2u << 16) | (3u << 24), Str2IP("10.1.2.3"));
    EXPECT_EQ(0u, Str2IP("10.1.2"));
    EXPECT_EQ(0u, Str2IP("10.1.2.300"));
    EXPECT_EQ(0u, Str2IP(nullptr));
    uint32_t ip = 77;
    EXPECT_FALSE(Str2IPChecked("1.2.3", &ip));
    EXPECT_EQ(77u, ip);
    EXPECT_TRUE(Str2IPChecked("0.0.0.0", &ip));
    EXPECT_EQ(0u, ip);

    uint32_t bits = 0;
    EXPECT_EQ(10u, Str2IPMask("10.0.0.0/40", &bits));
    EXPECT_EQ(0xFFFFFFFFu, bits);
    EXPECT_EQ(10u | (1u << 24), Str2IPMask("10.0.0.1", &bits));
    EXPECT_EQ(32u, bits);
    EXPECT_EQ(192u | (168u << 8), Str2IPMask("192.168.0.0/16", &bits));
    EXPECT_EQ(16u, bits);
    EXPECT_EQ(10u, Str2IPMask("10.0.0.0/", &bits));
    EXPECT_EQ(0xFFFFFFFFu, bits);

    uint32_t port = 9;
    EXPECT_EQ(127u | (1u << 24), Str2IPPort("127.0.0.1:8080", &port));
    EXPECT_EQ(8080u, port);
    EXPECT_EQ(127u | (1u << 24), Str2IPPort("127.0.0.1", &port));
    EXPECT_EQ(0u, port);
    // Only the first 31 characters are looked at.
    std::string longText = "1.2.3.4:" + std::string(40, '5');
    EXPECT_EQ(1u | (2u << 8) | (3u << 16) | (4u << 24), Str2IPPort(longText.c_str(), &port));
}

TEST(Numbers, Int64ToFixed)
{
    char buf[32];
    EXPECT_EQ(6, Int64ToFixed(12345, 2, buf, sizeof buf));
    EXPECT_STREQ("123.45", buf);
    EXPECT_EQ(5, Int64ToFixed(5, 3, buf, sizeof buf));
    EXPECT_STREQ("0.005", buf);
    EXPECT_EQ(3, Int64ToFixed(5, 1, buf, sizeof buf));
    EXPECT_STREQ("0.5", buf);
    EXPECT_EQ(4, Int64ToFixed(-5, 1, buf, sizeof buf));
    EXPECT_STREQ("-0.5", buf);
    EXPECT_EQ(6, Int64ToFixed(-5, 3, buf, sizeof buf));
    EXPECT_STREQ("-0.005", buf);
    Int64ToFixed(-12345, 2, buf, sizeof buf);
    EXPECT_STREQ("-123.45", buf);
    Int64ToFixed(42, 0, buf, sizeof buf);
    EXPECT_STREQ("42", buf);
    Int64ToFixed(INT64_MIN, 3, buf, sizeof buf);
    EXPECT_STREQ("-9223372036854775.808", buf);
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
    EXPECT_STREQ("", s.c_str());

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

TEST(TimeToText, Durations)
{
    int64_t d = 24 * kHour + kHour + kMinute + US_PER_SECOND;
    EXPECT_EQ("1d 1:01:01.000000", T2S(d, 3));
    EXPECT_EQ("25:01:01", T2S(d, 1));
    EXPECT_EQ("25:01", T2S(d, 0));
    EXPECT_EQ("1d 1:01:01.000", T2S(d, 2));
    EXPECT_EQ("-0:01:01", T2S(-61 * US_PER_SECOND, 1));
    EXPECT_EQ("-0:01", T2S(-61 * US_PER_SECOND, 0));
    EXPECT_EQ("0:00:00.000250", T2S(250, 3));
    EXPECT_EQ("-0:00:01.500000", T2S(-1500000, 3));
    EXPECT_EQ("-0:00:01.500", T2S(-1500000, 2));
    EXPECT_EQ("", T2S(5, 4));
    EXPECT_EQ("", T2S(-5, -1));
    // The largest negative value has no positive counterpart.
    EXPECT_EQ("-106751991d 4:00:54.775808", T2S(INT64_MIN, 3));

    char buf[32];
    RelTime2StrMs(3 * 86400 * 1000LL + 5, buf, sizeof buf);
    EXPECT_STREQ("3d 0:00:00.005", buf);
    EXPECT_EQ(8, Secs2Str(86400 + 3600 * 5 + 62, buf, sizeof buf));
    EXPECT_STREQ(" 5:01:02", buf);
    Secs2Str(-1, buf, sizeof buf);
    EXPECT_STREQ("23:59:59", buf);
}

TEST(TimeToText, Instants)
{
    int64_t t = Utc(2019, 6, 30, 19, 6, 51, 250000);
    EXPECT_EQ("2019-06-30 19:06", T2S(t, 0));
    EXPECT_EQ("2019-06-30 19:06:51", T2S(t, 1));
    EXPECT_EQ("2019-06-30 19:06:51.250", T2S(t, 2));
    EXPECT_EQ("2019-06-30 19:06:51.250000", T2S(t, 3));
    EXPECT_EQ("", T2S(t, 7));
    EXPECT_EQ("1979-12-30 00:00", T2S(DURATION_LIMIT_US, 0));
    EXPECT_EQ("3649d 23:59:59.999999", T2S(DURATION_LIMIT_US - 1, 3));

    EXPECT_EQ("1970-01-01  0:00:00.000000", Abs(0));
    EXPECT_EQ("2000-02-29 23:59:59.999999", Abs(Utc(2000, 3, 1) - 1));
    EXPECT_EQ("1969-12-31 23:59:59.999999", Abs(-1));
    EXPECT_EQ("294247-01-10  4:00:54.775807", Abs(INT64_MAX));
    EXPECT_EQ("-290308-12-21 19:59:05.224192", Abs(INT64_MIN));

    char small[11];
    EXPECT_EQ(10, Time2Str(t, small, sizeof small, 3));
    EXPECT_STREQ("2019-06-30", small);
}

TEST(TextToTime, TimeOfDay)
{
    EXPECT_EQ(12 * kHour + 500000, Str2TimeOfDay("12:00:00.5"));
    EXPECT_EQ(12 * kHour + 123456, Str2TimeOfDay("12:00:00.123456"));
    EXPECT_EQ(12 * kHour, Str2TimeOfDay("12:00:00"));
    EXPECT_EQ(12 * kHour + 50000, Str2TimeOfDay("12:00:00.05"));
    // Digits below a microsecond are dropped.
    EXPECT_EQ(12 * kHour + 123456, Str2TimeOfDay("12:00:00.1234567"));
    EXPECT_EQ(12 * kHour + 999999, Str2TimeOfDay("12:00:00.99999999999999999999"));
    // Parts read before a failure count.
    EXPECT_EQ(12 * kHour + 30 * kMinute, Str2TimeOfDay("12:30"));
    EXPECT_EQ(12 * kHour, Str2TimeOfDay("12"));
    EXPECT_EQ(12 * kHour + 5 * US_PER_SECOND, Str2TimeOfDay("12:00:05."));
    EXPECT_EQ(0, Str2TimeOfDay("x"));
    EXPECT_EQ(0, Str2TimeOfDay(""));
    EXPECT_EQ(9 * kHour, Str2TimeOfDay(" 9:00:00"));
    // Huge numbers are capped and never overflow.
    EXPECT_GT(Str2TimeOfDay("99999999999999999999:99999999999999:9999999999.9"), 0);
}

TEST(TextToTime, DateTimeForm)
{
    EXPECT_EQ(Utc(2019, 6, 30, 19, 6, 51, 250000), Str2Time("2019-06-30 19:06:51.25"));
    EXPECT_EQ(Utc(2019, 6, 30), Str2Time("2019-06-30"));
    EXPECT_EQ(Utc(2019, 6, 30), Str2Time("2019-06-30 "));
    EXPECT_EQ(0, Str2Time("2019-06"));
    EXPECT_EQ(0, Str2Time("2019-13-01 00:00:00"));
    EXPECT_EQ(0, Str2Time("2019-00-01 00:00:00"));
    EXPECT_EQ(Utc(1970, 1, 1, 0, 0, 1), Str2Time("1970-01-01  0:00:01.000000"));
    // A time of day is not a date in year 9.
    EXPECT_EQ(9 * kHour + 5 * kMinute + 3 * US_PER_SECOND + 500000, Str2Time("9:05:03.5"));
    EXPECT_EQ(19 * kHour + 5 * kMinute, Str2Time("19:05:00"));
}

TEST(TextToTime, SyslogForm)
{
    int64_t now = Utc(2023, 7, 15, 12);
    EXPECT_EQ(Utc(2023, 1, 5, 10), Str2Time("Jan  5 10:00:00", now));
    EXPECT_EQ(Utc(2022, 12, 31, 23, 59, 59), Str2Time("Dec 31 23:59:59", now));
    EXPECT_EQ(Utc(2023, 12, 31, 23, 59, 59), Str2Time("Dec 31 23:59:59", Utc(2023, 12, 1)));
    EXPECT_EQ(Utc(2023, 7, 15, 1, 2, 3, 400000), Str2Time("Jul 15 01:02:03.4", now));
    EXPECT_EQ(Utc(2023, 6, 1), Str2Time("Jun  1", now));
    EXPECT_EQ(0, Str2Time("jan  5 10:00:00", now));
    EXPECT_EQ(0, Str2Time("Jxx  5 10:00:00", now));
    EXPECT_EQ(0, Str2Time("Jan 32 10:00:00", now));
    EXPECT_EQ(0, Str2Time("Jan  0 10:00:00", now));

    const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int64_t endOfYear = Utc(2023, 12, 31);
    for (int m = 0; m < 12; ++m) {
        std::string text = std::string(names[m]) + " 10 08:00:00";
        EXPECT_EQ(Utc(2023, m + 1, 10, 8), Str2Time(text.c_str(), endOfYear)) << text;
    }

    // Without a given instant the year comes from the clock.
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    CivilTime c = CivilFromUs(int64_t(ts.tv_sec) * US_PER_SECOND);
    EXPECT_EQ(Utc(int(c.year), 1, 5, 10), Str2Time("Jan  5 10:00:00"));
}

TEST(TextToTime, RawNumbersAndDates)
{
    EXPECT_EQ(16, Str2Time("0x10"));
    EXPECT_EQ(8, Str2Time("010"));
    EXPECT_EQ(123, Str2Time("123"));
    EXPECT_EQ(-7, Str2Time("-7"));
    EXPECT_EQ(0, Str2Time("abc"));
    EXPECT_EQ(0, Str2Time(""));
    EXPECT_EQ(0, Str2Time(nullptr));
    EXPECT_EQ(INT64_MAX, Str2Time("99999999999999999999999"));

    EXPECT_EQ(Utc(2019, 6, 30), Str2Date("19/6/30"));
    EXPECT_EQ(Utc(1975, 1, 2), Str2Date("75-1-2"));
    EXPECT_EQ(Utc(2069, 1, 2), Str2Date("69-1-2"));
    EXPECT_EQ(Utc(100, 1, 2), Str2Date("100.1.2"));
    EXPECT_EQ(0, Str2Date("2019-6"));
    EXPECT_EQ(0, Str2Date("2019-6-"));
    EXPECT_EQ(0, Str2Date("2019-13-1"));
    EXPECT_EQ(0, Str2Date("999999999-1-1"));
    EXPECT_EQ(0, Date2Us({2019, 2, 0}));
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

TEST(Wildcards, Examples)
{
    EXPECT_TRUE(StrWildMatch("abc.TXT", "*.txt", false));
    EXPECT_FALSE(StrWildMatch("abc.TXT", "*.txt", true));
    EXPECT_TRUE(StrWildMatch("abc", "A*", false));
    EXPECT_FALSE(StrWildMatch("abc", "A*", true));
    EXPECT_TRUE(StrWildMatch("", "*", true));
    EXPECT_TRUE(StrWildMatch("", "***", true));
    EXPECT_FALSE(StrWildMatch("", "?", true));
    EXPECT_TRUE(StrWildMatch("aaab", "*aab", true));
    EXPECT_TRUE(StrWildMatch("mississippi", "m*iss*pi", true));
    EXPECT_FALSE(StrWildMatch("mississippi", "m*iss*pix", true));
    EXPECT_TRUE(StrWildMatch("abc", "a?c", true));
    EXPECT_FALSE(StrWildMatch("abcd", "a?c", true));
    EXPECT_FALSE(StrWildMatch("ab", "abc", true));
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
