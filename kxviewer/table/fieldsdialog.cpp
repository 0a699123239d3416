#include "kxviewer/table/fieldsdialog.h"

#include <algorithm>
#include <cstring>

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QVariant>

#include "kxlib/table/kxtable.h"
#include "kxlib/table/prefkxtable.h"
#include "kxviewer/preftabtable.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/dialoghelperlistheader.h"
#include "tearoffwidget/resources.h"

namespace {
// Icons of the move buttons, by action id, in button order: top, up, down,
// bottom.
struct MoveButton {
    int actionId;
    void (FieldsDialog::*slot)();
};
constexpr MoveButton MoveButtons[] = {
    {138, &FieldsDialog::PressedTop},
    {137, &FieldsDialog::PressedUp},
    {135, &FieldsDialog::PressedDown},
    {136, &FieldsDialog::PressedBottom},
};
static_assert(sizeof(MoveButtons) / sizeof(MoveButtons[0]) == 4, "four move buttons");

constexpr int FIELD_ROLE = Qt::UserRole;
constexpr int BUTTON_WIDTH = 100;
constexpr int DIALOG_WIDTH = 550;
constexpr int DIALOG_HEIGHT = 400;

const char ComboStyle[] = "QComboBox{border:1px solid grey; color:black; background-color:white}";
const char StringComboStyle[] = "QComboBox{border:1px solid grey; color:grey; background-color:white}";

QPushButton* AddButton(QBoxLayout* layout, const char* text, QWidget* parent)
{
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setFixedWidth(BUTTON_WIDTH);
    layout->addWidget(button);
    return button;
}
} // namespace

FieldsDialog::FieldsDialog(QWidget* parent, PrefTabTable* columns, int32_t* formats, KxTable* table)
    : QDialog(parent), callerColumns_(columns), callerFormats_(formats)
{
    columns_.count = std::clamp(columns->columnCount, 0, int32_t(FIELD_Nums));
    std::copy(columns->columns, columns->columns + FIELD_Nums, columns_.fields);
    std::copy(formats, formats + FIELD_Nums, formats_);

    auto* moves = new QGroupBox(this);
    moves->setStyleSheet(QStringLiteral("QGroupBox{border:0}"));
    auto* movesLayout = new QVBoxLayout(moves);
    for (int i = 0; i < 4; ++i) {
        moves_[i] = new QPushButton(moves);
        moves_[i]->setIcon(QIcon(QString::fromLatin1(Resources::GetActionIconPath(MoveButtons[i].actionId))));
        movesLayout->addWidget(moves_[i]);
        connect(moves_[i], &QPushButton::clicked, this, MoveButtons[i].slot);
    }
    movesLayout->addStretch();

    table_ = new QTableWidget(0, 2, this);
    table_->setHorizontalHeader(new DialogHelperListHeader(Qt::Horizontal, table_));
    table_->setHorizontalHeaderItem(0, new QTableWidgetItem(QStringLiteral("Name")));
    table_->setHorizontalHeaderItem(1, new QTableWidgetItem(QStringLiteral("Format")));
    table_->setStyleSheet(
        QStringLiteral("QTableCornerButton::section {border:1px outset #fbfbfb; background:#f1f1f1}"));
    connect(table_, &QTableWidget::itemChanged, this, &FieldsDialog::OnItemChanged);
    connect(table_, &QTableWidget::itemClicked, this, &FieldsDialog::OnItemClicked);
    connect(table_, &QTableWidget::itemActivated, this, &FieldsDialog::OnItemClicked);
    Rebuild(columns_.count > 0 ? columns_.fields[0] : 0);

    QString title = QStringLiteral("Select columns");
    auto* buttons = new QHBoxLayout;
    if (table) {
        title += QStringLiteral(" for table '") + QString::fromLocal8Bit(table->Name()) + QLatin1Char('\'');
        connect(AddButton(buttons, "Load defaults", this), &QPushButton::clicked, this,
                &FieldsDialog::PressedLoadDefault);
        connect(AddButton(buttons, "Set as default", this), &QPushButton::clicked, this,
                &FieldsDialog::PressedSetDefault);
    }
    buttons->addStretch();
    connect(AddButton(buttons, "Ok", this), &QPushButton::clicked, this, &FieldsDialog::PressedOk);
    connect(AddButton(buttons, "Cancel", this), &QPushButton::clicked, this, &QDialog::close);
    setWindowTitle(title);

    auto* middle = new QHBoxLayout;
    middle->addWidget(moves);
    middle->addWidget(table_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(middle, 1);
    layout->addLayout(buttons);
    setFixedSize(DIALOG_WIDTH, DIALOG_HEIGHT);
}

void FieldsDialog::AddRow(int32_t field, bool checked)
{
    const int row = table_->rowCount();
    table_->insertRow(row);
    const FieldRow& desc = FieldTable[field];
    auto* item = new QTableWidgetItem(QString::fromLatin1(desc.key) + QStringLiteral(" (") +
                                      QString::fromLatin1(desc.title) + QLatin1Char(')'));
    item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    item->setData(FIELD_ROLE, field);
    table_->setItem(row, 0, item);

    auto* combo = new QComboBox;
    combo->setProperty("Index", field);
    if (FieldIsNumber(field)) {
        combo->setStyleSheet(QString::fromLatin1(ComboStyle));
        for (uint32_t format = NUMFMT_INT; format < NUMFMT_Nums; ++format)
            combo->addItem(QString::fromLatin1(NumFormatTable[format].description));
        combo->setCurrentIndex(int(FieldValidNumFormat(uint32_t(formats_[field]))) - 1);
    } else {
        combo->setStyleSheet(QString::fromLatin1(StringComboStyle));
        combo->addItem(QString::fromLatin1(NumFormatTable[NUMFMT_STR].description));
        combo->setEnabled(false);
    }
    connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &FieldsDialog::OnFormatChanged);
    table_->setCellWidget(row, 1, combo);
}

