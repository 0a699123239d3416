#include "kxviewer/table/auxtreedialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "kxlib/fields.h"
#include "kxlib/table/kxtable.h"
#include "kxlib/table/prefkxtable.h"
#include "kxviewer/table/panestyles.h"

namespace {
constexpr int BOX_WIDTH = 15;
constexpr int LABEL_WIDTH = 50;
constexpr int LABEL_POINTS = 10;
constexpr int BUTTON_WIDTH = 80;
constexpr int WIDTH_FOR_TABLE = 435;
constexpr int WIDTH_DEFAULT = 350;

QComboBox* FieldCombo(QWidget* parent, int32_t level)
{
    auto* combo = new QComboBox(parent);
    for (int field = 0; field < FIELD_Nums; ++field)
        combo->addItem(QString::fromLatin1(FieldTitle(field)));
    combo->setCurrentIndex(level >= 0 && level < FIELD_Nums ? level : -1);
    combo->setEnabled(level >= 0);
    return combo;
}

// The given width, or the text's own where the system font needs more.
void FitWidth(QWidget* widget, int width)
{
    widget->setFixedWidth(std::max(width, widget->sizeHint().width()));
}

QPushButton* Button(const char* text, QWidget* parent)
{
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    FitWidth(button, BUTTON_WIDTH);
    return button;
}

// A checked level shows a field: a combo without one starts at the first.
int32_t LevelOf(QComboBox* combo)
{
    if (combo->currentIndex() < 0)
        combo->setCurrentIndex(0);
    return combo->currentIndex();
}
} // namespace

AuxTreeDialog::AuxTreeDialog(int32_t* levels, QWidget* parent, KxTable* table)
    : QDialog(parent), levels_(levels), first_(levels[0]), second_(levels[1])
{
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(this);
    group->setStyleSheet(QString::fromLatin1(BorderlessGroupStyle));
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(0, 0, 0, 0);
    QFont labelFont = font();
    labelFont.setPointSize(LABEL_POINTS);
    const char* const labels[] = {"1<sup>st</sup> level: ", "2<sup>nd</sup> level: "};
    QCheckBox* boxes[2];
    QComboBox* combos[2];
    for (int row = 0; row < 2; ++row) {
        boxes[row] = new QCheckBox(group);
        boxes[row]->setFixedWidth(BOX_WIDTH);
        auto* label = new QLabel(QString::fromLatin1(labels[row]), group);
        label->setFont(labelFont);
        FitWidth(label, LABEL_WIDTH);
        combos[row] = FieldCombo(group, row == 0 ? first_ : second_);
        boxes[row]->setChecked(combos[row]->isEnabled());
        grid->addWidget(boxes[row], row, 0);
        grid->addWidget(label, row, 1);
        grid->addWidget(combos[row], row, 2);
    }
    firstBox_ = boxes[0];
    secondBox_ = boxes[1];
    firstCombo_ = combos[0];
    secondCombo_ = combos[1];
    secondBox_->setEnabled(first_ >= 0);
    secondWasChecked_ = secondBox_->isChecked();
    layout->addWidget(group);
    connect(firstBox_, &QCheckBox::stateChanged, this, &AuxTreeDialog::OnFirstBoxChanged);
    connect(secondBox_, &QCheckBox::stateChanged, this, &AuxTreeDialog::OnSecondBoxChanged);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    QString title = QStringLiteral("Select Auxiliary Tree fields");
    if (table) {
        title += QStringLiteral(" for table '") + QString::fromLocal8Bit(table->Name()) + QLatin1Char('\'');
        QPushButton* setDefault = Button("Set as default", this);
        connect(setDefault, &QPushButton::clicked, this, &AuxTreeDialog::PressedSetDefault);
        buttons->addWidget(setDefault);
    }
    setWindowTitle(title);
    setFixedWidth(table ? WIDTH_FOR_TABLE : WIDTH_DEFAULT);
    QPushButton* ok = Button("Ok", this);
    ok->setDefault(true);
    swap_ = Button("Swap", this);
    swap_->setEnabled(secondCombo_->isEnabled());
    QPushButton* cancel = Button("Cancel", this);
    connect(ok, &QPushButton::clicked, this, &AuxTreeDialog::PressedOk);
    connect(swap_, &QPushButton::clicked, this, &AuxTreeDialog::PressedSwap);
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    buttons->addWidget(ok);
    buttons->addWidget(swap_);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
}

void AuxTreeDialog::GetLevels(int32_t* first, int32_t* second) const
{
    *first = firstBox_->isChecked() ? firstCombo_->currentIndex() : -1;
    *second = secondBox_->isChecked() ? secondCombo_->currentIndex() : -1;
    // A combo shows no field only for a level out of range (an edited
    // file); a second level without a first does not occur.
    if (*first < 0)
        *second = -1;
}

void AuxTreeDialog::PressedOk()
{
    GetLevels(&first_, &second_);
    if (first_ == levels_[0] && second_ == levels_[1]) {
        done(0);
        return;
    }
    levels_[0] = first_;
    levels_[1] = second_;
    done(1);
}

void AuxTreeDialog::PressedSwap()
{
    if (!firstBox_->isChecked() || !secondBox_->isChecked())
        return;
    const int index = firstCombo_->currentIndex();
    firstCombo_->setCurrentIndex(secondCombo_->currentIndex());
    secondCombo_->setCurrentIndex(index);
}

void AuxTreeDialog::PressedSetDefault()
{
    GetLevels(&first_, &second_);
    PrefKxTable& defaults = PrefKxTable::Default();
    defaults.TreeLevel1Field = first_;
    defaults.TreeLevel2Field = second_;
}

void AuxTreeDialog::OnFirstBoxChanged(int state)
{
    const bool checked = state == Qt::Checked;
    firstCombo_->setEnabled(checked);
    if (checked) {
        first_ = LevelOf(firstCombo_);
        secondBox_->setChecked(secondWasChecked_);
    } else {
        first_ = -1;
        secondWasChecked_ = secondBox_->isChecked();
        secondBox_->setChecked(false);
    }
    secondBox_->setEnabled(checked);
    swap_->setEnabled(secondCombo_->isEnabled());
}

void AuxTreeDialog::OnSecondBoxChanged(int state)
{
    const bool checked = state == Qt::Checked;
    secondCombo_->setEnabled(checked);
    second_ = checked ? LevelOf(secondCombo_) : -1;
    swap_->setEnabled(secondCombo_->isEnabled());
}
