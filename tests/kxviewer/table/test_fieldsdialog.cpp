// The column chooser: rows, moves, checking columns, formats, defaults and
// what "Ok" and "Cancel" leave in the caller's records.
#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "kxlib/table/prefkxtable.h"
#include "kxviewer/preftabtable.h"
#include "kxviewer/table/fieldsdialog.h"
#include "tabtestenv.h"

namespace {

class FieldsDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetColumns(columns, {2, 9, 4});
        std::copy(PrefKxTable::Default().formats, PrefKxTable::Default().formats + FIELD_Nums, formats);
        savedTab = PrefTabTable::Default();
        savedKx = PrefKxTable::Default();
    }
    void TearDown() override
    {
        PrefTabTable::Default() = savedTab;
        PrefKxTable::Default() = savedKx;
    }

    static void SetColumns(PrefTabTable& prefs, std::initializer_list<int32_t> fields)
    {
        prefs.ClearColumns();
        for (int32_t field : fields)
            prefs.AddColumn(field);
    }
    static std::vector<int32_t> Shown(const PrefTabTable& prefs)
    {
        return std::vector<int32_t>(prefs.columns, prefs.columns + prefs.columnCount);
    }

    std::unique_ptr<FieldsDialog> Make(KxTable* table = nullptr)
    {
        auto dialog = std::make_unique<FieldsDialog>(nullptr, &columns, formats, table);
        dialog->show();
        return dialog;
    }
    static QPushButton* Button(FieldsDialog& dialog, const char* text)
    {
        for (QPushButton* button : dialog.findChildren<QPushButton*>())
            if (button->text() == text)
                return button;
        return nullptr;
    }
    static int32_t FieldAt(FieldsDialog& dialog, int row)
    {
        return dialog.Table()->item(row, 0)->data(Qt::UserRole).toInt();
    }
    static int RowOf(FieldsDialog& dialog, int32_t field)
    {
        for (int row = 0; row < dialog.Table()->rowCount(); ++row)
            if (FieldAt(dialog, row) == field)
                return row;
        return -1;
    }
    static QComboBox* Combo(FieldsDialog& dialog, int row)
    {
        return qobject_cast<QComboBox*>(dialog.Table()->cellWidget(row, 1));
    }

    tabtest::ActionTable actions;
    tabtest::StatusRecorder shell;
    PrefTabTable columns;
    int32_t formats[FIELD_Nums];
    PrefTabTable savedTab;
    PrefKxTable savedKx;
};

TEST_F(FieldsDialogTest, RowsShowTheColumnsFirstThenTheRestInFieldOrder)
{
    KxTable* table = new KxTable(nullptr, "doc", PrefKxTable::Default());
    auto dialog = Make(table);
    EXPECT_EQ(dialog->windowTitle(), "Select columns for table 'doc'");
    EXPECT_EQ(dialog->size(), QSize(550, 400));
    EXPECT_NE(Button(*dialog, "Load defaults"), nullptr);
    EXPECT_NE(Button(*dialog, "Set as default"), nullptr);
    EXPECT_EQ(dialog->Table()->horizontalHeaderItem(0)->text(), "Name");
    EXPECT_EQ(dialog->Table()->horizontalHeaderItem(1)->text(), "Format");

    ASSERT_EQ(dialog->Table()->rowCount(), FIELD_Nums);
    std::vector<int32_t> order;
    for (int row = 0; row < FIELD_Nums; ++row) {
        order.push_back(FieldAt(*dialog, row));
        EXPECT_EQ(dialog->Table()->item(row, 0)->checkState(), row < 3 ? Qt::Checked : Qt::Unchecked);
    }
    std::vector<int32_t> expected = {2, 9, 4};
    for (int32_t field = 0; field < FIELD_Nums; ++field)
        if (field != 2 && field != 9 && field != 4)
            expected.push_back(field);
    EXPECT_EQ(order, expected);
    EXPECT_EQ(dialog->Table()->item(RowOf(*dialog, FIELD_STIME), 0)->text(), "STIME (Server Time)");
    EXPECT_FALSE(dialog->Table()->item(0, 0)->flags() & Qt::ItemIsEditable);
    EXPECT_EQ(dialog->Table()->currentRow(), 0);

    for (int row = 0; row < FIELD_Nums; ++row) {
        const int32_t field = FieldAt(*dialog, row);
        QComboBox* combo = Combo(*dialog, row);
        ASSERT_NE(combo, nullptr);
        if (FieldIsNumber(field)) {
            EXPECT_TRUE(combo->isEnabled());
            EXPECT_EQ(combo->count(), 13);
            EXPECT_EQ(combo->currentIndex(), int(FieldValidNumFormat(uint32_t(formats[field]))) - 1);
        } else {
            EXPECT_FALSE(combo->isEnabled()) << field;
            ASSERT_EQ(combo->count(), 1);
            EXPECT_EQ(combo->itemText(0), "String");
        }
    }
    dialog.reset();
    table->Release();

    auto plain = Make();
    EXPECT_EQ(plain->windowTitle(), "Select columns");
    EXPECT_EQ(Button(*plain, "Load defaults"), nullptr);
}

