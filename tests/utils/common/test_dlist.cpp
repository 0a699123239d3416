#include "utils/common/dlist.h"

#include <gtest/gtest.h>

#include <string>

using namespace ZmLib;

namespace {

struct Item : DListEntry<Item> {
    explicit Item(char n) : name(n) {}
    char name;
};

// Walks the list both ways, checks the links and the count; returns the names.
std::string Names(const DListBase& list)
{
    std::string forward, backward;
    const DListEnt* prev = nullptr;
    for (const DListEnt* e = list.First; e && forward.size() <= list.Count; e = e->Next) {
        EXPECT_EQ(prev, e->Prev);
        forward += static_cast<const Item*>(e)->name;
        prev = e;
    }
    EXPECT_EQ(prev, list.Last);
    EXPECT_EQ(list.Count, forward.size());
    for (const DListEnt* e = list.Last; e && backward.size() <= forward.size(); e = e->Prev)
        backward.insert(backward.begin(), static_cast<const Item*>(e)->name);
    EXPECT_EQ(forward, backward);
    EXPECT_EQ(list.Count == 0, list.IsEmpty());
    return forward;
}

bool Unlinked(const DListEnt& e)
{
    return e.Next == nullptr && e.Prev == nullptr;
}

} // namespace

TEST(DList, InsertAtEveryPlaceAndIgnoreNullOrLooseArguments)
{
    DListBase list;
    Item a('a'), b('b'), c('c'), x('x'), y('y'), z('z'), w('w'), loose('l');
    list.AddAfter(list.Last, &b); // after nothing in an empty list is the tail
    list.AddBefore(&b, &a);
    list.AddTail(&c);
    EXPECT_EQ("abc", Names(list));
    list.AddAfter(&a, &x);
    list.AddBefore(&c, &y);
    list.AddHead(&z);
    EXPECT_EQ("zaxbyc", Names(list));
    EXPECT_EQ(&x, a.NextEntry());
    EXPECT_EQ(&a, x.PrevEntry());

    list.AddTail(nullptr);
    list.AddHead(nullptr);
    list.AddBefore(nullptr, &w);
    list.AddBefore(&a, nullptr);
    list.AddAfter(&a, nullptr);
    list.AddAfter(nullptr, &w);
    list.AddBefore(&loose, &w); // an entry without a Prev that is not First
    EXPECT_EQ("zaxbyc", Names(list));
    EXPECT_TRUE(Unlinked(w));
}

TEST(DList, RemoveFirstLastInnerOnlyAndUnlisted)
{
    DListBase list;
    Item a('a'), b('b'), c('c'), d('d'), loose('l');
    for (Item* i : {&a, &b, &c, &d})
        list.AddTail(i);
    EXPECT_EQ(nullptr, list.Remove(&loose));
    EXPECT_EQ(nullptr, list.Remove(nullptr));
    const struct {
        Item* entry;
        const char* left;
    } steps[] = {{&b, "acd"}, {&a, "cd"}, {&d, "c"}, {&c, ""}};
    for (const auto& s : steps) {
        EXPECT_EQ(s.entry, list.Remove(s.entry));
        EXPECT_TRUE(Unlinked(*s.entry));
        EXPECT_EQ(s.left, Names(list));
    }
    EXPECT_EQ(nullptr, list.Remove(&c));
    // Removed entries can be listed again.
    list.AddHead(&b);
    list.AddHead(&a);
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
