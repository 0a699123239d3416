// The document's nine toolbars with their menu buttons and embedded widgets,
// the copy-by-colours menu, and the rules that enable and check the tab's
// actions after every change of state.
#include <algorithm>

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QMenu>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>

#include "kxlib/table/kxtable.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/findlineedit.h"
#include "kxviewer/table/guihelpers.h"
#include "kxviewer/table/guiicons.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabbase.h"
#include "tearoffwidget/resources.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearofftabwidget.h"

namespace {
// What a toolbar holds, in order.
enum class ItemKind : uint8_t { Action, Button, FindCombo, GoToLine, Informer, Separator, HighlightJumpOff };

struct ToolItem {
    ItemKind kind;
    int32_t id; // action id or button index
};

constexpr int32_t MAX_TOOL_ITEMS = 8;

struct ToolbarSpec {
    int32_t index; // in the preferences' toolbar list
    ToolItem items[MAX_TOOL_ITEMS];
    int32_t count;
};

constexpr ToolItem Act(int32_t id)
{
    return {ItemKind::Action, id};
}

constexpr ToolItem Button(int32_t index)
{
    return {ItemKind::Button, index};
}

constexpr ToolItem Item(ItemKind kind)
{
    return {kind, -1};
}

// In the order they are built; each toolbar's index places it in the list.
// Highlight jumping is switched off just before the next-jump button, so
// that it starts off whatever the preferences or the highlight button did.
constexpr ToolbarSpec ToolbarSpecs[] = {
    {1, {Act(TACT_COLORIZE)}, 1},
    {2,
     {Item(ItemKind::FindCombo), Act(TACT_MATCH_CASE), Button(TabBase::BUTTON_PIN), Button(TabBase::BUTTON_HIGHLIGHT),
      Item(ItemKind::Separator), Act(TACT_OPEN_FIND), Act(TACT_FIND_NEXT), Act(TACT_FIND_BACK)},
     8},
    {3, {Button(TabBase::BUTTON_SELECT), Button(TabBase::BUTTON_FILTER), Button(TabBase::BUTTON_BOOKMARK)}, 3},
    {4,
     {Act(TACT_JUMP_BACK), Button(TabBase::BUTTON_PREV_JUMP), Act(TACT_STEP_BACK), Item(ItemKind::GoToLine),
      Act(TACT_STEP_FORWARD), Item(ItemKind::HighlightJumpOff), Button(TabBase::BUTTON_NEXT_JUMP)},
     7},
    {0,
     {Act(TACT_SAVE), Act(TACT_SAVE_AS), Act(TACT_SAVE_PDF), Act(TACT_SAVE_EXCEL), Act(TACT_SAVE_CSV),
      Act(TACT_SAVE_TXT)},
     6},
    {5, {Button(TabBase::BUTTON_COPY), Button(TabBase::BUTTON_PASTE), Act(TACT_ROWS_DELETE)}, 3},
    {6,
     {Button(TabBase::BUTTON_SIDE_PANELS), Act(TACT_DOCK_HORIZONTALLY), Act(TACT_DOCK_VERTICALLY),
      Act(TACT_DOCK_DETACH), Act(TACT_DOCK_ATTACH)},
     5},
    {7, {Act(TACT_FUNCS_DOC), Act(TACT_CREATE_GRAPH)}, 2},
    {8, {Item(ItemKind::Informer)}, 1},
};
static_assert(std::size(ToolbarSpecs) == TabBase::TOOLBAR_COUNT, "one entry per toolbar");

// Menu entries of a button besides action ids.
constexpr int32_t MENU_END = -1;
// The six jump conditions, a separator and "Show Presentation Errors".
constexpr int32_t MENU_JUMPS = -2;

constexpr int32_t MAX_MENU_ITEMS = 3;

struct ButtonSpec {
    int32_t defaultAction;
    int32_t menu[MAX_MENU_ITEMS];
};

// By button index. The pin button's menu is the pinned phrases', the copy
// button's the colour groups'; the side panes give theirs.
constexpr ButtonSpec ButtonSpecs[] = {
    {TACT_PIN, {MENU_END}},
    {TACT_HIGHLIGHT, {TACT_COLOR_HIGHLIGHT, TACT_CLEAR_HIGHLIGHT, MENU_END}},
    {TACT_SELECT, {TACT_COLOR_SELECTION, TACT_SELECT_ALL, TACT_CLEAR_SELECTION}},
    {TACT_FILTER, {TACT_FILTER_SELECTED, TACT_CLEAR_FILTER, MENU_END}},
    {TACT_BOOKMARK, {TACT_COLOR_BOOKMARK, TACT_CLEAR_BOOKMARKS, TACT_BOOKMARK_BY_COND}},
    {TACT_PREV_STOP, {MENU_JUMPS, MENU_END}},
    {TACT_NEXT_STOP, {MENU_JUMPS, MENU_END}},
    {TACT_ROWS_COPY, {MENU_END}},
    {TACT_ROWS_PASTE, {TACT_ROWS_PASTE, TACT_ROWS_PASTE_TO_END, MENU_END}},
    {TACT_SIDE_PANELS, {MENU_END}},
};
static_assert(std::size(ButtonSpecs) == TabBase::TOOL_BUTTON_COUNT, "one entry per menu button");

// What an action-state rule does with its condition.
enum class RuleEffect : uint8_t {
    Enable,  // enabled exactly while the condition holds
    Check,   // checked exactly while the condition holds
    Disable, // disabled while the condition holds, else left alone
};

enum class RuleCondition : uint8_t {
    AnySelected,
    AnyBookmark,
    HighlightChecked,
    FilterOnOrDisabled,
    FilterChecked,
    FilterUncheckedAndSelected,
    AnyVisibleRow,
    PasteAllowed,
    DeleteAllowed,
    GroupHoldsTwo,
    OutsideMainWindow,
    GraphOrFuncsDocument,
    FuncsDocument,
};

struct ActionRule {
    int32_t action;
    RuleEffect effect;
    RuleCondition condition;
};

// Applied in order: the filter rules read the filter action's state that
// the rule before them set.
constexpr ActionRule ActionRules[] = {
    {TACT_SELECT, RuleEffect::Check, RuleCondition::AnySelected},
    {TACT_CLEAR_SELECTION, RuleEffect::Enable, RuleCondition::AnySelected},
    {TACT_CLEAR_BOOKMARKS, RuleEffect::Enable, RuleCondition::AnyBookmark},
    {TACT_CLEAR_HIGHLIGHT, RuleEffect::Enable, RuleCondition::HighlightChecked},
    {TACT_FILTER, RuleEffect::Check, RuleCondition::FilterOnOrDisabled},
    {TACT_CLEAR_FILTER, RuleEffect::Enable, RuleCondition::FilterChecked},
    {TACT_FILTER_SELECTED, RuleEffect::Enable, RuleCondition::FilterUncheckedAndSelected},
    {TACT_ROWS_COPY, RuleEffect::Enable, RuleCondition::AnyVisibleRow},
    {TACT_CREATE_GRAPH, RuleEffect::Enable, RuleCondition::AnyVisibleRow},
    {TACT_ROWS_PASTE, RuleEffect::Enable, RuleCondition::PasteAllowed},
    {TACT_ROWS_DELETE, RuleEffect::Enable, RuleCondition::DeleteAllowed},
    {TACT_DOCK_HORIZONTALLY, RuleEffect::Enable, RuleCondition::GroupHoldsTwo},
    {TACT_DOCK_VERTICALLY, RuleEffect::Enable, RuleCondition::GroupHoldsTwo},
    {TACT_DOCK_DETACH, RuleEffect::Enable, RuleCondition::GroupHoldsTwo},
    {TACT_DOCK_ATTACH, RuleEffect::Enable, RuleCondition::OutsideMainWindow},
    {TACT_CREATE_GRAPH, RuleEffect::Disable, RuleCondition::GraphOrFuncsDocument},
    {TACT_FUNCS_DOC, RuleEffect::Disable, RuleCondition::FuncsDocument},
};

// A preference colour word (0xRRGGBB).
QColor RgbColor(uint32_t rgb)
{
    return QColor(QRgb(rgb & 0xFFFFFF));
}

bool IsChecked(const QAction* action)
{
    return action && action->isChecked();
}

void AddMenuAction(QMenu* menu, QAction* action)
{
    if (action)
        menu->addAction(action);
}

int32_t DecimalDigits(int32_t value)
{
    int32_t digits = 1;
    for (; value >= 10; value /= 10)
        ++digits;
    return digits;
}

// Each toolbar's show/hide goes to the main window, whose class lies above
// this one: the connection is by name, and a main window without the slot
// is reported once per process.
void ConnectToolbarToggle(QToolBar* bar)
{
    static bool reported = false;
    QObject* main = TearOffMain::Me;
    if (!main)
        return;
    if (main->metaObject()->indexOfSlot("LocalToolBarToggled(bool)") >= 0 &&
        QObject::connect(bar->toggleViewAction(), SIGNAL(triggered(bool)), main, SLOT(LocalToolBarToggled(bool))))
        return;
    if (!reported) {
        reported = true;
        KX_WARNING(KxvTearoffChannel, "TabBase::AddToolBar: no LocalToolBarToggled(bool) in the main window");
    }
}

// Fills the tab's toolbars from the tables above.
class ToolbarBuilder {
public:
    explicit ToolbarBuilder(TabBase& tab) : tab_(tab) {}

