// The Scripts panel and the view library with the real interpreter: script
// files in a scratch folder, runs started by the rows' buttons, pauses,
// stops and closes driven by timers while a script runs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <tuple>
#include <utility>

#include <QAction>
#include <QElapsedTimer>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include "kxlib/table/kxsearchexpr.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/actiontable.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/scriptspanel.h"
#include "kxviewer/systemlogplaintext.h"
#include "kxviewer/table/docktitlebar.h"
#include "kxviewer/table/tabtable.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "openfixture.h"
#include "tests/shellword.h"
#include "tests/utils/osal/specialfiles.h"

namespace shelltest {
namespace {

class ScriptsTest : public OpenTest {
protected:
    void SetUp() override
    {
        // The first preference load comes first, so the list starts empty.
        PrepareProcess();
        savedScripts = std::exchange(PrefGlobal::Scripts, {});
        OpenTest::SetUp();
        panel = window->Scripts();
        panel->Dock()->show();
    }
    void TearDown() override
    {
        OpenTest::TearDown();
        PrefGlobal::Scripts = savedScripts;
        TabBase::ImmediateRefresh = 1;
    }

    QString Script(const QString& name, const std::string& text)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(KxFileGen::WriteFile(QFile::encodeName(path).constData(), text));
        return path;
    }
    // Adds the file through "Add script file"; its index.
    int Add(const QString& path) { return Trigger(ACT_SCRIPT_ADD, path), panel->RowCount() - 1; }
    int Add(const char* name, const std::string& text) { return Add(Script(QString::fromUtf8(name), text)); }
    const ScriptsPanel::Row& Row(int index) const { return panel->RowAt(index); }
    QString LineOf(int index, int line) const { return Row(index).lines[line]->text(1); }
    QString StatusOf(int index) const { return LineOf(index, ScriptsPanel::L_STATUS); }
    // Forgets the boxes shown, presses the row's Run button and lets the run go to its end.
    void RunToEnd(int index)
    {
        files.calls.clear();
        QTest::mouseClick(Row(index).runButton, Qt::LeftButton);
        SpinWhileRunning();
    }
    void SpinWhileRunning() { Spin([this] { return !panel->Running(); }); }
    static void Spin(const std::function<bool()>& done)
    {
        QElapsedTimer clock;
        for (clock.start(); !done() && clock.elapsed() < 10000;)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_TRUE(done());
    }
    QString Status() const { return window->statusBar()->currentMessage(); }
    QString LastBox() const { return files.calls.empty() ? QString() : files.calls.back().text; }
    // Opens a generated trace as the current document, into tab.
    void OpenDocument(uint32_t records, const QString& name = QStringLiteral("view.kx"))
    {
        tab = window->OpenFile(RawFile(name, records), MainWindow::MainHost, -1,
                               MainWindow::OPEN_PATTERNS_OR_ASK);
        ASSERT_NE(tab, nullptr);
        QCoreApplication::processEvents();
    }
    // "first.kx" and "second.kx" in two tabs of one group, the second
    // current; the panel hidden and the window active.
    void OpenTwoDocuments(TabTable*& first, TabTable*& second)
    {
        ASSERT_NO_FATAL_FAILURE(OpenDocument(20, QStringLiteral("first.kx")));
        first = tab;
        ASSERT_NO_FATAL_FAILURE(OpenDocument(20, QStringLiteral("second.kx")));
        second = tab;
        panel->Dock()->hide();
        QApplication::setActiveWindow(window.get());
    }
    static void ClickTab(TabBase* document)
    {
        TearOffTabBar* bar = document->TabWidget->TabBar;
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(document->TabWidget->indexOf(document)).center());
        QCoreApplication::processEvents();
    }
    // Runs a script text from a row of its own; the error text it ended
    // with after the file and line that the box names first, empty when
    // it ended normally.
    std::string RunText(const std::string& text)
    {
        const QString path = Script(QStringLiteral("direct%1.js").arg(panel->RowCount()), text);
        RunToEnd(Add(path));
        const QString box = LastBox();
        const int where = box.indexOf(QLatin1String(") : "));
        EXPECT_TRUE(box.isEmpty() || (box.startsWith(path + QLatin1Char('(')) && where > 0)) << box.toStdString();
        return box.mid(where < 0 ? 0 : where + 4).toStdString();
    }

    std::vector<ScriptEntry> savedScripts;
    ScriptsPanel* panel = nullptr;
    TabTable* tab = nullptr;
};

