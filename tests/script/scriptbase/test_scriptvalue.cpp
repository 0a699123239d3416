// Values, arrays, the registry, the library services and the shared operators.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "script/scriptbase/codeparser.h"
#include "script/scriptbase/scriptoperations.h"
#include "utils/common/strbase.h"

namespace {

const ScriptLibFunc kDoubleArg[] = {{"lib.f", 0, SCRIPT_INTEGER, 1, {SCRIPT_DOUBLE, 0}}};
const ScriptLibFunc kAnyArg[] = {{"lib.any", 0, SCRIPT_INTEGER, 1, {SCRIPT_ANY, 0}}};
const ScriptLibFunc kOther[] = {{"lib.other", 0, SCRIPT_INTEGER, 0, {0}}};

ScriptValue Of(int type)
{
    ScriptValue v;
    v.type = type;
    return v;
}

ScriptArgList Args(std::initializer_list<ScriptValue> values)
{
    ScriptArgList list;
    for (const ScriptValue& v : values)
        list.args[list.count++].SetTemp(v);
    return list;
}

// The text of the error the call throws, or "ok".
std::string ErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const ScriptError& error) {
        return error.what();
    }
    return "ok";
}

TEST(ScriptRegistry, EleventhLibraryIsIgnored)
{
    ScriptLibRun libraries[11];
    ScriptLibRegistry registry;
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(i, registry.Add(&libraries[i], i == 0 ? kDoubleArg : kOther, 1));
    EXPECT_EQ(-1, registry.Add(&libraries[10], kAnyArg, 1));
    EXPECT_EQ(10, registry.Count());
    EXPECT_EQ(&libraries[9], registry.At(9).library);
    int library = -1;
    EXPECT_EQ(-1, registry.FindFunction("lib.any", library));
}

TEST(ScriptRegistry, FindFunctionSearchesOneOrAllLibraries)
{
    ScriptLibRun a, b, c;
    ScriptLibRegistry registry;
    registry.Add(&a, kDoubleArg, 1);
    registry.Add(&b, kOther, 1);
    registry.Add(&c, kAnyArg, 1);
    // The library to search (-1: all); the function's index and its library.
    const struct {
        const char* name;
        int library, index, found;
    } cases[] = {{"lib.f", 2, -1, 2},      {"lib.f", -1, 0, 0},   {"lib.any", -1, 0, 2},
                 {"lib.f", 7, -1, 7},      {"LIB.F", -1, -1, -1}, {"lib.", -1, -1, -1}};
    for (const auto& c : cases) {
        int library = c.library;
        EXPECT_EQ(c.index, registry.FindFunction(c.name, library)) << c.name << " in " << c.library;
        if (c.index >= 0) {
            EXPECT_EQ(c.found, library) << c.name;
        }
    }
}

TEST(ScriptValues, TypeNames)
{
    const char* names[] = {"UNKNOWN TYPE", "STRING TYPE", "INTEGER TYPE",   "DOUBLE TYPE", "ARRAY TYPE",
                           "HANDLER TYPE", "RECORD TYPE", "DIFFERENT TYPE", "ERROR TYPE",  "UNDEFINED TYPE",
                           "FAILED TYPE",  "UNKNOWN TYPE", "UNKNOWN TYPE"};
    for (int type = -1; type <= 11; type++)
        EXPECT_STREQ(names[(type + 13) % 13], ScriptTypeName(type)) << type;
}

class File : public ScriptFileObject {
public:
    const char* Path() const override { return "/tmp/out.csv"; }
};

