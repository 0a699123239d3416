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
    "Use Field IDs and operators above to compose complex search expression. Each expression consists of short "
    "predicates connected by AND (&&) and OR (||) operators.Grouping by means of parentheses for setting execution "
    "order other than standard operator precedence is supported. Each short predicate must comply with the form:\n"
    "<FieldOperand> <Relational-operator> <FreeOperand>. Relational operators >, >=, <, <= expects numeric right-hand "
    "operand, =, ~ and =~ manipulate with strings as well as numbers.= operator tests exact equation of operands, ~ "
    "tests whether FreeOperand is a substring of given Field, =~ suppose the FreeOperand is a wildcard containing * "
    "(group of any chars) and ? (any one char) symbols.Strings operands containing spaces should be enclosed in "
    "quotes or double-quotes. Any quotes or double-quotes pair is substitutable. Also, wildcards must be enclosed by "
    "quotes/double-quotes.\n"
    "Available functions for usage in logical expressions: int, float, ipaddr, milli, second, time, date, datetime, "
    "tostring.\n"
    "Example of complex expressions:\n"
    "+ IP==ipaddr('1.2.3.4') | (TID>500 && (LEVEL<=2 || TEXT~my_print)\n"
    "+ IP=~'1.2.3.?' && LINE>=201\n"
    "+ TEXT=~\"*the end\" && LINE=~'20?'\n"
    "+ TIME>time(20:50) && TIME<time(21:50)";

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
