#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "kxviewer/shelltext.h"

TEST(FormatMicroseconds, SecondsAndMicroseconds)
{
    EXPECT_EQ(FormatMicroseconds(0), "0.000000");
    EXPECT_EQ(FormatMicroseconds(-1500000), "-1.500000");
    EXPECT_EQ(FormatMicroseconds(1234567), "1.234567");
    EXPECT_EQ(FormatMicroseconds(-1), "-0.000001");
    EXPECT_EQ(FormatMicroseconds(INT64_MIN), "-9223372036854.775808");
}

TEST(FormatMicroseconds, EachResultIsItsOwn)
{
    const QString first = FormatMicroseconds(1);
    const QString second = FormatMicroseconds(2);
    EXPECT_EQ(first, "0.000001");
    EXPECT_EQ(second, "0.000002");
}

// Central European time: on 29 March 2026 the clocks go from 02:00 to 03:00.
class TimeOfDay : public testing::Test {
protected:
    void SetUp() override
    {
        const char* tz = getenv("TZ");
        hadTz_ = tz != nullptr;
        if (hadTz_)
            savedTz_ = tz;
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override
    {
        if (hadTz_)
            setenv("TZ", savedTz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    static constexpr int64_t SwitchUtc = 1774746000LL * 1000000; // 2026-03-29 01:00 UTC

private:
    bool hadTz_ = false;
    std::string savedTz_;
};

TEST_F(TimeOfDay, FollowsTheDaylightSavingChange)
{
    EXPECT_EQ(TimeOfDayText(SwitchUtc - 30 * 60 * 1000000LL), " 1:30:00");
    EXPECT_EQ(TimeOfDayText(SwitchUtc + 30 * 60 * 1000000LL), " 3:30:00");
}

TEST_F(TimeOfDay, HoursBeforeTenStartWithABlank)
{
    EXPECT_EQ(TimeOfDayText(SwitchUtc + 7 * 3600 * 1000000LL + 5 * 1000000LL), "10:00:05");
    EXPECT_EQ(TimeOfDayText(SwitchUtc + 6 * 3600 * 1000000LL + 999999), " 9:00:00");
}