TEST(ScriptValues, ValueToText)
{
    ScriptArray block;
    block.size = 3;
    ScriptHandler handler{4, nullptr};
    File file;
    ScriptValue array = Of(SCRIPT_ARRAY), h = Of(SCRIPT_HANDLER), record = Of(SCRIPT_RECORD), csv = Of(SCRIPT_CSVFILE);
    array.array = &block;
    h.handler = &handler;
    record.SetInt(12);
    csv.file = &file;
    const struct {
        ScriptValue value;
        const char* text;
    } cases[] = {
        {ScriptValue::String("abc"), "abc"},
        {ScriptValue::String(nullptr), ""},
        {ScriptValue::Integer(-5), "-5"},
        {ScriptValue::Integer(INT64_MIN), "-9223372036854775808"},
        {ScriptValue::Real(2.5), "2.500000"},
        {Of(SCRIPT_ARRAY), "Array type.Size:0"},
        {array, "Array type.Size:3"},
        {h, "Handler type. Lib index:4"},
        {record, "Record type.Row index:12"},
        {csv, "Csv file type.File path:/tmp/out.csv"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(c.text, CodeParser::ValueToText(c.value, 1));
    EXPECT_EQ(50u, std::strlen(CodeParser::ValueToText(ScriptValue::Real(1e300), 1)));
}

TEST(ScriptValues, HandlerWithoutBlockIsAnError)
{
    EXPECT_EQ("Main handler error  line 3", ErrorOf([] { CodeParser::ValueToText(Of(SCRIPT_HANDLER), 3); }));
    EXPECT_THROW(CodeParser::GetHandlerObject(nullptr, 3), ScriptError);
    int object = 0;
    ScriptHandler block{0, &object};
    EXPECT_EQ(&object, CodeParser::GetHandlerObject(&block, 3));
}

TEST(ScriptValues, ErrorTexts)
{
    EXPECT_EQ("Error: Cycle condition error, Line: 0", CodeParser::FormatError("Cycle condition error", nullptr, 0));
    const struct {
        const char* argument;
        int line;
        const char* text;
    } cases[] = {{"line ", 12, "Argument below zero line 12"}, {nullptr, 5, "Argument below zero 5"},
                 {"x", -999, "Argument below zero x"}};
    for (const auto& c : cases)
        EXPECT_EQ(c.text, ErrorOf([&] { CodeParser::ThrowError("Argument below zero ", c.argument, c.line); }));
}

TEST(ScriptValues, ArgumentAccessors)
{
    ScriptValue record = Of(SCRIPT_RECORD);
    record.SetInt(9);
    const ScriptArgList args = Args({ScriptValue::Integer(-3), record, ScriptValue::Real(0.5), ScriptValue::String("s")});
    EXPECT_EQ(-3, CodeParser::GetArgInt(0, args, 1));
    EXPECT_EQ(9, CodeParser::GetArgInt(1, args, 1));
    EXPECT_EQ(0.5, CodeParser::GetArgDouble(2, args, 1));
    const struct {
        bool asInt;
        int i;
        const char* text;
    } bad[] = {{true, 2, "Argument #2 has incorrect typeDOUBLE TYPE"},
               {true, 3, "Argument #3 has incorrect typeSTRING TYPE"},
               {true, 4, "Argument #4 has incorrect typeUNDEFINED TYPE"},
               {true, -1, "Argument #-1 has incorrect typeUNDEFINED TYPE"},
               {false, 0, "Argument #0 has incorrect typeINTEGER TYPE"},
               {false, 20, "Argument #20 has incorrect typeUNDEFINED TYPE"}};
    for (const auto& c : bad)
        EXPECT_EQ(c.text, ErrorOf([&] {
            c.asInt ? void(CodeParser::GetArgInt(c.i, args, 1)) : void(CodeParser::GetArgDouble(c.i, args, 1));
        }));
}

TEST(ScriptValues, FreeValue)
{
    ScriptValue v = Of(SCRIPT_ARRAY);
    v.array = ScriptArrayNew();
    ASSERT_TRUE(ScriptArrayResize(v.array, 2));
    v.array->elements[1].value.type = SCRIPT_ARRAY;
    v.array->elements[1].value.array = ScriptArrayNew();
    CodeParser::FreeValue(v, false);
    EXPECT_EQ(SCRIPT_ARRAY, v.type);
    EXPECT_EQ(nullptr, v.array);
    ScriptValue s = ScriptValue::String("a", 1);
    CodeParser::FreeValue(s, true);
    EXPECT_EQ(SCRIPT_UNDEFINED, s.type);
    EXPECT_EQ(nullptr, s.text);
    EXPECT_EQ(0u, s.bits);
}

// A string holds a copy of its text, shared by the value's copies and kept
// while any of them lives; a text a library set directly is borrowed.
TEST(ScriptValues, TextsAreHeldByTheirValues)
{
    char source[] = "abc";
    ScriptValue original = ScriptValue::String(source, 1);
    source[0] = 'z';
    EXPECT_STREQ("abc", original.text);
    EXPECT_EQ(1u, original.bits);
    EXPECT_FALSE(original.BorrowsText());

    ScriptValue copy = original;
    EXPECT_EQ(original.text, copy.text);
    original = ScriptValue::Integer(3);
    EXPECT_STREQ("abc", copy.text);
    copy.SetText(copy.text + 1);
    EXPECT_STREQ("bc", copy.text);

    EXPECT_STREQ("b", ScriptValue::String("abc" + 1, 1, 0).text);
    EXPECT_EQ(nullptr, ScriptValue::String(nullptr).text);
    EXPECT_EQ(source, ScriptValue::Borrowed(source).text);
    EXPECT_TRUE(ScriptValue::Borrowed(source).BorrowsText());

    ScriptValue number = ScriptValue::Integer(12);
    number.text = "12";
    EXPECT_TRUE(number.BorrowsText());
    number.SetText(number.text);
    EXPECT_FALSE(number.BorrowsText());
    EXPECT_STREQ("12", number.text);
    ScriptValue handler = Of(SCRIPT_HANDLER);
    handler.object = source;
    EXPECT_FALSE(handler.BorrowsText());

    ScriptArray* array = ScriptArrayNew();
    ASSERT_TRUE(ScriptArrayResize(array, 1));
    array->elements[0].SetTemp(copy);
    ScriptArray* deep = ScriptArrayCopy(array);
    ScriptArrayFree(array);
    EXPECT_STREQ("bc", deep->elements[0].Get().text);
    ScriptArrayFree(deep);
}

TEST(ScriptValues, ArraysCopyDeeply)
{
    ScriptArray* inner = ScriptArrayNew();
    ASSERT_TRUE(ScriptArrayResize(inner, 1));
    inner->elements[0].SetTemp(ScriptValue::Integer(5));
    ScriptArray* outer = ScriptArrayNew();
    ASSERT_TRUE(ScriptArrayResize(outer, 20));
    EXPECT_EQ(SCRIPT_UNDEFINED, outer->elements[19].Get().type);
    outer->elements[3].value.type = SCRIPT_ARRAY;
    outer->elements[3].value.array = inner;
    ScriptArray* copy = ScriptArrayCopy(outer);
    ASSERT_NE(nullptr, copy);
    ASSERT_NE(inner, copy->elements[3].value.array);
    EXPECT_EQ(5, copy->elements[3].value.array->elements[0].value.Int());
    EXPECT_FALSE(copy->elements[3].IsReference());
    ASSERT_TRUE(ScriptArrayResize(outer, 2));
    EXPECT_FALSE(ScriptArrayResize(outer, -1));
    EXPECT_EQ(2, outer->size);
    ScriptArrayFree(outer);
    ScriptArrayFree(copy);
    EXPECT_EQ(nullptr, ScriptArrayCopy(nullptr));
}

TEST(ScriptValues, SlotsKeepTheirOwnCopy)
{
    ScriptValue variable = ScriptValue::Integer(1);
    ScriptValueSlot reference;
    reference.SetReference(&variable);
    ScriptValueSlot temp;
    temp.SetTemp(ScriptValue::Integer(2));
    const ScriptValueSlot a = reference;
    const ScriptValueSlot b = temp;
    EXPECT_EQ(&variable, a.current);
    EXPECT_FALSE(b.IsReference()); // points at its own copy, not at temp's
    EXPECT_EQ(2, b.Get().Int());
}

// The shared operators used directly, as the search expressions use them.
class Sink : public ScriptErrorSink {
public:
    [[noreturn]] void MakeError(const char* message, const char* argument) override
    {
        throw ScriptError(std::string(message) + (argument ? argument : ""));
    }
};

// Operators with match case on (ops) and off (folded).
class ScriptOperationsTest : public ::testing::Test {
protected:
    Sink sink;
    ScriptOperations ops{sink, true};
    ScriptOperations folded{sink, false};
};

TEST_F(ScriptOperationsTest, MatchCaseOffFoldsAsciiLetters)
{
    const auto s = [](const char* t) { return ScriptValue::String(t, 1); };
    EXPECT_EQ(1, folded.Calculate(ScriptOp::Equal, s("ABC"), s("abc")).Int());
    EXPECT_EQ(1, folded.Calculate(ScriptOp::Greater, s("c"), s("A")).Int());
    EXPECT_EQ(0, folded.Calculate(ScriptOp::Greater, s("a"), s("B")).Int());
    EXPECT_EQ(1, folded.Calculate(ScriptOp::WildCmp, s("Hello"), s("h*O")).Int());
    ScriptMatchDetail detail;
    EXPECT_EQ(1, folded.Calculate(ScriptOp::Subst, s("xxABCyy"), s("abc"), nullptr, &detail).Int());
    EXPECT_EQ(std::string("ABCyy"), detail.hit);
    EXPECT_EQ(1, ops.Calculate(ScriptOp::Greater, s("a"), s("B")).Int());
    EXPECT_EQ(0, ops.Calculate(ScriptOp::Subst, s("xxABCyy"), s("abc")).Int());
}

TEST_F(ScriptOperationsTest, RegexpUsesAPreparedPatternAndReportsGroups)
{
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

// The detail of a match holds the text its hit and groups point into, also
// when that text was made from a number for the match.
TEST_F(ScriptOperationsTest, MatchDetailHoldsTheMatchedText)
{
    ScriptMatchDetail detail;
    EXPECT_EQ(1, ops.Calculate(ScriptOp::Regexp, ScriptValue::Integer(123), ScriptValue::String("1(2)3"), nullptr,
                               &detail)
                     .Int());
    ASSERT_NE(nullptr, detail.subject.text);
    EXPECT_EQ("2", std::string(detail.subject.text + detail.groups.GetGroupStart(1), 1));
    ScriptMatchDetail hit;
    EXPECT_EQ(1, ops.Calculate(ScriptOp::Subst, ScriptValue::Real(0.25), ScriptValue::String("25"), nullptr, &hit)
                     .Int());
    EXPECT_STREQ("250000", hit.hit);
}

TEST_F(ScriptOperationsTest, NumbersCarryingTextCompareAsTheirText)
{
    ScriptValue field = ScriptValue::Integer(1234);
    field.text = "1234";
    EXPECT_EQ(1, ops.Calculate(ScriptOp::Equal, field, ScriptValue::String("12*")).Int());
    EXPECT_STREQ("1234", ScriptOperations::NumberToText(field).text);
    EXPECT_STREQ("-7", ScriptOperations::NumberToText(ScriptValue::Integer(-7)).text);
    EXPECT_STREQ("0.500000", ScriptOperations::NumberToText(ScriptValue::Real(0.5)).text);
}

TEST_F(ScriptOperationsTest, NanAndLimits)
{
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

TEST_F(ScriptOperationsTest, NumberLiterals)
{
    const struct {
        const char* text;
        int64_t value;
    } cases[] = {
        {"0", 0}, {"0x7fffffff", INT32_MAX}, {"0xFFFFFFFF", 4294967295}, {"0x123456789", 0x123456789}, {"0X10", 16},
        // Integers keep 64 bits; past 2^63 the same bits read negative.
        {"2147483648", 2147483648}, {"4294967297", 4294967297}, {"90061000000", 90061000000},
        {"9223372036854775807", INT64_MAX}, {"9223372036854775808", INT64_MIN}, {"18446744073709551615", -1},
        {"0xFFFFFFFFFFFFFFFF", -1},
        // IPv4 addresses, first octet in the low byte, zero-extended.
        {"1.2.3.4", 0x04030201}, {"10.0.0.200", 3355443210}, {"128.0.0.1", 0x01000080},
        {"255.255.255.255", 4294967295},
    };
    for (const auto& c : cases) {
        const ScriptValue v = ops.ParseNumber(c.text);
        EXPECT_EQ(SCRIPT_INTEGER, v.type) << c.text;
        EXPECT_EQ(c.value, v.Int()) << c.text;
    }
    EXPECT_DOUBLE_EQ(1.25, ops.ParseNumber("1.25").Double());
    for (const char* bad : {"1.2.3", "1.2.3.4.5", "1.999.3.4", "18446744073709551616", "0x10000000000000000"})
        EXPECT_EQ("Number error", ErrorOf([&] { ops.ParseNumber(bad); })) << bad;
}

TEST_F(ScriptOperationsTest, ConcatenationIsCutAtTheScratchCapacity)
{
    const std::string long_text(1000, 'x');
    const ScriptValue r =
        ops.Calculate(ScriptOp::Plus, ScriptValue::String(long_text.c_str()), ScriptValue::String(long_text.c_str()));
    EXPECT_EQ(ZmLib::TEMP_STR_CAPACITY, std::strlen(r.text));
    EXPECT_EQ(0u, r.bits);
}

} // namespace
