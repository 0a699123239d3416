// The shared operators used directly, as the search expressions use them:
// match case off, match details, limits of the number conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "script/scriptbase/scriptoperations.h"
#include "utils/common/strbase.h"

namespace {

class Sink : public ScriptErrorSink {
public:
    [[noreturn]] void MakeError(const char* message, const char* argument) override
    {
        throw ScriptError(std::string(message) + (argument ? argument : ""));
    }
};

std::string ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const ScriptError& error) {
        return error.what();
    }
    return "none";
}

TEST(ScriptOperations, MatchCaseOffFoldsAsciiLetters)
{
    Sink sink;
    ScriptOperations ops(sink, false);
    const auto s = [](const char* t) { return ScriptValue::String(t, 1); };
    EXPECT_EQ(1, ops.Calculate(ScriptOp::Equal, s("ABC"), s("abc")).Int());
    EXPECT_EQ(1, ops.Calculate(ScriptOp::Greater, s("c"), s("A")).Int());
    EXPECT_EQ(0, ops.Calculate(ScriptOp::Greater, s("a"), s("B")).Int());
    EXPECT_EQ(1, ops.Calculate(ScriptOp::WildCmp, s("Hello"), s("h*O")).Int());
    ScriptMatchDetail detail;
    EXPECT_EQ(1, ops.Calculate(ScriptOp::Subst, s("xxABCyy"), s("abc"), nullptr, &detail).Int());
    EXPECT_EQ(std::string("ABCyy"), detail.hit);

    ScriptOperations exact(sink, true);
    EXPECT_EQ(1, exact.Calculate(ScriptOp::Greater, s("a"), s("B")).Int());
    EXPECT_EQ(0, exact.Calculate(ScriptOp::Subst, s("xxABCyy"), s("abc")).Int());
}

TEST(ScriptOperations, RegexpUsesAPreparedPatternAndReportsGroups)
{
    Sink sink;
    ScriptOperations ops(sink, true);
    RegexBuilder pattern("(\\d+)-(\\d+)");
    ScriptMatchDetail detail;
    const ScriptValue r = ops.Calculate(ScriptOp::Regexp, ScriptValue::String("12-345"),
                                        ScriptValue::String("ignored"), &pattern, &detail);
    EXPECT_EQ(1, r.Int());
    EXPECT_EQ(2, detail.groups.GetGroupCount());
    EXPECT_EQ(3, detail.groups.GetGroupStart(2));
    EXPECT_EQ(0, ops.Calculate(ScriptOp::Regexp, ScriptValue::String("x12-345"), ScriptValue::String(""), &pattern)
                     .Int());
}

TEST(ScriptOperations, NumbersCarryingTextCompareAsTheirText)
{
    Sink sink;
    ScriptOperations ops(sink, true);
    ScriptValue field = ScriptValue::Integer(1234);
    field.text = "1234";
    EXPECT_EQ(1, ops.Calculate(ScriptOp::Equal, field, ScriptValue::String("12*")).Int());
    EXPECT_STREQ("1234", ScriptOperations::NumberToText(field).text);
    EXPECT_STREQ("-7", ScriptOperations::NumberToText(ScriptValue::Integer(-7)).text);
    EXPECT_STREQ("0.500000", ScriptOperations::NumberToText(ScriptValue::Real(0.5)).text);
}

TEST(ScriptOperations, NanAndLimits)
{
    Sink sink;
    ScriptOperations ops(sink, true);
    const ScriptValue nan = ScriptValue::Real(std::nan(""));
    const ScriptValue one = ScriptValue::Integer(1);
    EXPECT_EQ(0, ops.Calculate(ScriptOp::Equal, nan, nan).Int());
    EXPECT_EQ(1, ops.Calculate(ScriptOp::NotEqual, nan, one).Int());
    EXPECT_EQ(0, ops.Not(nan).Int());
    EXPECT_EQ(0, ScriptOperations::TruncateToInt(std::nan("")));
    EXPECT_EQ(INT64_MAX, ScriptOperations::TruncateToInt(1e300));
    EXPECT_EQ(INT64_MIN, ScriptOperations::TruncateToInt(-INFINITY));
    EXPECT_EQ(-3, ScriptOperations::TruncateToInt(-3.9));
    EXPECT_EQ(INT64_MIN, ops.Negate(ScriptValue::Integer(INT64_MIN)).Int());
    EXPECT_EQ(int64_t(uint64_t(INT64_MAX) * 1000), ops.Convert(ScriptConversion::Milli, ScriptValue::Integer(INT64_MAX)).Int());
    EXPECT_STREQ("-9223372036854.775808", ops.ToString(ScriptValue::Integer(INT64_MIN), ScriptValue::Integer(5)).text);
    EXPECT_STREQ("0", ops.ToString(nan, ScriptValue::Integer(0)).text);
    EXPECT_STREQ("", ops.ToString(one, ScriptValue::Integer(int64_t(1) << 32)).text);
}

