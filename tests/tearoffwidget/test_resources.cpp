#include <cstdio>

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSet>
#include <QDir>
#include <gtest/gtest.h>

#include "tearoffwidget/comaction.h"
#include "tearoffwidget/resources.h"
#include "utils/kx/kx.h"

namespace {

constexpr const char* WithDisabledTwin[] = {
    "Back",       "Colorize",  "Copy",       "Erase", "Export-Acrobat", "Export-CSV",    "Export-Excel",
    "Filter",     "Find",      "FindBack",   "FindNext", "FullScreen",  "Function",      "Graph",
    "Import",     "NewConnection", "NewQuery", "Open",  "Paste",        "Pin",           "Print",
    "Report",     "Save",      "SaveAll",    "SaveAs", "Tab2HorizView", "Tab2VertView", "TabDetach",
};
constexpr const char* OtherIcons[] = {
    // commands
    "Aa", "About", "Add", "BackgroundColor", "Bookmark", "Close", "Connect", "Grid", "Highlight", "LogPanel",
    "MarkIn", "MarkOut", "MenuDown", "New", "PrefImport", "Preferences", "Script", "Select", "SidePane",
    "TabAttach", "appmain",
    // navigation
    "Navigate_down", "Navigate_down2", "Navigate_left", "Navigate_left2", "Navigate_right", "Navigate_right2",
    "Navigate_up", "Navigate_up2", "arrow-in", "arrow-out", "arrow-turn-in", "arrow-turn-out", "line_selector",
    "navigate_check", "navigate_close", "navigate_cross", "zoom_in", "zoom_out",
    // script control
    "pause", "play", "stop",
    // record kinds
    "line0_exclamation", "type0_info", "type1_warning", "type2_error", "type3_assert", "type4_verify",
    "type5_funcs", "type6_funce",
};
constexpr const char* Pictures[] = {"check1.png", "check2.png", "Sync2left.png", "Sync2leftOff.png"};
static_assert(std::size(WithDisabledTwin) == 28, "28 icons with a disabled twin");
static_assert(2 * std::size(WithDisabledTwin) + std::size(OtherIcons) == 106, "106 icons");
static_assert(2 * std::size(WithDisabledTwin) + std::size(OtherIcons) + std::size(Pictures) + 1 == 111,
              "111 files with the sound");

QStringList AllIconPaths()
{
    QStringList paths;
    for (const char* stem : WithDisabledTwin) {
        paths << Resources::GetIconPath(stem, Resources::IconExt);
        paths << Resources::GetIconPath((QByteArray(stem) + "_dis").constData(), Resources::IconExt);
    }
    for (const char* stem : OtherIcons)
        paths << Resources::GetIconPath(stem, Resources::IconExt);
    return paths;
}

bool Contains(const QImage& image, QRgb colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour)
                return true;
    return false;
}

TEST(Resources, TheTreeHoldsExactlyTheListedFiles)
{
    QSet<QString> expected;
    for (const QString& path : AllIconPaths())
        expected << path.mid(5);
    for (const char* picture : Pictures)
        expected << picture;
    expected << "error.mp3";
    const QStringList present = QDir(":Res").entryList(QDir::Files);
    EXPECT_EQ(present.size(), 111);
    EXPECT_EQ(QSet<QString>(present.begin(), present.end()), expected);
}

TEST(Resources, EveryIconHoldsADrawingAtSixteenAndThirtyTwo)
{
    for (const QString& path : AllIconPaths()) {
        QImageReader reader(path);
        ASSERT_TRUE(reader.canRead()) << path.toStdString();
        ASSERT_EQ(reader.imageCount(), 2) << path.toStdString();
        for (int size : {16, 32}) {
            const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(image.size(), QSize(size, size)) << path.toStdString();
            int opaque = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    opaque += qAlpha(image.pixel(x, y)) > 0;
            // No blank icon: every one covers a good part of its square.
            EXPECT_GT(opaque, size * size / 10) << path.toStdString();
            reader.jumpToNextImage();
        }
    }
    for (const char* picture : Pictures) {
        QImageReader reader(Resources::GetIconPath(picture, ""));
        EXPECT_TRUE(reader.canRead()) << picture;
        EXPECT_EQ(reader.size(), QSize(16, 16)) << picture;
    }
}

