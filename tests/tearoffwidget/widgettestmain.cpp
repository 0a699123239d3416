// GoogleTest main for widget tests: an offscreen QApplication whose home and
// configuration folders are temporary, with fonts and screen pinned.
#include <clocale>
#include <cstdlib>
#include <cstring>

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "tests/pinnedscreen.h"

int main(int argc, char** argv)
{
    // A death test runs this again in a child that ends without destructors:
    // the child's folders go into the home of the run that started it, which
    // that run removes.
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--gtest_internal_run_death_test", 31) == 0 && getenv("HOME"))
            setenv("TMPDIR", getenv("HOME"), 1);
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
