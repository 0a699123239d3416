// Before the application object of a widget test: the fonts of
// fonts-dejavu-core as the only fonts, drawn with slight hinting and grey
// antialiasing, 96 DPI and no scaling, whatever the machine has installed or
// its fontconfig or environment asks for, so that what a test measures in
// one run holds in every other.
#pragma once

#include <cstdio>
#include <cstdlib>

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class PinnedScreen {
public:
    static constexpr const char* FontDir = "/usr/share/fonts/truetype/dejavu";

    // Must run before the Q(Gui)Application exists: fontconfig and Qt read
    // these variables once, when the first font or screen is asked for.
    PinnedScreen()
    {
        const QString conf = m_dir.filePath(QStringLiteral("fonts.conf"));
        QFile file(conf);
        if (!file.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(conf));
            std::exit(2);
        }
        // conf.d gives the aliases (monospace, sans-serif); the selection
        // drops whatever other folders it or the user's files add. The last
        // match overrides how glyphs are drawn, which conf.d and the user's
        // files set as they like: full hinting rounds every advance to whole
        // pixels, so text would be wider or narrower than on another machine.
        // Qt reads all of these for each font it opens.
        file.write(QStringLiteral(
                       "<?xml version=\"1.0\"?>\n"
                       "<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
                       "<fontconfig>\n"
                       "  <dir>%1</dir>\n"
                       "  <cachedir>%2</cachedir>\n"
                       "  <include ignore_missing=\"yes\">/etc/fonts/conf.d</include>\n"
                       "  <selectfont>\n"
                       "    <rejectfont><glob>*</glob></rejectfont>\n"
                       "    <acceptfont><glob>%1/*</glob></acceptfont>\n"
                       "  </selectfont>\n"
                       "  <match target=\"font\">\n"
                       "    <edit name=\"antialias\" mode=\"assign\"><bool>true</bool></edit>\n"
                       "    <edit name=\"hinting\" mode=\"assign\"><bool>true</bool></edit>\n"
                       "    <edit name=\"hintstyle\" mode=\"assign\"><const>hintslight</const></edit>\n"
                       "    <edit name=\"autohint\" mode=\"assign\"><bool>false</bool></edit>\n"
                       "    <edit name=\"rgba\" mode=\"assign\"><const>none</const></edit>\n"
                       "    <edit name=\"lcdfilter\" mode=\"assign\"><const>lcddefault</const></edit>\n"
                       "    <edit name=\"embeddedbitmap\" mode=\"assign\"><bool>false</bool></edit>\n"
                       "  </match>\n"
                       "</fontconfig>\n")
                       .arg(QString::fromLatin1(FontDir), m_dir.filePath(QStringLiteral("cache")))
                       .toUtf8());
        file.close();
        setenv("FONTCONFIG_FILE", QFile::encodeName(conf).constData(), 1);
        unsetenv("FONTCONFIG_PATH");
        setenv("QT_FONT_DPI", "96", 1);
        for (const char* name : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR",
                                 "QT_ENABLE_HIGHDPI_SCALING", "QT_USE_PHYSICAL_DPI", "QT_QPA_PLATFORMTHEME",
                                 "QT_STYLE_OVERRIDE"})
            unsetenv(name);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // Without a runtime folder (an empty name is none) Qt makes
        // $TMPDIR/runtime-<user> and leaves it behind: it gets one in this
        // folder, private as Qt wants it.
        const char* named = getenv("XDG_RUNTIME_DIR");
        if (named == nullptr || *named == '\0') {
            const QString runtime = m_dir.filePath(QStringLiteral("runtime"));
            QDir().mkdir(runtime);
            QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            setenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime).constData(), 1);
        }
    }

    PinnedScreen(const PinnedScreen&) = delete;
    PinnedScreen& operator=(const PinnedScreen&) = delete;

private:
    QTemporaryDir m_dir;
};

// For a test whose expectation holds for one font only: names the font and
// its folder when the machine lacks it, instead of failing on a measure.
inline testing::AssertionResult FontInstalled(const QString& family)
{
    if (QFontDatabase().families().contains(family))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the font \"" << family.toStdString() << "\" is missing from "
                                       << PinnedScreen::FontDir << " (package fonts-dejavu-core)";
}