TEST_F(ScriptsTest, NameAndDescriptionComeFromTheLeadingComments)
{
    // name null: the path
    const struct { std::string text; const char* name; const char* description; bool truncated; } cases[] = {
        {"\n\n  //Test  \nvar a;\n", "Test", "", false},
        {"//" + std::string(40, 'n') + "\n", "nnnnnnnnnnnnnnnnnnnnnnnnnnnnnn", "", true},
        {"var a = 1;\n\n// not after a blank\n", nullptr, "", false},
        {"", nullptr, "", false}, {"\n   \n\n", nullptr, "", false},
        {"// Name\n// d\n// d\n// d\n// d\n// d\n// d\nvar a;\n", "Name", "d d d d d ", false},
        {"var a;\n// one\n//two\nvar b;\n", nullptr, "one two ", false},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const QString path = Script(QStringLiteral("s%1.js").arg(index++), c.text);
        ScriptsPanel::Row row;
        Lines().clear();
        ScriptsPanel::FillScriptData(path, row);
        EXPECT_TRUE(row.readable);
        EXPECT_EQ(row.name, c.name ? QString::fromLatin1(c.name) : path);
        EXPECT_EQ(row.description, QString::fromLatin1(c.description));
        EXPECT_EQ(LinesWith("Name too long - truncated").size(), c.truncated ? 1u : 0u);
    }
    // What cannot be read says why in the description line; a FIFO is not
    // waited on.
    const QString none = dir.filePath(QStringLiteral("none.js"));
    const QString fifoPath = dir.filePath(QStringLiteral("fifo.js"));
    kxtest::Fifo fifo(QFile::encodeName(fifoPath).toStdString());
    ASSERT_TRUE(fifo.Made());
    const struct { QString path; QString why; } unreadable[] = {
        {none, none + ": " + QString::fromLocal8Bit(strerror(ENOENT))},
        {fifoPath, fifoPath + " is a pipe, not a regular file: save it to a file first"},
    };
    for (const auto& c : unreadable) {
        SCOPED_TRACE(c.path.toStdString());
        ScriptsPanel::Row row;
        kxtest::FifoGuard guard(fifo, std::chrono::seconds(3));
        ScriptsPanel::FillScriptData(c.path, row);
        EXPECT_FALSE(guard.Waited());
        EXPECT_FALSE(row.readable);
        EXPECT_EQ(row.description.toStdString(), c.why.toStdString());
    }
}

TEST_F(ScriptsTest, AddDeleteRenumberAndTheIniKeepTheList)
{
    QString paths[3];
    for (int i = 0; i < 3; ++i)
        Add(paths[i] = Script(QString(QChar('a' + i)) + ".js", std::string("// ") + char('A' + i) + "\n"));
    Add(paths[1]);
    EXPECT_EQ(LastBox(), QStringLiteral("This script file is already present in the list"));
    ASSERT_EQ(panel->RowCount(), 3);
    EXPECT_TRUE(Row(1).lines[ScriptsPanel::L_RUN_COUNT]->isHidden());
    EXPECT_EQ(LineOf(1, ScriptsPanel::L_PATH), QStringLiteral("   Path: ") + paths[1]);

    RunToEnd(2);
    QApplication::setActiveWindow(window.get());
    panel->Tree()->setFocus();
    panel->Tree()->setCurrentItem(Row(1).item);
    QTest::keyClick(panel->Tree(), Qt::Key_Delete);
    ASSERT_EQ(panel->RowCount(), 2);
    EXPECT_EQ(Row(1).name, QStringLiteral("C"));
    EXPECT_EQ(Row(1).item->data(1, Qt::UserRole).toInt(), 1);
    EXPECT_EQ(Row(1).runButton->property("Script_index").toInt(), 1);
    EXPECT_EQ(Row(1).stopButton->property("Script_index").toInt(), 1);

    // A double-click on a row whose file went reports it.
    QFile::remove(paths[2]);
    const QPoint center = panel->Tree()->visualItemRect(Row(1).item).center();
    QTest::mouseClick(panel->Tree()->viewport(), Qt::LeftButton, Qt::NoModifier, center);
    QTest::mouseDClick(panel->Tree()->viewport(), Qt::LeftButton, Qt::NoModifier, center);
    EXPECT_EQ(LastBox(), QStringLiteral("File %1 does not exist").arg(paths[2]));

    const std::vector<ScriptEntry> before = PrefGlobal::Scripts;
    PrefGlobal::Save();
    PrefGlobal::Scripts.clear();
    PrefGlobal::Load();
    ASSERT_EQ(PrefGlobal::Scripts.size(), 2u);
    const auto fields = [](const ScriptEntry& e) { return std::tie(e.path, e.counter, e.dateTime, e.execTime, e.status); };
    for (size_t i = 0; i < 2; ++i)
        EXPECT_TRUE(fields(PrefGlobal::Scripts[i]) == fields(before[i])) << i;
    EXPECT_EQ(PrefGlobal::Scripts[1].counter, 1);
}

// The viewer's standard input read from a file, and PATH as set, while it
// lives.
class InputAndPath {
public:
    explicit InputAndPath(const QString& input) : savedInput_(dup(STDIN_FILENO)), savedPath_(qgetenv("PATH"))
    {
        const int fd = open(QFile::encodeName(input).constData(), O_RDONLY | O_CLOEXEC);
        EXPECT_GE(fd, 0);
        dup2(fd, STDIN_FILENO);
        close(fd);
    }
    ~InputAndPath()
    {
        dup2(savedInput_, STDIN_FILENO);
        close(savedInput_);
        qputenv("PATH", savedPath_);
    }
    InputAndPath(const InputAndPath&) = delete;
    InputAndPath& operator=(const InputAndPath&) = delete;

private:
    int savedInput_;
    QByteArray savedPath_;
};

