// Help: F1 and What's-this clicks reach the help browser through its
// remote-control input, the browser is started once and kept, and a browser
// or collection that is missing is reported; the script page keeps up with
// the script libraries.
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWhatsThis>

#include "documentation/helpproject.h"
#include "kxviewer/actiontable.h"
#include "kxviewer/helpassistant.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/systemlogplaintext.h"
#include "kxviewer/table/tabbase.h"
#include "script/scriptbase/scriptlib.h"
#include "shellfixture.h"

using namespace shelltest;

namespace {

QString Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

bool Write(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// Where the help project's keyword for a What's-this text leads; empty
// when there is no such keyword.
QString KeywordRef(const QString& project, const QString& text)
{
    const QString name = text.toHtmlEscaped().replace(QLatin1Char('\t'), QLatin1String("&#9;"));
    const QString start = "<keyword name=\"" + name + "\" id=\"" + name + "\" ref=\"";
    const int at = project.indexOf(start);
    return at < 0 ? QString() : project.mid(at + start.size()).section(QLatin1Char('"'), 0, 0);
}

// The commands page's row that holds an anchor, from the row's start to
// its end; empty when there is none.
QString RowAt(const QString& page, const QString& anchor)
{
    const int at = page.indexOf("id=\"" + anchor + "\"");
    if (at < 0)
        return QString();
    const int start = page.lastIndexOf(QLatin1String("<tr>"), at);
    return page.mid(start, page.indexOf(QLatin1String("</tr>"), at) - start);
}

// The texts of a row's cells.
QStringList Cells(const QString& row)
{
    QStringList cells = row.split(QLatin1String("</td>"));
    cells.removeLast();
    for (QString& cell : cells)
        cell = cell.remove(QRegularExpression(QStringLiteral("<[^>]*>|^[^>]*>"))).simplified();
    return cells;
}

class HelpTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        savedProgramDir = PrefGlobal::ProgramDir;
        PrefGlobal::ProgramDir = QFile::encodeName(dir.path() + "/").toStdString();
        ASSERT_TRUE(QDir(dir.path()).mkpath("documentation"));
        ASSERT_TRUE(Write(dir.filePath("documentation/kxviewer.qhc"), ""));
        // The stub browser logs its arguments and every command it reads.
        stub = dir.filePath("assistant");
        ASSERT_TRUE(Write(stub, "#!/bin/sh\necho \"$@\" >> \"$(dirname \"$0\")/argv\"\n"
                                "exec cat >> \"$(dirname \"$0\")/stdin\"\n"));
        QFile::setPermissions(stub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        window->Assistant().SetProgram(stub);
    }
    void TearDown() override
    {
        MainWindowTest::TearDown();
        PrefGlobal::ProgramDir = savedProgramDir;
    }
    // Opens the import-format editor, presses its Help button and closes it.
    void RunImportEditorHelp()
    {
        prompt.onExec = [](QDialog* dialog) {
            dialog->show();
            for (QPushButton* button : dialog->findChildren<QPushButton*>())
                if (button->text() == QLatin1String("Help"))
                    QTest::mouseClick(button, Qt::LeftButton);
            return int(QDialog::Rejected);
        };
        window->Actions[ACT_IMPORT_FORMATS]->trigger();
        prompt.onExec = nullptr;
    }
    // The commands the stub has read once count lines have come.
    QStringList Commands(int count)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return Read(dir.filePath("stdin")).count('\n') >= count; }, 5000));
        QTest::qWait(50);
        return Read(dir.filePath("stdin")).split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
    QString stub;
    std::string savedProgramDir;
};

} // namespace

// Each request gives exactly one command line; only the first starts the
// browser, on the collection beside the program. A What's-this click is
// handled once, where it lands or at the nearest parent with a help text (a
// button without one gives its own text), and leaves What's-this mode.
TEST_F(HelpTest, RequestsReachTheBrowserOnce)
{
    auto* button = new QPushButton(QStringLiteral("Apply"), window->statusBar());
    window->statusBar()->addPermanentWidget(button);
    QCoreApplication::processEvents();

    struct Case { const char* name; std::function<void()> request; QString command; };
    const QString index = QStringLiteral("SetSource qthelp://kxviewer/documenation/index.html");
    const auto whatsThisClick = [](QWidget* target) {
        return [target] {
            QWhatsThis::enterWhatsThisMode();
            QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, QPoint(4, 4));
        };
    };
    const Case cases[] = {
        {"F1", [this] { QTest::keyClick(window.get(), Qt::Key_F1); }, index},
        {"the status line's keyword", whatsThisClick(window->statusBar()), "ActivateIdentifier status"},
        {"a button's own text", whatsThisClick(button), "ActivateIdentifier Apply"},
        {"the window's page from a child without text", whatsThisClick(TearOffMain::MainHost), index},
        {"the import-format editor's Help button", [this] { RunImportEditorHelp(); },
         "SetSource qthelp://kxviewer/documenation/importformats.html"},
    };
    QStringList expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.request();
        expected << c.command;
        EXPECT_EQ(Commands(expected.size()), expected);
        QCoreApplication::processEvents();
        EXPECT_FALSE(QWhatsThis::inWhatsThisMode());
    }
    EXPECT_EQ(Read(dir.filePath("argv")),
              "-collectionFile " + dir.path() + "/documentation/kxviewer.qhc -enableRemoteControl\n");
    EXPECT_TRUE(prompt.calls.empty());
}