    void Add(QToolBar* bar, const ToolItem& item)
    {
        switch (item.kind) {
        case ItemKind::Action:
            AddAction(bar, item.id);
            break;
        case ItemKind::Button:
            AddButton(bar, item.id);
            break;
        case ItemKind::FindCombo:
            AddFindCombo(bar);
            break;
        case ItemKind::GoToLine:
            AddGoToLine(bar);
            break;
        case ItemKind::Informer:
            AddInformer(bar);
            break;
        case ItemKind::Separator:
            bar->addSeparator();
            break;
        case ItemKind::HighlightJumpOff:
            tab_.SetJumpCondition(JUMP_HIGHLIGHT, false);
            if (QAction* highlight = tab_.Actions[TACT_HIGHLIGHT])
                highlight->setData(1);
            break;
        }
    }

private:
    void AddAction(QToolBar* bar, int32_t id)
    {
        QAction* action = tab_.Actions[id];
        if (!action)
            return;
        bar->addAction(action);
        if (id == TACT_COLORIZE)
            CheckAndTrigger(action, tab_.Prefs.Colorize != 0);
        else if (id == TACT_MATCH_CASE)
            action->setChecked(tab_.Prefs.SearchMatchCase != 0);
    }

    static void CheckAndTrigger(QAction* action, bool on)
    {
        action->setChecked(on);
        emit action->triggered(on);
    }

