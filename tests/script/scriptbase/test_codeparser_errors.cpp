// Every error of the interpreter, its operators and the library calls, with
// the line it is reported at. Errors of the preparation and check passes come
// before anything runs, so nothing is printed ahead of them.
#include "tests/script/scriptbase/script_fixture.h"

using scripttest::ScriptCase;
using scripttest::ScriptFixture;

namespace {

class ErrorLines : public ScriptFixture, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(ErrorLines, ReportsTextAndLine)
{
    EXPECT_EQ(GetParam().expected, Run(GetParam().script)) << GetParam().script;
}

const ScriptCase kPreparation[] = {
    {"var x = 1;\nL: x++;\nL: x--;", "ERROR Error: Found duplicate label L, Line: 3"},
    {"function f() { }\n\nfunction f() { }", "ERROR Error: Found duplicate func name f, Line: 3"},
    {"print(1);\nreturn 1;", "ERROR Error: <return> can be used only in function definition, Line: 2"},
    {"print(1);\ngoto Nowhere;", "ERROR Error: Goto without label:  Nowhere, Line: 2"},
    {"{\n L: print(1);\n}\ngoto L;", "ERROR Error: Goto must be in it's label parent block:  L, Line: 4"},
    {"print(1);\nnothing(1);", "ERROR Error: Unknown function call  nothing, Line: 2"},
    {"function g() { }\nvar y = g();",
     "ERROR Error: Return not found in function: g But waiting for return at, Line: 2"},
    {"function g() { return; }\nprint(1);\nvar y = g();",
     "ERROR Error: Return with no arguments in function: g at Line: 1 But waiting for return at, Line: 3"},
};

const ScriptCase kStatements[] = {
    {"var x = 0;\nwhile (print(x)) { }", "0\nERROR Error: Cycle condition error, Line: 2"},
    {"var x = 1;\nx = 1 + print(x);", "1\nERROR Error: Too few arguments for operation, Line: 2"},
    {"var x = 1;\nx = print(x);", "1\nERROR Error: Too few arguments for assign, Line: 2"},
    {"var x = 1;\nx = 1.2.3;", "ERROR Error: Number error, Line: 2"},
    {"var x = 1;\nprint(array_size(x));", "ERROR Error: x is not an array, Line: 2"},
    {"var a = {1};\nprint(a[]);", "ERROR Error: Array index not calculated, Line: 2"},
    {"var a = {1};\nprint(a[\"0\"]);", "ERROR Error: Array index wrong type:  STRING TYPE, Line: 2"},
    {"var x = 0;\nvar a = {1, print(x)};", "0\nERROR Error: Array arguments error, Line: 2"},
    {"var x = 1;\nprint(y);", "ERROR Error: Unknown variable y, Line: 2"},
    {"var x;\nprint(x);", "ERROR Error: Variable is undefined x, Line: 2"},
    {"var a = {1};\nprint(a[1]);", "ERROR Error: An array index 1 exceeds size 1 of array a, Line: 2"},
    {"var x = 1;\nvar x;", "ERROR Error: Variable redetermination x, Line: 2"},
    {"var x = 1;\ny = 2;", "ERROR Error: Variable not defined y, Line: 2"},
    {"var a = {1};\na = 2;", "ERROR Error: You can not assign value to array variable  a, Line: 2"},
    {"var a = {1};\nvar x = 1;\nx = a;", "ERROR Error: You can not assign array to non array variable  x, Line: 3"},
    {"var r = test.record(3);\nr[0] = 1;",
     "ERROR Error: Value of RECORD type can not be changed in this version, Line: 2"},
    {"var x = 1;\nx[0] = 2;", "ERROR Error: Variable x is not an arrray, Line: 2"},
    {"var x = 1;\nprint(defined(print(x)));", "1\nERROR Error: Function arguments error, Line: 2"},
    {"var x = 1;\nfix(x);", "ERROR Error: Argument of fix() must be a string, Line: 2"},
    {"var x = 1;\nfree(x);", "ERROR Error: Argument of free() must be a string, Line: 2"},
    {"var s = \"abc\";\nfree(s);", "ERROR Error: String is not fixed, Line: 2"},
};

// Errors about a call's arguments are reported at the call, not in the body.
const ScriptCase kCalls[] = {
    {"function f(..., a) {\n print(1);\n}\nf(1);", "ERROR Error: ... must be last parameter only, Line: 4"},
    {"function f(a, b) {\n print(a);\n}\nf(1);",
     "ERROR Error: Arguments count in function call less than declared, Line: 4"},
    {"function f(a) {\n print(a);\n}\nf(1, 2);",
     "ERROR Error: Arguments count in function call more than declared, Line: 4"},
    {"function f(a) {\n print(a);\n}\nvar u;\nf(u);", "ERROR Error: Parameter a undefined, Line: 5"},
    {"function f(OUT r) {\n r = 1;\n}\nf(1);", "ERROR Error: Parameter r must be a variable, Line: 4"},
    {"function g(a) {\n if (a) { return 1; }\n}\nvar y = g(0);",
     "ERROR Error: Function do not return a value, Line: 4"},
    {"function f(n) {\n return f(n + 1);\n}\nf(0);", "ERROR Error: Error in variable stack, Line: 2"},
    {"var h = test.handler();\nmath.cos(h);", "ERROR Error: Unknown function call math.cos, Line: 2"},
    {"var x = 1;\nmath.cos(print(x));", "1\nERROR Error: Arguments error in function math.cos, Line: 2"},
    {"var x = 1;\nmath.cos(1, print(x));", "1\nERROR Error: Arguments error in function math.cos, Line: 2"},
    {"var x = 1;\ntest.fail();", "ERROR Error: Return error in function  test.fail, Line: 2"},
    {"var x = 1;\nprint(math.cos());", "ERROR Error: Arguments count error in function math.cos, Line: 2"},
    {"var x = \"a\";\nprint(math.cos(x));",
     "ERROR Error: Argument 0 has incorrect type STRING TYPE in function math.cos, Line: 2"},
    {"var x = -1;\nprint(math.sqrt(x));", "ERROR Argument below zero line 2"},
    {"function f() {\n return 0;\n}\nvar x = 1 / f();", "ERROR Error: Divide by zero, Line: 4"},
};

const ScriptCase kOperators[] = {
    {"var x = 1;\nprint(\"a\" > x);", "ERROR Error: Invalid arguments types, Line: 2"},
    {"var x = \"a\";\nprint(x =~ 1);", "ERROR Error: This operation only with strings, Line: 2"},
    {"var s = \"a\";\ns -= 1;", "ERROR Error: This operation only with numbers, Line: 2"},
    {"var d = 0.5;\nprint(d & 1);", "ERROR Error: Operand cannot be floating number, Line: 2"},
    {"var x = 1;\nprint(x / 0);", "ERROR Error: Divide by zero, Line: 2"},
    {"var x = 1;\nprint(x % 0);", "ERROR Error: Divide by zero, Line: 2"},
    {"var x = 1;\nx %= 0;", "ERROR Error: Divide by zero, Line: 2"},
    {"var a = {1};\nprint(!a);", "ERROR Error: This operation only with numbers & strings, Line: 2"},
    {"var a = \"1\";\nprint(-a);", "ERROR Error: This operation only with numbers, Line: 2"},
    {"var x = 1;\nprint(date(x));", "ERROR Error: This operation is only for strings, Line: 2"},
    {"var x = \"1\";\nprint(second(x));", "ERROR Error: This operation is only for numbers, Line: 2"},
    {"var x = \"1\";\nprint(tostring(x, 0));", "ERROR Error: Function arguments must be only numbers, Line: 2"},
};

INSTANTIATE_TEST_SUITE_P(Preparation, ErrorLines, ::testing::ValuesIn(kPreparation));
INSTANTIATE_TEST_SUITE_P(Statements, ErrorLines, ::testing::ValuesIn(kStatements));
INSTANTIATE_TEST_SUITE_P(Calls, ErrorLines, ::testing::ValuesIn(kCalls));
INSTANTIATE_TEST_SUITE_P(Operators, ErrorLines, ::testing::ValuesIn(kOperators));

// A record read by index needs the row library's "kxrow.get_value".
TEST(ErrorLinesRecords, RecordIndexWithoutTheRowLibrary)
{
    ScriptLibRegistry registry;
    scripttest::TestLibrary library;
    // The test library's leading functions, up to test.record: no kxrow.get_value.
    registry.Add(&library, scripttest::TestLibrary::Table(), scripttest::TestLibrary::RECORD + 1);
    ScriptLibRegistry::script = &registry;
    CodeParser code;
    ASSERT_EQ(0, code.PrepareInputParser(MainParser::PrepareStringParser("var r = test.record(1);\nprint(r[0]);")));
    std::string error;
    try {
        code.Run();
    } catch (const ScriptError& e) {
        error = e.what();
    }
    ScriptLibRegistry::script = nullptr;
    EXPECT_EQ("Error: No get field data function , Line: 2", error);
}

} // namespace