// A double-click hands the row's file, as one argument whatever its name
// holds, to the desktop's opener, which reads /dev/null and never the
// viewer's own input; an opener that cannot be started is told.
TEST_F(ScriptsTest, ADoubleClickOpensTheFileWithTheDesktopReadingNothing)
{
    const QString script = Script(QStringLiteral("open 'me' $x.js"), "// O\n");
    const int row = Add(script);
    const QString bin = dir.filePath(QStringLiteral("bin"));
    const QString seen = dir.filePath(QStringLiteral("seen"));
    ASSERT_TRUE(QDir().mkpath(bin));
    const std::string opener = QFile::encodeName(bin + "/xdg-open").toStdString();
    const std::string record = QFile::encodeName(seen).toStdString();
    ASSERT_TRUE(KxFileGen::WriteFile(opener.c_str(), "#!/bin/sh\n{ printf '%s\\n' \"$@\"; readlink /proc/$$/fd/0; } > " +
                                                 ShellWord(record + ".part") + " && mv " + ShellWord(record + ".part") +
                                                 " " + ShellWord(record) + "\n"));
    ASSERT_EQ(chmod(opener.c_str(), 0700), 0);
    const InputAndPath input(Script(QStringLiteral("input"), "the viewer's input\n"));
    const struct {
        const char* what;
        QString path;
        QString seen; // what the opener got and read; empty: not started
        QString box;
    } cases[] = {
        {"an opener on the path", bin + ':' + QFile::decodeName(qgetenv("PATH")), script + "\n/dev/null\n", QString()},
        {"no opener on the path", dir.filePath(QStringLiteral("none")), QString(),
         QStringLiteral("File %1 could not be opened by the desktop").arg(script)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        qputenv("PATH", QFile::encodeName(c.path));
        files.calls.clear();
        const QPoint center = panel->Tree()->visualItemRect(Row(row).item).center();
        QTest::mouseClick(panel->Tree()->viewport(), Qt::LeftButton, Qt::NoModifier, center);
        QTest::mouseDClick(panel->Tree()->viewport(), Qt::LeftButton, Qt::NoModifier, center);
        if (!c.seen.isEmpty()) {
            Spin([&] { return QFile::exists(seen); });
            QFile got(seen);
            ASSERT_TRUE(got.open(QIODevice::ReadOnly));
            EXPECT_EQ(QFile::decodeName(got.readAll()), c.seen);
            QFile::remove(seen);
        }
        EXPECT_EQ(LastBox(), c.box);
    }
}

// The menu button of the panel's title bar opens the list's menu just
// below itself; its first entry adds a script file, the one way to add
// one once the rows fill the panel.
TEST_F(ScriptsTest, TheTitleBarMenuButtonOpensTheListMenuBelowItself)
{
    auto* bar = qobject_cast<DockTitlebar*>(panel->Dock()->titleBarWidget());
    ASSERT_NE(bar, nullptr);
    QApplication::setActiveWindow(window.get());
    const QString path = Script(QStringLiteral("added.js"), "// Added\n");
    files.files.push_back(path);
    QStringList entries;
    QPoint menuAt;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        menuAt = menu->pos();
        for (QAction* action : menu->actions())
            entries << action->text();
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QTest::mouseClick(bar->MenuButton, Qt::LeftButton);
    EXPECT_EQ(entries, (QStringList{window->Actions[ACT_SCRIPT_ADD]->text(), window->Actions[ACT_SCRIPT_EXPAND]->text(),
                                    window->Actions[ACT_SCRIPT_COLLAPSE]->text()}));
    // Down from the button's lower left corner; the screen's edge may push it left.
    const QPoint corner = bar->MenuButton->mapToGlobal(QPoint(0, bar->MenuButton->height()));
    EXPECT_EQ(menuAt.y(), corner.y());
    EXPECT_LE(menuAt.x(), corner.x());
    ASSERT_EQ(panel->RowCount(), 1);
    EXPECT_EQ(Row(0).name, QStringLiteral("Added"));
}

// Shown beside a document, the panel's title-bar menu gives the keys back to
// the table, as the document's own panes do: Down and Space then move in the
// rows and leave the panel open, whether the menu was left with Escape or by
// one of its commands.
TEST_F(ScriptsTest, AfterTheTitleBarMenuTheKeysGoBackToTheTable)
{
    ASSERT_NO_FATAL_FAILURE(OpenDocument(20));
    panel->Dock()->hide();
    Add("one.js", "// One\nvar a = 1;\n");
    QAction* show = window->Actions[ACT_SCRIPT_PANEL];
    show->trigger();
    ASSERT_EQ(panel->Dock()->parentWidget(), tab);
    auto* bar = qobject_cast<DockTitlebar*>(panel->Dock()->titleBarWidget());
    ASSERT_NE(bar, nullptr);
    for (Qt::Key leave : {Qt::Key_Escape, Qt::Key_Return}) {
        SCOPED_TRACE(leave == Qt::Key_Escape ? "Escape" : "Add script file");
        ASSERT_NO_FATAL_FAILURE(FocusTable(tab));
        tab->SetCurrentPosition(0);
        QTimer::singleShot(0, [leave] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                QTest::keyClick(menu, Qt::Key_Down);
                QTest::keyClick(menu, leave);
            }
        });
        QTest::mouseClick(bar->MenuButton, Qt::LeftButton);
        // The window the menu leaves is active again.
        QApplication::setActiveWindow(tab->window());
        EXPECT_EQ(QApplication::focusWidget(), tab->View);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        EXPECT_TRUE(panel->Dock()->isVisible());
        EXPECT_TRUE(show->isChecked());
        EXPECT_EQ(tab->Table->CurRow(), 1);
    }
}

