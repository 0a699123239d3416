// Compiles and matches with the n-th allocation failing, for every n: the builder must end up
// either whole or without a top element, never crash, leak or match on a partial tree.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "utils/regex/regexbuilder.h"

namespace {

// Allocations left before one fails; negative means none fails.
int g_allocationsLeft = -1;
bool g_failed = false;

void* Allocate(std::size_t size)
{
    if (g_allocationsLeft == 0) {
        g_failed = true;
        return nullptr;
    }
    if (g_allocationsLeft > 0)
        --g_allocationsLeft;
    return std::malloc(size ? size : 1);
}

}  // namespace

void* operator new(std::size_t size)
{
    if (void* p = Allocate(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
// What a throwing constructor under a nothrow new frees with.
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

const char kPattern[] = "(?<y>\\d{4})-(\\d\\d)|(?i:[a-f[:digit:]]+)(?=x)\\k<y>(?R)?(?(1)a|b)*?";
const char kText[] = "2024-05";

bool MatchOnce(const RegexBuilder& builder)
{
    RegexMatchResult result;
    builder.Match(result, kText, static_cast<int>(sizeof kText - 1));
    return result.IsMatched();
}

}  // namespace

TEST(RegexAllocation, FailedCompileLeavesNoTopElement)
{
    int complete = 0;
    for (int failAt = 0; failAt < 2000 && complete == 0; ++failAt) {
        g_allocationsLeft = failAt;
        g_failed = false;
        RegexBuilder* builder = new (std::nothrow) RegexBuilder(kPattern);
        const bool failed = g_failed;
        g_allocationsLeft = -1;
        if (!builder)
            continue;
        if (failed) {
            EXPECT_FALSE(builder->IsCompiled()) << "allocation " << failAt;
            EXPECT_FALSE(MatchOnce(*builder)) << "allocation " << failAt;
        } else {
            EXPECT_TRUE(builder->IsCompiled());
            EXPECT_TRUE(MatchOnce(*builder));
            ++complete;
        }
        delete builder;
    }
    EXPECT_EQ(complete, 1);
}

TEST(RegexAllocation, FailedMatchGivesNoMatch)
{
    const RegexBuilder builder(kPattern);
    ASSERT_TRUE(MatchOnce(builder));
    int complete = 0;
    for (int failAt = 0; failAt < 2000 && complete == 0; ++failAt) {
        RegexMatchResult result;
        g_allocationsLeft = failAt;
        g_failed = false;
        builder.Match(result, kText, static_cast<int>(sizeof kText - 1));
        const bool failed = g_failed;
        g_allocationsLeft = -1;
        if (failed) {
            EXPECT_EQ(result.GetSize(), 0) << "allocation " << failAt;
        } else {
            EXPECT_TRUE(result.IsMatched());
            ++complete;
        }
    }
    EXPECT_EQ(complete, 1);
}

TEST(RegexAllocation, BacktrackingWithAReusedContextAllocatesNothing)
{
    // Greedy elements backtrack through the context's scratch; once a first match has grown the
    // context's buffers, the same match needs no allocation at all.
    const struct {
        const char* pattern;
        const char* text;
    } cases[] = {
        {"(.*),(.*)", "a,b,c,d"},
        {"(?:(a*)a)*b", "aaaab"},
        {"(\\w+)\\s*(\\w*) x(.*)", "word  other x tail"},
    };
    for (const auto& c : cases) {
        const RegexBuilder builder(c.pattern);
        RegexMatchContext context;
        RegexMatchResult result;
        const int length = static_cast<int>(std::strlen(c.text));
        ASSERT_TRUE(builder.Match(result, c.text, length, &context).IsMatched()) << c.pattern;
        g_allocationsLeft = 0;
        g_failed = false;
        builder.Match(result, c.text, length, &context);
        const bool failed = g_failed;
        g_allocationsLeft = -1;
        EXPECT_FALSE(failed) << c.pattern;
        EXPECT_TRUE(result.IsMatched()) << c.pattern;
    }
}