    void AddButton(QToolBar* bar, int32_t index)
    {
        const ButtonSpec& spec = ButtonSpecs[index];
        QAction* action = tab_.Actions[spec.defaultAction];
        auto* button = new QToolButton(bar);
        button->setCheckable(true);
        button->setPopupMode(QToolButton::MenuButtonPopup);
        if (action)
            button->setDefaultAction(action);
        tab_.ToolButtons[index] = button;

        const QString iconPath = QString::fromLatin1(Resources::GetActionIconPath(spec.defaultAction));
        switch (index) {
        case TabBase::BUTTON_PIN:
            button->setMenu(tab_.CreateFixedHighlightMenu());
            break;
        case TabBase::BUTTON_HIGHLIGHT:
            if (action) {
                action->setIcon(MakeColorBarIcon(RgbColor(tab_.Prefs.ColorHighlight), iconPath));
                CheckAndTrigger(action, tab_.Prefs.HighlightOn != 0);
            }
            break;
        case TabBase::BUTTON_SELECT:
            if (action)
                action->setIcon(MakeColorBarIcon(RgbColor(tab_.Prefs.ColorSelect), iconPath));
            break;
        case TabBase::BUTTON_BOOKMARK:
            // The 16 x 16 picture is the one the row header shows beside
            // every bookmarked row.
            if (action)
                action->setIcon(MakeColoredIcon(RgbColor(tab_.Prefs.ColorBookmark), tab_.TabPixmap));
            break;
        case TabBase::BUTTON_PREV_JUMP:
            if (QAction* presErrors = tab_.Actions[TACT_SHOW_PRES_ERRORS])
                presErrors->setChecked(tab_.Prefs.ShowPresErrors != 0);
            break;
        case TabBase::BUTTON_SIDE_PANELS:
            if (action) {
                const PrefTabTable& defaults = PrefTabTable::Default();
                action->setCheckable(true);
                action->setChecked(defaults.PanelInfo || defaults.PanelTree || defaults.PanelHistory);
            }
            break;
        default:
            break;
        }
        if (spec.menu[0] != MENU_END) {
            auto* menu = new QMenu(&tab_);
            for (int32_t entry : spec.menu) {
                if (entry == MENU_END)
                    break;
                if (entry == MENU_JUMPS)
                    AddJumpEntries(menu);
                else
                    AddMenuAction(menu, tab_.Actions[entry]);
            }
            button->setMenu(menu);
        }
        auto* holder = new QWidgetAction(bar);
        holder->setDefaultWidget(button);
        bar->addAction(holder);
        if (index == TabBase::BUTTON_PREV_JUMP)
            tab_.PrefShowPresenErrors();
        else if (index == TabBase::BUTTON_COPY)
            tab_.BuildCopyMenu();
    }

