#include <set>

#include <QAction>
#include <QIcon>
#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>

#include "kxviewer/table/comactionbase.h"
#include "kxviewer/table/tabbindings.h"

namespace {

class Owner : public QWidget, public ComActionBase<ComActionCount> {
    Q_OBJECT
public:
    int saves = 0;
    int bookmarks = 0;
public slots:
    void Save() { saves++; }
    void SaveAs() {}
    void BookmarkCurrentOnOff() { bookmarks++; }
    void notImplemented() {}
};

// A table with the entries the tests look at; the rest stay empty.
struct Table {
    ComAction entries[ComActionCount] = {};
    Table()
    {
        for (ComAction& entry : entries)
            entry = {0, 0, 0, nullptr, nullptr, "", nullptr};
        entries[17] = {1, 0, 5, "Save", "Save_dis", "&Save", "Save current document as a KXL file"};
        entries[18] = {1, 0, 63, "SaveAs", "SaveAs_dis", "&Save As...", nullptr};
        entries[20] = {1, 0, 0, "Export-Excel", "Export-Excel_dis", "&Export to Excel", "Export to Excel"};
        entries[74] = {1, 0, 67, nullptr, nullptr, "Clear Selection", "Clear all selection"};
        entries[80] = {1, 1, 0x5000031, "Bookmark", nullptr, "&Bookmark", "Set/Clear Bookmark"};
        ComActionTablePublish(entries, ComActionCount);
    }
    ~Table() { ComActionTablePublish(nullptr, 0); }
};

ComActionBinding MainList[] = {
    {80, "1BookmarkCurrentOnOff()", 0}, {17, "1Save()", 0}, {18, "1SaveAs()", 0}, {74, "1Save()", 0},
    {-1, nullptr, 0},
};

QImage IconImage(const char* path, int size)
{
    return QIcon(path).pixmap(QSize(size, size)).toImage();
}

class ComActionTest : public ::testing::Test {
protected:
    Table table;
    Owner owner;
};

TEST_F(ComActionTest, MainWindowActionsCarryShortcutsTipsAndSlots)
{
    ComActionBinding list[] = {{17, "1Save()", 0}, {18, "1SaveAs()", 0}, {80, "1BookmarkCurrentOnOff()", 0},
                               {74, "1Save()", 0}, {-1, nullptr, 0}};
    owner.CreateActions(&owner, list, nullptr);

    QAction* save = owner.Actions[17];
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->text(), "&Save");
    EXPECT_EQ(save->objectName(), "&Save");
    EXPECT_EQ(save->parent(), &owner);
    const QKeySequence saveKey(QKeySequence::Save);
    EXPECT_EQ(save->shortcut(), saveKey);
    EXPECT_EQ(save->shortcutContext(), Qt::ApplicationShortcut);
    const QString tip = "Save current document as a KXL file\t" + saveKey.toString(QKeySequence::NativeText);
    EXPECT_EQ(save->statusTip(), tip);
    EXPECT_EQ(save->toolTip(), tip);
    EXPECT_EQ(save->whatsThis(), tip);
    EXPECT_FALSE(save->isCheckable());
    EXPECT_TRUE(save->isVisible());
    save->trigger();
    EXPECT_EQ(owner.saves, 1);

    // No status tip: the menu text without '&'.
    EXPECT_EQ(owner.Actions[18]->statusTip(),
              "Save As...\t" + QKeySequence(QKeySequence::SaveAs).toString(QKeySequence::NativeText));
    // Standard key 67 is the deselect sequence; a larger value a key code.
    EXPECT_EQ(owner.Actions[74]->shortcut(), QKeySequence(QKeySequence::Deselect));
    EXPECT_EQ(owner.Actions[80]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F2));
    EXPECT_TRUE(owner.Actions[80]->isCheckable());
    EXPECT_EQ(owner.Actions[0], nullptr);
    EXPECT_EQ(list[0].position, 0); // untouched without a second list

    owner.DeleteActions();
    for (QAction* action : owner.Actions)
        EXPECT_EQ(action, nullptr);
}

