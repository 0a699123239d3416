#include "kxlib/fields.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "utils/common/convert.h"

namespace {

std::string Num(int64_t value, uint32_t format)
{
    char out[FIELD_NUM_TEXT_MAX];
    int n = fieldsConvertNum2Str(value, out, format);
    EXPECT_EQ(n, static_cast<int>(std::string(out).size()));
    EXPECT_LT(n, static_cast<int>(FIELD_NUM_TEXT_MAX));
    return out;
}

TEST(FieldTableTest, LayoutKeysAndTitles)
{
    int numbers = 0, strings = 0, numberWidths = 0;
    bool slotUsed[10] = {};
    for (int i = 0; i < FIELD_Nums; ++i) {
        const FieldDesc& d = FieldTable[i].desc;
        if (d.kind == FIELD_KIND_STRING) {
            ++strings;
            ASSERT_GE(d.strSlot, 0);
            ASSERT_LT(d.strSlot, 9);
            EXPECT_FALSE(slotUsed[d.strSlot]) << FieldTable[i].key;
            slotUsed[d.strSlot] = true;
        } else {
            ++numbers;
            EXPECT_EQ(d.strSlot, -1);
            numberWidths += d.width;
        }
        EXPECT_EQ(FieldIndexByKey(FieldTable[i].key), i);
    }
    EXPECT_EQ(numbers, 16);
    EXPECT_EQ(strings, 9);
    // The number texts of a record share one buffer, each in a span that
    // holds its longest text.
    EXPECT_EQ(numberWidths, 344);

    EXPECT_EQ(FieldIndexByKey("TIME"), 5);
    for (const char* key : {"time", "TIME ", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(FieldIndexByKey(key), -1) << (key ? key : "null");
    EXPECT_STREQ(FieldTitle(25), "INCORRECT VALUE");
    EXPECT_STREQ(FieldTitle(-1), "None");
    EXPECT_STREQ(FieldTitle(FIELD_ETIME), "Exec Time");
    EXPECT_STREQ(FieldKey(100), "INCORRECT VALUE");
    EXPECT_EQ(FieldValidNumFormat(0), static_cast<uint32_t>(NUMFMT_INT));
    EXPECT_EQ(FieldValidNumFormat(14), static_cast<uint32_t>(NUMFMT_INT));
    EXPECT_EQ(FieldValidNumFormat(NUMFMT_DECIMAL6), static_cast<uint32_t>(NUMFMT_DECIMAL6));
}

TEST(FieldNumberText, ExactTexts)
{
    const int64_t t = 1561907211250000LL; // 2019-06-30 15:06:51.250000 UTC
    const struct {
        int64_t value;
        uint32_t format;
        const char* text;
    } cases[] = {
        {-5, NUMFMT_INT, "-5"},
        {INT64_MIN, NUMFMT_INT, "-9223372036854775808"},
        {-5, NUMFMT_HEX, "0xFFFFFFFB"},
        {0x1234ABCDEF, NUMFMT_HEX, "0x34ABCDEF"},
        {0, NUMFMT_HEX, "0x0"},
        // The first octet is the low byte.
        {192 | 168 << 8 | 1 << 16 | 1 << 24, NUMFMT_IP, "192.168.1.1"},
        {int64_t(0xFFFFFFFF00000000ULL | 10), NUMFMT_IP, "10.0.0.0"},
        {1234567, NUMFMT_DECIMAL3, "1234.567"},
        {5, NUMFMT_DECIMAL3, "0.005"},
        {-5, NUMFMT_DECIMAL3, "-0.005"},
        {123456789, NUMFMT_DECIMAL1, "12345678.9"},
        {1234567890, NUMFMT_DECIMAL6, "1234.567890"},
        {0, NUMFMT_DECIMAL2, "0.00"},
        {t, NUMFMT_MINUTES, "2019-06-30 15:06"},
        {t, NUMFMT_SECONDS, "2019-06-30 15:06:51"},
        {t, NUMFMT_MILLISECONDS, "2019-06-30 15:06:51.250"},
        {t, NUMFMT_MICROSECONDS, "2019-06-30 15:06:51.250000"},
        // Small values are durations.
        {61 * 1000000LL, NUMFMT_SECONDS, "0:01:01"},
        {90061000000LL, NUMFMT_MICROSECONDS, "1d 1:01:01.000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Num(c.value, c.format), c.text);
    }
    // Every format keeps extreme values inside the text limit (checked by Num).
    for (uint32_t format = NUMFMT_INT; format < NUMFMT_Nums; ++format)
        for (int64_t v : {int64_t(0), int64_t(-1), INT64_MIN, INT64_MAX, t})
            Num(v, format);
}

// Rendering in place: the same text as through a buffer when it fits with
// its terminator, no byte written past it, and nothing at all when it does
// not fit.
TEST(FieldNumberText, InPlaceFitsOrWritesNothing)
{
    const struct {
        int64_t value;
        uint32_t format;
        int room;
        const char* text; // null: does not fit
    } cases[] = {
        {0, NUMFMT_INT, 2, "0"},
        {0, NUMFMT_INT, 1, nullptr},
        {-5, NUMFMT_INT, 3, "-5"},
        {-5, NUMFMT_INT, 2, nullptr},
        {99, NUMFMT_INT, 3, "99"},
        {100, NUMFMT_INT, 3, nullptr},
        {INT64_MIN, NUMFMT_INT, 21, "-9223372036854775808"},
        {INT64_MIN, NUMFMT_INT, 20, nullptr},
        {INT64_MAX, NUMFMT_INT, 20, "9223372036854775807"},
        {0xABC, NUMFMT_HEX, 6, "0xABC"},
        {0xABC, NUMFMT_HEX, 5, nullptr},
        {1234567, NUMFMT_DECIMAL3, 9, "1234.567"},
        {1234567, NUMFMT_DECIMAL3, 8, nullptr},
        {61 * 1000000LL, NUMFMT_SECONDS, 8, "0:01:01"},
        {-5, NUMFMT_DECIMAL6, 10, "-0.000005"},
        {-5, NUMFMT_DECIMAL6, 9, nullptr},
        {90061000000LL, NUMFMT_MICROSECONDS, 18, "1d 1:01:01.000000"},
        {90061000000LL, NUMFMT_MICROSECONDS, 17, nullptr},
        {-36000000000LL, NUMFMT_MILLISECONDS, 14, "-10:00:00.000"},
        {-36000000000LL, NUMFMT_MILLISECONDS, 13, nullptr},
        // A duration's milliseconds are cut toward zero before the sign.
        {-999, NUMFMT_MILLISECONDS, 12, "0:00:00.000"},
        {-1500, NUMFMT_MILLISECONDS, 13, "-0:00:00.001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " in " << c.room);
        char out[FIELD_NUM_TEXT_MAX + 8];
        memset(out, '#', sizeof out);
        const int length = fieldsRenderNum(c.value, out, c.room, c.format);
        if (!c.text) {
            EXPECT_EQ(length, -1);
            EXPECT_EQ(std::string(out, sizeof out), std::string(sizeof out, '#'));
            continue;
        }
        EXPECT_EQ(length, int(strlen(c.text)));
        EXPECT_STREQ(out, c.text);
        EXPECT_EQ(Num(c.value, c.format), c.text);
        EXPECT_EQ(std::string(out + length + 1, sizeof out - size_t(length) - 1),
                  std::string(sizeof out - size_t(length) - 1, '#'));
    }
}

TEST(FieldNumberText, IntegerAndHexAgreeWithPrintfOnRandomValues)
{
    std::mt19937_64 rng(7);
    for (int i = 0; i < 20000; ++i) {
        // Vary the magnitude so that every digit count occurs.
        int64_t v = static_cast<int64_t>(rng() >> (rng() % 64));
        if (i & 1)
            v = -v;
        char expected[64];
        snprintf(expected, sizeof expected, "%" PRId64, v);
        ASSERT_EQ(Num(v, NUMFMT_INT), expected);
        char inPlace[FIELD_NUM_TEXT_MAX];
        ASSERT_EQ(fieldsRenderNum(v, inPlace, int(sizeof inPlace), NUMFMT_INT), int(strlen(expected)));
        ASSERT_STREQ(inPlace, expected);
        snprintf(expected, sizeof expected, "0x%X", static_cast<uint32_t>(v));
        ASSERT_EQ(Num(v, NUMFMT_HEX), expected);
        ASSERT_EQ(fieldsRenderNum(v, inPlace, int(sizeof inPlace), NUMFMT_HEX), int(strlen(expected)));
        ASSERT_STREQ(inPlace, expected);
    }
}

// The fixed-point and duration texts written in place: those of the number
// and time conversions, for every digit count, sign and day count.
TEST(FieldNumberText, FixedAndDurationsInPlaceAgreeWithConversions)
{
    std::vector<int64_t> values = {0, -1, -999, -1000, -1001, 999999, 1000000, 86399999999LL, 86400000000LL,
                                   ZmLib::DURATION_LIMIT_US - 1, INT64_MIN, INT64_MIN + 1, INT64_MAX};
    std::mt19937_64 rng(5);
    for (int i = 0; i < 20000; ++i) {
        const int64_t v = static_cast<int64_t>(rng() >> (rng() % 64));
        values.push_back(i & 1 ? -v : v);
    }
    const uint32_t formats[] = {NUMFMT_DECIMAL1, NUMFMT_DECIMAL2, NUMFMT_DECIMAL3,    NUMFMT_DECIMAL4,
                                NUMFMT_DECIMAL5, NUMFMT_DECIMAL6, NUMFMT_MILLISECONDS, NUMFMT_MICROSECONDS};
    for (int64_t v : values) {
        for (uint32_t format : formats) {
            char inPlace[FIELD_NUM_TEXT_MAX];
            const int length = fieldsRenderNum(v, inPlace, int(sizeof inPlace), format);
            ASSERT_GE(length, 0) << v << " as " << format;
            ASSERT_EQ(Num(v, format), std::string(inPlace, size_t(length))) << v << " as " << format;
            ASSERT_EQ(inPlace[length], 0);
        }
    }
}

// Instants render their date and time of day once per second; the texts must
// stay those of the time conversions whatever came before.
TEST(FieldNumberText, InstantsAgreeWithTimeConversionsInAnyOrder)
{
    const int64_t second = ZmLib::US_PER_SECOND;
    const int64_t lastOf9999 = 253402300799LL * second; // 9999-12-31 23:59:59
    std::vector<int64_t> values = {
        1561907211250000LL, 1561907211999999LL, 1561907211000001LL, 1561907212000000LL, 1561907211250000LL,
        ZmLib::DURATION_LIMIT_US - 1, ZmLib::DURATION_LIMIT_US, ZmLib::DURATION_LIMIT_US + 999999,
        lastOf9999 + 999999, lastOf9999 + second, lastOf9999 + second + 5, lastOf9999, -1, INT64_MAX,
    };
    std::mt19937_64 rng(11);
    for (int i = 0; i < 5000; ++i)
        values.push_back(ZmLib::DURATION_LIMIT_US + int64_t(rng() % uint64_t(lastOf9999)) - int64_t(rng() % 3));
    for (int64_t v : values) {
        for (uint32_t format : {NUMFMT_MILLISECONDS, NUMFMT_MICROSECONDS}) {
            char expected[FIELD_NUM_TEXT_MAX];
            ZmLib::Time2Str(v, expected, sizeof expected, int(format - NUMFMT_MINUTES));
            ASSERT_EQ(Num(v, format), expected) << v;
        }
    }
}

} // namespace
