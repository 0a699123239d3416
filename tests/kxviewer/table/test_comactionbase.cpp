#include <QAction>
#include <QIcon>
#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>

#include "kxviewer/table/comactionbase.h"

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

class ComActionTest : public ::testing::Test {
protected:
    void TearDown() override { owner.DeleteActions(); }
    Table table;
    Owner owner;
};

TEST_F(ComActionTest, MainWindowActionsCarryShortcutsTipsAndSlots)
{
    ComActionBinding list[] = {{17, "1Save()", 0},        {18, "1SaveAs()", 0}, {80, "1BookmarkCurrentOnOff()", 0},
                               {74, "1Save()", 0},        {20, "1notImplemented()", 0}, {-1, nullptr, 0}};
    owner.CreateActions(&owner, list, nullptr);

    QAction* save = owner.Actions[17];
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->text(), "&Save");
    const QKeySequence saveKey(Qt::CTRL | Qt::Key_S);
    EXPECT_EQ(save->shortcut(), saveKey);
    EXPECT_EQ(save->shortcutContext(), Qt::ApplicationShortcut);
    const QString tip = "Save current document as a KXL file\t" + saveKey.toString(QKeySequence::NativeText);
    EXPECT_EQ(save->statusTip(), tip);
    EXPECT_EQ(save->toolTip(), tip);
    EXPECT_FALSE(save->isCheckable());
    EXPECT_TRUE(save->isVisible());
    save->trigger();
    EXPECT_EQ(owner.saves, 1);

    // No status tip: the menu text without '&'; no key on Linux, no tab.
    EXPECT_EQ(owner.Actions[18]->statusTip(), "Save As...");
    EXPECT_TRUE(owner.Actions[18]->shortcut().isEmpty());
    // Standard key 67 is the deselect sequence; a larger value a key code.
    EXPECT_EQ(owner.Actions[74]->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    EXPECT_EQ(owner.Actions[80]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F2));
    EXPECT_TRUE(owner.Actions[80]->isCheckable());
    // Not implemented: made, but hidden.
    ASSERT_NE(owner.Actions[20], nullptr);
    EXPECT_FALSE(owner.Actions[20]->isVisible());
    EXPECT_EQ(owner.Actions[0], nullptr);
    EXPECT_EQ(list[0].position, 0); // untouched without a second list

    owner.DeleteActions();
    for (QAction* action : owner.Actions)
        EXPECT_EQ(action, nullptr);
}

// The standard keys of the action table have one binding on every Linux
// desktop, whatever the platform theme would give; a key code stays itself.
TEST(ComActionKeys, StandardKeysHaveTheirLinuxBinding)
{
    const struct { int32_t key; const char* text; } cases[] = {
        {QKeySequence::HelpContents, "F1"}, {QKeySequence::Open, "Ctrl+O"}, {QKeySequence::Close, "Ctrl+W"},
        {QKeySequence::Save, "Ctrl+S"}, {QKeySequence::New, "Ctrl+N"}, {QKeySequence::Copy, "Ctrl+C"},
        {QKeySequence::Paste, "Ctrl+V"}, {QKeySequence::Back, "Alt+Left"}, {QKeySequence::Print, "Ctrl+P"},
        {QKeySequence::AddTab, "Ctrl+T"}, {QKeySequence::Find, "Ctrl+F"}, {QKeySequence::FindNext, "F3"},
        {QKeySequence::FindPrevious, "Shift+F3"}, {QKeySequence::SelectAll, "Ctrl+A"}, {QKeySequence::SaveAs, ""},
        {QKeySequence::Preferences, ""}, {QKeySequence::Quit, "Ctrl+Q"}, {QKeySequence::FullScreen, ""},
        {QKeySequence::Deselect, "Ctrl+Shift+A"}, {0, ""}, {QKeySequence::Undo, ""},
        {Qt::CTRL | Qt::Key_F2, "Ctrl+F2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComActionFactory::KeyOf(c.key).toString(QKeySequence::PortableText).toStdString(), c.text) << c.key;
}

TEST_F(ComActionTest, TabActionsShowTheKeyButLeaveTheShortcutToTheMainWindow)
{
    ComActionBinding mainList[] = {{80, "1BookmarkCurrentOnOff()", 0}, {17, "1Save()", 0}, {18, "1SaveAs()", 0},
                                   {74, "1Save()", 0},                 {-1, nullptr, 0}};
    ComActionBinding list[] = {{17, "1Save()", 0}, {20, "1notImplemented()", 0}, {80, "1BookmarkCurrentOnOff()", 0},
                               {-1, nullptr, 0}};
    owner.CreateActions(&owner, list, mainList);
    EXPECT_TRUE(owner.Actions[17]->shortcut().isEmpty());
    EXPECT_TRUE(owner.Actions[17]->statusTip().endsWith("\tCtrl+S"));
    EXPECT_EQ(list[0].position, 1);
    EXPECT_EQ(list[1].position, -1);
    EXPECT_EQ(list[2].position, 0);
    owner.Actions[80]->trigger();
    EXPECT_EQ(owner.bookmarks, 1);
}

TEST_F(ComActionTest, DisabledPictureShowsOnlyInTheDisabledMode)
{
    ComActionBinding list[] = {{17, "1Save()", 0}, {-1, nullptr, 0}};
    owner.CreateActions(&owner, list, nullptr);
    const QIcon icon = owner.Actions[17]->icon();
    const QImage normal = icon.pixmap(QSize(16, 16), QIcon::Normal).toImage();
    const QImage disabled = icon.pixmap(QSize(16, 16), QIcon::Disabled).toImage();
    EXPECT_EQ(normal, QIcon(":Res/Save.ico").pixmap(QSize(16, 16)).toImage());
    EXPECT_EQ(disabled, QIcon(":Res/Save_dis.ico").pixmap(QSize(16, 16)).toImage());
    EXPECT_NE(normal, disabled);
}

} // namespace

#include "test_comactionbase.moc"