// Closed by its own button, the panel comes back at the first click on
// "Script On/Off", in the document that is then current: the same one, one
// switched to, or the first one again after a switch.
TEST_F(ScriptsTest, AfterItsCloseButtonTheFirstClickShowsThePanelAgain)
{
    TabTable* first = nullptr;
    TabTable* second = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenTwoDocuments(first, second));
    QAction* show = window->Actions[ACT_SCRIPT_PANEL];
    QWidget* button = window->MainToolbar(3)->widgetForAction(show);
    ASSERT_NE(button, nullptr);
    auto* bar = qobject_cast<DockTitlebar*>(panel->Dock()->titleBarWidget());
    ASSERT_NE(bar, nullptr);
    // the tabs clicked between the close and the click on "Script On/Off"
    const struct { const char* what; std::vector<TabBase*> switches; } cases[] = {
        {"no switch", {}},
        {"to the other document", {first}},
        {"away and back", {first, second}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClickTab(second);
        if (!show->isChecked())
            QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_TRUE(panel->Dock()->isVisible());
        QTest::mouseClick(bar->CloseButton, Qt::LeftButton);
        ASSERT_FALSE(panel->Dock()->isVisible());
        ASSERT_FALSE(show->isChecked());
        for (TabBase* document : c.switches)
            ClickTab(document);
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(show->isChecked());
        EXPECT_TRUE(panel->Dock()->isVisible());
        EXPECT_EQ(panel->Dock()->parentWidget(), TearOffMain::CurrentDock);
    }
}

TEST_F(ScriptsTest, ARunEndsAsItsScriptDoes)
{
    const std::string csvPath = QFile::encodeName(dir.filePath(QStringLiteral("out.csv"))).toStdString();
    // box: the error, status "Stopped after errors", none: "Completed"; csv: what out.csv holds after, when given
    const struct { std::string body; const char* box = nullptr; const char* csv = nullptr; } cases[] = {
        {"var a = 1;\n"}, {"exit;\nvar a = 1 / 0;\n"},
        {"kxtable.set_immediate_refresh(0);\nvar a = 1 / 0;\n", "Divide by zero"},
        {"var = ;\n", "Script compilation error"}, {"kxtable.size(kxtable.get_table(\"nowhere\"));\n", "Table not found nowhere"},
        // The file a failed run left open is closed whole when the run ends.
        {"var f = csv.open(\"" + csvPath + "\", 2);\ncsv.add_line(f, 1, \"b\");\nvar a = 1 / 0;\n", "Divide by zero",
         "1,b\n"},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        // Paths outside Latin-1 reach the parser and the ini whole.
        const int row = Add(("сценарий" + std::to_string(index++) + ".js").c_str(), "// Case\n" + c.body);
        RunToEnd(row);
        EXPECT_EQ(StatusOf(row), QStringLiteral("   Status: ") + (c.box ? "Stopped after errors" : "Completed"));
        EXPECT_EQ(LineOf(row, ScriptsPanel::L_RUN_COUNT), QStringLiteral("   Run count: 1"));
        const QString box = LastBox();
        EXPECT_TRUE(c.box ? box.contains(QLatin1String(c.box)) : box.isEmpty()) << box.toStdString();
        EXPECT_EQ(Status(), c.box ? QStringLiteral("Script \"Case\" finished with error: \"%1\"").arg(box)
                                  : QStringLiteral("Script \"Case\" finished"));
        EXPECT_EQ(TabBase::ImmediateRefresh, 1);
        if (c.csv) {
            QFile out(QFile::decodeName(csvPath.c_str()));
            ASSERT_TRUE(out.open(QIODevice::ReadOnly));
            EXPECT_EQ(out.readAll().toStdString(), c.csv);
        }
        EXPECT_FALSE(Row(row).stopButton->isEnabled());
        EXPECT_FALSE(window->Actions[ACT_SCRIPT_STOP]->isEnabled());
    }
}

