#include <gtest/gtest.h>

#include <cstring>

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

TEST(RegexBuffer, SortedBufferKeepsOrderAndFinds)
{
    CSortedBufferT<int> ascending;
    for (int value : {5, 1, 9, 3, 7, 3})
        ascending.Add(value);
    ASSERT_EQ(ascending.GetSize(), 6);
    for (int i = 1; i < ascending.GetSize(); ++i)
        EXPECT_LE(ascending[i - 1], ascending[i]);
    EXPECT_GE(ascending.Find(7), 0);
    EXPECT_EQ(ascending[ascending.Find(9)], 9);
    EXPECT_EQ(ascending.Find(4), -1);
    EXPECT_EQ(ascending.Find(10), -1);

    CSortedBufferT<int> descending(true);
    for (int value : {2, 8, 4})
        descending.Add(value);
    EXPECT_EQ(descending[0], 8);
    EXPECT_EQ(descending[2], 2);
    EXPECT_EQ(descending.Find(4), 1);
    EXPECT_EQ(descending.Find(5), -1);
}
