// The life of the process as main runs it, in a test binary of its own:
// the debug stream, the application and the window are made only once.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QStyle>
#include <QTemporaryDir>
#include <QTimer>

#include "kxviewer/kxvstartup.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/systemlogplaintext.h"
#include "tests/kxviewer/shell/isolatedhome.h"
#include "tests/kxviewer/shell/scriptedprompt.h"
#include "utils/kx/kxsinks.h"
#include "utils/osal/process.h"

namespace {

std::vector<std::string> g_lines;

void Keep(const char* text) { g_lines.emplace_back(text); }

std::vector<std::string> LinesWith(const std::string& part)
{
    std::vector<std::string> found;
    for (const std::string& line : g_lines)
        if (line.find(part) != std::string::npos)
            found.push_back(line);
    return found;
}

std::string Body(const std::string& line)
{
    const size_t marker = line.find(" >> ");
    return marker == std::string::npos ? line : line.substr(marker + 4);
}

} // namespace

TEST(Startup, StartLinesWindowAndShutDown)
{
    ZmLib::KxvSetDebugOutputHook(&Keep);
    int argc = 2;
    char name[] = "KxViewer";
    char file[] = "not-opened.kx";
    char* argv[] = {name, file, nullptr};
    std::string iniPath;
    {
        KxvStartup process(argc, argv);

        const std::vector<std::string> gui = LinesWith(" GUI ");
        ASSERT_GE(gui.size(), 3u);
        EXPECT_EQ(Body(gui[0]), std::string("PROCESS STARTED:  ") + ZmLib::PROCESS::Name() +
                                    ", TID=" + std::to_string(ZmLib::PROCESS::MainThreadId));
        const std::string version = Body(gui[1]);
        EXPECT_EQ(version.rfind("KxViewer version: 2.1.3993 beta, ", 0), 0u) << version;
        EXPECT_EQ(version.back(), ' ');
        EXPECT_EQ(Body(gui[2]), "Qt version: " QT_VERSION_STR);

        EXPECT_EQ(QCoreApplication::applicationName(), "KxViewer");
        EXPECT_EQ(QCoreApplication::organizationName(), "Zelmora");
        EXPECT_EQ(QCoreApplication::applicationVersion(), "2.1.3993 beta");
        EXPECT_EQ(QApplication::style()->styleHint(QStyle::SH_ProgressDialog_CenterCancelButton), 1);

        MainWindow* window = process.Window();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(TearOffMain::Me, window);
        EXPECT_EQ(window->windowTitle(), "KxViewer");
        // The file on the command line is not opened: only the two panels.
        EXPECT_EQ(window->Docks.size(), 2);

        const QStringList log = MainWindow::SystemLogView->toPlainText().split('\n');
        ASSERT_EQ(log.size(), 3);
        EXPECT_EQ(log[0].toStdString(), version);
        EXPECT_EQ(log[1], "INI-file location: " + QString::fromStdString(PrefGlobal::IniDir));
        // The work folder, made in the user's temporary folder.
        ASSERT_FALSE(PrefGlobal::WorkDir.empty());
        EXPECT_EQ(log[2].toStdString(), "Work folder: " + PrefGlobal::WorkDir);
        // The panel only takes lines once main connected it.
        const QString debug = MainWindow::DebugView->toPlainText();
        EXPECT_FALSE(debug.contains("PROCESS STARTED"));
        EXPECT_TRUE(debug.contains("INI-file location: "));

        iniPath = PrefGlobal::IniDir + "KxViewer.ini";
        QFile::remove(QString::fromStdString(iniPath));
        QTimer::singleShot(0, window, &QWidget::close);
        process.Run();
    }
    EXPECT_EQ(TearOffMain::Me, nullptr);
    EXPECT_EQ(MainWindow::SystemLogView, nullptr);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(iniPath))) << iniPath;
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
}

namespace {

// Keeps each box with whether the main window was shown when it came.
class WindowPrompt : public ScriptedPrompt {
public:
    QMessageBox::StandardButton Message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                        const QString& text, QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override
    {
        windowShown.push_back(TearOffMain::Me != nullptr && TearOffMain::Me->isVisible());
        return ScriptedPrompt::Message(parent, icon, title, text, buttons, defaultButton);
    }
    std::vector<bool> windowShown;
};

} // namespace

// Neither the program folder nor the home folder takes the ini files: what
// the preferences said before the window existed is shown once it does, in
// its System Log and in one box over it. The folders lie below a regular file,
// where nobody, root included, can create anything.
TEST(Startup, UnwritableSettingsFoldersAreToldOnceTheWindowExists)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString blocker = scratch.filePath("file");
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const std::string savedHome = getenv("HOME");
    const std::string savedProgram = PrefGlobal::ProgramDir;
    setenv("HOME", QFile::encodeName(blocker).constData(), 1);
    PrefGlobal::ProgramDir = QFile::encodeName(blocker + "/program/").toStdString();
    const std::string program = PrefGlobal::ProgramDir;
    const std::string home = QFile::encodeName(blocker + "/KxViewer/").toStdString();
    WindowPrompt prompt;
    int argc = 1;
    char name[] = "KxViewer";
    char* argv[] = {name, nullptr};
    {
        KxvStartup process(argc, argv);
        EXPECT_TRUE(PrefGlobal::IniDir.empty());
        const QStringList log = MainWindow::SystemLogView->toPlainText().split('\n');
        const std::string reason =
            "neither '" + program + "' nor '" + home + "' is writable, settings will not be kept";
        // One cause, one message.
        const std::string held[] = {"Kxviewer.ini cannot be created: " + reason};
        ASSERT_EQ(log.size(), 4);
        EXPECT_EQ(log[1].toStdString(), "INI-file location: none, " + reason);
        EXPECT_EQ(log[2].toStdString(), "Work folder: " + PrefGlobal::WorkDir);
        EXPECT_EQ(log[3].toStdString(), held[0]);

        std::vector<std::string> boxes;
        for (size_t i = 0; i < prompt.calls.size(); ++i) {
            if (prompt.calls[i].title != "Information")
                continue;
            boxes.push_back(prompt.calls[i].text.toStdString());
            EXPECT_TRUE(prompt.windowShown[i]) << boxes.back();
            EXPECT_EQ(prompt.calls[i].parent, process.Window());
        }
        EXPECT_EQ(boxes, std::vector<std::string>(std::begin(held), std::end(held)));
        QTimer::singleShot(0, process.Window(), &QWidget::close);
        process.Run();
    }
    setenv("HOME", savedHome.c_str(), 1);
    PrefGlobal::ProgramDir = savedProgram;
}

int main(int argc, char** argv)
{
    QTemporaryDir home(IsolatedHomeTemplate());
    const PinnedScreen screen;
    UseIsolatedHome(home);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