TEST(Resources, DisabledTwinsAreGrey)
{
    for (const char* stem : WithDisabledTwin) {
        const QImage image(Resources::GetIconPath((QByteArray(stem) + "_dis").constData(), Resources::IconExt));
        ASSERT_FALSE(image.isNull()) << stem;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                EXPECT_TRUE(qRed(pixel) == qGreen(pixel) && qGreen(pixel) == qBlue(pixel)) << stem;
                EXPECT_LT(qAlpha(pixel), 160) << stem;
            }
    }
}

TEST(Resources, MarkerColoursArePresent)
{
    QImageReader bookmark(Resources::GetIconPath("Bookmark", Resources::IconExt));
    for (int i = 0; i < 2; ++i) {
        const QImage image = bookmark.read().convertToFormat(QImage::Format_ARGB32);
        EXPECT_TRUE(Contains(image, qRgb(254, 63, 63))) << image.width();
        EXPECT_TRUE(Contains(image, qRgb(193, 77, 77))) << image.width();
        EXPECT_TRUE(Contains(image, qRgb(180, 5, 5))) << image.width();
        bookmark.jumpToNextImage();
    }
    const QImage check1(Resources::GetIconPath("check1", ".png"));
    const QImage check2(Resources::GetIconPath("check2", ".png"));
    EXPECT_TRUE(Contains(check1.convertToFormat(QImage::Format_ARGB32), qRgb(255, 242, 0)));
    EXPECT_TRUE(Contains(check2.convertToFormat(QImage::Format_ARGB32), qRgb(255, 242, 0)));
    EXPECT_TRUE(Contains(check2.convertToFormat(QImage::Format_ARGB32), qRgb(140, 0, 5)));
}

TEST(Resources, TheSoundIsAnMp3)
{
    QFile sound(Resources::GetIconPath("error", ".mp3"));
    ASSERT_TRUE(sound.open(QIODevice::ReadOnly));
    const QByteArray head = sound.read(3);
    EXPECT_TRUE(head == "ID3" || (uchar(head[0]) == 0xFF && (uchar(head[1]) & 0xE0) == 0xE0));
    EXPECT_GT(sound.size(), 200);
}

TEST(Resources, PathsOfNamesAndActions)
{
    EXPECT_STREQ(Resources::GetIconPath("Sync2left", ".png"), ":Res/Sync2left.png");
    EXPECT_STREQ(Resources::GetIconPath("Close", ".ico"), ":Res/Close.ico");

    static const ComAction table[] = {
        {0, 0, 0, "New", nullptr, "&New", nullptr},
        {1, 0, 5, "Save", "Save_dis", "&Save", nullptr},
    };
    ComActionTablePublish(table, 2);
    EXPECT_STREQ(Resources::GetActionIconPath(1), ":Res/Save.ico");
    EXPECT_TRUE(QFile::exists(Resources::GetActionIconPath(1)));
    ComActionTablePublish(nullptr, 0);
}

// Writes the library channel's reports to standard error, where the death
// tests look for them.
int ReportToStderr(ZmLib::KXEVENT* event, ZmLib::KX*)
{
    fprintf(stderr, "%s\n", event->text ? event->text : "");
    return 0;
}

TEST(ResourcesDeath, ActionIdsOutsideTheTableAreRefused)
{
    static const ComAction table[] = {{0, 0, 0, "New", nullptr, "&New", nullptr}};
    ComActionTablePublish(table, 1);
    const ZmLib::KxOutputFn output = ZmLib::KxSys.output;
    ZmLib::KxSys.output = &ReportToStderr;
    EXPECT_DEATH(Resources::GetActionIconPath(1), "id >= 0 && id < ComActionTableSize");
    EXPECT_DEATH(Resources::GetActionIconPath(-1), "id >= 0 && id < ComActionTableSize");
    ZmLib::KxSys.output = output;
    ComActionTablePublish(nullptr, 0);
}

} // namespace