// Shift+F1 starts What's-this mode, as the Help menu says, with the menu
// bar and the main toolbars shown or hidden, and with the focus in the main
// window or in a window of the viewer's own.
TEST_F(HelpTest, ShiftF1StartsWhatsThisMode)
{
    const bool savedMenu = PrefGlobal::MainMenuShown;
    const bool savedToolbars = PrefGlobal::MainToolbarShown;
    const struct { bool menu, toolbars, detached; } cases[] = {
        {true, true, false}, {false, true, false}, {true, false, false}, {false, false, false}, {true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "menu " << c.menu << ", toolbars " << c.toolbars << ", detached "
                                        << c.detached);
        if (window->menuBar()->isVisible() != c.menu)
            window->MainMenuShowHide();
        if (PrefGlobal::MainToolbarShown != c.toolbars)
            window->MainToolbarShowHide();
        if (c.detached) {
            window->SetTabActive(MainWindow::SystemLogDock, false);
            window->DockDetach();
        }
        QApplication::setActiveWindow(MainWindow::SystemLogView->window());
        ASSERT_EQ(MainWindow::SystemLogView->window() != window.get(), c.detached);
        MainWindow::SystemLogView->setFocus();
        QCoreApplication::processEvents();
        QTest::keyClick(MainWindow::SystemLogView, Qt::Key_F1, Qt::ShiftModifier);
        EXPECT_TRUE(QWhatsThis::inWhatsThisMode());
        QWhatsThis::leaveWhatsThisMode();
    }
    if (window->menuBar()->isVisible() != savedMenu)
        window->MainMenuShowHide();
    if (PrefGlobal::MainToolbarShown != savedToolbars)
        window->MainToolbarShowHide();
}

