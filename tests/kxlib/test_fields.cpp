#include "kxlib/fields.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <time.h>

namespace {

std::string Num(int64_t value, uint32_t format)
{
    char out[FIELD_NUM_TEXT_MAX];
    int n = fieldsConvertNum2Str(value, out, format);
    EXPECT_EQ(n, static_cast<int>(std::string(out).size()));
    return out;
}

TEST(FieldTableTest, LayoutOfTheTable)
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
    // The number texts of a record share one 229-byte buffer.
    EXPECT_EQ(numberWidths, 214);
}

TEST(FieldTableTest, KeysAreExactAndTitlesGuardTheRange)
{
    EXPECT_EQ(FieldIndexByKey("TIME"), 5);
    EXPECT_EQ(FieldIndexByKey("time"), -1);
    EXPECT_EQ(FieldIndexByKey("TIME "), -1);
    EXPECT_EQ(FieldIndexByKey(""), -1);
    EXPECT_EQ(FieldIndexByKey(nullptr), -1);
    EXPECT_STREQ(FieldTitle(25), "INCORRECT VALUE");
    EXPECT_STREQ(FieldTitle(-1), "None");
    EXPECT_STREQ(FieldTitle(FIELD_ETIME), "Exec Time");
    EXPECT_STREQ(FieldKey(FIELD_KXKEY), "KXKEY");
    EXPECT_STREQ(FieldKey(100), "INCORRECT VALUE");
}

TEST(FieldNumberText, IntegerHexAndAddress)
{
    EXPECT_EQ(Num(-5, NUMFMT_INT), "-5");
    EXPECT_EQ(Num(INT64_MIN, NUMFMT_INT), "-9223372036854775808");
    EXPECT_EQ(Num(-5, NUMFMT_HEX), "0xFFFFFFFB");
    EXPECT_EQ(Num(0x1234ABCDEF, NUMFMT_HEX), "0x34ABCDEF");
    EXPECT_EQ(Num(0, NUMFMT_HEX), "0x0");
    EXPECT_EQ(Num(192 | 168 << 8 | 1 << 16 | 1 << 24, NUMFMT_IP), "192.168.1.1");
    EXPECT_EQ(Num(0xFFFFFFFF00000000LL | 10, NUMFMT_IP), "10.0.0.0");
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
        snprintf(expected, sizeof expected, "0x%X", static_cast<uint32_t>(v));
        ASSERT_EQ(Num(v, NUMFMT_HEX), expected);
    }
}

TEST(FieldNumberText, Decimals)
{
    EXPECT_EQ(Num(1234567, NUMFMT_DECIMAL3), "1234.567");
    EXPECT_EQ(Num(5, NUMFMT_DECIMAL3), "0.005");
    EXPECT_EQ(Num(-5, NUMFMT_DECIMAL3), "-0.005");
    EXPECT_EQ(Num(123456789, NUMFMT_DECIMAL1), "12345678.9");
    EXPECT_EQ(Num(1234567890, NUMFMT_DECIMAL6), "1234.567890");
    EXPECT_EQ(Num(0, NUMFMT_DECIMAL2), "0.00");
}

TEST(FieldNumberText, TimesInEveryResolution)
{
    // 2019-06-30 15:06:51.250000 UTC
    const int64_t t = 1561907211250000LL;
    EXPECT_EQ(Num(t, NUMFMT_MINUTES), "2019-06-30 15:06");
    EXPECT_EQ(Num(t, NUMFMT_SECONDS), "2019-06-30 15:06:51");
    EXPECT_EQ(Num(t, NUMFMT_MILLISECONDS), "2019-06-30 15:06:51.250");
    EXPECT_EQ(Num(t, NUMFMT_MICROSECONDS), "2019-06-30 15:06:51.250000");
    // Small values are durations.
    EXPECT_EQ(Num(61 * 1000000LL, NUMFMT_SECONDS), "0:01:01");
    EXPECT_EQ(Num(90061000000LL, NUMFMT_MICROSECONDS), "1d 1:01:01.000000");
}

TEST(FieldNumberText, EveryNumberFieldFitsItsWidth)
{
    const int64_t extremes[] = {0, -1, INT64_MIN, INT64_MAX, 1561907211250000LL};
    for (int f = 0; f < FIELD_Nums; ++f) {
        if (!FieldIsNumber(f))
            continue;
        for (uint32_t fmt = NUMFMT_INT; fmt < NUMFMT_Nums; ++fmt)
            for (int64_t v : extremes) {
                char out[64];
                int n = fieldsConvertNum2Str(v, out, fmt);
                EXPECT_LT(n, static_cast<int>(FIELD_NUM_TEXT_MAX)) << "format " << fmt << " value " << v;
            }
    }
}

TEST(FieldNumberText, StoredFormatsOutsideTheRangeBecomeIntegers)
{
    EXPECT_EQ(FieldValidNumFormat(0), static_cast<uint32_t>(NUMFMT_INT));
    EXPECT_EQ(FieldValidNumFormat(14), static_cast<uint32_t>(NUMFMT_INT));
    EXPECT_EQ(FieldValidNumFormat(NUMFMT_DECIMAL6), static_cast<uint32_t>(NUMFMT_DECIMAL6));
}

TEST(FieldNumberTextDeath, FormatZeroIsAnInternalError)
{
    char out[FIELD_NUM_TEXT_MAX];
    EXPECT_DEATH(fieldsConvertNum2Str(1, out, NUMFMT_STR), "");
}

} // namespace