    void AddJumpEntries(QMenu* menu)
    {
        for (QAction* jump : tab_.JumpActions)
            AddMenuAction(menu, jump);
        menu->addSeparator();
        AddMenuAction(menu, tab_.Actions[TACT_SHOW_PRES_ERRORS]);
    }

    void AddFindCombo(QToolBar* bar)
    {
        auto* combo = new QComboBox(bar);
        combo->setEditable(true);
        combo->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        combo->setMinimumWidth(150);
        combo->setMaximumWidth(300);
        auto* line = new LineEdit(&tab_, combo);
        combo->setLineEdit(line);
        combo->setDuplicatesEnabled(true);
        // The list is the search history: Enter never adds to it by itself.
        combo->setInsertPolicy(QComboBox::NoInsert);
        for (const SearchHistoryItem& item : PrefGlobal::SearchHistory)
            combo->addItem(QString::fromLocal8Bit(item.expression.c_str()));
        combo->setEditText(LineEdit::LastPaintedText);
        tab_.FindCombo = combo;

        QObject::connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), &tab_,
                         &TabBase::SearchHistoryCurIndexChanged);
        QObject::connect(line, &QLineEdit::editingFinished, &tab_, &TabBase::EditingFindFinished);
        QObject::connect(line, &QLineEdit::textEdited, &tab_, &TabBase::FindTextEdited);
        QObject::connect(line, &QLineEdit::returnPressed, &tab_, &TabBase::FindNext);
        QObject::connect(line, &QLineEdit::cursorPositionChanged, &tab_, &TabBase::FindCursorPositionChanged);
        QAbstractItemView* list = combo->view();
        for (QWidget* widget : {static_cast<QWidget*>(combo), static_cast<QWidget*>(list)}) {
            widget->setContextMenuPolicy(Qt::CustomContextMenu);
            QObject::connect(widget, &QWidget::customContextMenuRequested, &tab_, &TabBase::FindListBox_context_menu);
        }
        list->installEventFilter(&tab_);
        list->viewport()->installEventFilter(&tab_);
        bar->addWidget(combo);
    }

    void AddGoToLine(QToolBar* bar)
    {
        auto* line = new QLineEdit(bar);
        line->setFont(PrefGlobal::Fonts[FONT_TABLE_VIEW]);
        const int32_t rows = tab_.Table->RowCount();
        const int32_t characters = std::max(3, DecimalDigits(rows)) + 3;
        line->setFixedWidth(CharactersWidth(line->font(), characters));
        line->setValidator(new QIntValidator(1, rows, line));
        line->setAlignment(Qt::AlignCenter);
        QObject::connect(line, &QLineEdit::textEdited, &tab_, &TabBase::GoToTextEdited);
        tab_.GoToEdit = line;
        bar->addWidget(line);
    }

    void AddInformer(QToolBar* bar)
    {
        auto* spacer = new QWidget(bar);
        spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        bar->addWidget(spacer);
        auto* label = new QLabel(bar);
        label->setMinimumSize(80, 0);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setTextFormat(Qt::RichText);
        tab_.CountersLabel = label;
        bar->addWidget(label);
        bar->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    TabBase& tab_;
};

