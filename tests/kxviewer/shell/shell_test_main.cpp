// Main of the shell's widget tests: an offscreen application with folders of
// its own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "tests/kxviewer/shell/isolatedhome.h"

int main(int argc, char** argv)
{
    QTemporaryDir home;
    UseIsolatedHome(home);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
