#include "script/scriptbasegui/scriptinputdialog.h"

#include <QComboBox>
#include <QDoubleValidator>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QValidator>

namespace {

const char* const kPlainBox = "QGroupBox{border:0}";
constexpr int kNumberChars = 15;
constexpr int kTextWidth = 200;
constexpr int kColumnGap = 50;
constexpr int kButtonWidth = 100;
// Room for the combo box's frame and arrow beside the longest choice.
constexpr int kComboExtra = 40;

// Accepts what reads as a signed 64-bit decimal number, or the start of one.
class Int64Validator : public QValidator {
public:
    explicit Int64Validator(QObject* parent) : QValidator(parent) {}
    State validate(QString& input, int&) const override
    {
        if (input.isEmpty() || input == QLatin1String("-"))
            return Intermediate;
        bool ok = false;
        input.toLongLong(&ok, 10);
        return ok ? Acceptable : Invalid;
    }
};

} // namespace

ScriptInputDialog::ScriptInputDialog(std::vector<Item>& items, QWidget* parent) : QDialog(parent), items_(items)
{
    setWindowTitle(QStringLiteral("Enter values"));
    const QFontMetrics labelMetrics(font());
    const QFontMetrics editMetrics(QLineEdit().font());
    for (const Item& item : items_) {
        labelColumn_ = qMax(labelColumn_, labelMetrics.horizontalAdvance(item.label));
        int editor = kTextWidth;
        if (item.kind == ROW_INTEGER || item.kind == ROW_DOUBLE) {
            editor = kNumberChars * editMetrics.averageCharWidth();
        } else if (item.kind == ROW_CHOICE) {
            editor = 0;
            for (const QString& choice : item.choices)
                editor = qMax(editor, editMetrics.horizontalAdvance(choice) + kComboExtra);
        }
        editorColumn_ = qMax(editorColumn_, editor);
    }

    auto* rows = new QGroupBox;
    rows->setStyleSheet(kPlainBox);
    auto* rowLayout = new QVBoxLayout(rows);
    for (Item& item : items_)
        rowLayout->addWidget(MakeRow(item));
    rowLayout->addStretch(1);

    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setContentsMargins(0, 0, 0, 0);
    scroll->setStyleSheet(QStringLiteral("QScrollArea{border:1px solid #e1e1e1; background: #fafafa;}"));
    scroll->setWidget(rows);
    scroll->setMinimumWidth(labelColumn_ + kColumnGap + editorColumn_);

    auto* buttons = new QGroupBox;
    buttons->setStyleSheet(kPlainBox);
    auto* buttonLayout = new QHBoxLayout(buttons);
    auto* ok = new QPushButton(QStringLiteral("Ok"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    ok->setFixedWidth(kButtonWidth);
    cancel->setFixedWidth(kButtonWidth);
    buttonLayout->addStretch(1);
    buttonLayout->addWidget(ok);
    buttonLayout->addWidget(cancel);
    connect(ok, &QPushButton::pressed, this, &ScriptInputDialog::OkPressed);
    connect(cancel, &QPushButton::pressed, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll);
    layout->addWidget(buttons);
}

QWidget* ScriptInputDialog::MakeRow(Item& item)
{
    auto* row = new QGroupBox;
    row->setStyleSheet(kPlainBox);
    auto* layout = new QHBoxLayout(row);
    auto* label = new QLabel(item.label);
    label->setFixedWidth(labelColumn_);
    layout->addWidget(label);
    QWidget* editor;
    if (item.kind == ROW_CHOICE) {
        item.combo = new QComboBox;
        item.combo->addItems(item.choices);
        item.combo->setCurrentIndex(int(item.integer));
        editor = item.combo;
    } else {
        item.edit = new QLineEdit;
        if (item.kind == ROW_INTEGER) {
            item.edit->setValidator(new Int64Validator(item.edit));
            item.edit->setText(QString::number(item.integer));
        } else if (item.kind == ROW_DOUBLE) {
            auto* validator = new QDoubleValidator(item.edit);
            // The script reads '.' whatever the user's locale.
            validator->setLocale(QLocale::c());
            item.edit->setValidator(validator);
            item.shown = QString::number(item.number, 'g', 6);
            item.edit->setText(item.shown);
        } else {
            item.edit->setText(item.text);
        }
        editor = item.edit;
    }
    editor->setFixedWidth(editorColumn_);
    layout->addWidget(editor);
    layout->addStretch(1);
    return row;
}

void ScriptInputDialog::OkPressed()
{
    for (Item& item : items_) {
        bool ok = false;
        switch (item.kind) {
        case ROW_INTEGER:
            item.integer = item.edit->text().toLongLong(&ok, 10);
            if (!ok)
                item.integer = 0;
            break;
        case ROW_DOUBLE:
            if (item.edit->text() != item.shown) {
                item.number = item.edit->text().toDouble(&ok);
                if (!ok)
                    item.number = 0.0;
            }
            break;
        case ROW_TEXT:
            item.text = item.edit->text();
            break;
        case ROW_CHOICE:
            item.text = item.combo->currentText();
            break;
        }
    }
    accept();
}