// Whether a rule's condition holds on the tab now.
bool RuleHolds(TabBase& tab, RuleCondition condition)
{
    KxTable& table = *tab.Table;
    const bool filterOff = !table.FilterOn;
    switch (condition) {
    case RuleCondition::AnySelected:
        return table.NumSelected >= 1;
    case RuleCondition::AnyBookmark:
        return table.Bookmarks().Length() >= 1;
    case RuleCondition::HighlightChecked:
        return IsChecked(tab.Actions[TACT_HIGHLIGHT]);
    case RuleCondition::FilterOnOrDisabled:
        return table.FilterOn || (tab.Actions[TACT_FILTER] && !tab.Actions[TACT_FILTER]->isEnabled());
    case RuleCondition::FilterChecked:
        return IsChecked(tab.Actions[TACT_FILTER]);
    case RuleCondition::FilterUncheckedAndSelected:
        return !IsChecked(tab.Actions[TACT_FILTER]) && table.NumSelected >= 1;
    case RuleCondition::AnyVisibleRow:
        return table.RowCount() >= 1;
    case RuleCondition::PasteAllowed:
        return KxvGlobals::CopyInformation.source && table.IsEditable() && filterOff;
    case RuleCondition::DeleteAllowed:
        return table.RecordCount() >= 1 && table.IsEditable() && filterOff;
    case RuleCondition::GroupHoldsTwo:
        return tab.TabWidget && tab.TabWidget->count() >= 2;
    case RuleCondition::OutsideMainWindow:
        return tab.TabWidget && tab.GetTopWindow(nullptr) != TearOffMain::Me;
    case RuleCondition::GraphOrFuncsDocument:
        return tab.GraphState != TabBase::GRAPH_NONE || tab.FuncsDocument != 0;
    case RuleCondition::FuncsDocument:
        return tab.FuncsDocument != 0;
    }
    return false;
}
} // namespace

void TabBase::AddToolBar(QMainWindow* host, bool enabled)
{
    ZmLib::KxFuncGuard trace(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "TabBase::AddToolBar");
    for (int32_t i = 0; i < JUMP_Nums; ++i) {
        JumpActions[i] = new QAction(QString::fromLatin1(JumpTable[i].jumpTitle), this);
        OutlineActions[i] = new QAction(QString::fromLatin1(JumpTable[i].outlineTitle), this);
        JumpActions[i]->setCheckable(true);
        OutlineActions[i]->setCheckable(true);
        JumpActions[i]->setChecked(Prefs.jumps[i] != 0);
        OutlineActions[i]->setChecked(Prefs.outline[i] != 0);
        connect(JumpActions[i], &QAction::triggered, this, &TabBase::JumpsTriggered);
        connect(OutlineActions[i], &QAction::triggered, this, &TabBase::OutlineTriggered);
    }
    for (int32_t i = 0; i < TOOLBAR_COUNT; ++i) {
        Toolbars[i] = new QToolBar(QString::fromLatin1(PrefGlobal::BaseToolbarNames[i]), host);
        Toolbars[i]->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }
    ToolbarBuilder builder(*this);
    for (const ToolbarSpec& spec : ToolbarSpecs)
        for (int32_t i = 0; i < spec.count; ++i)
            builder.Add(Toolbars[spec.index], spec.items[i]);
    for (int32_t i = 0; i < TOOLBAR_COUNT; ++i) {
        host->addToolBar(Toolbars[i]);
        Toolbars[i]->setVisible(PrefGlobal::BaseToolbars[i]);
        Toolbars[i]->setEnabled(enabled);
        ConnectToolbarToggle(Toolbars[i]);
    }
}