// A script that does not compile says where and why, in the box and the
// System Log, and its row tells the run failed while the box is up.
TEST_F(ScriptsTest, ACompileErrorNamesTheFileTheLineAndTheMessage)
{
    // lines: what follows "Script compilation error", each after the script's path; gone: removed before the run
    const struct { std::string body; std::vector<const char*> lines; bool gone = false; } cases[] = {
        {"var a = 1;\nvar = ;\n", {"(3) : unexpected '=' at line 3, column 5"}},
        {"if (a > ) {\n}\n", {"(2) : unexpected ')' at line 2, column 9"}},
        {"var b = \"x;\n",
         {"(2) : unterminated string at line 2, column 9", "(2) : unexpected 'b' at line 2, column 5",
          "(2) : unexpected end of script at line 2, column 8"}},
        {"var a;\n", {": the file cannot be read"}, true},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        const QString path = Script(QStringLiteral("bad%1.js").arg(index++), "// Bad\n" + c.body);
        const int row = Add(path);
        if (c.gone)
            QFile::remove(path);
        QString expected = QStringLiteral("Script compilation error");
        for (const char* line : c.lines)
            expected += QLatin1Char('\n') + path + QLatin1String(line);
        MainWindow::SystemLogView->clear();
        QString rowAtBox;
        files.onMessage = [&](const PromptCall&) { rowAtBox = StatusOf(row); };
        RunToEnd(row);
        files.onMessage = nullptr;
        ASSERT_EQ(files.calls.size(), 1u);
        EXPECT_EQ(files.calls[0].icon, QMessageBox::Warning);
        EXPECT_EQ(LastBox().toStdString(), expected.toStdString());
        EXPECT_EQ(rowAtBox, QStringLiteral("   Status: Stopped after errors"));
        EXPECT_EQ(StatusOf(row), rowAtBox);
        EXPECT_TRUE(MainWindow::SystemLogView->toPlainText().contains(expected))
            << MainWindow::SystemLogView->toPlainText().toStdString();
        EXPECT_EQ(Status(), QStringLiteral("Script \"Bad\" finished with error: \"%1\"").arg(expected));
    }
}

// An error while the script runs names the file and the line, as a
// compile error does.
TEST_F(ScriptsTest, ARuntimeErrorNamesTheFileAndTheLine)
{
    ASSERT_NO_FATAL_FAILURE(OpenDocument(10));
    // line: of the failing statement, counting the name comment; message: the error's own text
    const struct { std::string body; int line; const char* message; } cases[] = {
        {"var a = 0;\nvar b = 1 / a;\n", 3, "Error: Divide by zero, Line: 3"},
        {"kxtable.get_table(\"nope\");\n", 2, "Table not found nope"},
        {"var h = kxtable.get_cur_table(\"\");\n\n\nkxtable.get_record(h, 11);\n", 5,
         "Row 11 out of range, the table has 10 rows line 5"},
        {"function f(x) {\n  return x / 0;\n}\nf(1);\n", 3, "Error: Divide by zero, Line: 3"},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        const QString path = Script(QStringLiteral("fails%1.js").arg(index++), "// Fails\n" + c.body);
        const int row = Add(path);
        MainWindow::SystemLogView->clear();
        RunToEnd(row);
        const QString expected = QStringLiteral("%1(%2) : %3").arg(path).arg(c.line).arg(QLatin1String(c.message));
        ASSERT_EQ(files.calls.size(), 1u);
        EXPECT_EQ(files.calls[0].icon, QMessageBox::Warning);
        EXPECT_EQ(LastBox().toStdString(), expected.toStdString());
        EXPECT_TRUE(MainWindow::SystemLogView->toPlainText().contains(expected));
        EXPECT_EQ(Status().toStdString(),
                  QStringLiteral("Script \"Fails\" finished with error: \"%1\"").arg(expected).toStdString());
    }
}

TEST_F(ScriptsTest, RunPausesResumesAndStopsTheRunningScriptOnly)
{
    // No library call in the loop: the interpreter keeps the window live.
    const int loop = Add("loop.js", "// Loop\nvar i = 0;\nwhile (1) { i++; }\n");
    const int other = Add("other.js", "// Other\nvar a = 1;\n");
    std::vector<QString> seen;
    QAction* run = window->Actions[ACT_SCRIPT_RUN];
    const auto runAndSee = [&] { run->trigger(), seen.push_back(Status()); };
    QTimer::singleShot(50, [&] {
        seen.push_back(Row(other).runButton->isEnabled() ? "other enabled" : "other disabled");
        // Run with another row current pauses the running script.
        panel->Tree()->setCurrentItem(Row(other).item);
        runAndSee();
        // The running row stays.
        panel->Tree()->setCurrentItem(Row(loop).item);
        window->ScriptDel();
        seen.push_back(QString::number(panel->RowCount()) + " rows, " + LastBox());
    });
    QTimer::singleShot(100, [&] {
        seen.push_back(Row(loop).runState == ScriptsPanel::RUN_PAUSED ? "paused" : "not paused");
        runAndSee();
    });
    QTimer::singleShot(150, runAndSee); // stopped while paused again
    QTimer::singleShot(200, [&] { QTest::mouseClick(Row(loop).stopButton, Qt::LeftButton); });
    QTest::mouseClick(Row(loop).runButton, Qt::LeftButton);
    // The run starts from the event loop, not inside the button's press.
    EXPECT_TRUE(panel->Running());
    EXPECT_EQ(Row(loop).parser, nullptr);
    SpinWhileRunning();
    const std::vector<QString> expected = {
        "other disabled", "Script \"Loop\" paused", "2 rows, Script \"Loop\" is running and can not be deleted",
        "paused", "Script \"Loop\" restarted", "Script \"Loop\" paused"};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(Status(), QStringLiteral("Script \"Loop\" stopped by user"));
    EXPECT_EQ(StatusOf(loop), QStringLiteral("   Status: Interrupted by user"));
    EXPECT_EQ(LineOf(loop, ScriptsPanel::L_EXEC_TIME), QStringLiteral("   Execution time: 0.000000"));
    EXPECT_EQ(LineOf(other, ScriptsPanel::L_RUN_COUNT), QStringLiteral("   Run count: 0"));
    EXPECT_TRUE(Row(other).runButton->isEnabled());
}

