#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <new>

#include "utils/regex/cbuffer.h"

TEST(RegexBuffer, PushDoublesCapacityFromEight)
{
    CBufferT<int> buffer;
    EXPECT_EQ(buffer.GetCapacity(), 0);
    buffer.Push(1);
    EXPECT_EQ(buffer.GetCapacity(), 8);
    for (int i = 2; i <= 9; ++i)
        buffer.Push(i);
    EXPECT_EQ(buffer.GetCapacity(), 16);
    EXPECT_EQ(buffer.GetSize(), 9);
    EXPECT_EQ(buffer[8], 9);
}

TEST(RegexBuffer, GrowingRoundsLargeSizesUp)
{
    // 20 > 8 doubles to 16, still short, so (20 + 11) rounded down to a multiple of 8.
    CBufferT<int> buffer;
    buffer.Grow(20, -1);
    EXPECT_EQ(buffer.GetCapacity(), 24);
    EXPECT_EQ(buffer[19], -1);

    CBufferT<int> doubled;
    doubled.Grow(8, 0);
    doubled.Grow(12, 0);
    EXPECT_EQ(doubled.GetCapacity(), 16);
}

TEST(RegexBuffer, TruncateKeepsStorageAndPopOfEmptyGivesZero)
{
    CBufferT<int> buffer;
    for (int i = 0; i < 100; ++i)
        buffer.Push(i);
    const int capacity = buffer.GetCapacity();
    buffer.Truncate(3);
    EXPECT_EQ(buffer.GetSize(), 3);
    EXPECT_EQ(buffer.GetCapacity(), capacity);
    EXPECT_EQ(buffer.Pop(), 2);
    buffer.Truncate(0);
    EXPECT_EQ(buffer.Pop(), 0);
    EXPECT_EQ(buffer.GetSize(), 0);
}

TEST(RegexBuffer, CharacterBufferStaysTerminated)
{
    CBufferT<char> text;
    for (int i = 0; i < 7; ++i)
        text.Push('x');
    EXPECT_STREQ(text.GetData(), "xxxxxxx");
    // The eighth character needs a ninth byte for the terminator.
    text.Push('y');
    EXPECT_STREQ(text.GetData(), "xxxxxxxy");
    text.Truncate(2);
    EXPECT_STREQ(text.GetData(), "xx");
    CBufferT<char> copy(text);
    copy.Append("abc", 3);
    EXPECT_STREQ(copy.GetData(), "xxabc");
    EXPECT_STREQ(text.GetData(), "xx");
}

TEST(RegexBuffer, SelfAppendSurvivesReallocation)
{
    CBufferT<int> buffer;
    for (int i = 0; i < 8; ++i)
        buffer.Push(i);
    // The pushed value lives in the buffer that reallocates.
    buffer.Push(buffer[3]);
    EXPECT_EQ(buffer[8], 3);
}

TEST(RegexBuffer, GrowthNearTheLimitStaysPositive)
{
    // A character buffer of 2^30 bytes (a pattern with a literal run that long) used to double
    // its capacity in an int, wrap negative and fall back to 8 bytes.
    const long long giB = 1LL << 30;
    EXPECT_EQ(CBufferT<char>::CapacityFor(giB, giB + 1), INT_MAX);
    EXPECT_EQ(CBufferT<char>::CapacityFor(INT_MAX, INT_MAX), INT_MAX);
    EXPECT_EQ(CBufferT<char>::CapacityFor(INT_MAX, INT_MAX + 1LL), -1);
    // Ints stop where their storage would pass INT_MAX bytes.
    EXPECT_EQ(CBufferT<int>::kMaxCapacity, INT_MAX / 4);
    EXPECT_EQ(CBufferT<int>::CapacityFor(1 << 28, (1 << 28) + 1), INT_MAX / 4);
    EXPECT_EQ(CBufferT<int>::CapacityFor(1 << 20, (1 << 20) + 1), 1 << 21);
    EXPECT_EQ(CBufferT<int>::CapacityFor(INT_MAX / 4, INT_MAX / 4 + 1), -1);
    // The ordinary steps: at least 8, doubled, else rounded up.
    EXPECT_EQ(CBufferT<int>::CapacityFor(0, 1), 8);
    EXPECT_EQ(CBufferT<int>::CapacityFor(8, 9), 16);
    EXPECT_EQ(CBufferT<int>::CapacityFor(8, 20), 24);
    EXPECT_EQ(CBufferT<int>::CapacityFor(16, 16), 16);
}

TEST(RegexBuffer, AppendPastTheLimitFailsCleanly)
{
    // The new size does not fit in an int: the append must throw before touching memory, and
    // the buffer must keep what it held.
    CBufferT<int> buffer;
    for (int i = 0; i < 8; ++i)
        buffer.Push(i);
    const int values[1] = {42};
    EXPECT_THROW(buffer.Append(values, INT_MAX), std::bad_alloc);
    EXPECT_THROW(buffer.Grow(INT_MAX, 0), std::bad_alloc);
    EXPECT_EQ(buffer.GetSize(), 8);
    EXPECT_EQ(buffer[7], 7);
    buffer.Push(8);
    EXPECT_EQ(buffer[8], 8);
}
