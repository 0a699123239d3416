// The aux-tree chooser: its two level rows, what "Ok", "Swap" and "Set as
// default" leave in the caller's levels and in the defaults.
#include <cstring>

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include "kxlib/table/kxtable.h"
#include "kxlib/table/prefkxtable.h"
#include "kxviewer/table/auxtreedialog.h"
#include "tabtestenv.h"
#include "tests/widgetmetrics.h"

namespace {

class AuxTreeDialogTest : public ::testing::Test {
protected:
    void SetUp() override { savedKx = PrefKxTable::Default(); }
    void TearDown() override { PrefKxTable::Default() = savedKx; }

    static QPushButton* ButtonOf(QDialog& dialog, const char* text)
    {
        for (QPushButton* button : dialog.findChildren<QPushButton*>())
            if (button->text() == QLatin1String(text))
                return button;
        return nullptr;
    }

    static void Click(QWidget* widget)
    {
        QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, QPoint(widget->width() / 2, widget->height() / 2));
    }
    // A check box as wide as its dialog: its middle may lie beyond its text.
    static void Click(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, IndicatorCentre(box)); }

    PrefKxTable savedKx;
};

TEST_F(AuxTreeDialogTest, BoxesComboAndButtonsDecideTheLevels)
{
    // Steps: 1 and 2 click a level's box, S "Swap", c the second combo
    // picks field 5, D "Set as default", O "Ok".
    const struct {
        int32_t first, second;
        const char* steps;
        int result;
        int32_t firstAfter, secondAfter;
        int32_t defaultFirst, defaultSecond; // -9: untouched
    } cases[] = {
        {11, 13, "O", 0, 11, 13, -9, -9},
        {11, 13, "11O", 0, 11, 13, -9, -9},
        {11, 13, "1O", 1, -1, -1, -9, -9},
        {11, 13, "SO", 1, 13, 11, -9, -9},
        {11, -1, "SO", 0, 11, -1, -9, -9},
        {11, 13, "2O", 1, 11, -1, -9, -9},
        // A box whose combo shows no field checks the first field.
        {-1, -1, "1O", 1, 0, -1, -9, -9},
        {-1, -1, "12cO", 1, 0, 5, -9, -9},
        {11, 13, "SD", 0, 11, 13, 13, 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + "," + std::to_string(c.second) + " " + c.steps);
        PrefKxTable::Default() = savedKx;
        auto* table = new KxTable(nullptr, "trace", PrefKxTable::Default());
        int32_t levels[2] = {c.first, c.second};
        AuxTreeDialog dialog(levels, nullptr, table);
        dialog.show();
        auto boxes = dialog.findChildren<QCheckBox*>();
        auto combos = dialog.findChildren<QComboBox*>();
        ASSERT_EQ(boxes.size(), 2);
        ASSERT_EQ(combos.size(), 2);
        int result = -1;
        QObject::connect(&dialog, &QDialog::finished, [&result](int code) { result = code; });
        for (const char* step = c.steps; *step; ++step) {
            switch (*step) {
            case '1':
            case '2':
                Click(boxes[*step - '1']);
                break;
            case 'S':
                Click(ButtonOf(dialog, "Swap"));
                break;
            case 'c':
                combos[1]->setCurrentIndex(5);
                break;
            case 'D':
                Click(ButtonOf(dialog, "Set as default"));
                break;
            case 'O':
                Click(ButtonOf(dialog, "Ok"));
                break;
            }
        }
        if (strchr(c.steps, 'O')) {
            EXPECT_EQ(result, c.result);
        }
        EXPECT_EQ(levels[0], c.firstAfter);
        EXPECT_EQ(levels[1], c.secondAfter);
        if (c.defaultFirst != -9) {
            EXPECT_EQ(PrefKxTable::Default().TreeLevel1Field, c.defaultFirst);
            EXPECT_EQ(PrefKxTable::Default().TreeLevel2Field, c.defaultSecond);
        }
        table->Release();
    }
}

TEST_F(AuxTreeDialogTest, SecondRowFollowsTheFirst)
{
    int32_t levels[2] = {11, 13};
    AuxTreeDialog dialog(levels, nullptr, nullptr);
    dialog.show();
    auto boxes = dialog.findChildren<QCheckBox*>();
    auto combos = dialog.findChildren<QComboBox*>();
    QPushButton* swap = ButtonOf(dialog, "Swap");
    // Each row: after the step, first box checked, second box enabled and
    // checked, second combo enabled, Swap enabled.
    const struct {
        int box; // clicked, -1 none
        bool firstChecked, secondEnabled, secondChecked, comboEnabled, swapEnabled;
    } steps[] = {
        {-1, true, true, true, true, true},
        {1, true, true, false, false, false},
        {1, true, true, true, true, true},
        {0, false, false, false, false, false},
        {0, true, true, true, true, true},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.box);
        if (s.box >= 0)
            Click(boxes[s.box]);
        EXPECT_EQ(boxes[0]->isChecked(), s.firstChecked);
        EXPECT_EQ(boxes[1]->isEnabled(), s.secondEnabled);
        EXPECT_EQ(boxes[1]->isChecked(), s.secondChecked);
        EXPECT_EQ(combos[1]->isEnabled(), s.comboEnabled);
        EXPECT_EQ(swap->isEnabled(), s.swapEnabled);
    }
    EXPECT_EQ(combos[0]->count(), FIELD_Nums);
    EXPECT_EQ(combos[0]->itemText(11), "Thread");
}

TEST_F(AuxTreeDialogTest, TitleWidthAndDefaultButtonDependOnTheTable)
{
    auto* table = new KxTable(nullptr, "trace", PrefKxTable::Default());
    const struct {
        KxTable* table;
        const char* title;
        int width;
        bool setDefault;
    } cases[] = {
        {nullptr, "Select Auxiliary Tree fields", 350, false},
        {table, "Select Auxiliary Tree fields for table 'trace'", 435, true},
    };
    for (const auto& c : cases) {
        int32_t levels[2] = {11, 13};
        AuxTreeDialog dialog(levels, nullptr, c.table);
        EXPECT_EQ(dialog.windowTitle().toStdString(), c.title);
        EXPECT_EQ(dialog.width(), c.width);
        EXPECT_EQ(ButtonOf(dialog, "Set as default") != nullptr, c.setDefault);
        EXPECT_TRUE(ButtonOf(dialog, "Ok")->isDefault());
    }
    table->Release();
}

} // namespace
