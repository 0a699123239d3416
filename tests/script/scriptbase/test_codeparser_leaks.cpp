// A thousand runs of scripts that end every way a script can end (normally,
// by exit, by an error deep inside calls and blocks, by a stop) keep no heap
// memory. LeakSanitizer finds unreachable blocks at exit; the heap counter
// also finds memory still referenced but no longer needed.
#include <malloc.h>

#include <cstddef>

#include "tests/script/scriptbase/script_fixture.h"

using scripttest::ScriptFixture;

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's counter (GCC ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

size_t HeapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

const char* const kScripts[] = {
    "var a = {1, 2, {3}}; var b = a; b[5] = a; print(array_size(b));",
    "function f(a, ...) { var c = {a, args_list}; return c; } var r = f({1}, 2, 3); print(array_size(r));",
    "function f(n) { var a = {n, n}; if (n > 0) { return f(n - 1); } return a[9]; } f(2);",
    "var a = {1}; { var b = {a, a}; { var c = b; goto Out; } } Out: undef a; print(1);",
    "var i = 0; var a[]; L: a[i] = {i}; i++; if (i < 20) { goto L; } print(array_size(a));",
    "var s = fix(\"kept\"); var t = fix(s); free(s); var m = t =~ \"(k)(e+)pt\"; print($2);",
    "var m = \"abc\" =~ \"a(.\"; var h = test.handler(); var h2 = test.handler(); print(h);",
    "var a = {1, 2}; function f(OUT x) { x = {7}; } f(a); test.fail();",
    "var a = {1}; var i = 0; while (1) { var b = a; i++; if (i == 50) { test.stop(); } }",
    "var a = {\"x\"}; print(a[0] + 1); exit;",
    "var a = {1}; a = 2;",
    "var = ;",
};

TEST_F(ScriptFixture, ThousandRunsLeakNothing)
{
    // The first round fills what lives as long as the process (scratch ring,
    // the string the test library prints into).
    for (const char* script : kScripts)
        Run(script);
    const size_t before = HeapInUse();
    for (int i = 0; i < 1000; i++)
        Run(kScripts[size_t(i) % std::size(kScripts)]);
    EXPECT_EQ(before, HeapInUse());
}

} // namespace
