// GoogleTest main for widget tests: an offscreen QApplication whose home and
// configuration folders are temporary, with fonts and screen pinned.
#include <clocale>
#include <cstdlib>

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "tests/pinnedscreen.h"

int main(int argc, char** argv)
{
    QTemporaryDir home;
    const PinnedScreen screen;
    setenv("HOME", home.path().toLocal8Bit().constData(), 1);
    setenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    setlocale(LC_NUMERIC, "C");
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
    return RUN_ALL_TESTS();
}
