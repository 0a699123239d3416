#include "kxviewer/table/finddialogtabexpression.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include "kxlib/fields.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/table/finddialog.h"
#include "kxviewer/table/tabtable.h"

namespace {
constexpr int GroupWidth = 510;
constexpr int FieldButtonWidth = 60;
constexpr int OperatorButtonWidth = 40;
constexpr int ButtonsPerRow = 8;
constexpr int EditorHeight = 90;
// "&&" shows as one ampersand on a button: the first is the mnemonic mark.
const char* const Operators[] = {"&&&&", "||", "<", "<=", ">", ">=", "==", "!=", "~", "=~"};

QGroupBox* BorderlessGroup(const char* name, QWidget* parent)
{
    auto* group = new QGroupBox(parent);
    group->setObjectName(QString::fromLatin1(name));
    group->setStyleSheet(QStringLiteral("QGroupBox#%1 {border:0}").arg(QString::fromLatin1(name)));
    group->setFixedWidth(GroupWidth);
    return group;
}
} // namespace

const char FindDialogTabExpression::HelpText[] =
    "Tick Complex expression and use the field IDs and operators above to compose a search expression: predicates "
    "joined by && (and) and || (or), grouped by parentheses. Each predicate has the form\n"
    "<Field> <operator> <value>\n"
    "== != equal, not equal; == with a value in double quotes is a wildcard match, in single quotes exact\n"
    "< <= > >= numbers by value, texts in byte order\n"
    "~ the value occurs in the field\n"
    "~~ the field matches a wildcard: * any characters, ? one character\n"
    "=~ the whole field matches a regular expression: . any character, .* any characters, [0-9] a digit, + once "
    "or more\n"
    "A number field compared with a text is compared as the text the table shows. Values with blanks or signs are "
    "enclosed in quotes or double quotes. Letters compare by case while Match case is on; =~ always compares "
    "case. Only the letters A to Z have a case: any other letter (accented, Greek, Cyrillic) always compares "
    "exactly as it is written.\n"
    "Functions: int, float, ipaddr, milli, second, time, date, datetime, tostring, with their value in "
    "parentheses: ipaddr(\"10.0.0.1\"), second(3).\n"
    "TIME is in microseconds. With Relative time on it counts from time 0 (the first row, or the row of Set Time = "
    "0 here): compare it with second(3), milli(1500) or time(\"0:00:04\"), not with date() or datetime(), which "
    "count from 1970. With Relative time off it counts from 1970 to the date and time the TIME column shows: "
    "compare it with datetime(\"2024-12-07 12:00:02\") or date(\"2024-12-07\"), not with second() or time().\n"
    "Examples of complex expressions:\n"
    "+ IP==ipaddr(\"1.2.3.4\") || (TID>500 && (LEVEL<=2 || TEXT~\"my_print\"))\n"
    "+ FILE~~\"*.cpp\" && LINE>=201\n"
    "+ TEXT~~\"*the end\" && LINE==\"20?\"\n"
    "+ TEXT=~\".*the end\" || TEXT=~\"timeout after [0-9]+ s\"\n"
    "+ TIME>=second(3) && TIME<second(5)    with Relative time on: 3 to 5 seconds after time 0\n"
    "+ TIME>=datetime(\"2024-12-07 12:00:02\") && TIME<datetime(\"2024-12-07 12:00:04\")    with Relative time "
    "off: from 12:00:02 up to 12:00:04 on that day";

FindDialogTabExpression::FindDialogTabExpression(FindDialog* dialog, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    QPushButton* clear = nullptr;
    layout->addWidget(dialog->TitleRow(this, &clear));
    connect(clear, &QPushButton::clicked, this, &FindDialogTabExpression::ClearDataConnect);

    QGroupBox* find = BorderlessGroup("ExpFindGroup", this);
    auto* findLayout = new QVBoxLayout(find);
    findLayout->setContentsMargins(0, 0, 0, 0);
    Complex = new QCheckBox(QStringLiteral("Complex expression"), find);
    connect(Complex, &QCheckBox::stateChanged, this, &FindDialogTabExpression::ComplexStateChanged);
    Editor = new QTextEdit(find);
    Editor->setFont(PrefGlobal::Fonts[FONT_FIND_DIALOG]);
    Editor->setAcceptRichText(false);
    Editor->setFixedHeight(EditorHeight);
    findLayout->addWidget(Complex);
    findLayout->addWidget(Editor);
    layout->addWidget(find);

    QGroupBox* fields = BorderlessGroup("OperatorGroup", this);
    auto* fieldsLayout = new QGridLayout(fields);
    fieldsLayout->setContentsMargins(0, 0, 0, 0);
    QFont narrow = font();
    narrow.setStretch(QFont::Condensed);
    if (const TabTable* tab = FindDialog::CurrentTab()) {
        for (int32_t i = 0; i < tab->Prefs.columnCount; ++i) {
            auto* button = new QPushButton(QString::fromLatin1(FieldKey(tab->Prefs.columns[i])), fields);
            button->setFont(narrow);
            button->setFixedWidth(FieldButtonWidth);
            fieldsLayout->addWidget(button, i / ButtonsPerRow, i % ButtonsPerRow);
        }
    }
    layout->addWidget(fields);

    QGroupBox* operators = BorderlessGroup("OperatorGroup", this);
    auto* operatorsLayout = new QHBoxLayout(operators);
    operatorsLayout->setContentsMargins(0, 0, 0, 0);
    for (const char* op : Operators) {
        auto* button = new QPushButton(QString::fromLatin1(op), operators);
        button->setFixedWidth(OperatorButtonWidth);
        operatorsLayout->addWidget(button);
    }
    operatorsLayout->addStretch();
    layout->addWidget(operators);

    for (QPushButton* button : findChildren<QPushButton*>()) {
        if (button->parent() != fields && button->parent() != operators)
            continue;
        button->setObjectName(QStringLiteral("FindInnerButton"));
        button->setEnabled(false);
        connect(button, &QPushButton::pressed, this, &FindDialogTabExpression::PressedFieldButton);
    }

    auto* help = new QTextEdit(this);
    help->setReadOnly(true);
    help->setFrameShape(QFrame::NoFrame);
    help->setPlainText(QString::fromLatin1(HelpText));
    help->setFixedWidth(GroupWidth);
    QPalette palette = help->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    help->setPalette(palette);
    layout->addWidget(help, 1);
}

void FindDialogTabExpression::ClearDataConnect()
{
    Editor->clear();
    Complex->setChecked(false);
}

void FindDialogTabExpression::PressedFieldButton()
{
    auto* button = qobject_cast<QPushButton*>(sender());
    if (!button)
        return;
    QString text = button->text();
    if (text == QLatin1String("&&&&"))
        text = QStringLiteral("&&");
    Editor->insertPlainText(text);
    Editor->setFocus();
}

void FindDialogTabExpression::ComplexStateChanged(int state)
{
    for (QPushButton* button : findChildren<QPushButton*>(QStringLiteral("FindInnerButton")))
        button->setEnabled(state == Qt::Checked);
}
