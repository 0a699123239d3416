#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include <QColor>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTimer>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "../../tearoffwidget/scriptedprompt.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/table/guihelpers.h"
#include "kxviewer/table/guiicons.h"
#include "tests/pinnedscreen.h"
#include "kxviewer/table/exportfile.h"
#include "kxviewer/table/savefile.h"
#include "tearoffwidget/comaction.h"
#include "tests/kxviewer/shellrecorder.h"

namespace {

TEST(GuiHelpers, ElideTextAndTopLevelItemOf)
{
    const QString forty(40, 'x');
    EXPECT_EQ(ElideText(forty), forty);
    EXPECT_EQ(ElideText(forty + "y"), forty + "...");
    EXPECT_EQ(ElideText(""), "");

    QTreeWidget tree;
    auto* top = new QTreeWidgetItem(&tree);
    auto* grandChild = new QTreeWidgetItem(new QTreeWidgetItem(top));
    EXPECT_EQ(TopLevelItemOf(&tree, top), top);
    EXPECT_EQ(TopLevelItemOf(&tree, grandChild), top);
    EXPECT_EQ(TopLevelItemOf(&tree, nullptr), nullptr);
}

TEST(GuiHelpers, CharactersWidthHoldsAsManyCharactersOfAFixedFont)
{
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setFamily(QStringLiteral("DejaVu Sans Mono"));
    ASSERT_TRUE(FontInstalled(fixed.family()));
    for (int points : {7, 8, 9, 10, 11, 12, 14})
        for (int characters : {1, 3, 12, 13, 30, 90}) {
            fixed.setPointSize(points);
            const QFontMetricsF metrics(fixed);
            const int width = CharactersWidth(fixed, characters);
            EXPECT_GE(width, metrics.horizontalAdvance(QString(characters, 'W'))) << points << " pt, " << characters;
            EXPECT_LT(width, metrics.horizontalAdvance(QString(characters + 1, 'W'))) << points << " pt, " << characters;
        }
    EXPECT_EQ(CharactersWidth(fixed, 0), 0);
}

// The width a painter gives the text it draws on one line.
qreal DrawnWidth(const QFont& font, const QString& text)
{
    QImage image(1000, 60, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setFont(font);
    QRectF drawn;
    painter.drawText(QRectF(image.rect()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text, &drawn);
    return drawn.width();
}

// However the machine hints its fonts (full hinting rounds every advance to
// whole pixels, 10 for 9.6 at 12 points), as many characters of a fixed
// font as drawn fit the width, and one more does not.
TEST(GuiHelpers, CharactersWidthHoldsTheCharactersAsDrawnWhateverTheHinting)
{
    QFont fixed(QStringLiteral("DejaVu Sans Mono"));
    ASSERT_TRUE(FontInstalled(fixed.family()));
    for (QFont::HintingPreference hinting : {QFont::PreferDefaultHinting, QFont::PreferFullHinting,
                                             QFont::PreferVerticalHinting, QFont::PreferNoHinting})
        for (int points : {7, 8, 9, 10, 12, 14})
            for (int characters : {1, 3, 13, 30, 90}) {
                fixed.setHintingPreference(hinting);
                fixed.setPointSize(points);
                const int width = CharactersWidth(fixed, characters);
                EXPECT_GE(width, DrawnWidth(fixed, QString(characters, '0')))
                    << "hinting " << hinting << ", " << points << " pt, " << characters;
                EXPECT_LT(width, DrawnWidth(fixed, QString(characters + 1, '0')))
                    << "hinting " << hinting << ", " << points << " pt, " << characters;
            }
}

TEST(GuiHelpers, IsDarkColor)
{
    const struct {
        QColor colour;
        bool dark;
    } cases[] = {
        {QColor(128, 128, 128), false}, // 0.498
        {QColor(127, 127, 127), true},  // 0.502
        {Qt::black, true},
        {Qt::white, false},
        {QColor(0, 0, 255), true},
        {QColor(255, 255, 0), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsDarkColor(c.colour), c.dark) << c.colour.name().toStdString();
}

TEST(GuiHelpers, ParseRowNumber)
{
    const struct {
        const char* text;
        uint64_t number;
    } cases[] = {
        {"Record (1234)", 1234},  {"1234", 1234},  {"  77  ", 77},          {"no digits", 0},
        {"a (1) b (42)", 42},     {"(x)", 0},      {"18446744073709551615", 18446744073709551615ull},
        {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseRowNumber(c.text), c.number) << c.text;
}

class SaveFileTest : public ::testing::Test {
protected:
    void SetUp() override { PrefGlobal::DefaultSaveDir = QFile::encodeName(folder.path()).toStdString(); }
    void TearDown() override { PrefGlobal::DefaultSaveDir = previousDir; }
    QTemporaryDir folder;
    ScriptedPrompt prompt;
    PromptGuard guard{&prompt};
    kxtest::ShellRecorder shell;
    const std::string previousDir = PrefGlobal::DefaultSaveDir;
};

// A given name skips the dialog; the dialog's name gets the suffix before
// its overwrite question; a cancelled dialog gives a null name and no file.
TEST_F(SaveFileTest, AskSaveFileName)
{
    EXPECT_EQ(AskSaveFileName("/x/report", "Save", "CSV (*.csv)", "csv", "p"), "/x/report.csv");
    EXPECT_EQ(AskSaveFileName("/x/report.txt", "Save", "CSV (*.csv)", "csv", "p"), "/x/report.txt");
    EXPECT_TRUE(prompt.saveAsked.isEmpty());

    prompt.fileNames.enqueue(folder.path() + "/report.csv");
    EXPECT_EQ(AskSaveFileName("", "Export", "CSV (*.csv)", "csv", "report"), folder.path() + "/report.csv");
    ASSERT_EQ(prompt.saveAsked.size(), 1);
    EXPECT_EQ(prompt.saveAsked[0].caption, "Export");
    EXPECT_EQ(prompt.saveAsked[0].dir, folder.path() + "/report");
    EXPECT_EQ(prompt.saveAsked[0].filter, "CSV (*.csv)");
    EXPECT_EQ(prompt.saveAsked[0].defaultSuffix, "csv");

    EXPECT_TRUE(AskSaveFileName("", "Export", "", "csv", "report").isNull());
    EXPECT_EQ(CreateSaveFile("", "Export", "", "csv"), nullptr);
    EXPECT_EQ(prompt.saveAsked.size(), 3);
    EXPECT_EQ(prompt.saveAsked[2].dir, folder.path());
    EXPECT_TRUE(shell.info.empty());
}

TEST_F(SaveFileTest, CreateSaveFileKeepsTheOldFileOrReports)
{
    const QString path = folder.path() + "/old.txt";
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("previous contents");
    }
    std::unique_ptr<ExportFile> file(CreateSaveFile(path, "Save", "", "txt"));
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->isOpen());
    EXPECT_TRUE(file->WriteAll("new", 3));
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "previous contents");
    old.close();
    EXPECT_TRUE(file->Finish());
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "new");
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{"old.txt"});

