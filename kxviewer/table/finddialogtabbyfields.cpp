#include "kxviewer/table/finddialogtabbyfields.h"

#include <algorithm>
#include <iterator>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "kxlib/fields.h"
#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxsearchexpr.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/finddialog.h"
#include "kxviewer/table/guihelpers.h"
#include "kxviewer/table/tabtable.h"

namespace {
// The operators in combo order; a text field offers the first four.
const char* const Operators[] = {"==", "!=", "~", "=~", "<", "<=", ">", ">="};
constexpr int TextOperators = 4;
constexpr int DefaultTextOperator = 2;
constexpr int DefaultNumberOperator = 0;
// Combo index of each operator code of a parsed predicate (codes 2 to 9).
constexpr int OperatorIndex[] = {-1, -1, 4, 5, 6, 7, 0, 1, 2, 3};

constexpr int ScrollWidth = 495;
constexpr int CheckWidth = 80;
constexpr int ValueWidth = 324;
constexpr int ValueHeight = 17;
constexpr int FirstGridRow = 2;

int DefaultOperator(int32_t field)
{
    return FieldIsNumber(field) ? DefaultNumberOperator : DefaultTextOperator;
}

// A number token of the expression language, written without quotes so
// that a number field compares as a number.
bool IsNumberLiteral(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^(0x[0-9A-Fa-f]+|[0-9]+(\\.[0-9]+)?)$"));
    return number.match(text).hasMatch();
}

QString FromBytes(const char* text) { return QString::fromLocal8Bit(text); }
} // namespace

FindDialogTabByFields::FindDialogTabByFields(FindDialog* dialog, QWidget* parent) : QWidget(parent), dialog_(dialog)
{
    auto* layout = new QVBoxLayout(this);
    QPushButton* clear = nullptr;
    layout->addWidget(dialog->TitleRow(this, &clear));
    connect(clear, &QPushButton::clicked, this, &FindDialogTabByFields::ClearDataConnect);

    auto* switches = new QGroupBox(this);
    switches->setStyleSheet(QStringLiteral("QGroupBox { border:0 } "));
    auto* switchesLayout = new QHBoxLayout(switches);
    switchesLayout->setContentsMargins(0, 0, 0, 0);
    AllNone = new QCheckBox(QStringLiteral("All/None"), switches);
    AllNone->setTristate(true);
    EnableHidden = new QCheckBox(QStringLiteral("Enable hidden fields"), switches);
    EnableHidden->setChecked(true);
    switchesLayout->addWidget(AllNone);
    switchesLayout->addWidget(EnableHidden);
    switchesLayout->addStretch();
    connect(AllNone, &QCheckBox::stateChanged, this, &FindDialogTabByFields::SelectAllButtonConnect);
    connect(EnableHidden, &QCheckBox::stateChanged, this, &FindDialogTabByFields::EnableAllFieldsConnect);
    layout->addWidget(switches);

    auto* scroll = new QScrollArea(this);
    scroll->setContentsMargins(0, 0, 0, 0);
    scroll->setFixedWidth(ScrollWidth);
    scroll->setWidgetResizable(true);
    auto* inner = new QWidget(scroll);
    auto* grid = new QGridLayout(inner);
    grid->setVerticalSpacing(1);
    QFont checkFont = font();
    checkFont.setPointSize(12);
    QFont comboFont = font();
    comboFont.setPointSize(10);
    if (const TabTable* tab = FindDialog::CurrentTab()) {
        for (int32_t i = 0; i < tab->Prefs.columnCount; ++i) {
            const int32_t field = tab->Prefs.columns[i];
            Row row{field, new QCheckBox(QString::fromLatin1(FieldTitle(field)), inner), new QComboBox(inner),
                    new QLineEdit(inner)};
            row.check->setFont(checkFont);
            row.check->setMinimumWidth(std::max(CheckWidth, row.check->sizeHint().width()));
            row.op->setFont(comboFont);
            row.op->setStyleSheet(QStringLiteral(
                "QComboBox::drop-down{border-width:0;width:0} QComboBox::down-arrow{image:url(noimg); "
                "border-width:0} QComboBox QAbstractItemView::item:selected{border:0;background-color:white}"));
            const int operators = FieldIsNumber(field) ? int(std::size(Operators)) : TextOperators;
            for (int k = 0; k < operators; ++k)
                row.op->addItem(QString::fromLatin1(Operators[k]));
            row.op->setCurrentIndex(DefaultOperator(field));
            // The value takes what the title and the operator leave of the
            // row: a system font's titles may be wider than the layout's.
            row.value->setMaximumWidth(ValueWidth);
            row.value->setMinimumHeight(ValueHeight);
            grid->addWidget(row.check, FirstGridRow + i, 0);
            grid->addWidget(row.op, FirstGridRow + i, 1);
            grid->addWidget(row.value, FirstGridRow + i, 2);
            connect(row.check, &QCheckBox::stateChanged, this, &FindDialogTabByFields::TextCheckBoxChangedConnect);
            connect(row.value, &QLineEdit::editingFinished, this, &FindDialogTabByFields::SearchTextEditFinished);
            connect(row.value, &QLineEdit::textEdited, this, &FindDialogTabByFields::SearchTextEdited);
            rows_.push_back(row);
        }
    }
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(FirstGridRow + int(rows_.size()), 1);
    scroll->setWidget(inner);
    layout->addWidget(scroll, 1);
}

