// Main of the shell's widget tests: an offscreen application with a home
// and configuration folder of its own, so that no test reads or writes the
// user's settings.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv)
{
    QTemporaryDir home;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("HOME", qPrintable(home.path()), 1);
    setenv("XDG_CONFIG_HOME", qPrintable(home.path() + "/.config"), 1);
    setenv("TMPDIR", qPrintable(home.path()), 1);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