    // Each says why, as the system does.
    QFile blocker(folder.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QDir(folder.path()).mkdir("taken.csv"));
    const std::pair<QString, int> refused[] = {
        {folder.path() + "/missing/out.csv", ENOENT},
        {folder.path() + "/file/out.csv", ENOTDIR},
        {folder.path() + "/taken.csv", EISDIR},
    };
    for (const auto& [target, error] : refused) {
        SCOPED_TRACE(target.toStdString());
        shell.Clear();
        EXPECT_EQ(CreateSaveFile(target, "Save", "", "csv"), nullptr);
        const std::vector<std::string> text{("Can't create file: " + target).toStdString() + ": " + strerror(error)};
        EXPECT_EQ(shell.log, text);
        EXPECT_EQ(shell.info, text);
        EXPECT_EQ(shell.warnings, std::vector<bool>{true});
    }
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"file", "old.txt"}));
}

// A file the user may not write is refused at once, as the system words it,
// and keeps its bytes, though its folder would take a new file.
TEST_F(SaveFileTest, CreateSaveFileRefusesAReadOnlyFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root may write any file";
    const QString path = folder.path() + "/readonly.csv";
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("kept");
    }
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner));
    EXPECT_EQ(CreateSaveFile(path, "Save", "", "csv"), nullptr);
    const std::vector<std::string> text{("Can't create file: " + path).toStdString() + ": " + strerror(EACCES)};
    EXPECT_EQ(shell.info, text);
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "kept");
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"readonly.csv"});
}

TEST(DefaultPrompt, SaveDialogIsGivenTheDefaultSuffix)
{
    QString seen;
    QTimer::singleShot(0, [&seen] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        seen = dialog->defaultSuffix();
        dialog->reject();
    });
    TearOffPrompt prompt;
    EXPECT_TRUE(prompt.SaveFileName(nullptr, "Save", QDir::tempPath(), "", "csv").isNull());
    EXPECT_EQ(seen, "csv");
}

