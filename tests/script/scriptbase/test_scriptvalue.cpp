// Values, arrays, the registry, argument checks and the library services.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "script/scriptbase/codeparser.h"

namespace {

const ScriptLibFunc kDoubleArg[] = {{"lib.f", 0, SCRIPT_INTEGER, 1, {SCRIPT_DOUBLE, 0}}};
const ScriptLibFunc kAnyArg[] = {{"lib.any", 0, SCRIPT_INTEGER, 1, {SCRIPT_ANY, 0}}};
const ScriptLibFunc kOther[] = {{"lib.other", 0, SCRIPT_INTEGER, 0, {0}}};

ScriptArgList Args(std::initializer_list<ScriptValue> values)
{
    ScriptArgList list;
    for (const ScriptValue& v : values)
        list.args[list.count++].SetTemp(v);
    return list;
}

std::string CheckText(const ScriptLibRegistry& registry, const ScriptArgList& args)
{
    try {
        CodeParser::CheckFunctionArgs(registry, 0, 0, 7, args);
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
    int library = 2;
    EXPECT_EQ(-1, registry.FindFunction("lib.f", library));
    library = -1;
    EXPECT_EQ(0, registry.FindFunction("lib.f", library));
    EXPECT_EQ(0, library);
    library = -1;
    EXPECT_EQ(0, registry.FindFunction("lib.any", library));
    EXPECT_EQ(2, library);
    library = 7;
    EXPECT_EQ(-1, registry.FindFunction("lib.f", library));
    library = -1;
    EXPECT_EQ(-1, registry.FindFunction("LIB.F", library));
    EXPECT_EQ(-1, registry.FindFunction("lib.", library));
}

TEST(ScriptRegistry, ArgumentChecks)
{
    ScriptLibRun run;
    ScriptLibRegistry registry;
    registry.Add(&run, kDoubleArg, 1);
    EXPECT_EQ("ok", CheckText(registry, Args({ScriptValue::Integer(1)})));
    EXPECT_EQ("ok", CheckText(registry, Args({ScriptValue::Real(1.5)})));
    EXPECT_EQ("ok", CheckText(registry, Args({ScriptValue::Integer(1), ScriptValue::String("s")})));
    EXPECT_EQ("Error: Argument 0 has incorrect type STRING TYPE in function lib.f, Line: 7",
              CheckText(registry, Args({ScriptValue::String("s")})));
    EXPECT_EQ("Error: Argument 0 has incorrect type UNDEFINED TYPE in function lib.f, Line: 7",
              CheckText(registry, Args({ScriptValue()})));
    EXPECT_EQ("Error: Arguments count error in function lib.f, Line: 7", CheckText(registry, Args({})));

    ScriptLibRegistry any;
    any.Add(&run, kAnyArg, 1);
    ScriptValue array;
    array.type = SCRIPT_ARRAY;
    for (const ScriptValue& v : {ScriptValue(), ScriptValue::String("s"), array, ScriptValue::Real(2)})
        EXPECT_EQ("ok", CheckText(any, Args({v})));
}

TEST(ScriptRegistry, BaseLibraryRunsNothing)
{
    ScriptLibRun run;
    ScriptValue result;
    ScriptArgList args;
    int library = 0;
    EXPECT_FALSE(run.Run(result, 0, &library, 1, args));
}

TEST(ScriptValues, TypeNames)
{
    const char* names[] = {"UNKNOWN TYPE",   "STRING TYPE",    "INTEGER TYPE", "DOUBLE TYPE",
                           "ARRAY TYPE",     "HANDLER TYPE",   "RECORD TYPE",  "DIFFERENT TYPE",
                           "ERROR TYPE",     "UNDEFINED TYPE", "FAILED TYPE",  "UNKNOWN TYPE"};
    for (int type = 0; type <= 11; type++)
        EXPECT_STREQ(names[type], ScriptTypeName(type)) << type;
    EXPECT_STREQ("UNKNOWN TYPE", ScriptTypeName(-1));
}

class File : public ScriptFileObject {
public:
    const char* Path() const override { return "/tmp/out.csv"; }
};

TEST(ScriptValues, ValueToText)
{
    ScriptValue empty;
    empty.type = SCRIPT_ARRAY;
    ScriptArray block;
    ScriptValue array = empty;
    array.array = &block;
    block.size = 3;
    ScriptHandler handler{4, nullptr};
    ScriptValue h;
    h.type = SCRIPT_HANDLER;
    h.handler = &handler;
    ScriptValue record;
    record.type = SCRIPT_RECORD;
    record.SetInt(12);
    File file;
    ScriptValue csv;
    csv.type = SCRIPT_CSVFILE;
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
        {empty, "Array type.Size:0"},
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
    ScriptValue h;
    h.type = SCRIPT_HANDLER;
    try {
        CodeParser::ValueToText(h, 3);
        FAIL();
    } catch (const ScriptError& error) {
        EXPECT_STREQ("Main handler error  line 3", error.what());
    }
    EXPECT_THROW(CodeParser::GetHandlerObject(nullptr, 3), ScriptError);
    int object = 0;
    ScriptHandler block{0, &object};
    EXPECT_EQ(&object, CodeParser::GetHandlerObject(&block, 3));
}

TEST(ScriptValues, ErrorTexts)
{
    EXPECT_EQ("Error: Unknown variable x, Line: 4", CodeParser::FormatError("Unknown variable", "x", 4));
    EXPECT_EQ("Error: Cycle condition error, Line: 0", CodeParser::FormatError("Cycle condition error", nullptr, 0));
    const struct {
        const char* argument;
        int line;
        const char* text;
    } cases[] = {{"line ", 12, "Argument below zero line 12"}, {nullptr, 5, "Argument below zero 5"},
                 {"x", -999, "Argument below zero x"}};
    for (const auto& c : cases) {
        try {
            CodeParser::ThrowError("Argument below zero ", c.argument, c.line);
            FAIL();
        } catch (const ScriptError& error) {
            EXPECT_STREQ(c.text, error.what());
        }
    }
}

TEST(ScriptValues, ArgumentAccessors)
{
    ScriptValue record;
    record.type = SCRIPT_RECORD;
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
    for (const auto& c : bad) {
        try {
            if (c.asInt)
                CodeParser::GetArgInt(c.i, args, 1);
            else
                CodeParser::GetArgDouble(c.i, args, 1);
            FAIL() << c.text;
        } catch (const ScriptError& error) {
            EXPECT_STREQ(c.text, error.what());
        }
    }
}

TEST(ScriptValues, FreeValue)
{
    ScriptValue v;
    v.type = SCRIPT_ARRAY;
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
    EXPECT_TRUE(a.IsReference());
    EXPECT_EQ(&variable, a.current);
    EXPECT_FALSE(b.IsReference());
    EXPECT_EQ(2, b.Get().Int());
}

} // namespace