TEST_F(ComActionTest, NotImplementedActionsExistHidden)
{
    ComActionBinding list[] = {{20, "1notImplemented()", 0}, {17, "1Save()", 0}, {-1, nullptr, 0}};
    owner.CreateActions(&owner, list, nullptr);
    ASSERT_NE(owner.Actions[20], nullptr);
    EXPECT_FALSE(owner.Actions[20]->isVisible());
    EXPECT_TRUE(owner.Actions[17]->isVisible());
    owner.DeleteActions();
}

TEST_F(ComActionTest, TabActionsShowTheKeyButLeaveTheShortcutToTheMainWindow)
{
    ComActionBinding list[] = {{17, "1Save()", 0}, {20, "1notImplemented()", 0}, {80, "1BookmarkCurrentOnOff()", 0},
                               {-1, nullptr, 0}};
    owner.CreateActions(&owner, list, MainList);
    EXPECT_TRUE(owner.Actions[17]->shortcut().isEmpty());
    EXPECT_TRUE(owner.Actions[17]->statusTip().endsWith(
        "\t" + QKeySequence(QKeySequence::Save).toString(QKeySequence::NativeText)));
    EXPECT_EQ(list[0].position, 1);
    EXPECT_EQ(list[1].position, -1);
    EXPECT_EQ(list[2].position, 0);
    owner.Actions[80]->trigger();
    EXPECT_EQ(owner.bookmarks, 1);
    owner.DeleteActions();
}

TEST_F(ComActionTest, DisabledPictureShowsOnlyInTheDisabledMode)
{
    ComActionBinding list[] = {{17, "1Save()", 0}, {-1, nullptr, 0}};
    owner.CreateActions(&owner, list, nullptr);
    const QIcon icon = owner.Actions[17]->icon();
    const QImage normal = icon.pixmap(QSize(16, 16), QIcon::Normal).toImage();
    const QImage disabled = icon.pixmap(QSize(16, 16), QIcon::Disabled).toImage();
    EXPECT_EQ(normal, IconImage(":Res/Save.ico", 16));
    EXPECT_EQ(disabled, IconImage(":Res/Save_dis.ico", 16));
    EXPECT_NE(normal, disabled);
    owner.DeleteActions();
}

TEST(TabBindings, ListsAsTheTablesGiveThem)
{
    std::set<int32_t> ids;
    std::set<int32_t> hidden;
    for (int i = 0; i < TabBaseBindingCount; ++i) {
        ASSERT_GE(TabBaseBindings[i].id, 0) << i;
        ASSERT_LT(TabBaseBindings[i].id, ComActionCount) << i;
        EXPECT_EQ(TabBaseBindings[i].slot[0], '1') << i;
        ids.insert(TabBaseBindings[i].id);
        if (std::string(TabBaseBindings[i].slot) == "1notImplemented()")
            hidden.insert(TabBaseBindings[i].id);
    }
    EXPECT_EQ(TabBaseBindings[TabBaseBindingCount].id, -1);
    EXPECT_EQ(ids.size(), size_t(TabBaseBindingCount));
    EXPECT_EQ(hidden, (std::set<int32_t>{20, 30}));
    EXPECT_STREQ(TabBaseBindings[0].slot, "1Save()");
    EXPECT_STREQ(TabBaseBindings[TabBaseBindingCount - 1].slot, "1PrintLineInfoToLog()");
    EXPECT_EQ(TabBaseBindings[TabBaseBindingCount - 1].id, 134);

    EXPECT_EQ(PaneDocksBindings[PaneDocksBindingCount].id, -1);
    const int32_t paneIds[] = {89, 90, 101, 102, 103, 104};
    for (int i = 0; i < PaneDocksBindingCount; ++i)
        EXPECT_EQ(PaneDocksBindings[i].id, paneIds[i]);
}

} // namespace

#include "test_comactionbase.moc"
