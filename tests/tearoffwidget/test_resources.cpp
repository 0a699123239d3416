#include <algorithm>
#include <cstdio>
#include <vector>

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
// 28 icons with a disabled twin, 106 icons, 111 files with the sound.
static_assert(std::size(WithDisabledTwin) == 28 && 2 * 28 + std::size(OtherIcons) == 106 &&
              std::size(Pictures) == 4);

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

std::vector<QRgb> Pixels(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    std::vector<QRgb> pixels;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            pixels.push_back(argb.pixel(x, y));
    return pixels;
}

bool Contains(const QImage& image, QRgb colour)
{
    const std::vector<QRgb> pixels = Pixels(image);
    return std::find(pixels.begin(), pixels.end(), colour) != pixels.end();
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
            const QImage image = reader.read();
            ASSERT_EQ(image.size(), QSize(size, size)) << path.toStdString();
            const std::vector<QRgb> pixels = Pixels(image);
            // No blank icon: every one covers a good part of its square.
            EXPECT_GT(std::count_if(pixels.begin(), pixels.end(), [](QRgb p) { return qAlpha(p) > 0; }), size * size / 10)
                << path.toStdString();
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
        for (QRgb p : Pixels(image))
            EXPECT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p) && qAlpha(p) < 160) << stem << " " << std::hex << p;
    }
}

TEST(Resources, MarkerColoursArePresent)
{
    QImageReader bookmark(Resources::GetIconPath("Bookmark", Resources::IconExt));
    for (int i = 0; i < 2; ++i) {
        const QImage image = bookmark.read();
        for (QRgb colour : {qRgb(254, 63, 63), qRgb(193, 77, 77), qRgb(180, 5, 5)})
            EXPECT_TRUE(Contains(image, colour)) << image.width() << " " << std::hex << colour;
        bookmark.jumpToNextImage();
    }
    const QImage check1(Resources::GetIconPath("check1", ".png"));
    const QImage check2(Resources::GetIconPath("check2", ".png"));
    EXPECT_TRUE(Contains(check1, qRgb(255, 242, 0)));
    EXPECT_TRUE(Contains(check2, qRgb(255, 242, 0)));
    EXPECT_TRUE(Contains(check2, qRgb(140, 0, 5)));
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
