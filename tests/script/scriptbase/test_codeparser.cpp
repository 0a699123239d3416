// Scripts and what they print: operators, conversions, statements, scopes,
// functions, goto, arrays, library calls, and every error with its line.
#include "tests/script/scriptbase/script_fixture.h"

using scripttest::ScriptCase;
using scripttest::ScriptFixture;

namespace {

class ScriptTable : public ScriptFixture, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(ScriptTable, PrintsExpected)
{
    EXPECT_EQ(Run(GetParam().script), GetParam().expected) << GetParam().script;
}

const ScriptCase kOperators[] = {
    {"print(7 / 2, \" \", 7.0 / 2, \" \", 7 % 3, \" \", -7 % 3, \" \", -7 / 2, \" \", 2 ^ 10, \" \", 2 ^ 0.5);",
     "3 3.500000 1 -1 -3 1024 1.414214\n"},
    {"var x = 10; x /= 4; print(x);", "2\n"},
    {"var x = 10; x /= 0;", "ERROR Error: Divide by zero, Line: 1"},
    // Quotient and remainder differ: each compound operator does its own operation.
    {"var a = 7; var b = 7.0; var c = 7; var d = 7.5; var e = -7; var f = 7;"
     " a /= 2; b /= 2; c %= 2; d %= 2; e %= 3; f /= 2.0; print(a, \" \", b, \" \", c, \" \", d, \" \", e, \" \", f);",
     "3 3.500000 1 1.500000 -1 3.500000\n"},
    {"var x = 7; x -= 2; print(x); x *= 3; print(x); x += 4; print(x);", "5\n15\n19\n"},
    {"print(5 & 3, \" \", 5 | 3, \" \", 4294967297 & 3);", "1 7 1\n"},
    {"print(\"ab\" + 1, \" \", 1 + \"ab\", \" \", \"ab\" + 1.5, \" \", 1.5 + \"ab\");", "ab1 1ab ab1.500000 1.500000ab\n"},
    {"var s = \"a\"; s += \"b\";", "ERROR Error: This operation only with numbers, Line: 1"},
    {"print(\"abc\" == \"a*\", 'abc' == \"a*\", \"abc\" == \"ABC\", \"abc\" != \"a*\", 'abc' == 'abc');", "10011\n"},
    {"print(\"abc\" < \"abd\", \"b\" > \"abc\", \"a\" >= \"a\", \"b\" <= \"a\", 1 < \"abc\");", "11101\n"},
    {"print(\"hello world\" ~ \"o w\", \"hello\" ~~ \"h?llo\", \"hello\" ~ \"x\", 12 ~ 2, 12 ~~ \"1*\");", "11011\n"},
    {"print(!0, !(-3), !\"\", !\"a\", !0.5, \" \", -(3), \" \", -(2.5));", "11100 -3 -2.500000\n"},
    {"print(-1 && 1, 1 && -1, -1 || 0, 1 || 0, 0 || 0, 0 && undefined_name, 1 || undefined_name);", "0111001\n"},
    {"print(0.5 && 1);", "ERROR Error: Operand cannot be floating number, Line: 1"},
    {"print(\"a\" && 1);", "ERROR Error: This operation only with numbers, Line: 1"},
    {"print(010, \" \", 09, \" \", 2147483647 + 1, \" \", 2 ^ 70, \" \", -(2 ^ 70) - 5);",
     "10 9 2147483648 9223372036854775807 -9223372036854775808\n"},
};
INSTANTIATE_TEST_SUITE_P(Operators, ScriptTable, ::testing::ValuesIn(kOperators));

// Integer literals keep 64 bits (times in microseconds, keys, process ids);
// an IPv4 literal is the address with its first octet in the low byte.
const ScriptCase kLiterals[] = {
    {"print(0x1F, \" \", 0x1f, \" \", 0xFFFFFFFF, \" \", 4294967295, \" \", 0x123456789AB, \" \", 0x7FFFFFFFFFFFFFFF);",
     "31 31 4294967295 4294967295 1250999896491 9223372036854775807\n"},
    {"print(0xFFFFFFFFFFFFFFFF, \" \", 18446744073709551615, \" \", -9223372036854775808, \" \", 0x10 + 010);",
     "-1 -1 -9223372036854775808 26\n"},
    {"print(90061000000, \" \", tostring(90061000000, 7), \" \", 4294967296 * 2, \" \", 4294967297 - 1);",
     "90061000000 25:01:01 8589934592 4294967296\n"},
    {"var t = 1700000000000000; print(t + second(1) - t, \" \", t > 2147483647);", "1000000 1\n"},
    {"print(1.2.3.4, \" \", 10.0.0.200, \" \", 255.255.255.255, \" \", 128.0.0.1 > 0);",
     "67305985 3355443210 4294967295 1\n"},
    {"print(192.168.0.1 == ipaddr(\"192.168.0.1\"), \" \", tostring(192.168.0.1, 2));", "1 192.168.0.1\n"},
    {"print(1.2.300.4);", "ERROR Error: Number error, Line: 1"},
    {"print(18446744073709551616);", "ERROR Error: Number error, Line: 1"},
};
INSTANTIATE_TEST_SUITE_P(Literals, ScriptTable, ::testing::ValuesIn(kLiterals));

// The binding strength of the operators: '+' binds looser than '=='.
const ScriptCase kPrecedence[] = {
    {"print(1 + 2 == 3, (1 + 2) == 3, 3 == 1 + 2, 1 || 0 && 0);", "1121\n"},
    {"var x = 1; var y = 2; print(x == 1 && y == 2);", "1\n"},
    {"print(2 * 3 ^ 2, \" \", 10 - 4 - 3, \" \", 2 + 3 * 4, \" \", !0 == 1, \" \", -2 ^ 2);", "36 3 14 1 4\n"},
};
INSTANTIATE_TEST_SUITE_P(Precedence, ScriptTable, ::testing::ValuesIn(kPrecedence));

const ScriptCase kConversions[] = {
    {"print(tostring(second(90061), 7), \" \", tostring(-second(90061), 7), \" \", tostring(90061000000, 8));",
     "25:01:01 -25:01:01 25:01:01\n"},
    {"print(tostring(1500000, 5), \" \", tostring(-1500000, 5), \" \", tostring(-1500, 6), \" \", tostring(1234567, 6));",
     "1.500000 -1.500000 -0.001 1.234\n"},
    {"print(tostring(2.9, 0), \" \", tostring(2.5, 1), \" \", tostring(7, 1), \" \", tostring(ipaddr(\"10.1.2.3\"), 2),"
     " \"[\", tostring(5, 99), \"]\");",
     "2 2.500000 7 10.1.2.3[]\n"},
    {"print(tostring(0, 3), \"|\", tostring(0, 4));", "1970-01-01  0:00:00.000000|1970-01-01  0:00:00.000000\n"},
    {"print(milli(2), \" \", second(1.5), \" \", date(\"1970-01-02\"), \" \", time(\"01:00:00\"));",
     "2000 1500000.000000 86400000000 3600000000\n"},
    {"print(milli(\"2\"));", "ERROR Error: This operation is only for numbers, Line: 1"},
    {"print(int(\"0x10\"), \" \", int(\"4294967297\"), \" \", int(\"zz\"), \" \", int(\"-12abc\"), \" \", float(\"2.25\"),"
     " \" \", float(\"x\"), \" \", ipaddr(\"10.0.0.200\"));",
     "16 1 0 -12 2.250000 0.000000 3355443210\n"},
    {"print(int(5));", "ERROR Error: This operation is only for strings, Line: 1"},
};
INSTANTIATE_TEST_SUITE_P(Conversions, ScriptTable, ::testing::ValuesIn(kConversions));

// Arguments are evaluated from the last to the first, so a match runs in a
// statement of its own before its variables are printed.
const ScriptCase kRegexp[] = {
    {"var m = \"a1b22\" =~ \"a(\\d)b(\\d+)\"; print(m, \" \", $n, \" \", $1, \" \", $2);", "1 2 1 22\n"},
    {"var m = \"xa1b2\" =~ \"a(\\d)b(\\d)\"; print(m, \" \", $n);", "0 0\n"},
    {"var p = \"a(.)\"; var m = \"ab\" =~ p; print(m, $1);", "1b\n"},
    {"var m = \"ab\" =~ 'a(.)'; print(m, $1);", "1b\n"},
    {"var m = \"ab\" =~ \"(a)(b)\"; m = \"zz\" =~ \"(z)z\"; print($1, \" \", defined($2), \" \", $n);",
     "z 0 1\n"},
    {"var m = \"ab\" =~ \"(a)(b)\"; m = \"q\" =~ \"(z)\"; print(m, $1, $2, $n);", "0ab0\n"},
    {"var m = \"abc\" =~ \"(x)?abc\"; print(m, \"[\", $1, \"]\", $n);", "1[]1\n"},
    {"var m = 123 =~ \"1(2)3\"; print(m, $1);", "12\n"},
    {"function f() { var m = \"ab\" =~ \"(a)b\"; } f(); print($1);", "ERROR Error: Unknown variable $1, Line: 1"},
};
INSTANTIATE_TEST_SUITE_P(Regexp, ScriptTable, ::testing::ValuesIn(kRegexp));

// A string keeps its text however much string work follows: groups,
// operators, conversions and library results do not live in scratch memory
// that later strings reuse. Each loop takes far more scratch buffers than
// the scratch ring holds.
const ScriptCase kOwnedTexts[] = {
    {"var names = {\"bob\", \"alice\", \"carol\", \"dave\"}; var first = \"\"; var i;"
     " for (i = 0; i < 20000; i++) { var s = \"user \" + names[i % 4] + \" end\";"
     " if (s =~ \"user (\\w+) end\") { if (i == 0) { first = $1; } }"
     " if (first != \"bob\") { print(\"iteration \", i, \": first is now [\", first, \"]\"); exit; } }"
     " print(first);",
     "bob\n"},
    {"var m = \"k=v\" =~ \"(\\w)=(\\w)\"; var i; for (i = 0; i < 20000; i++) { m = \"x\" + i; } print($1, $2);",
     "kv\n"},
    {"var kept = \"ab\" + \"cd\"; var i; for (i = 0; i < 20000; i++) { var s = \"x\" + i; } print(kept);", "abcd\n"},
    {"var kept = 42 + \"!\"; var i; for (i = 0; i < 20000; i++) { var s = i + \"x\"; } print(kept);", "42!\n"},
    {"var kept = \"\" + 2.5; var i; for (i = 0; i < 20000; i++) { var s = \"\" + i * 0.5; } print(kept);",
     "2.500000\n"},
    {"var kept = tostring(7, 5); var w = tostring(-1, 2); var i;"
     " for (i = 0; i < 20000; i++) { var s = tostring(i, 0); } print(kept, \" \", w);",
     "0.000007 255.255.255.255\n"},
    {"var m = 123 =~ \"1(2)3\"; var i; for (i = 0; i < 20000; i++) { m = 4 =~ \"x\"; } print($1);", "2\n"},
    {"var kept = test.scratch(\"lib\"); var i; for (i = 0; i < 20000; i++) { var s = test.scratch(\"z\" + i); }"
     " print(kept);",
     "lib\n"},
    {"var a = {\"p\" + 1, test.scratch(\"q\")}; var i; for (i = 0; i < 20000; i++) { var s = \"x\" + i; }"
     " print(a[0], a[1]);",
     "p1q\n"},
    // A value waiting on the stack while a call does string work.
    {"function churn() { var i; for (i = 0; i < 20000; i++) { var s = \"x\" + i; } return \"!\"; }"
     " print(\"a\" + \"b\" + churn());",
     "ab!\n"},
    {"function churn(t) { var i; for (i = 0; i < 20000; i++) { var s = \"x\" + i; } return t; }"
     " print(churn(\"r\" + 1));",
     "r1\n"},
    // A variable read into an expression keeps its text when a call changes the variable.
    {"var s = \"a\" + \"b\"; function change() { s = \"c\" + \"d\"; return \"!\"; } print(s + change(), s);",
     "ab!cd\n"},
    {"var kept = fix(\"a\" + \"b\"); var i; for (i = 0; i < 20000; i++) { var s = \"x\" + i; } print(kept);"
     " free(kept); print(defined(kept));",
     "ab\n0\n"},
};
INSTANTIATE_TEST_SUITE_P(OwnedTexts, ScriptTable, ::testing::ValuesIn(kOwnedTexts));

const ScriptCase kStatements[] = {
    {"{ var x; } print(x);", "ERROR Error: Unknown variable x, Line: 1"},
    {"var x = 1; var x = 2; print(x);", "2\n"},
    {"var x; { var x; x = 3; } print(defined(x));", "0\n"},
    {"if (\"abc\") { print(1); } else { print(2); } if ('abc') { print(3); } else { print(4); }"
     " if (0.0) { print(5); } else { print(6); } if (0) { } else { if (1) { print(7); } }",
     "2\n3\n6\n7\n"},
    {"var x = 1; ++x; print(x); x--; --x; print(x); var d = 1.5; d++; print(d);", "2\n0\n2.500000\n"},
    {"var s = \"a\"; s++;", "ERROR Error: This operation only with numbers, Line: 1"},
    {"y++;", "ERROR Error: Unknown variable y, Line: 1"},
    {"print(1); exit; print(2);", "1\nEXIT 0"},
    {"var x = 3; undef x; print(defined(x));", "0\n"},
    {"undef nothing;", "ERROR Error: Unknown variable nothing, Line: 1"},
    {"pause; print(1); // the last line has no line end", "1\n"},
    {"var x = 3; debug(x); debug(x + 1, \"s\");", "x= 3\n+ x 1= 4, \"s\"= s\n"},
    {"var s = fix(\"abc\"); print(s); free(s); print(defined(s));", "abc\n0\n"},
    {"var s = fix(\"abc\"); var t = s; var a = {s}; free(s); print(defined(t), defined(a[0]));", "00\n"},
    {"var s = fix(\"abc\"); var t = fix(s); free(s); print(t);", "abc\n"},
};
INSTANTIATE_TEST_SUITE_P(Statements, ScriptTable, ::testing::ValuesIn(kStatements));

// There is no break or continue: loops end by their condition or a goto.
const ScriptCase kLoops[] = {
    {"var i = 0; while (i < 3) { print(i); i++; } i = 5; do { print(i); i++; } while (i < 3);", "0\n1\n2\n5\n"},
    {"var i; for (i = 0; i < 3; i++) { print(i); } do { i++; } while (i < 5); print(i);", "0\n1\n2\n5\n"},
    {"for (var i = 3, j = 0; i > 0; i -= 1) { j += i; print(j); }", "3\n5\n6\n"},
    {"var i; var s = \"\"; for (i = 3; i > 0; i--) { s = s + i; } print(s);", "321\n"},
    {"var i; var j; var n = 0; for (i = 0; i < 4; i++) { for (j = 0; j < i; j++) { n++; } } print(n);", "6\n"},
    {"var i = 0; while (1) { i++; if (i == 7) { goto Out; } } Out: print(i);", "7\n"},
    {"var i; for (i = 0; i < 3; i++) { var local = i * 2; print(local); }", "0\n2\n4\n"},
};
INSTANTIATE_TEST_SUITE_P(Loops, ScriptTable, ::testing::ValuesIn(kLoops));

const ScriptCase kFunctions[] = {
    {"var v = 7; function f() { return v; } print(f());", "7\n"},
    {"function g() { print(local); } function f() { var local = 4; g(); } f();", "4\n"},
    {"function f(OUT r) { r = 1; } var x; f(x); print(x);", "1\n"},
    {"function f(IN/OUT r) { r += 1; } var x = 1; f(x); print(x);", "2\n"},
    {"function f(IN/OUT r) { r = 1; } var x; f(x);", "ERROR Error: Parameter r undefined, Line: 1"},
    {"function f(a) { a = 9; } var x = 1; f(x); print(x);", "1\n"},
    {"var u; function f() { return u; } print(defined(f()));", "ERROR Error: Variable is undefined u, Line: 1"},
    {"function f(a, ...) { return array_size(args_list); } function g(...) { return args_list[1]; }"
     " print(f(1), f(1, 2, 3), g(1, \"b\"));",
     "02b\n"},
    {"function f() { return 5; } var i; for (i = 0; i < 300; i++) { f(); fix(\"x\"); } print(\"ok\");",
     "ERROR Error: Allocation overflow, Line: 1"},
    {"function f() { return 5; } var i; for (i = 0; i < 300; i++) { f(); defined(i); } print(\"ok\");", "ok\n"},
    {"function outer() { return 5; function inner() { } } var v = outer(); print(v);", "5\n"},
    {"function outer() { function inner() { } A: print(1); } A: outer();", "1\n"},
    {"function f() { var a = {1, 2}; return a; } var b = f(); print(array_size(b), b[1]);", "22\n"},
    {"function cos(x) { return 1; } print(math.cos(0));", "1.000000\n"},
    {"function math.cos(x) { return 5; } print(math.cos(0));", "5\n"},
};
INSTANTIATE_TEST_SUITE_P(Functions, ScriptTable, ::testing::ValuesIn(kFunctions));

const ScriptCase kGoto[] = {
    {"print(1); goto L; print(2); L: print(3);", "1\n3\n"},
    {"var i = 0; { { i++; if (i < 3) { goto L; } } } print(\"x\"); L: print(i);", "1\n"},
    {"L: print(1); function f() { goto L; }", "ERROR Error: Goto without label:  L, Line: 1"},
    {"function f() { var n = 0; A: n++; if (n < 4) { goto A; } return n; } print(f());", "4\n"},
    // A goto raised while the block already runs from a label is caught again.
    {"var i = 0; L: i++; if (i < 1000) { goto L; } print(i);", "1000\n"},
    {"var n = 0; var i = 0; L: i++; { { n += i; if (i < 100) { goto L; } } } print(n);", "5050\n"},
    {"var i = 0; goto B; A: print(\"a\", i); i++; B: if (i < 3) { goto A; } print(\"end\");", "a0\na1\na2\nend\n"},
    {"var i = 0; var k = 0; L: k++; while (i < 50) { i++; if (i % 10 == 0) { goto L; } } print(k, \" \", i);",
     "6 50\n"},
    {"function f() { var n = 0; A: n++; if (n < 50) { goto A; } return n; } var s = 0; var j;"
     " for (j = 0; j < 20; j++) { s += f(); } print(s);",
     "1000\n"},
    {"var i = 0; { L: i++; { if (i < 5) { goto L; } } print(i); }", "5\n"},
};
INSTANTIATE_TEST_SUITE_P(Goto, ScriptTable, ::testing::ValuesIn(kGoto));

// Ten frames: the program, each open block, and two for each running call
// (the function's own and its body's), so recursion goes four calls deep.
const ScriptCase kRecursion[] = {
    {"{ { { { { { { { { print(9); } } } } } } } } }", "9\n"},
    {"{ { { { { { { { { { print(10); } } } } } } } } } }", "ERROR Error: Error in variable stack, Line: 1"},
    {"function down(n) { print(n); return n == 1 || down(n - 1); } print(down(4));", "4\n3\n2\n1\n1\n"},
    {"function down(n) {\n print(n);\n return n == 1 || down(n - 1);\n}\nvar r = down(5);",
     "5\n4\n3\n2\nERROR Error: Error in variable stack, Line: 3"},
    {"function fact(n) { if (n <= 1) { return 1; } return n * fact(n - 1); } print(fact(4));", "24\n"},
    {"function f(n) { if (n > 1) { return n * f(n - 1); } return 1; } print(f(3));", "6\n"},
    {"function f(n) { if (n > 1) { return n * f(n - 1); } return 1; } print(f(4));",
     "ERROR Error: Error in variable stack, Line: 1"},
    {"function a() { return b() + 1; } function b() { return c() + 1; } function c() { return 1; } print(a());", "3\n"},
    {"function outer(x) { function inner(y) { return y * 2; } return inner(x) + 1; } print(outer(5));", "11\n"},
    // A return leaves every frame its function opened.
    {"function f(n) { { { return n; } } } var i; var s = 0; for (i = 0; i < 1000; i++) { s += f(i); } print(s);",
     "499500\n"},
};
INSTANTIATE_TEST_SUITE_P(Recursion, ScriptTable, ::testing::ValuesIn(kRecursion));

const ScriptCase kArrays[] = {
    {"var a = {1, 2, 3}; print(array_size(a), a[0], a[2], \" \", a);", "313 Array type.Size:3\n"},
    {"var a[]; a[2] = 5; print(array_size(a), defined(a[0]), a[2]);", "305\n"},
    {"var a[10], b; print(array_size(a)); b = 1; print(b);", "0\n1\n"},
    {"var a[3] = 5; print(array_size(a), a[3]);", "45\n"},
    {"var a = {1}; print(a[-1]);", "ERROR Error: An array index -1 exceeds size 1 of array a, Line: 1"},
    {"var a = {1}; a[-1] = 2;", "ERROR Error: An array index -1 exceeds size 1 of array a, Line: 1"},
    {"var a = {1}; print(a[0.5]);", "ERROR Error: Array index wrong type:  DOUBLE TYPE, Line: 1"},
    {"var a = {1, 2}; a = a; a[0] = a[1]; print(a[0]);", "2\n"},
    {"var a[]; a[1] = 4; var i = 1; print(a[i]); a[i + 1] = 6; print(array_size(a));", "4\n3\n"},
    {"var a[]; a[5000000] = 1;", "ERROR Error: Allocation overflow, Line: 1"},
    {"var r = test.record(3); print(r[2], \" \", r);", "302 Record type.Row index:3\n"},
    // Arrays are copied deeply, before the old storage goes.
    {"var a = {1, 2}; var b; b = a; b[0] = 9; undef a; print(b[0], b[1]);", "92\n"},
    {"var a = {1}; var b = a; undef a; b[0] = 2; print(b[0]);", "2\n"},
    {"var a = {1, 2}; var b = {a, 3}; a[0] = 7; var c = b[0]; print(c[0], array_size(b));", "12\n"},
    {"function f(a) { a[0] = 9; } var x = {1, 2}; f(x); print(x[0]);", "1\n"},
    {"function f(IN a) { undef a; } var x = {1}; f(x); print(x[0]);", "1\n"},
    {"function f(OUT a) { a[0] = 9; } var x = {1, 2}; f(x); print(x[0]);", "9\n"},
    {"function f(IN/OUT a) { a[2] = a[0] + a[1]; } var x = {1, 2}; f(x); print(array_size(x), x[2]);", "33\n"},
    {"function f(OUT a) { var b = {4, 5}; a = b; } var x[]; f(x); print(x[1]);", "5\n"},
    {"function f(a) { return a; } var x = {1, 2}; var y = f(x); undef x; print(y[1]);", "2\n"},
    {"function f(...) { var a = args_list[0]; return a[1] + args_list[1]; } var x = {5, 6}; print(f(x, 1));",
     "7\n"},
};
INSTANTIATE_TEST_SUITE_P(Arrays, ScriptTable, ::testing::ValuesIn(kArrays));

const ScriptCase kLibraries[] = {
    {"print(math.pow(2, 10), \" \", math.sqrt(2.25), \" \", math.log(0), \" \", math.atan2(1, 1) * 4, \" \","
     " math.fmod(7, 3), \" \", math.floor(-1.5));",
     "1024.000000 1.500000 -inf 3.141593 1.000000 -2.000000\n"},
    {"var h = test.handler(); print(h);", "Handler type. Lib index:1\n"},
    {"var u; print(test.count(1, 2, 3), \" \", test.count(u), \" \", test.type(u), \" \", test.any(1, 2));",
     "3 1 UNDEFINED TYPE 0\n"},
    {"print(test.count(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22));", "20\n"},
    {"var u; print(test.any(u, 1, \"s\"));", "ERROR Error: Variable is undefined u, Line: 1"},
    {"print(test.any(1, 2, 3));", "ERROR Error: Argument 2 has incorrect type INTEGER TYPE in function test.any, Line: 1"},
    {"var x = 1; var a = {1}; print(test.set(x, 5), x, test.set(a[0], 5), a[0]);", "1501\n"},
    {"print(missing.fn(1));", "ERROR Error: Unknown function call  missing.fn, Line: 1"},
};
INSTANTIATE_TEST_SUITE_P(Libraries, ScriptTable, ::testing::ValuesIn(kLibraries));

// Errors with the line they are reported at. Errors of the preparation and
// check passes come before anything runs, so nothing is printed ahead of them.
const ScriptCase kErrorsBeforeRun[] = {
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

const ScriptCase kStatementErrors[] = {
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
const ScriptCase kCallErrors[] = {
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

const ScriptCase kOperatorErrors[] = {
    {"var x = 1;\nprint(\"a\" > x);", "ERROR Error: Invalid arguments types, Line: 2"},
    {"var a = {1};\nprint(a + 1);", "ERROR Error: Invalid arguments types, Line: 2"},
    {"var x = 1;\nprint(tostring(x, \"s\"));", "ERROR Error: Function arguments must be only numbers, Line: 2"},
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

INSTANTIATE_TEST_SUITE_P(ErrorsBeforeRun, ScriptTable, ::testing::ValuesIn(kErrorsBeforeRun));
INSTANTIATE_TEST_SUITE_P(StatementErrors, ScriptTable, ::testing::ValuesIn(kStatementErrors));
INSTANTIATE_TEST_SUITE_P(CallErrors, ScriptTable, ::testing::ValuesIn(kCallErrors));
INSTANTIATE_TEST_SUITE_P(OperatorErrors, ScriptTable, ::testing::ValuesIn(kOperatorErrors));

// A group keeps its text up to one byte short of a scratch text; a group of
// 1099 bytes or more reads as empty.
TEST_F(ScriptFixture, RegexpGroupOfAScratchTextReadsEmpty)
{
    const struct {
        size_t bytes;
        const char* expected; // matched, groups, $1 equal to the text, $1 empty
    } cases[] = {{1098, "1110\n"}, {1099, "1101\n"}, {1100, "1101\n"}};
    for (const auto& c : cases) {
        const std::string text(c.bytes, 'a');
        EXPECT_EQ(c.expected, Run("var s = \"" + text + "\"; var m = s =~ \"(a*)\"; print(m, $n, $1 == s, $1 == \"\");"))
            << c.bytes;
    }
}

// A record read by index needs the row library's "kxrow.get_value".
TEST_F(ScriptFixture, RecordIndexWithoutTheRowLibrary)
{
    // The test library's leading functions, up to test.record.
    ScriptLibRegistry registry;
    registry.Add(&library_, scripttest::TestLibrary::Table(), scripttest::TestLibrary::RECORD + 1);
    ScriptLibRegistry::script = &registry;
    EXPECT_EQ("ERROR Error: No get field data function , Line: 2", Run("var r = test.record(1);\nprint(r[0]);"));
}

} // namespace