// A checked field goes before the first larger shown field; the last shown
// column cannot be unchecked.
TEST_F(FieldsDialogTest, CheckingInsertsInFieldOrderAndTheLastColumnStays)
{
    auto dialog = Make();
    dialog->Table()->item(RowOf(*dialog, 7), 0)->setCheckState(Qt::Checked);
    EXPECT_EQ(FieldAt(*dialog, 1), 7);
    EXPECT_EQ(dialog->Table()->currentRow(), 1);
    QTest::mouseClick(Button(*dialog, "Ok"), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), FieldsDialog::COLUMNS_CHANGED);
    EXPECT_EQ(Shown(columns), std::vector<int32_t>({2, 7, 9, 4}));
    EXPECT_EQ(columns.columns[4], -1);

    SetColumns(columns, {5});
    dialog = Make();
    QTableWidgetItem* only = dialog->Table()->item(0, 0);
    only->setCheckState(Qt::Unchecked);
    EXPECT_EQ(only->checkState(), Qt::Checked);
    ASSERT_EQ(shell.info.size(), 1u);
    EXPECT_EQ(shell.info[0], "At least one table column should remain");
    dialog->Table()->item(RowOf(*dialog, 18), 0)->setCheckState(Qt::Checked);
    dialog->Table()->item(RowOf(*dialog, 5), 0)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(FieldAt(*dialog, 0), 18);
    QTest::mouseClick(Button(*dialog, "Ok"), Qt::LeftButton);
    EXPECT_EQ(Shown(columns), std::vector<int32_t>({18}));
    EXPECT_EQ(columns.columns[1], -1);
}

TEST_F(FieldsDialogTest, MovesActOnTheCurrentColumn)
{
    SetColumns(columns, {1, 2, 3, 4});
    auto dialog = Make();
    QList<QPushButton*> moves; // top, up, down, bottom: the buttons without text
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text().isEmpty())
            moves.append(button);
    ASSERT_EQ(moves.size(), 4);
    dialog->Table()->setCurrentCell(1, 0);
    const struct {
        int button;
        std::vector<int32_t> order;
        int current;
    } steps[] = {
        {3, {1, 3, 4, 2}, 3}, {3, {1, 3, 4, 2}, 3}, {1, {1, 3, 2, 4}, 2},
        {0, {2, 1, 3, 4}, 0}, {1, {2, 1, 3, 4}, 0}, {2, {1, 2, 3, 4}, 1},
    };
    for (const auto& step : steps) {
        QTest::mouseClick(moves[step.button], Qt::LeftButton);
        std::vector<int32_t> order;
        for (int row = 0; row < 4; ++row)
            order.push_back(FieldAt(*dialog, row));
        EXPECT_EQ(order, step.order) << step.button;
        EXPECT_EQ(dialog->Table()->currentRow(), step.current);
    }

    // An unchecked row disables the moves.
    QTableWidgetItem* hidden = dialog->Table()->item(10, 0);
    QTest::mouseClick(dialog->Table()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      dialog->Table()->visualItemRect(hidden).center());
    EXPECT_FALSE(moves[0]->isEnabled());
    QTableWidgetItem* shown = dialog->Table()->item(0, 0);
    QTest::mouseClick(dialog->Table()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      dialog->Table()->visualItemRect(shown).center());
    EXPECT_TRUE(moves[0]->isEnabled());

    QTest::mouseClick(Button(*dialog, "Ok"), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), 0);
}

TEST_F(FieldsDialogTest, ResultBitsAndCancel)
{
    auto formatOnly = Make();
    Combo(*formatOnly, RowOf(*formatOnly, FIELD_LINE))->setCurrentIndex(1);
    QTest::mouseClick(Button(*formatOnly, "Ok"), Qt::LeftButton);
    EXPECT_EQ(formatOnly->result(), FieldsDialog::FORMATS_CHANGED);
    EXPECT_EQ(formats[FIELD_LINE], 2);
    EXPECT_EQ(Shown(columns), std::vector<int32_t>({2, 9, 4}));

    const std::vector<int32_t> before(formats, formats + FIELD_Nums);
    auto cancelled = Make();
    Combo(*cancelled, RowOf(*cancelled, FIELD_LINE))->setCurrentIndex(5);
    cancelled->Table()->item(RowOf(*cancelled, 0), 0)->setCheckState(Qt::Checked);
    QTest::mouseClick(Button(*cancelled, "Cancel"), Qt::LeftButton);
    EXPECT_EQ(cancelled->result(), 0);
    EXPECT_FALSE(cancelled->isVisible());
    EXPECT_EQ(std::vector<int32_t>(formats, formats + FIELD_Nums), before);
    EXPECT_EQ(Shown(columns), std::vector<int32_t>({2, 9, 4}));
}

TEST_F(FieldsDialogTest, DefaultsAreLoadedAndSet)
{
    KxTable* table = new KxTable(nullptr, "doc", PrefKxTable::Default());
    SetColumns(PrefTabTable::Default(), {18, 5});
    PrefKxTable::Default().formats[FIELD_NUM1] = 3;
    auto dialog = Make(table);
    QTest::mouseClick(Button(*dialog, "Load defaults"), Qt::LeftButton);
    EXPECT_EQ(FieldAt(*dialog, 0), 18);
    EXPECT_EQ(FieldAt(*dialog, 1), 5);
    EXPECT_EQ(Combo(*dialog, RowOf(*dialog, FIELD_NUM1))->currentIndex(), 2);

    dialog->Table()->item(RowOf(*dialog, 0), 0)->setCheckState(Qt::Checked);
    QTest::mouseClick(Button(*dialog, "Set as default"), Qt::LeftButton);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(Shown(PrefTabTable::Default()), std::vector<int32_t>({0, 18, 5}));

    QTest::mouseClick(Button(*dialog, "Ok"), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), FieldsDialog::COLUMNS_CHANGED | FieldsDialog::FORMATS_CHANGED);
    EXPECT_EQ(Shown(columns), std::vector<int32_t>({0, 18, 5}));
    EXPECT_EQ(formats[FIELD_NUM1], 3);
    dialog.reset();
    table->Release();
}

} // namespace
