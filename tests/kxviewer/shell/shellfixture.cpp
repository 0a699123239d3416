#include "shellfixture.h"

#include <QObject>

#include "kxviewer/actiontable.h"
#include "kxviewer/kxvchannels.h"
#include "kxviewer/kxvdebugsinks.h"
#include "utils/kx/kxsinks.h"
#include "utils/kx/pkx.h"

namespace shelltest {

std::vector<std::string>& Lines()
{
    static std::vector<std::string> lines;
    return lines;
}

std::vector<std::string> LinesWith(const std::string& part)
{
    std::vector<std::string> found;
    for (const std::string& line : Lines())
        if (line.find(part) != std::string::npos)
            found.push_back(line);
    return found;
}

namespace {

void Keep(const char* text) { Lines().emplace_back(text); }

} // namespace

void PrepareProcess()
{
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    ZmLib::KxvSetDebugOutputHook(&Keep);
    KxvInstallDebugSinks();
    ZmLib::PKX::Init(nullptr);
    ZmLib::KX::Init(1, false, nullptr, ZmLib::KX_OUT_STD, false);
    KxvRegisterChannels();
    ActionTableInit();
}

void MainWindowTest::SetUp()
{
    PrepareProcess();
    window = std::make_unique<MainWindow>(qApp);
    ASSERT_TRUE(QObject::connect(window.get(), SIGNAL(SignalAddStringToDebugPanel(const char*)), window.get(),
                                 SLOT(AddStringToDebugPanel(const char*))));
    QCoreApplication::processEvents();
    Lines().clear();
}

void MainWindowTest::TearDown()
{
    window.reset();
    QCoreApplication::processEvents();
}

} // namespace shelltest