// "Run script" comes and goes with the panel beside the document: on, off,
// a row chosen while it is away, the panel's own close button, and "Script
// On/Off" with the System Log current, which shows nothing.
TEST_F(ScriptsTest, RunScriptFollowsThePanelBeingShown)
{
    ASSERT_NO_FATAL_FAILURE(OpenDocument(20));
    panel->Dock()->hide();
    const int row = Add("one.js", "// One\nvar a = 1;\n");
    QAction* show = window->Actions[ACT_SCRIPT_PANEL];
    QAction* run = window->Actions[ACT_SCRIPT_RUN];
    const auto closeDock = [this] { panel->Dock()->close(); };
    const auto chooseRow = [this, row] { panel->Tree()->setCurrentItem(Row(row).item); };
    const auto systemLog = [this] { window->SetTabActive(window->Docks[0], false); };
    // step: what is done; on: "Script On/Off" checked after it; enabled: "Run script" after it
    const struct { std::function<void()> step; bool on, enabled; } steps[] = {
        {[show] { show->trigger(); }, true, true},
        {[show] { show->trigger(); }, false, false},
        {chooseRow, false, false},
        {[show] { show->trigger(); }, true, true},
        {closeDock, false, false},
        {[show] { show->trigger(); }, true, true},
        {systemLog, true, true},
        {[show] { show->trigger(); }, true, false},
    };
    int index = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(index++);
        s.step();
        QCoreApplication::processEvents();
        EXPECT_EQ(show->isChecked(), s.on);
        EXPECT_EQ(run->isEnabled(), s.enabled);
    }
}

// The document showing the panel leaves and comes back: its chosen row
// runs again at once, by the action and by the row's buttons.
TEST_F(ScriptsTest, RunFollowsTheChosenRowWhenTheDocumentShowingThePanelComesBack)
{
    TabTable* first = nullptr;
    TabTable* second = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenTwoDocuments(first, second));
    const int row = Add("one.js", "// One\nvar a = 1;\n");
    QAction* show = window->Actions[ACT_SCRIPT_PANEL];
    QAction* run = window->Actions[ACT_SCRIPT_RUN];
    show->trigger();
    QCoreApplication::processEvents();
    ASSERT_EQ(panel->Dock()->parentWidget(), second);
    const QPoint onRow = panel->Tree()->visualItemRect(Row(row).item).center();
    QTest::mouseClick(panel->Tree()->viewport(), Qt::LeftButton, Qt::NoModifier, onRow);
    ASSERT_TRUE(run->isEnabled());

    const auto newBlank = [this] {
        QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
        QCoreApplication::processEvents();
    };
    const auto scriptOpens = [this] {
        const std::string other = QFile::encodeName(RawFile(QStringLiteral("other.kx"), 10)).toStdString();
        RunText("kxtable.open(\"" + other + "\", 0);\n");
    };
    // away: what takes the current document away from the one showing the panel
    const struct { const char* what; std::function<void()> away; } cases[] = {
        {"another tab", [&] { ClickTab(first); }},
        {"a blank document", newBlank},
        {"a script's document", scriptOpens},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.away();
        EXPECT_NE(TearOffMain::CurrentDock, second);
        EXPECT_FALSE(show->isChecked());
        EXPECT_FALSE(run->isEnabled());
        ClickTab(second);
        ASSERT_EQ(TearOffMain::CurrentDock, second);
        EXPECT_TRUE(show->isChecked());
        EXPECT_TRUE(run->isEnabled());
        EXPECT_FALSE(window->Actions[ACT_SCRIPT_STOP]->isEnabled());
        EXPECT_TRUE(Row(row).runButton->isEnabled());
    }
}