bool Contains(const QImage& image, QRgb colour)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (argb.pixel(x, y) == colour)
                return true;
    return false;
}

struct BookmarkTable {
    ComAction entries[ComActionCount] = {};
    BookmarkTable()
    {
        entries[80] = {1, 1, 0, "Bookmark", nullptr, "&Bookmark", nullptr};
        ComActionTablePublish(entries, ComActionCount);
    }
    ~BookmarkTable() { ComActionTablePublish(nullptr, 0); }
};

TEST(GuiIcons, ColoredBookmarkReplacesTheThreeReds)
{
    BookmarkTable table;
    const QColor colour(0, 128, 255);
    QPixmap small;
    const QIcon icon = MakeColoredIcon(colour, small);
    ASSERT_EQ(small.size(), QSize(16, 16));
    const QImage image = small.toImage();
    EXPECT_TRUE(Contains(image, colour.rgb()));
    EXPECT_TRUE(Contains(image, colour.lighter(110).rgb()));
    EXPECT_TRUE(Contains(image, colour.darker(110).rgb()));
    for (QRgb red : {BookmarkLightRed, BookmarkRed, BookmarkDarkRed})
        EXPECT_FALSE(Contains(image, red));
    const QImage large = icon.pixmap(QSize(32, 32), QIcon::Normal, QIcon::Off).toImage();
    EXPECT_EQ(large.size(), QSize(32, 32));
    EXPECT_TRUE(Contains(large, colour.rgb()));
    EXPECT_FALSE(Contains(large, BookmarkRed));
}

TEST(GuiIcons, CheckIconsInLightAndDarkColours)
{
    const QList<QIcon> light = LoadCheckIcons(QColor(255, 255, 255));
    ASSERT_EQ(light.size(), 2);
    const QImage second = light[1].pixmap(16, 16).toImage();
    EXPECT_FALSE(Contains(second, CheckMarker));
    EXPECT_TRUE(Contains(second, CheckSecondMarker)); // kept on a light colour

    const QColor dark(20, 20, 80);
    const QList<QIcon> darkIcons = LoadCheckIcons(dark);
    const QImage first = darkIcons[0].pixmap(16, 16).toImage();
    EXPECT_TRUE(Contains(first, dark.rgb()));
    const QImage darkSecond = darkIcons[1].pixmap(16, 16).toImage();
    EXPECT_FALSE(Contains(darkSecond, CheckSecondMarker));
    EXPECT_TRUE(Contains(darkSecond, CheckSecondOnDark));
}

TEST(GuiIcons, SwatchAndColourBar)
{
    const QImage swatch = MakeColorSwatchIcon(Qt::red).pixmap(20, 10).toImage();
    ASSERT_EQ(swatch.size(), QSize(20, 10));
    EXPECT_EQ(swatch.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(swatch.pixel(19, 9), qRgb(0, 0, 0));
    EXPECT_EQ(swatch.pixel(10, 5), qRgb(255, 0, 0));

    const QIcon bar = MakeColorBarIcon(Qt::green, ":Res/Find.ico");
    const QImage image = bar.pixmap(QSize(32, 36)).toImage();
    ASSERT_EQ(image.size(), QSize(32, 36));
    EXPECT_EQ(image.pixel(16, 34), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(0, 32), qRgb(0, 255, 0));
}

TEST(GuiIcons, SharedPixmapsLoadOnceAndResourcesLoad)
{
    EXPECT_TRUE(SharedPixmap(PIX_TYPE2_ERROR).isNull());
    LoadSharedPixmaps();
    for (int i = 0; i < SHARED_PIXMAP_COUNT; ++i)
        EXPECT_EQ(SharedPixmap(SharedPixmapId(i)).size(), QSize(16, 16)) << i;
    EXPECT_TRUE(SharedPixmap(PIX_LINE0_EXCLAMATION).hasAlphaChannel());
    FreeSharedPixmaps();
    EXPECT_TRUE(SharedPixmap(PIX_TYPE2_ERROR).isNull());

    EXPECT_FALSE(LoadIconResource("Close", ".ico").isNull());
    std::unique_ptr<QPixmap> pixmap(LoadPixmapResource("check1", ".png"));
    EXPECT_EQ(pixmap->size(), QSize(16, 16));
}

} // namespace
