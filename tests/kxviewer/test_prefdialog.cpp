// The preferences dialog and its pages, driven by mouse and keys: what Ok
// and Apply write, the debug level, the colour scheme's edits in every sort
// order, the ini location, fonts, aux-tree labels, and open documents
// following the grid and icon size.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>

#include "kxviewer/prefdialog.h"
#include "kxviewer/prefpagecolors.h"
#include "kxviewer/prefpagecolumns.h"
#include "kxviewer/prefpageconnect.h"
#include "kxviewer/prefpagefonts.h"
#include "kxviewer/prefpagegeneral.h"
#include "kxviewer/table/tabtablemodel.h"
#include "tests/kxviewer/table/tabletabenv.h"
#include "utils/kx/kx.h"
#include "tests/widgetmetrics.h"

namespace {

ZmLib::KX FirstChannel("PREFTEST1");
ZmLib::KX SecondChannel("PREFTEST2");
constexpr int32_t UNTOUCHED = 77;
constexpr QRgb INSERTED = 0x123456;

enum PageRow { PAGE_GENERAL = 0, PAGE_TABLE, PAGE_COLUMNS, PAGE_CONNECT, PAGE_COLORS, PAGE_FONTS };

std::string ReadFile(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Colour i of a test scheme. Sorted by their names they come in an order
// that is neither the numbers' nor its reverse.
QRgb Base(int i)
{
    static const int rank[] = {3, 0, 4, 1, 5, 2, 6, 7, 8, 9, 10, 11};
    return qRgb(0x40 + 0x10 * rank[i], 0x20, 0x30);
}

class PrefDialogTest : public tabletest::TableTabTest {
protected:
    void SetUp() override
    {
        tabletest::TableTabTest::SetUp();
        program = Path("program/").toStdString();
        std::filesystem::create_directories(program);
        PrefGlobal::ProgramDir = program;
        PrefGlobal::IniDir = program;
        PrefGlobal::IniInProgramDir = true;
        PrefGlobal::IniViewer.Open(program.c_str(), "KxViewer", "ini");
        PrefGlobal::IniFormats.Open(program.c_str(), "KxFormats", "ini");
        PrefGlobal::Save();
        ZmLib::KX::Register(&FirstChannel, 0);
        ZmLib::KX::Register(&SecondChannel, 0);
        ZmLib::KX::SetLevelAll(UNTOUCHED);
    }
    void TearDown() override
    {
        dialog.reset();
        PrefGlobal::IniViewer.Close();
        PrefGlobal::IniFormats.Close();
        std::filesystem::remove_all(PrefGlobal::HomeIniDir());
        ZmLib::KX::SetLevelAll(1);
        PrefGlobal::SetDefaults();
        tabletest::TableTabTest::TearDown();
    }

    PrefDialog& OpenDialog()
    {
        dialog = std::make_unique<PrefDialog>(main.get());
        dialog->resize(900, 760);
        dialog->show();
        QApplication::processEvents();
        return *dialog;
    }
    void ShowPage(int row)
    {
        QListWidget* list = dialog->Pages;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }
    // A check box or radio button, clicked on its indicator.
    static void Press(QAbstractButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, IndicatorCentre(button));
    }
    // Clicked there and back: the page marked changed, no value changed.
    void ClickAndBack() { Press(dialog->General->CreateLogFile), Press(dialog->General->CreateLogFile); }
    static void PressCentre(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center()); }
    void Apply() { PressCentre(dialog->ApplyButton); }

    // The colour page's row showing the order number, clicked.
    void PickNumber(int number)
    {
        QTableWidget* table = dialog->Colors->Table;
        const std::vector<int> numbers = NumColumn();
        const auto row = std::find(numbers.begin(), numbers.end(), number) - numbers.begin();
        ASSERT_LT(row, table->rowCount()) << "no row numbered " << number;
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualItemRect(table->item(int(row), PrefPageColors::COLUMN_NUM)).center());
    }
    std::vector<int> NumColumn() const
    {
        std::vector<int> numbers;
        for (int row = 0; row < dialog->Colors->Table->rowCount(); ++row)
            numbers.push_back(dialog->Colors->Table->item(row, PrefPageColors::COLUMN_NUM)->text().toInt());
        return numbers;
    }

    std::string program;
    std::unique_ptr<PrefDialog> dialog;
};

