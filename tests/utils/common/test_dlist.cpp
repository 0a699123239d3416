#include "utils/common/dlist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace ZmLib;

namespace {

struct Item : DListEntry<Item> {
    explicit Item(char n) : name(n) {}
    char name;
};

// Walks the list both ways and checks every invariant; returns the names.
std::string Names(const DListBase& list)
{
    std::string forward;
    const DListEnt* prev = nullptr;
    uint32_t n = 0;
    for (const DListEnt* e = list.First; e; e = e->Next) {
        EXPECT_EQ(prev, e->Prev);
        forward += static_cast<const Item*>(e)->name;
        prev = e;
        if (++n > list.Count + 1)
            break;
    }
    EXPECT_EQ(prev, list.Last);
    EXPECT_EQ(list.Count, forward.size());
    std::string backward;
    for (const DListEnt* e = list.Last; e && backward.size() <= forward.size(); e = e->Prev)
        backward.insert(backward.begin(), static_cast<const Item*>(e)->name);
    EXPECT_EQ(forward, backward);
    if (list.Count == 0) {
        EXPECT_EQ(nullptr, list.First);
        EXPECT_EQ(nullptr, list.Last);
        EXPECT_TRUE(list.IsEmpty());
    }
    return forward;
}

bool Unlinked(const DListEnt& e)
{
    return e.Next == nullptr && e.Prev == nullptr;
}

} // namespace

TEST(DList, AddTailAndHead)
{
    DListBase list;
    Item a('a'), b('b'), c('c');
    EXPECT_EQ("", Names(list));
    list.AddTail(&b);
    list.AddTail(&c);
    list.AddHead(&a);
    EXPECT_EQ("abc", Names(list));
    EXPECT_EQ(&b, a.NextEntry());
    EXPECT_EQ(&b, c.PrevEntry());
    EXPECT_EQ(nullptr, a.PrevEntry());

    list.AddTail(nullptr);
    list.AddHead(nullptr);
    EXPECT_EQ("abc", Names(list));
}

TEST(DList, AddAfterAndBefore)
{
    DListBase list;
    Item a('a'), b('b'), c('c'), x('x'), y('y'), z('z'), w('w');
    // After nothing in an empty list is the tail.
    list.AddAfter(list.Last, &b);
    EXPECT_EQ("b", Names(list));
    list.AddBefore(&b, &a);
    EXPECT_EQ("ab", Names(list));
    EXPECT_EQ(&a, list.First);
    list.AddAfter(&b, &c);
    EXPECT_EQ("abc", Names(list));
    EXPECT_EQ(&c, list.Last);
    list.AddAfter(&a, &x);
    EXPECT_EQ("axbc", Names(list));
    list.AddBefore(&c, &y);
    EXPECT_EQ("axbyc", Names(list));
    list.AddBefore(&a, &z);
    EXPECT_EQ("zaxbyc", Names(list));

    list.AddBefore(nullptr, &w);
    list.AddBefore(&a, nullptr);
    list.AddAfter(&a, nullptr);
    list.AddAfter(nullptr, &w);
    EXPECT_EQ("zaxbyc", Names(list));
    EXPECT_TRUE(Unlinked(w));
}

TEST(DList, AddBeforeAnEntryWithoutPrevChangesNothing)
{
    DListBase list;
    Item a('a'), loose('l'), x('x');
    list.AddTail(&a);
    list.AddBefore(&loose, &x);
    EXPECT_EQ("a", Names(list));
    EXPECT_TRUE(Unlinked(x));
}

TEST(DList, RemoveFirstLastInnerAndOnly)
{
    DListBase list;
    Item a('a'), b('b'), c('c'), d('d');
    for (Item* i : {&a, &b, &c, &d})
        list.AddTail(i);
    EXPECT_EQ(&b, list.Remove(&b));
    EXPECT_TRUE(Unlinked(b));
    EXPECT_EQ("acd", Names(list));
    EXPECT_EQ(&a, list.Remove(&a));
    EXPECT_EQ("cd", Names(list));
    EXPECT_EQ(&d, list.Remove(&d));
    EXPECT_EQ("c", Names(list));
    EXPECT_EQ(&c, list.Remove(&c));
    EXPECT_TRUE(Unlinked(c));
    EXPECT_EQ("", Names(list));

    EXPECT_EQ(nullptr, list.Remove(&c));
    EXPECT_EQ(nullptr, list.Remove(nullptr));
    EXPECT_EQ("", Names(list));

    // Removed entries can be listed again.
    list.AddHead(&b);
    list.AddHead(&a);
    EXPECT_EQ("ab", Names(list));
}

TEST(DList, RemovingAnUnlistedEntryKeepsTheList)
{
    DListBase list;
    Item a('a'), b('b'), loose('l');
    list.AddTail(&a);
    list.AddTail(&b);
    EXPECT_EQ(nullptr, list.Remove(&loose));
    EXPECT_EQ(nullptr, list.Remove(nullptr));
    EXPECT_EQ("ab", Names(list));
}

TEST(DList, CopiedEntryIsNotListed)
{
    DListBase list;
    Item a('a'), b('b');
    list.AddTail(&a);
    list.AddTail(&b);
    Item copy(a);
    EXPECT_TRUE(Unlinked(copy));
    b = a;
    EXPECT_EQ(&a, b.PrevEntry());
    EXPECT_EQ("aa", Names(list));
}

TEST(DListDeathTest, AddAfterInnerEntryWithoutNextAborts)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    DListBase list;
    Item a('a'), b('b'), x('x');
    list.AddTail(&a);
    list.AddTail(&b);
    a.Next = nullptr; // a corrupted list
    EXPECT_DEATH(list.AddAfter(&a, &x), "");
}