TEST(ScriptOperations, NumberLiterals)
{
    Sink sink;
    ScriptOperations ops(sink, true);
    const struct {
        const char* text;
        int type;
        int64_t value;
    } cases[] = {{"0", SCRIPT_INTEGER, 0},
                 // Integers keep 64 bits; past 2^63 the same bits read negative.
                 {"2147483648", SCRIPT_INTEGER, 2147483648},
                 {"4294967297", SCRIPT_INTEGER, 4294967297},
                 {"90061000000", SCRIPT_INTEGER, 90061000000},
                 {"9223372036854775807", SCRIPT_INTEGER, INT64_MAX},
                 {"9223372036854775808", SCRIPT_INTEGER, INT64_MIN},
                 {"18446744073709551615", SCRIPT_INTEGER, -1},
                 {"0x7fffffff", SCRIPT_INTEGER, INT32_MAX},
                 {"0xFFFFFFFF", SCRIPT_INTEGER, 4294967295},
                 {"0x123456789", SCRIPT_INTEGER, 0x123456789},
                 {"0X10", SCRIPT_INTEGER, 16},
                 {"0xFFFFFFFFFFFFFFFF", SCRIPT_INTEGER, -1},
                 // IPv4 addresses, first octet in the low byte, zero-extended.
                 {"1.2.3.4", SCRIPT_INTEGER, 0x04030201},
                 {"10.0.0.200", SCRIPT_INTEGER, 3355443210},
                 {"128.0.0.1", SCRIPT_INTEGER, 0x01000080},
                 {"255.255.255.255", SCRIPT_INTEGER, 4294967295}};
    for (const auto& c : cases) {
        const ScriptValue v = ops.ParseNumber(c.text);
        EXPECT_EQ(c.type, v.type) << c.text;
        EXPECT_EQ(c.value, v.Int()) << c.text;
    }
    EXPECT_DOUBLE_EQ(1.25, ops.ParseNumber("1.25").Double());
    for (const char* bad : {"1.2.3", "1.2.3.4.5", "1.999.3.4", "18446744073709551616", "0x10000000000000000"})
        EXPECT_EQ("Number error", ErrorOf([&] { ops.ParseNumber(bad); })) << bad;
}

TEST(ScriptOperations, TypeErrors)
{
    Sink sink;
    ScriptOperations ops(sink, true);
    ScriptValue array;
    array.type = SCRIPT_ARRAY;
    const ScriptValue s = ScriptValue::String("a");
    const ScriptValue one = ScriptValue::Integer(1);
    const struct {
        std::function<void()> call;
        const char* text;
    } cases[] = {
        {[&] { ops.Calculate(ScriptOp::Plus, array, one); }, "Invalid arguments types"},
        {[&] { ops.Calculate(ScriptOp::Minus, s, one); }, "This operation only with numbers"},
        {[&] { ops.Calculate(ScriptOp::Regexp, one, one); }, "This operation only with strings"},
        {[&] { ops.Calculate(ScriptOp::Less, s, one); }, "Invalid arguments types"},
        {[&] { ops.CalculateNum(ScriptOp::BitAnd, ScriptValue::Real(1), one); }, "Operand cannot be floating number"},
        {[&] { ops.Not(array); }, "This operation only with numbers & strings"},
        {[&] { ops.Negate(s); }, "This operation only with numbers"},
        {[&] { ops.Convert(ScriptConversion::Date, one); }, "This operation is only for strings"},
        {[&] { ops.Convert(ScriptConversion::Second, s); }, "This operation is only for numbers"},
        {[&] { ops.ToString(one, s); }, "Function arguments must be only numbers"},
        {[&] { ScriptValue r; ops.ShortCircuit(ScriptOp::And, s, r); }, "This operation only with numbers"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, ErrorOf(c.call));
}

TEST(ScriptOperations, ConcatenationIsCutAtTheScratchCapacity)
{
    Sink sink;
    ScriptOperations ops(sink, true);
    const std::string long_text(1000, 'x');
    const ScriptValue r =
        ops.Calculate(ScriptOp::Plus, ScriptValue::String(long_text.c_str()), ScriptValue::String(long_text.c_str()));
    EXPECT_EQ(ZmLib::TEMP_STR_CAPACITY, std::strlen(r.text));
    EXPECT_EQ(0u, r.bits);
}

} // namespace
