#include "kxviewer/prefpagetable.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "kxlib/table/prefkxtable.h"
#include "kxviewer/preftabtable.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/guiicons.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"

namespace {

constexpr int COLOR_BUTTON_WIDTH = 100;
constexpr int TOOLBAR_COLUMNS = 3;

QCheckBox* CheckBox(const char* text, bool checked, QVBoxLayout* layout)
{
    auto* box = new QCheckBox(QString::fromLatin1(text));
    box->setChecked(checked);
    layout->addWidget(box);
    return box;
}

QColor FromRgb(uint32_t rgb) { return QColor(QRgb(rgb)); }

} // namespace

PrefPageTable::PrefPageTable(QWidget* parent) : QWidget(parent)
{
    const PrefTabTable& tab = PrefTabTable::Default();
    auto* page = new QVBoxLayout(this);

    auto* toolbars = new QGroupBox(QStringLiteral("Default Toolbars"));
    auto* toolbarsLayout = new QGridLayout(toolbars);
    for (int i = 0; i < BASE_TOOLBAR_COUNT; ++i) {
        Toolbars[i] = new QCheckBox(QString::fromLatin1(PrefGlobal::BaseToolbarNames[i]));
        Toolbars[i]->setChecked(PrefGlobal::BaseToolbars[i]);
        toolbarsLayout->addWidget(Toolbars[i], i / TOOLBAR_COLUMNS, i % TOOLBAR_COLUMNS);
    }
    page->addWidget(toolbars);

    auto* row = new QHBoxLayout;
    auto* panels = new QGroupBox(QStringLiteral("Default Side Panels"));
    auto* panelsLayout = new QVBoxLayout(panels);
    Info = CheckBox("Info", tab.PanelInfo, panelsLayout);
    Outline = CheckBox("Outline", tab.PanelTree, panelsLayout);
    History = CheckBox("History", tab.PanelHistory, panelsLayout);
    row->addWidget(panels);

    auto* colors = new QGroupBox(QStringLiteral("Default Colors"));
    auto* colorsLayout = new QVBoxLayout(colors);
    const std::pair<QPushButton**, std::pair<const char*, uint32_t>> buttons[] = {
        {&Highlight, {" Highlight", tab.ColorHighlight}},
        {&Selected, {" Selected", tab.ColorSelect}},
        {&Bookmark, {" Bookmark", tab.ColorBookmark}}};
    for (const auto& [button, look] : buttons) {
        *button = new QPushButton(MakeColorSwatchIcon(FromRgb(look.second)), QString::fromLatin1(look.first));
        (*button)->setFixedWidth(COLOR_BUTTON_WIDTH);
        connect(*button, &QPushButton::clicked, this, &PrefPageTable::ChangeSomeColors);
        colorsLayout->addWidget(*button);
    }
    Bookmark->setObjectName(QStringLiteral("Bookmark color"));
    row->addWidget(colors);
    page->addLayout(row);

    auto* misc = new QGroupBox(QStringLiteral("Misc defaults"));
    auto* miscLayout = new QVBoxLayout(misc);
    NormalizeTime =
        CheckBox("Show time offset instead of absolute time", PrefKxTable::Default().NormalizeTime, miscLayout);
    InsertFunc = CheckBox("Insert function name into text field for functions entry/leave", tab.InsertFunc, miscLayout);
    IndentText = CheckBox("Indent text content according to functions nesting", tab.IndentText, miscLayout);
    Colorize = CheckBox("Colorize button is On", tab.Colorize, miscLayout);
    HighlightOn = CheckBox("Highlight button is On", tab.HighlightOn, miscLayout);
    ShowPresErrors = CheckBox("Show presentation errors", tab.ShowPresErrors, miscLayout);
    SyncToCurRow = CheckBox("Sync table position with Side panel's tree", tab.SyncToCurRow, miscLayout);
    ExpandNewHistoryItem = CheckBox("Collapse/Expand Outline", tab.ExpandNewHistoryItem, miscLayout);
    page->addWidget(misc);

    page->addWidget(new QLabel(QStringLiteral("The configuration on this page becomes effective\nfor any new table "
                                              "view.\nRegardless of this setting, the viewed panels\nand color "
                                              "settings may be customized separately\non each open table view.")));
    page->addStretch();
}

void PrefPageTable::ChangeSomeColors()
{
    auto* button = qobject_cast<QPushButton*>(sender());
    PrefTabTable& tab = PrefTabTable::Default();
    uint32_t* target = button == Highlight  ? &tab.ColorHighlight
                       : button == Selected ? &tab.ColorSelect
                                            : &tab.ColorBookmark;
    const QColor color = TearOffMain::Prompt().Color(FromRgb(*target), KxvShell().MainWidget(), button->objectName());
    if (!color.isValid())
        return;
    button->setIcon(MakeColorSwatchIcon(color));
    *target = color.rgb() & 0xFFFFFF;
}