void TabBase::BuildCopyMenu()
{
    QToolButton* button = ToolButtons[BUTTON_COPY];
    if (!button)
        return;
    ColorGroups.clear();
    for (const SelRange* range = Table->FirstRange(); range; range = range->NextEntry()) {
        auto group = std::find_if(ColorGroups.begin(), ColorGroups.end(),
                                  [range](const ColorGroup& each) { return each.color == range->tag; });
        if (group == ColorGroups.end()) {
            ColorGroup fresh;
            fresh.color = range->tag;
            const QList<QIcon> icons = LoadCheckIcons(RgbColor(range->tag));
            fresh.icon = icons.value(0);
            fresh.iconChosen = icons.value(1);
            group = ColorGroups.insert(ColorGroups.end(), fresh);
        }
        group->ranges++;
        group->rows += range->count;
    }
    int rangeWidth = 0;
    int rowWidth = 0;
    for (const ColorGroup& group : ColorGroups) {
        rangeWidth = std::max(rangeWidth, int(DecimalDigits(group.ranges)));
        rowWidth = std::max(rowWidth, int(DecimalDigits(group.rows)));
    }

    auto* menu = new QMenu(this);
    AddMenuAction(menu, Actions[TACT_ROWS_COPY]);
    AddMenuAction(menu, Actions[TACT_ROWS_COPY_ALL]);
    menu->addSeparator();
    for (int i = 0; i < ColorGroups.size(); ++i) {
        const ColorGroup& group = ColorGroups[i];
        auto* row = new QGroupBox(menu);
        row->setStyleSheet(QStringLiteral("QGroupBox{border:0}"));
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(4, 0, 0, 0);
        auto* check = new QPushButton(group.icon, QString(), row);
        check->setFlat(true);
        check->setFixedWidth(16);
        check->setObjectName(QString::number(i));
        connect(check, &QPushButton::clicked, this, &TabBase::ChangeColorIcon);
        const QString text = QStringLiteral(" %1 Ranges %2 Rows")
                                 .arg(QString::number(group.ranges).leftJustified(rangeWidth),
                                      QString::number(group.rows).rightJustified(rowWidth));
        auto* counts = new QPushButton(text, row);
        counts->setFlat(true);
        counts->setStyleSheet(QStringLiteral("text-align:left"));
        counts->setObjectName(QString::number(i));
        layout->addWidget(check);
        layout->addWidget(counts);
        auto* holder = new QWidgetAction(menu);
        holder->setDefaultWidget(row);
        menu->addAction(holder);
    }
    menu->addSeparator();
    if (QAction* byColors = Actions[TACT_ROWS_COPY_BY_COLORS]) {
        byColors->setEnabled(false);
        menu->addAction(byColors);
    }
    button->setMenu(menu);
    if (CopyMenu) {
        // The old menu may be the one open now.
        CopyMenu->hide();
        CopyMenu->deleteLater();
    }
    CopyMenu = menu;
}

void TabBase::ChangeColorIcon()
{
    auto* button = qobject_cast<QPushButton*>(sender());
    bool ok = false;
    const int index = button ? button->objectName().toInt(&ok) : -1;
    if (!ok || index < 0 || index >= ColorGroups.size())
        return;
    ColorGroup& group = ColorGroups[index];
    group.chosen = group.chosen ? 0 : 1;
    group.copy = group.chosen;
    button->setIcon(group.chosen ? group.iconChosen : group.icon);
    const bool anyChosen = std::any_of(ColorGroups.begin(), ColorGroups.end(),
                                       [](const ColorGroup& each) { return each.chosen != 0; });
    if (QAction* byColors = Actions[TACT_ROWS_COPY_BY_COLORS])
        byColors->setEnabled(anyChosen);
}

void TabBase::UpdateActions()
{
    for (const ActionRule& rule : ActionRules) {
        QAction* action = Actions[rule.action];
        if (!action)
            continue;
        const bool holds = RuleHolds(*this, rule.condition);
        switch (rule.effect) {
        case RuleEffect::Enable:
            action->setEnabled(holds);
            break;
        case RuleEffect::Check:
            action->setChecked(holds);
            break;
        case RuleEffect::Disable:
            if (holds)
                action->setEnabled(false);
            break;
        }
    }
    UpdateEditableBox(!IsChecked(Actions[TACT_FILTER]));
}