QString FindDialogTabByFields::MakeFindStringFromFileds(bool* ok)
{
    if (ok)
        *ok = true;
    const QString join = dialog_->AndMode() ? QStringLiteral(" && ") : QStringLiteral(" || ");
    QString result;
    for (const Row& row : rows_) {
        const QString value = row.value->text().trimmed();
        if (value.isEmpty() || !row.check->isChecked())
            continue;
        const QByteArray op = row.op->currentText().toLatin1();
        QString predicate;
        if (FieldIsNumber(row.field) && IsNumberLiteral(value))
            predicate = QString::fromLatin1(FieldKey(row.field)) + row.op->currentText() + value;
        else
            predicate = QuotedCondition(FieldKey(row.field), op.constData(), value);
        // The language has no escapes: such a value cannot be searched for.
        if (predicate.isEmpty()) {
            if (ok)
                *ok = false;
            result.clear();
            break;
        }
        if (!result.isEmpty())
            result += join;
        result += predicate;
    }
    return result;
}

bool FindDialogTabByFields::FillFromExpression(const KxSearchExpression& expression)
{
    if (expression.form == SEARCH_FORM_OTHER)
        return false;
    // A predicate on a field without a row would be lost when the rows are
    // written back.
    int32_t predicates = 0;
    for (const SearchPredicate& predicate : expression.predicates)
        predicates += predicate.op != SEARCH_OP_NONE;
    int32_t held = 0;
    for (const Row& row : rows_)
        held += expression.predicates[row.field].op != SEARCH_OP_NONE;
    if (held != predicates)
        return false;
    ClearDataConnect();
    for (Row& row : rows_) {
        const SearchPredicate& predicate = expression.predicates[row.field];
        const int index = OperatorIndex[predicate.op];
        if (index < 0 || index >= row.op->count())
            continue;
        row.value->setText(QString::fromLocal8Bit(predicate.value.c_str()));
        row.op->setCurrentIndex(index);
        row.check->setChecked(true);
    }
    UpdateAllNone(1);
    return true;
}

void FindDialogTabByFields::FillFromRecord(KxdRecord* record)
{
    for (Row& row : rows_) {
        row.check->setChecked(false);
        row.op->setCurrentIndex(DefaultOperator(row.field));
        const QString value = FromBytes(record->Text(row.field));
        row.value->setText(value);
        if (!value.isEmpty())
            row.check->setChecked(true);
    }
    UpdateAllNone(0);
}

void FindDialogTabByFields::ResetRow(Row& row)
{
    row.value->clear();
    row.op->setCurrentIndex(DefaultOperator(row.field));
    row.check->setChecked(false);
}

void FindDialogTabByFields::ClearDataConnect()
{
    for (Row& row : rows_)
        ResetRow(row);
    UpdateAllNone(0);
}

FindDialogTabByFields::Row* FindDialogTabByFields::RowOfSender()
{
    QObject* from = sender();
    for (Row& row : rows_)
        if (row.value == from)
            return &row;
    return nullptr;
}

void FindDialogTabByFields::SearchTextEdited(const QString&)
{
    if (Row* row = RowOfSender())
        row->check->setChecked(true);
}

void FindDialogTabByFields::SearchTextEditFinished()
{
    if (Row* row = RowOfSender())
        row->check->setChecked(!row->value->text().isEmpty());
    UpdateAllNone(0);
}

void FindDialogTabByFields::SelectAllButtonConnect(int state)
{
    if (state == Qt::PartiallyChecked) {
        UpdateAllNone(3);
        return;
    }
    for (Row& row : rows_)
        row.check->setChecked(state == Qt::Checked);
}

void FindDialogTabByFields::TextCheckBoxChangedConnect(int)
{
    UpdateAllNone(1);
}

void FindDialogTabByFields::EnableAllFieldsConnect(int mode)
{
    for (Row& row : rows_) {
        row.check->setEnabled(mode != 0);
        row.op->setEnabled(mode != 0);
        row.value->setEnabled(mode != 0);
    }
}

void FindDialogTabByFields::UpdateAllNone(int32_t mode)
{
    const QSignalBlocker blocker(AllNone);
    size_t checked = 0;
    for (Row& row : rows_) {
        if (mode != 1) {
            const QSignalBlocker rowBlocker(row.check);
            row.check->setChecked(!row.value->text().isEmpty());
        }
        checked += row.check->isChecked();
    }
    if (checked == 0) {
        if (mode != 3)
            AllNone->setCheckState(Qt::Unchecked);
    } else {
        AllNone->setCheckState(checked == rows_.size() ? Qt::Checked : Qt::PartiallyChecked);
    }
}

void FindDialogTabByFields::ChangeSomeColors()
{
    TabTable* tab = FindDialog::CurrentTab();
    if (!tab)
        return;
    const TabBase::Hold hold(tab);
    if (sender() == dialog_->SelectedButton)
        tab->PrefChooseColor4Selection();
    else
        tab->PrefChooseColor4Highlight();
    if (!hold.Gone())
        dialog_->SetColorIcons(tab);
}