// At its own size the dialog shows every page title whole, in the
// application's font and in a larger one.
TEST_F(PrefDialogTest, PageListFitsItsTitlesAtTheDefaultSize)
{
    const QFont saved = QApplication::font();
    for (int points : {0, 16}) {
        SCOPED_TRACE(points);
        QFont font = saved;
        if (points > 0)
            font.setPointSize(points);
        QApplication::setFont(font);
        dialog = std::make_unique<PrefDialog>(main.get());
        dialog->show();
        QApplication::processEvents();
        QListWidget* list = dialog->Pages;
        const QRect viewport = list->viewport()->rect();
        EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
        for (int row = 0; row < list->count(); ++row) {
            const QListWidgetItem* item = list->item(row);
            SCOPED_TRACE(item->text().toStdString());
            const QRect shown = list->visualItemRect(item);
            EXPECT_TRUE(viewport.contains(shown)) << shown.right() << " " << viewport.right();
            EXPECT_LE(list->fontMetrics().horizontalAdvance(item->text()), shown.width());
        }
    }
    QApplication::setFont(saved);
}

TEST_F(PrefDialogTest, OkAppliesOnlyAfterAPressOnAPageControl)
{
    enum Touch { NONE, SWITCH_PAGES, BOX_CLICKED_BACK };
    struct Case { const char* name; Touch touch; bool written; };
    const Case cases[] = {{"untouched", NONE, false}, {"pages switched", SWITCH_PAGES, false},
                 {"box clicked and back", BOX_CLICKED_BACK, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A value only the dialog's Apply would write out.
        PrefGlobal::CompareProgramm = "in-memory-only";
        PrefDialog& d = OpenDialog();
        if (c.touch == SWITCH_PAGES) {
            ShowPage(PAGE_COLORS);
            ShowPage(PAGE_GENERAL);
        } else if (c.touch == BOX_CLICKED_BACK) {
            ClickAndBack();
        }
        EXPECT_EQ(d.ApplyButton->isEnabled(), c.written);
        PressCentre(d.OkButton);
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(ReadFile(program + "KxViewer.ini").find("in-memory-only") != std::string::npos, c.written);
        EXPECT_EQ(FirstChannel.threshold, UNTOUCHED);
        PrefGlobal::CompareProgramm.clear();
        PrefGlobal::Save();
    }
}

TEST_F(PrefDialogTest, DebugLevelReachesEveryChannelOnlyWhenChanged)
{
    // downs: Down presses after Home on the combo; -1: combo left alone
    struct Case { int32_t start; int downs; int32_t level; int32_t threshold; };
    const Case cases[] = {
        {1, 4, 3, 3},            // " 3 Level"
        {1, 2, 1, UNTOUCHED},    // the same level again
        {9, -1, 9, UNTOUCHED},   // hand-edited, beyond the list
        {-5, -1, -5, UNTOUCHED}, // hand-edited, below it
        {9, 0, -1, -1},          // changed on purpose to "-1 Disabled"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "start " << c.start << " downs " << c.downs);
        PrefGlobal::DebugLevel = c.start;
        ZmLib::KX::SetLevelAll(UNTOUCHED);
        PrefDialog& d = OpenDialog();
        QComboBox* combo = d.General->DebugLevelCombo;
        if (c.downs < 0) {
            ClickAndBack();
        } else {
            combo->setFocus();
            QTest::keyClick(combo, Qt::Key_Home);
            for (int i = 0; i < c.downs; ++i)
                QTest::keyClick(combo, Qt::Key_Down);
        }
        ASSERT_TRUE(d.ApplyButton->isEnabled());
        Apply();
        EXPECT_EQ(PrefGlobal::DebugLevel, c.level);
        EXPECT_EQ(FirstChannel.threshold, c.threshold);
        EXPECT_EQ(SecondChannel.threshold, c.threshold);
        EXPECT_FALSE(d.ApplyButton->isEnabled());
    }
}

TEST_F(PrefDialogTest, ColourSchemeEditsInEverySortOrder)
{
    const char* const tooFew = "Cannot delete: the minimum amount of colors is 5";
    const char* const unsorted = "Please sort by order number first";
    // current: the order number of the row clicked; scheme: test colours by index, -1 the inserted one.
    struct Case { const char* name; int count; bool byColor; int current; const char* button; std::vector<int> scheme;
        const char* message; };
    const Case cases[] = {
        {"five refuse Delete", 5, false, 2, "Delete", {0, 1, 2, 3, 4}, tooFew},
        {"Insert sorted by Color", 6, true, 2, "Insert", {0, 1, -1, 2, 3, 4, 5}, ""},
        {"Insert at the top sorted by Color", 6, true, 0, "Insert", {-1, 0, 1, 2, 3, 4, 5}, ""},
        {"Delete sorted by Color", 6, true, 4, "Delete", {0, 1, 2, 3, 5}, ""},
        {"move refused sorted by Color", 6, true, 3, "moveTop", {0, 1, 2, 3, 4, 5}, unsorted},
        {"move to top", 6, false, 3, "moveTop", {3, 0, 1, 2, 4, 5}, ""},
        {"down past 9 is 10", 12, false, 9, "moveDown", {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 9, 11}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PrefGlobal::ColorScheme.clear();
        for (int i = 0; i < c.count; ++i)
            PrefGlobal::ColorScheme.push_back(Base(i) | 0xFF000000);
        shell.Clear();
        prompt.colors.enqueue(QColor(INSERTED));
        PrefDialog& d = OpenDialog();
        ShowPage(PAGE_COLORS);
        QTableWidget* table = d.Colors->Table;
        if (c.byColor) {
            QHeaderView* header = table->horizontalHeader();
            const QPoint onColor(header->sectionViewportPosition(PrefPageColors::COLUMN_COLOR) + 20, header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, onColor);
            ASSERT_EQ(header->sortIndicatorSection(), PrefPageColors::COLUMN_COLOR);
        }
        PickNumber(c.current);
        PressCentre(d.Colors->findChild<QPushButton*>(QString::fromLatin1(c.button)));
        std::vector<int> numbers(table->rowCount());
        std::iota(numbers.begin(), numbers.end(), 0);
        EXPECT_TRUE(c.byColor || NumColumn() == numbers) << "rows in numeric order";
        Apply();
        std::vector<QRgb> expected;
        for (int i : c.scheme)
            expected.push_back((i < 0 ? INSERTED : Base(i)) | 0xFF000000);
        EXPECT_EQ(PrefGlobal::ColorScheme, expected);
        EXPECT_EQ(shell.info, *c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        prompt.colors.clear();
    }
}

TEST_F(PrefDialogTest, IniFilesMoveOnlyWhenTheChoiceChanged)
{
    const std::string moved = "Ini-files moved to directory: " + PrefGlobal::HomeIniDir();
    struct Case { const char* name; bool chooseHome; std::vector<std::string> log; };
    const Case cases[] = {{"choice kept", false, {}}, {"home chosen", true, {moved}}};
    // The program folder can no longer be written: moving into it fails.
    std::ofstream(Path("plain").toStdString()) << "x";
    PrefGlobal::ProgramDir = Path("plain/program/").toStdString();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        shell.Clear();
        PrefDialog& d = OpenDialog();
        ASSERT_TRUE(d.General->IniProgram->isChecked());
        c.chooseHome ? Press(d.General->IniHome) : ClickAndBack();
        Apply();
        EXPECT_TRUE(shell.info.empty()) << (shell.info.empty() ? "" : shell.info.front());
        EXPECT_EQ(shell.log, c.log);
        EXPECT_EQ(PrefGlobal::IniDir, c.chooseHome ? PrefGlobal::HomeIniDir() : program);
        EXPECT_EQ(d.General->IniHome->isChecked(), c.chooseHome);
    }
}

TEST_F(PrefDialogTest, TypedAddressIsRememberedOnce)
{
    using Texts = std::vector<std::string>;
    // typed: replaces the field's text
    struct Case { Texts known; const char* typed; Texts remembered; };
    const Case cases[] = {{{}, "10.0.0.1", {"10.0.0.1"}}, {{"10.0.0.1", "10.0.0.2"}, "10.0.0.2", {"10.0.0.1", "10.0.0.2"}},
                 {{"10.0.0.1"}, "10.0.0.3", {"10.0.0.3", "10.0.0.1"}}, {{"10.0.0.1"}, "", {"10.0.0.1"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        PrefGlobal::ConnectionIps = c.known;
        PrefDialog& d = OpenDialog();
        ShowPage(PAGE_CONNECT);
        QLineEdit* address = d.Connect->Address;
        EXPECT_EQ(address->text().toStdString(), c.known.empty() ? std::string() : c.known.front());
        PressCentre(address);
        QTest::keyClick(address, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(address, Qt::Key_Delete);
        QTest::keyClicks(address, QString::fromLatin1(c.typed));
        QTest::keyClicks(d.Connect->FirstPort, QStringLiteral("7"));
        Apply();
        EXPECT_EQ(PrefGlobal::ConnectionIps, c.remembered);
        EXPECT_EQ(PrefGlobal::FirstPort, "14207");
        PrefGlobal::FirstPort = "1420";
    }
}

TEST_F(PrefDialogTest, FontChoicesAreStoredAtOnceWithTheirFilter)
{
    struct Case { int slot; bool accepted; QFontDialog::FontDialogOptions options; };
    const Case cases[] = {{FONT_TABLE_VIEW, true, QFontDialog::MonospacedFonts},
                 {FONT_SIDE_PANELS, true, QFontDialog::ScalableFonts}, {FONT_FIND_DIALOG, false, QFontDialog::ScalableFonts}};
    for (const auto& c : cases) {
        SCOPED_TRACE(PrefGlobal::FontKeys[c.slot]);
        const QFont before = PrefGlobal::Fonts[c.slot];
        QFont chosen = before;
        chosen.setPointSize(before.pointSize() + 7);
        prompt.fontAsked.clear();
        if (c.accepted)
            prompt.fonts.enqueue(chosen);
        PrefDialog& d = OpenDialog();
        ShowPage(PAGE_FONTS);
        QPushButton* change = nullptr;
        for (QPushButton* button : d.Fonts->findChildren<QPushButton*>())
            change = button->property("Index").toInt() == c.slot ? button : change;
        ASSERT_NE(change, nullptr);
        PressCentre(change);
        ASSERT_EQ(prompt.fontAsked.size(), 1);
        EXPECT_EQ(prompt.fontAsked[0].first, QString::fromLatin1(PrefGlobal::FontKeys[c.slot]));
        EXPECT_EQ(prompt.fontAsked[0].second, c.options);
        PressCentre(d.CancelButton);
        EXPECT_EQ(PrefGlobal::Fonts[c.slot], c.accepted ? chosen : before);
        const int points = PrefGlobal::Fonts[c.slot].pointSize();
        for (QLabel* label : {d.Fonts->Labels[2 * c.slot], d.Fonts->Labels[2 * c.slot + 1]})
            EXPECT_EQ(label->font().pointSize(), points);
        EXPECT_TRUE(d.Fonts->Labels[2 * c.slot]->text().endsWith(QLatin1Char(',') + QString::number(points)))
            << d.Fonts->Labels[2 * c.slot]->text().toStdString();
    }
}

TEST_F(PrefDialogTest, AuxTreeLabelsDashOnlyForNoLevel)
{
    const std::pair<int32_t, QString> cases[] = {
        {-1, QStringLiteral(" -")}, {0, QString::fromLatin1(FieldTitle(0))}, {FIELD_Nums, QStringLiteral("INCORRECT VALUE")}};
    for (const auto& [field, title] : cases) {
        SCOPED_TRACE(field);
        PrefKxTable::Default().TreeLevel1Field = PrefKxTable::Default().TreeLevel2Field = field;
        PrefPageColumns page;
        EXPECT_EQ(page.Level1->text(), QStringLiteral("1<sup>st</sup> level: ") + title);
        EXPECT_EQ(page.Level2->text(), QStringLiteral("2<sup>nd</sup> level: ") + title);
    }
}

TEST_F(PrefDialogTest, GridRowNumbersAndIconSizeReachOpenDocuments)
{
    TabTable* first = OpenGenerated(40, "first.kx");
    TabTable* second = OpenGenerated(40, "second.kx");
    ASSERT_TRUE(first && second);
    const struct { int grid; bool large, rowNumbers; } cases[] = {{0, true, false}, {2, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.grid);
        PrefDialog& d = OpenDialog();
        Press(d.General->GridButtons->button(c.grid));
        Press(c.large ? d.General->LargeIcons : d.General->SmallIcons);
        ShowPage(PAGE_COLUMNS);
        if (d.Columns->ExportRowNumbers->isChecked() != c.rowNumbers)
            Press(d.Columns->ExportRowNumbers);
        Apply();
        const QSize icons = c.large ? QSize(32, 32) : QSize(16, 16);
        EXPECT_EQ(main->iconSize(), icons);
        for (TabTable* tab : {first, second}) {
            EXPECT_EQ(tab->Prefs.Grid, c.grid);
            EXPECT_EQ(bool(tab->Prefs.ExportRowNumbColumn), c.rowNumbers);
            EXPECT_EQ(tab->iconSize(), icons);
        }
        EXPECT_EQ(PrefTabTable::Default().Grid, c.grid);
    }
}

} // namespace