void FieldsDialog::Rebuild(int32_t currentField)
{
    {
        const QSignalBlocker blocker(table_);
        table_->setRowCount(0);
        bool visible[FIELD_Nums] = {};
        for (int32_t i = 0; i < columns_.count; ++i) {
            const int32_t field = columns_.fields[i];
            if (field < 0 || field >= FIELD_Nums || visible[field])
                continue;
            visible[field] = true;
            AddRow(field, true);
        }
        for (int32_t field = 0; field < FIELD_Nums; ++field)
            if (!visible[field])
                AddRow(field, false);
        table_->horizontalHeader()->setStretchLastSection(true);
        table_->resizeColumnToContents(0);
    }
    for (int row = 0; row < table_->rowCount(); ++row) {
        QTableWidgetItem* item = table_->item(row, 0);
        if (item->data(FIELD_ROLE).toInt() == currentField) {
            table_->setCurrentCell(row, 0);
            EnableMoves(item->checkState() == Qt::Checked);
            break;
        }
    }
    table_->setFocus();
}

void FieldsDialog::EnableMoves(bool enabled)
{
    for (QPushButton* button : moves_)
        button->setEnabled(enabled);
}

void FieldsDialog::MoveCurrent(int32_t to)
{
    const int32_t from = table_->currentRow();
    if (from < 0 || from >= columns_.count) {
        table_->setFocus();
        return;
    }
    to = std::clamp(to, 0, columns_.count - 1);
    if (to == from) {
        table_->setFocus();
        return;
    }
    int32_t* fields = columns_.fields;
    const int32_t field = fields[from];
    if (to < from)
        std::rotate(fields + to, fields + from, fields + from + 1);
    else
        std::rotate(fields + from, fields + from + 1, fields + to + 1);
    Rebuild(field);
}

void FieldsDialog::PressedTop()
{
    MoveCurrent(0);
}

void FieldsDialog::PressedUp()
{
    MoveCurrent(table_->currentRow() - 1);
}

void FieldsDialog::PressedDown()
{
    MoveCurrent(table_->currentRow() + 1);
}

void FieldsDialog::PressedBottom()
{
    MoveCurrent(columns_.count - 1);
}

void FieldsDialog::OnItemChanged(QTableWidgetItem* item)
{
    if (item->column() != 0)
        return;
    int checked = 0;
    for (int row = 0; row < table_->rowCount(); ++row)
        checked += table_->item(row, 0)->checkState() == Qt::Checked ? 1 : 0;
    if (checked == 0) {
        {
            const QSignalBlocker blocker(table_);
            item->setCheckState(Qt::Checked);
        }
        KxvShell().Information(QStringLiteral("At least one table column should remain"), true);
        return;
    }
    const int32_t field = item->data(FIELD_ROLE).toInt();
    int32_t* fields = columns_.fields;
    int32_t* end = fields + columns_.count;
    if (item->checkState() == Qt::Checked) {
        if (columns_.count >= FIELD_Nums || std::find(fields, end, field) != end)
            return;
        int32_t* place = std::find_if(fields, end, [field](int32_t shown) { return shown > field; });
        std::copy_backward(place, end, end + 1);
        *place = field;
        ++columns_.count;
    } else {
        int32_t* place = std::find(fields, end, field);
        if (place == end)
            return;
        std::copy(place + 1, end, place);
        --columns_.count;
        fields[columns_.count] = -1;
    }
    Rebuild(field);
}

void FieldsDialog::OnItemClicked(QTableWidgetItem* item)
{
    QTableWidgetItem* name = table_->item(item->row(), 0);
    EnableMoves(name && name->checkState() == Qt::Checked);
}

void FieldsDialog::OnFormatChanged(int index)
{
    const int32_t field = sender() ? sender()->property("Index").toInt() : -1;
    if (field >= 0 && field < FIELD_Nums && index >= 0)
        formats_[field] = index + 1;
}

void FieldsDialog::PressedLoadDefault()
{
    const PrefTabTable& tab = PrefTabTable::Default();
    columns_.count = std::clamp(tab.columnCount, 0, int32_t(FIELD_Nums));
    std::copy(tab.columns, tab.columns + FIELD_Nums, columns_.fields);
    const int32_t* formats = PrefKxTable::Default().formats;
    std::copy(formats, formats + FIELD_Nums, formats_);
    Rebuild(columns_.count > 0 ? columns_.fields[0] : 0);
}

void FieldsDialog::PressedSetDefault()
{
    PrefTabTable& tab = PrefTabTable::Default();
    tab.columnCount = columns_.count;
    std::copy(columns_.fields, columns_.fields + FIELD_Nums, tab.columns);
    std::copy(formats_, formats_ + FIELD_Nums, PrefKxTable::Default().formats);
}

void FieldsDialog::PressedOk()
{
    int result = 0;
    if (callerColumns_->columnCount != columns_.count ||
        !std::equal(columns_.fields, columns_.fields + FIELD_Nums, callerColumns_->columns)) {
        callerColumns_->columnCount = columns_.count;
        std::copy(columns_.fields, columns_.fields + FIELD_Nums, callerColumns_->columns);
        result |= COLUMNS_CHANGED;
    }
    if (!std::equal(formats_, formats_ + FIELD_Nums, callerFormats_)) {
        std::copy(formats_, formats_ + FIELD_Nums, callerFormats_);
        result |= FORMATS_CHANGED;
    }
    done(result);
}
