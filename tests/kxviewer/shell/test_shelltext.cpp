#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "kxviewer/shelltext.h"

TEST(FormatMicroseconds, SecondsAndMicroseconds)
{
    // Held while the others are made: each result is its own.
    const QString first = FormatMicroseconds(1);
    const struct {
        int64_t value;
        const char* text;
    } cases[] = {{0, "0.000000"},        {-1500000, "-1.500000"}, {1234567, "1.234567"},
                 {-1, "-0.000001"},      {2, "0.000002"},         {INT64_MIN, "-9223372036854.775808"}};
    for (const auto& c : cases)
        EXPECT_EQ(FormatMicroseconds(c.value), c.text) << c.value;
    EXPECT_EQ(first, "0.000001");
}

// Central European time: on 29 March 2026 the clocks go from 02:00 to 03:00;
// hours before ten start with a blank.
TEST(TimeOfDay, FollowsTheDaylightSavingChange)
{
    const char* tz = getenv("TZ");
    const std::string saved = tz ? tz : "";
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    constexpr int64_t switchUtc = 1774746000LL * 1000000; // 2026-03-29 01:00 UTC
    constexpr int64_t second = 1000000;
    EXPECT_EQ(TimeOfDayText(switchUtc - 1800 * second), " 1:30:00");
    EXPECT_EQ(TimeOfDayText(switchUtc + 1800 * second), " 3:30:00");
    EXPECT_EQ(TimeOfDayText(switchUtc + 7 * 3600 * second + 5 * second), "10:00:05");
    EXPECT_EQ(TimeOfDayText(switchUtc + 6 * 3600 * second + 999999), " 9:00:00");
    if (tz)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
