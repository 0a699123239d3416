// Main of the preference tests: an offscreen GUI application for the fonts,
// alive for the whole run.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QGuiApplication>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
