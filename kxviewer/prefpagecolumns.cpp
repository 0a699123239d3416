#include "kxviewer/prefpagecolumns.h"

#include <algorithm>

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "kxlib/fields.h"
#include "kxlib/table/prefkxtable.h"
#include "kxviewer/preftabtable.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/auxtreedialog.h"
#include "kxviewer/table/dialoghelperlistheader.h"
#include "kxviewer/table/fieldsdialog.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"

namespace {

constexpr int EDIT_BUTTON_WIDTH = 150;
constexpr int LEVEL_FONT_POINTS = 10;
constexpr const char* Incorrect = "INCORRECT VALUE";

QString FieldName(int32_t field)
{
    if (field < 0)
        return QStringLiteral("None");
    if (field >= FIELD_Nums)
        return QString::fromLatin1(Incorrect);
    return QString::fromLatin1(FieldKey(field)) + QStringLiteral(" (") + QString::fromLatin1(FieldTitle(field)) +
           QLatin1Char(')');
}

QString FormatName(int32_t format)
{
    if (format < 0)
        return QStringLiteral("None");
    if (format >= int32_t(NUMFMT_Nums))
        return QString::fromLatin1(Incorrect);
    return QString::fromLatin1(NumFormatTable[format].description);
}

QTableWidgetItem* FixedItem(const QString& text, int32_t field)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    item->setData(Qt::UserRole, field);
    return item;
}

QPushButton* EditButton(const char* text, QVBoxLayout* layout)
{
    auto* button = new QPushButton(QString::fromLatin1(text));
    button->setFixedWidth(EDIT_BUTTON_WIDTH);
    layout->addWidget(button);
    return button;
}

} // namespace

PrefPageColumns::PrefPageColumns(QWidget* parent) : QWidget(parent)
{
    auto* page = new QVBoxLayout(this);

    auto* list = new QGroupBox(QStringLiteral("Default Columns List"));
    auto* listLayout = new QVBoxLayout(list);
    Columns = new QTableWidget(0, 2);
    Columns->setHorizontalHeader(new DialogHelperListHeader(Qt::Horizontal, Columns));
    Columns->setVerticalHeader(new DialogHelperListHeader(Qt::Vertical, Columns));
    Columns->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Format")});
    Columns->setShowGrid(false);
    Columns->setStyleSheet(QStringLiteral("QTableCornerButton::section {border:1px outset #fbfbfb; "
                                          "background: #f1f1f1;}"));
    Columns->verticalHeader()->setDefaultSectionSize(Columns->font().pointSize() * 12 / 5);
    Columns->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    Columns->horizontalHeader()->setStretchLastSection(true);
    listLayout->addWidget(Columns);
    connect(EditButton("Edit columns", listLayout), &QPushButton::clicked, this, &PrefPageColumns::editColumns);
    page->addWidget(list);

    auto* tree = new QGroupBox(QStringLiteral("Auxiliary Tree pane"));
    auto* treeLayout = new QVBoxLayout(tree);
    QFont levelFont = font();
    levelFont.setPointSize(LEVEL_FONT_POINTS);
    Level1 = new QLabel;
    Level2 = new QLabel;
    for (QLabel* label : {Level1, Level2}) {
        label->setFont(levelFont);
        treeLayout->addWidget(label);
    }
    connect(EditButton("Edit levels", treeLayout), &QPushButton::clicked, this, &PrefPageColumns::editLevels);
    page->addWidget(tree);

    page->addWidget(new QLabel(QStringLiteral("\nSelected columns with their order will become effective\nfor any new "
                                              "table view.\nUnchecked columns will "
                                              "be hidden in a table view,\nbut still may be used in search "
                                              "expressions.\nRegardless of this list, the "
                                              "viewed columns in an open\ntable may be shown/hidden or their order "
                                              "changed by\nmouse context menu or "
                                              "drag-and-drop.")));
    const PrefTabTable& tab = PrefTabTable::Default();
    TimeRollback = new QCheckBox(QStringLiteral("Detect Time rollbacks "));
    TimeRollback->setChecked(tab.TimeRollback);
    ExportRowNumbers = new QCheckBox(QStringLiteral("Add row numbers when exporting (e.g. to Text / PDF / Excel) "));
    ExportRowNumbers->setChecked(tab.ExportRowNumbColumn);
    page->addWidget(TimeRollback);
    page->addWidget(ExportRowNumbers);
    page->addStretch();

    FillColumns();
    ShowLevels();
}

QString PrefPageColumns::LevelTitle(int32_t field)
{
    // Field 0 (STIME) is a level like any other; only "no level" is a dash.
    if (field < 0)
        return QStringLiteral(" -");
    if (field >= FIELD_Nums)
        return QString::fromLatin1(Incorrect);
    return QString::fromLatin1(FieldTitle(field));
}

void PrefPageColumns::FillColumns()
{
    const PrefTabTable& tab = PrefTabTable::Default();
    const PrefKxTable& kx = PrefKxTable::Default();
    const int32_t count = tab.columnCount < 0 ? 0 : std::min<int32_t>(tab.columnCount, FIELD_Nums);
    Columns->setRowCount(count);
    for (int32_t row = 0; row < count; ++row) {
        const int32_t field = tab.columns[row];
        const int32_t format = field < 0 ? -1 : field >= FIELD_Nums ? int32_t(NUMFMT_Nums) : kx.formats[field];
        Columns->setItem(row, 0, FixedItem(FieldName(field), field));
        Columns->setItem(row, 1, FixedItem(FormatName(format), field));
    }
}

void PrefPageColumns::ShowLevels()
{
    const PrefKxTable& kx = PrefKxTable::Default();
    Level1->setText(QStringLiteral("1<sup>st</sup> level: ") + LevelTitle(kx.TreeLevel1Field));
    Level2->setText(QStringLiteral("2<sup>nd</sup> level: ") + LevelTitle(kx.TreeLevel2Field));
}

void PrefPageColumns::editColumns()
{
    FieldsDialog dialog(KxvShell().MainWidget(), &PrefTabTable::Default(), PrefKxTable::Default().formats, nullptr);
    if (TearOffMain::Prompt().Exec(&dialog) == QDialog::Accepted)
        FillColumns();
}

void PrefPageColumns::editLevels()
{
    PrefKxTable& kx = PrefKxTable::Default();
    int32_t levels[2] = {kx.TreeLevel1Field, kx.TreeLevel2Field};
    AuxTreeDialog dialog(levels, KxvShell().MainWidget(), nullptr);
    if (TearOffMain::Prompt().Exec(&dialog) != QDialog::Accepted)
        return;
    kx.TreeLevel1Field = levels[0];
    kx.TreeLevel2Field = levels[1];
    ShowLevels();
}
