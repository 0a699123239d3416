// Main of the preference tests: an offscreen GUI application for the fonts,
// alive for the whole run.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include "tests/pinnedscreen.h"

int main(int argc, char** argv)
{
    const PinnedScreen screen;
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
