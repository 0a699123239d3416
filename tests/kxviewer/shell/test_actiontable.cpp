#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "kxviewer/actiontable.h"

TEST(ActionTable, EveryCommandHasItsTextAndTheLastEntryStaysEmpty)
{
    for (int id = 0; id < ACTION_TABLE_SIZE - 1; ++id) {
        ASSERT_NE(ActionTable[id].text, nullptr) << id;
        EXPECT_GE(ActionTable[id].enableRule, 0) << id;
        EXPECT_LE(ActionTable[id].enableRule, 4) << id;
    }
    const ComAction& last = ActionTable[ACTION_TABLE_SIZE - 1];
    EXPECT_EQ(last.text, nullptr);
    EXPECT_EQ(last.icon, nullptr);
    EXPECT_EQ(last.key, 0);
    EXPECT_STREQ(ActionTable[10].text, "Show Main Menu                    F10");
    EXPECT_STREQ(ActionTable[37].tip, "Switch 'Match Case' mode On/Off");
}

TEST(ActionTable, SecondIconsAreTheDisabledTwinsOfTheirIcon)
{
    for (int id = 0; id < ACTION_TABLE_SIZE; ++id) {
        const ComAction& a = ActionTable[id];
        if (a.icon2 == nullptr)
            continue;
        ASSERT_NE(a.icon, nullptr) << id;
        // "CopyAll" shares the disabled look of "Copy".
        const std::string twin = strcmp(a.icon, "CopyAll") == 0 ? "Copy_dis" : std::string(a.icon) + "_dis";
        EXPECT_EQ(twin, a.icon2) << id;
    }
}

TEST(ActionTable, MainWindowBindsSixtyFourDistinctCommands)
{
    std::set<int> ids;
    std::set<int> hidden;
    int count = 0;
    for (const ComActionBinding* b = MainWindowBindings; b->id >= 0; ++b, ++count) {
        ASSERT_LT(b->id, ACTION_TABLE_SIZE - 1);
        ASSERT_NE(b->slot, nullptr);
        EXPECT_EQ(b->slot[0], '1') << b->id;
        EXPECT_TRUE(ids.insert(b->id).second) << "bound twice: " << b->id;
        if (strcmp(b->slot, "1notImplemented()") == 0)
            hidden.insert(b->id);
    }
    EXPECT_EQ(count, MAIN_BINDING_COUNT);
    for (int id = 0; id <= 23; ++id)
        EXPECT_EQ(ids.count(id), 1u) << id;
    EXPECT_EQ(ids.count(24), 0u); // side panels and "&Colorize" belong to the document tab
    EXPECT_EQ(ids.count(36), 0u);
    EXPECT_EQ(hidden, (std::set<int>{1, 2, 5, 20, 30, 31, 37}));
}

TEST(ActionTableDeathTest, AnIdOutsideTheTableIsAnInternalFault)
{
    EXPECT_STREQ(ActionDescriptor(0).text, "&New Blank Document");
    EXPECT_EQ(ActionDescriptor(ACTION_TABLE_SIZE - 1).text, nullptr);
    EXPECT_DEATH(ActionDescriptor(-1), "");
    EXPECT_DEATH(ActionDescriptor(ACTION_TABLE_SIZE), "");
}
