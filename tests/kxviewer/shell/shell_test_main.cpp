// Main of the shell's widget tests: an offscreen application with folders of
// its own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "kxviewer/prefdata.h"
#include "tests/kxviewer/shell/isolatedhome.h"

int main(int argc, char** argv)
{
    QTemporaryDir home(IsolatedHomeTemplate());
    const PinnedScreen screen;
    UseIsolatedHome(home);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // The ini files live in home: written while it still exists.
    PrefGlobal::IniViewer.Close();
    PrefGlobal::IniFormats.Close();
    return result;
}
