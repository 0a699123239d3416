// The pinned screen draws text alike on every machine: here the user's own
// fontconfig file asks for what a desktop may set (full hinting, no
// antialiasing, colour subpixels), and the pin must override all of it.
#include <cstdlib>

#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "tests/pinnedscreen.h"

namespace {

const char* const FullHintingConf = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <match target="pattern">
    <edit name="hintstyle" mode="assign"><const>hintfull</const></edit>
  </match>
  <match target="font">
    <edit name="hintstyle" mode="assign"><const>hintfull</const></edit>
    <edit name="antialias" mode="assign"><bool>false</bool></edit>
    <edit name="rgba" mode="assign"><const>rgb</const></edit>
  </match>
</fontconfig>
)";

// Slight hinting leaves the advances as designed; full hinting rounds each
// to whole pixels.
TEST(PinnedScreen, AdvancesAreUnhintedWhateverTheUserAsks)
{
    for (const char* family : {"DejaVu Sans Mono", "DejaVu Sans"})
        for (int points : {8, 10, 12, 14}) {
            QFont font(QString::fromLatin1(family), points);
            ASSERT_TRUE(FontInstalled(font.family()));
            QFont designed(font);
            designed.setHintingPreference(QFont::PreferNoHinting);
            const QString text = QStringLiteral("Wim 0123");
            EXPECT_DOUBLE_EQ(QFontMetricsF(font).horizontalAdvance(text),
                             QFontMetricsF(designed).horizontalAdvance(text))
                << family << ", " << points << " pt";
        }
}

// Glyph edges in grey, no colour fringes.
TEST(PinnedScreen, TextIsDrawnWithGreyAntialiasing)
{
    QImage image(60, 30, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 12));
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("Wo/"));
    painter.end();
    int grey = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            ASSERT_TRUE(qRed(pixel) == qGreen(pixel) && qGreen(pixel) == qBlue(pixel)) << x << ", " << y;
            grey += qRed(pixel) > 0 && qRed(pixel) < 255;
        }
    EXPECT_GT(grey, 0);
}

// The session named an empty runtime folder, as some do: the pin gives the
// application a private one, and Qt makes none in the temporary folder.
TEST(PinnedScreen, EmptyRuntimeFolderIsReplaced)
{
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    ASSERT_FALSE(runtime.isEmpty());
    EXPECT_EQ(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation), runtime);
    EXPECT_EQ(QFile::permissions(runtime) & 0x0077, QFileDevice::Permissions());
    EXPECT_EQ(QDir(QDir::tempPath()).entryList({QStringLiteral("runtime-*")}, QDir::AllEntries), QStringList());
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    const QString config = home.filePath(QStringLiteral("config"));
    QDir().mkpath(config + QStringLiteral("/fontconfig"));
    QFile user(config + QStringLiteral("/fontconfig/fonts.conf"));
    if (!user.open(QIODevice::WriteOnly) || user.write(FullHintingConf) < 0)
        return 2;
    user.close();
    setenv("HOME", QFile::encodeName(home.path()).constData(), 1);
    setenv("XDG_CONFIG_HOME", QFile::encodeName(config).constData(), 1);
    const QString temporary = home.filePath(QStringLiteral("tmp"));
    QDir().mkpath(temporary);
    setenv("TMPDIR", QFile::encodeName(temporary).constData(), 1);
    setenv("XDG_RUNTIME_DIR", "", 1);
    const PinnedScreen screen;
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