TEST_F(ScriptsTest, ClosingTheTabThenTheWindowMidRunEndsTheScriptCleanly)
{
    ASSERT_NO_FATAL_FAILURE(OpenDocument(50));
    QAction* show = window->Actions[ACT_SCRIPT_PANEL];
    show->setChecked(true);
    window->ScriptPannelOnOff();
    QDockWidget* dock = panel->Dock();
    ASSERT_EQ(dock->parentWidget(), tab);

    const int use = Add("use.js", "// Use\nvar h = kxtable.get_cur_table(\"\");\nwhile (1) {\n kxtable.size(h);\n}\n");
    QTimer::singleShot(50, tab, &TabBase::Close);
    RunToEnd(use);
    EXPECT_EQ(LastBox(), dir.filePath(QStringLiteral("use.js(4) : KxView handler error  line 4")));
    EXPECT_EQ(StatusOf(use), QStringLiteral("   Status: Stopped after errors"));
    // The panel the tab showed is the same one, back with the window.
    EXPECT_EQ(panel->Dock(), dock);
    EXPECT_EQ(dock->parentWidget(), window.get());
    EXPECT_FALSE(show->isChecked());

    const int loop = Add("loop.js", "// Loop\nwhile (1) { kxtable.set_immediate_refresh(0); }\n");
    QTimer::singleShot(50, window.get(), &QWidget::close);
    RunToEnd(loop);
    EXPECT_EQ(StatusOf(loop), QStringLiteral("   Status: Interrupted by user"));
    EXPECT_EQ(TabBase::ImmediateRefresh, 1);
    Spin([this] { return !window->isVisible(); });
}