// A browser or collection that is missing is reported in the System Log
// and in a critical box without a parent, titled with the program's name,
// on every request, and nothing is started.
TEST_F(HelpTest, MissingBrowserOrCollectionIsReported)
{
    struct Case {
        const char* name; QString program; bool collection; QString report; QMessageBox::Icon icon; QString title;
        bool parented;
    };
    const Case cases[] = {
        {"no browser", "/nonexistent/assistant", true, "Unable to launch Qt Assistant (/nonexistent/assistant)",
         QMessageBox::Critical, "KxViewer", false},
        {"no collection", stub, false, "Help collection not found: " + dir.path() + "/documentation/kxviewer.qhc",
         QMessageBox::Critical, "KxViewer", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window->Assistant().SetProgram(c.program);
        if (!c.collection)
            QFile::remove(dir.filePath("documentation/kxviewer.qhc"));
        prompt.calls.clear();
        MainWindow::SystemLogView->clear();
        window->Help();
        window->Help();
        ASSERT_EQ(prompt.calls.size(), 2u);
        EXPECT_EQ(prompt.calls[1].text, c.report);
        EXPECT_EQ(prompt.calls[1].icon, c.icon);
        EXPECT_EQ(prompt.calls[1].title, c.title);
        EXPECT_EQ(prompt.calls[1].parent != nullptr, c.parented);
        EXPECT_EQ(prompt.calls[1].buttons, QMessageBox::Ok);
        EXPECT_EQ(MainWindow::SystemLogView->toPlainText().count(c.report), 2);
        EXPECT_FALSE(QFile::exists(dir.filePath("argv")));
    }
}

// A What's-this click on a command sends its text; the keyword of that text
// leads to the command's own line of the commands page, which names it, its
// key and its purpose, and links the page that tells more. Every command the
// window shows has its keyword; a hidden one is not on the page.
TEST_F(HelpTest, WhatsThisOfACommandLeadsToItsLine)
{
    const QString project = HelpProject::Project();
    const QString page = HelpProject::CommandsPage();
    const auto keywordRef = [&](const QString& text) { return KeywordRef(project, text); };
    struct Case { int id; const char* shown; const char* seeAlso; };
    const Case cases[] = {
        {ACT_OPEN, "Open Document | Ctrl+O | Open document |", nullptr},
        {ACT_FIND, "Find... | Ctrl+F | Open Find Dialog (see Find dialog) |", "filedialog.html#find"},
        {ACT_IMPORT_FORMATS, "Import Formats | | Configure Import Formats (see Import formats) |", "importformats.html"},
        {ACT_SCRIPT_RUN, "Run script | | Run the chosen script; while it runs, pause or resume it (see Scripts) |", "scripts.html"},
        {ACT_HELP, "Help | F1 | Show application's help |", nullptr},
        {ACT_PREFERENCES, "Preferences | | User Preferences and Settings |", nullptr},
        {ACT_JUMP_END, "Jump to end | Ctrl+End | Go to the last row |", nullptr},
        {ACT_SHOW_MAIN_MENU, "Show Main Menu | F10 | Show or hide the menu bar |", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        const QString ref = keywordRef(window->Actions[c.id]->whatsThis());
        ASSERT_TRUE(ref.startsWith(QLatin1String(HelpProject::COMMANDS_PAGE) + "#")) << ref.toStdString();
        const QString row = RowAt(page, ref.section(QLatin1Char('#'), 1));
        ASSERT_FALSE(row.isEmpty());
        // The cells' texts, each ended by " |".
        QString shown = row;
        shown.replace(QLatin1String("</td>"), QLatin1String(" | "));
        shown.remove(QRegularExpression(QStringLiteral("<[^>]*>|^[^>]*>")));
        EXPECT_EQ(shown.simplified().toStdString(), c.shown);
        EXPECT_EQ(row.contains(QStringLiteral("href=")), c.seeAlso != nullptr) << row.toStdString();
        if (c.seeAlso) {
            EXPECT_TRUE(row.contains(QStringLiteral("href=\"%1\"").arg(c.seeAlso))) << row.toStdString();
        }
    }
    for (QAction* action : window->Actions) {
        if (action != nullptr && action->isVisible() && !action->whatsThis().isEmpty()) {
            EXPECT_FALSE(keywordRef(action->whatsThis()).isEmpty()) << action->whatsThis().toStdString();
        }
    }
    EXPECT_FALSE(window->Actions[1]->isVisible());
    EXPECT_FALSE(page.contains(QStringLiteral("Online Connection")));
}

// In What's-this mode a click on a menu entry leads to its line of the
// commands page as a button's does, and neither runs the entry nor leaves a
// menu open: a command by its own text ("&Close" has no button), an entry
// of a submenu without a command by its menu's name.
TEST_F(HelpTest, WhatsThisOnAMenuEntryLeadsToItsLine)
{
    const QString project = HelpProject::Project();
    const QString page = HelpProject::CommandsPage();
    QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
    ASSERT_NE(window->CurrentTabBase(), nullptr);
    QMenuBar* bar = window->menuBar();
    const auto sub = [](QWidget* owner, const QString& title) -> QMenu* {
        for (QAction* action : owner->actions())
            if (action->menu() != nullptr && action->text() == title)
                return action->menu();
        return nullptr;
    };
    const struct { const char* path; QMenu* menu; QString entry; const char* row; } cases[] = {
        {"File > Close", sub(bar, "&File"), "&Close", "Close"},
        {"Edit > Copy", sub(bar, "&Edit"), "Copy", "Copy"},
        {"View > Toolbar > Main", sub(sub(bar, "&View"), "&Toolbar"), "Main", "Toolbar"},
        {"View > Panel's Toolbar > Find", sub(sub(bar, "&View"), "&Panel's Toolbar"), "Find", "Panel's Toolbar"},
        {"Help > What's This?", sub(bar, "&Help"), QString(), "What's This?"},
    };
    int sent = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_NE(c.menu, nullptr);
        QAction* entry = nullptr;
        for (QAction* action : c.menu->actions())
            if (c.entry.isEmpty() ? action->shortcut() == QKeySequence(Qt::SHIFT | Qt::Key_F1) : action->text() == c.entry)
                entry = action;
        ASSERT_NE(entry, nullptr);
        QSignalSpy triggered(entry, &QAction::triggered);
        QWhatsThis::enterWhatsThisMode();
        c.menu->popup(window->mapToGlobal(QPoint(40, 40)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(c.menu));
        QTest::mouseClick(c.menu, Qt::LeftButton, Qt::NoModifier, c.menu->actionGeometry(entry).center());
        const QStringList commands = Commands(++sent);
        ASSERT_EQ(commands.size(), sent);
        const QString text = commands.last().section(QStringLiteral("ActivateIdentifier "), 1);
        ASSERT_FALSE(text.isEmpty()) << commands.last().toStdString();
        const QString ref = KeywordRef(project, text);
        ASSERT_TRUE(ref.startsWith(QLatin1String(HelpProject::COMMANDS_PAGE) + "#")) << text.toStdString();
        const QStringList cells = Cells(RowAt(page, ref.section(QLatin1Char('#'), 1)));
        ASSERT_FALSE(cells.isEmpty());
        EXPECT_EQ(cells[0], QLatin1String(c.row));
        QCoreApplication::processEvents();
        EXPECT_FALSE(QWhatsThis::inWhatsThisMode());
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        EXPECT_EQ(triggered.count(), 0);
    }
    EXPECT_NE(window->CurrentTabBase(), nullptr);
    EXPECT_TRUE(prompt.calls.empty());
}

// The commands page and the actions agree: every command the main window
// or a document tab shows has a row that its What's-this keyword (never
// ending in a tab) leads to, with the keys the action carries and a
// purpose. A command hidden in the main window but shown by the document
// has its row too.
TEST_F(HelpTest, TheCommandsPageAgreesWithEveryAction)
{
    const QString project = HelpProject::Project();
    const QString page = HelpProject::CommandsPage();
    QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
    TabBase* tab = window->CurrentTabBase();
    ASSERT_NE(tab, nullptr);
    int checked = 0;
    for (QAction* const* actions : {window->Actions, tab->Actions})
        for (int id = 0; id < ComActionCount; ++id) {
            QAction* action = actions[id];
            if (action == nullptr || !action->isVisible())
                continue;
            const QString text = action->whatsThis();
            SCOPED_TRACE(text.toStdString());
            EXPECT_EQ(text, text.trimmed());
            const QString ref = KeywordRef(project, text);
            ASSERT_TRUE(ref.startsWith(QLatin1String(HelpProject::COMMANDS_PAGE) + "#"));
            const QStringList cells = Cells(RowAt(page, ref.section(QLatin1Char('#'), 1)));
            ASSERT_EQ(cells.size(), 3);
            // The key the text carries; else one in the menu text after a run of blanks.
            QString key = text.section(QLatin1Char('\t'), 1);
            if (key.isEmpty())
                key = action->text().section(QRegularExpression(QStringLiteral("\\s{2,}")), 1);
            EXPECT_EQ(cells[1], key);
            // The main window's twin carries the shortcut the text names.
            if (QAction* twin = window->Actions[id]) {
                EXPECT_EQ(twin->shortcut().toString(QKeySequence::NativeText), text.section(QLatin1Char('\t'), 1));
            }
            // A purpose of its own, not only the link to the page that tells more.
            EXPECT_FALSE(cells[2].section(QStringLiteral("(see "), 0, 0).trimmed().isEmpty());
            ++checked;
        }
    EXPECT_GT(checked, 100);
    // rows named as the menus show them: command, key
    const struct { int id; const char* name; const char* key; } rows[] = {
        {ACT_CLOSE, "Close", "Ctrl+W"}, {ACT_QUIT, "Quit", "Ctrl+Q"}, {ACT_PREFERENCES, "Preferences", ""},
        {37, "Match Case", ""}, {74, "Clear Selection", "Ctrl+Shift+A"}, {ACT_FIND_NEXT, "Find Next", "F3"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const QStringList cells = Cells(RowAt(page, QStringLiteral("cmd%1").arg(r.id)));
        ASSERT_EQ(cells.size(), 3);
        EXPECT_EQ(cells[0], QLatin1String(r.name));
        EXPECT_EQ(cells[1], QLatin1String(r.key));
    }
    EXPECT_FALSE(page.contains(QStringLiteral("Full Screen Mode")));
    // Menu entries that are no command of their own have rows too.
    for (const char* entry : {"What's This?", "Recent Files", "Toolbar", "Panel's Toolbar"})
        EXPECT_TRUE(page.contains(QStringLiteral("<tr><td><b>%1</b></td>").arg(QString(entry).toHtmlEscaped()))) << entry;
}

// Every function that the window's script libraries register is on the
// script page, written as a call, so that the page cannot fall behind them.
TEST_F(HelpTest, ScriptPageNamesEveryRegisteredFunction)
{
    const QString page = Read(QStringLiteral(KXV_DOC_DIR "/scripts.html"));
    ASSERT_FALSE(page.isEmpty());
    const ScriptLibRegistry* registry = ScriptLibRegistry::script;
    ASSERT_NE(registry, nullptr);
    // math, csv, the table library, the view library, gui
    EXPECT_EQ(registry->Count(), 5);
    for (int library = 0; library < registry->Count(); ++library)
        for (int32_t function = 0; function < registry->At(library).count; ++function) {
            const QString name = QString::fromLatin1(registry->Function(library, function).name);
            EXPECT_TRUE(page.contains("<code>" + name + "(")) << name.toStdString();
        }
}