TEST_F(ScriptsTest, ViewFunctionsWorkThroughTheTab)
{
    ASSERT_NO_FATAL_FAILURE(OpenDocument(50));
    const std::string other = QFile::encodeName(RawFile(QStringLiteral("other.kx"), 30)).toStdString();
    // printed: a line of the System Log, or the script fails with error; status: the status line, when given
    const struct { std::string body; const char* printed; const char* error = nullptr; const char* status = nullptr;
        bool graphOpen = false; } cases[] = {
        {"print(kxtable.size(h));", "50"}, {"print(\"IDENT_STMT a IDENT_STMT b\");", "a b"},
        {"var r = kxtable.get_record(h, 7); print(kxrow.get_index(r), \" \", kxrow.get_value(r, LEVEL));", "7 0"},
        {"var t = kxtable.get_cur_table_ll(h); kxtable.set_current_rec(t, 9); print(kxtable.current_row(h));", "8"},
        {"print(kxtable.size(kxtable.get_table_ll(kxtable.name(h))));", "50"},
        {"kxtable.set_expression(h, \"Thread:\", 2); var a = kxtable.pin_phrase(h); var b = kxtable.pin_phrase(h);"
         "print(a, \" \", b);", "1 2"},
        {"print(kxtable.size(kxtable.get_table(kxtable.name(h))));", "50"},
        {"kxtable.get_table(\"nope\");", nullptr, "Table not found nope"},
        {"print(kxtable.jump_next_bookmark(h));", "-1", nullptr, "No jump"},
        {"kxtable.set_current_rec(h, 5); kxtable.bookmark(h); kxtable.set_current_rec(h, 1);"
         "print(kxtable.jump_next_bookmark(h));", "4", nullptr, " at row 5"},
        {"kxtable.set_current_rec(h, 0);", nullptr, "Row 0 out of range, the table has 50 rows line 2"},
        {"kxtable.get_record(h, 51);", nullptr, "Row 51 out of range, the table has 50 rows line 2"},
        {"kxtable.select(h, 2, 4); print(kxtable.selected_count(h));", "3"},
        {"kxtable.clear_select(h); kxtable.select(h, 4294967298, 4294967300); print(kxtable.selected_count(h));", "0"},
        {"kxtable.set_expression(h, \"zzzz_never\", 2); print(kxtable.filter(h));", "0"},
        {"kxtable.set_expression(h, \"Thread:\", 2); var n = kxtable.filter(h); print(n, \" \", kxtable.filtered_count(h));",
         "12 12"},
        {"kxtable.filter(h);", nullptr, "Filter is already set"},
        // A refused expression says why, at its line.
        {"kxtable.set_expression(h, '(TEXT ==', 4);", nullptr,
         "Search expression error: (TEXT ==: unexpected end of expression at line 1, column 9 line 2"},
        {"kxtable.set_expression(h, 'TEXT =~ \"((\"');", nullptr,
         "Search expression error: TEXT =~ \"((\": '(' without a closing ')' in the regular expression \"((\" at "
         "line 1, column 11 line 2"},
        {"kxtable.pin_expression_set(h, 255, '', 2);", nullptr, "Search expression error: the search expression is empty line 2"},
        {"kxtable.copy(h); kxtable.paste_to_row(h, 1);", nullptr, "Can't paste rows while filter is set"},
        {"kxtable.clear_filter(h); print(kxtable.filtered_count(h), \" \", kxtable.size(h));", "0 50"},
        {"kxtable.select(h, 3, 5); kxtable.set_immediate_refresh(0); kxtable.set_outline_filter(h);"
         "var n = kxtable.filtered_count(h); kxtable.clear_filter(h); print(n >= 3);", "1"},
        {"kxtable.set_outline_filter(h); kxtable.set_outline_filter(h);", nullptr, "Filter is already set"},
        {"kxtable.clear_filter(h); kxtable.set_expression(h, \"Thread:\", 2); var c = kxtable.unpin_phrase(h, 0);"
         "var d = kxtable.unpin_phrase(h, 0); print(c, \" \", d);", "1 0"},
        {"kxtable.copy(h); kxtable.paste_to_row(h, 51);", nullptr, "Row 51 out of range, the table has 50 rows line 2"},
        {"kxtable.copy(h); kxtable.paste_to_row(h, 1);", nullptr, "Can't paste rows while graph is open", nullptr, true},
        {"kxtable.filter(h);", nullptr, "Can't set filter while graph is open", nullptr, true},
        // Last: the document opened becomes the current one.
        {"var t = kxtable.open(\"" + other + "\", 0); print(kxtable.name(t), \" \", kxtable.size(t));", "other 30"},
        {"kxtable.open(\"/nonexistent.kx\", 0);", nullptr, "Can not open table"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        tab->GraphState = c.graphOpen ? TabBase::GRAPH_OPEN : TabBase::GRAPH_NONE;
        const int recordsBefore = tab->Table->RecordCount();
        MainWindow::SystemLogView->clear();
        Lines().clear();
        const std::string error = RunText("var h = kxtable.get_cur_table(\"\");\n" + c.body + "\n");
        EXPECT_EQ(error, c.error ? c.error : "");
        const QStringList log = MainWindow::SystemLogView->toPlainText().split(QLatin1Char('\n'));
        if (c.error) {
            EXPECT_EQ(tab->Table->RecordCount(), recordsBefore);
        } else {
            EXPECT_TRUE(log.contains(QLatin1String(c.printed))) << log.join('|').toStdString();
        }
        if (c.status) {
            const std::string status = std::string("status: ") + c.status;
            EXPECT_EQ(LinesWith(status + "\n").size() + LinesWith(status).size(), 1u);
        }
    }
    tab->GraphState = TabBase::GRAPH_NONE;
    // The script's open leaves the recent files alone.
    EXPECT_FALSE(Recent().contains(QFile::decodeName(other.c_str())));
}

// Rows a script copies from one raw file into another keep their absolute
// times and their names, at a row and at the end alike.
TEST_F(ScriptsTest, RowsPastedByAScriptKeepTheirTimes)
{
    const auto open = [this](const char* name, int64_t start) {
        KxFileGen::Options options;
        options.records = 30;
        options.startTime = start;
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(KxFileGen::WriteTrace(QFile::encodeName(path).constData(), options));
        return window->OpenFile(path, MainWindow::MainHost, -1, MainWindow::OPEN_PATTERNS_OR_ASK);
    };
    TabTable* source = open("src.kx", 1733572800237000); // 2024-12-07
    TabTable* target = open("dst.kx", 1561910811000000); // 2019-06-30
    ASSERT_NE(source, nullptr);
    ASSERT_NE(target, nullptr);
    const auto absolute = [](TabTable* tab, int32_t row) {
        KxTable& table = *tab->Table;
        return int64_t(table.GetRecord(row)->prot.msg.TIME + (table.TimeNormalised() ? table.Prefs().Time0 : 0));
    };
    ASSERT_EQ(RunText("var a = kxtable.get_table(\"src\");\nvar b = kxtable.get_table(\"dst\");\n"
                      "kxtable.set_current_rec(a, 26);\nkxtable.copy(a);\nkxtable.paste_to_row(b, 4);\n"
                      "kxtable.set_current_rec(a, 21);\nkxtable.copy(a);\nkxtable.paste(b);\n"),
              "");
    ASSERT_EQ(target->Table->RowCount(), 32);
    const struct { int32_t from, to; } rows[] = {{25, 3}, {20, 31}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.to);
        EXPECT_EQ(absolute(target, r.to), absolute(source, r.from));
        const KxdRecord* pasted = target->Table->GetRecord(r.to);
        const KxdRecord* copied = source->Table->GetRecord(r.from);
        EXPECT_STREQ(pasted->Text(FIELD_PNAME), copied->Text(FIELD_PNAME));
        EXPECT_STREQ(pasted->Text(FIELD_TNAME), copied->Text(FIELD_TNAME));
    }
    EXPECT_EQ(target->Table->Prefs().Time0, 1561910811000000u);
    KxvGlobals::CopyInformation.Clear();
}

TEST_F(ScriptsTest, PinningAnExpressionAgainHoldsOnlyTheNewExpression)
{
    ASSERT_NO_FATAL_FAILURE(OpenDocument(20));
    const std::string pin = "var h = kxtable.get_cur_table(\"\");\nkxtable.pin_expression_set(h, 255, \"Thread:\", 2);\n";
    ASSERT_EQ(RunText(pin), "");
    ASSERT_EQ(tab->FixedHighlights.size(), 1);
    KxSearchExpression* first = tab->FixedHighlights[0]->expression;
    first->AddRef();
    ASSERT_EQ(RunText(pin), "");
    ASSERT_EQ(tab->FixedHighlights.size(), 1);
    // The first is the test's alone; the new one the table's and the highlight's.
    EXPECT_EQ(first->RefCount(), 1u);
    EXPECT_EQ(tab->FixedHighlights[0]->expression->RefCount(), 2u);
    EXPECT_EQ(tab->FixedHighlights[0]->color, QColor(QRgb(255)));
    first->Release();
}

} // namespace
} // namespace shelltest
