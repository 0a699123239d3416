// The History pane of a document: what the user did to its selections,
// pinned phrases, filter and bookmarks, newest first.
#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QDockWidget>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "kxlib/table/kxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/historyactions.h"
#include "kxviewer/table/panestyles.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabbase.h"

void TabBase::CreateHistoryPane()
{
    HistoryDock = new QDockWidget(QStringLiteral("History"), this);
    HistoryDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    HistoryDock->setStyleSheet(QString::fromLatin1(PaneDockStyle));
    HistoryTree = new QTreeWidget(HistoryDock);
    HistoryTree->setFont(PrefGlobal::Fonts[FONT_SIDE_PANELS]);
    HistoryTree->setHeaderHidden(true);
    HistoryTree->setColumnCount(1);
    HistoryTree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    HistoryTree->setStyleSheet(QString::fromLatin1(PaneTreeStyle));
    HistoryTree->header()->setStretchLastSection(true);
    HistoryTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(HistoryTree, &QTreeWidget::customContextMenuRequested, this, &TabBase::HistoryCustomMenuRequested);
    HistoryDock->setWidget(HistoryTree);
}

namespace {
// Commands of the History pane's menus (indices of the action table).
constexpr int ACT_FIND_IN_HISTORY = 88;
constexpr int ACT_HISTORY_NEW_ITEM = 118;
constexpr int ACT_HISTORY_COPY = 121;
constexpr int ACT_HISTORY_COPY_ALL = 122;
constexpr int ACT_HISTORY_REPLAY = 123;

const char* const ActionNames[] = {
    "Select", "Deselect", "Select by expression", "Select All", "Clear Selections",
    "Pin", "Unpin", "Filter", "Filter Selected", "Manual Filter",
    "Clear Filter", "Bookmark", "Bookmark by expression", "Clear Bookmark", "Clear All Bookmarks",
};
constexpr int32_t ACTION_COUNT = int32_t(sizeof(ActionNames) / sizeof(ActionNames[0]));
static_assert(ACTION_COUNT == HISTORY_CLEAR_ALL_BOOKMARKS + 1, "a name for every History action");

const char CopyTextProperty[] = "Copy_Text";

bool HasExpression(int32_t action)
{
    return action == HISTORY_SELECT_BY_EXPRESSION || action == HISTORY_PIN || action == HISTORY_UNPIN ||
           action == HISTORY_FILTER || action == HISTORY_BOOKMARK_BY_EXPRESSION;
}

bool HasColor(int32_t action)
{
    return action == HISTORY_SELECT || action == HISTORY_SELECT_BY_EXPRESSION || action == HISTORY_SELECT_ALL ||
           action == HISTORY_PIN;
}

bool IsRowAction(int32_t action)
{
    return action == HISTORY_SELECT || action == HISTORY_DESELECT;
}

QString YesNo(int32_t value)
{
    return value ? QStringLiteral("Yes") : QStringLiteral("No");
}

QString ColorName(uint32_t color)
{
    return QColor(QRgb(color)).name().toUpper();
}

QLabel* FittedLabel(const QString& text, const QFont& font, QWidget* parent)
{
    auto* label = new QLabel(parent);
    // Expressions are shown as typed, never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setContentsMargins(0, 0, 0, 0);
    label->setFixedWidth(QFontMetrics(font).horizontalAdvance(text));
    return label;
}

// A child line: its label and value as a widget, the value as data and the
// whole text as tool tip and copy text. color names the value's background.
void FillChild(QTreeWidget* tree, QTreeWidgetItem* child, const char* label, const QString& value,
               const QVariant& data, const QString& color = QString())
{
    const QString caption = QStringLiteral("   ") + QLatin1String(label);
    const QString text = caption + value;
    auto* group = new QGroupBox;
    group->setObjectName(QStringLiteral("colorGroup"));
    group->setStyleSheet(QStringLiteral("QGroupBox#colorGroup{border:0}"));
    group->setProperty(CopyTextProperty, text);
    auto* layout = new QHBoxLayout(group);
    layout->setAlignment(Qt::AlignLeft);
    layout->setContentsMargins(3, 0, 0, 0);
    layout->addWidget(FittedLabel(caption, tree->font(), group), 0, Qt::AlignLeft);
    QFont valueFont = tree->font();
    valueFont.setBold(!color.isEmpty());
    QLabel* shown = FittedLabel(value, valueFont, group);
    if (!color.isEmpty())
        shown->setStyleSheet(QStringLiteral("QLabel{background-color:") + color + QLatin1Char('}'));
    layout->addWidget(shown, 0, Qt::AlignLeft);
    child->setData(0, Qt::UserRole, data);
    child->setToolTip(0, text);
    tree->setItemWidget(child, 0, group);
}

void AddChild(QTreeWidget* tree, QTreeWidgetItem* parent, const char* label, const QString& value,
              const QVariant& data, const QString& color = QString())
{
    FillChild(tree, new QTreeWidgetItem(parent), label, value, data, color);
}

// What a line gives to a copy: its widget's copy text, else its own text.
QString LineText(QTreeWidget* tree, QTreeWidgetItem* item)
{
    if (const QWidget* widget = tree->itemWidget(item, 0))
        return widget->property(CopyTextProperty).toString();
    return item->text(0);
}

QVariant ChildData(QTreeWidgetItem* line, int child)
{
    QTreeWidgetItem* item = line->child(child);
    return item ? item->data(0, Qt::UserRole) : QVariant();
}
} // namespace

void TabBase::AddHistoryItem(int32_t action, const QString* expression, int32_t a, int32_t b, uint32_t color)
{
    if (action < 0 || action >= ACTION_COUNT) {
        KxvShell().AddToSystemLog(QStringLiteral("History: unknown action %1 not recorded").arg(action));
        return;
    }
    // A document without side panes keeps no History.
    if (!HistoryTree)
        return;
    QTreeWidgetItem* line = HistoryTree->topLevelItem(0);
    // Consecutive selections (or deselections) of rows show as one line.
    const bool reuse = IsRowAction(action) && HistoryCount > 0 && line && History[HistoryNewest].action == action;
    if (!reuse) {
        if (HistoryCount > 0)
            HistoryNewest = (HistoryNewest + 1) % HISTORY_RING;
        HistoryCount = std::min(HistoryCount + 1, HISTORY_RING);
        line = new QTreeWidgetItem;
        HistoryTree->insertTopLevelItem(0, line);
    }
    HistoryEntry& entry = History[HistoryNewest];
    entry.action = action;
    entry.expression = expression ? *expression : QString();
    entry.a = a;
    entry.b = b;
    entry.color = color;

    QFont bold = HistoryTree->font();
    bold.setBold(true);
    line->setText(0, QLatin1String(ActionNames[action]));
    line->setFont(0, bold);
    line->setData(0, Qt::UserRole, action);

    if (HasExpression(action))
        AddChild(HistoryTree, line, "Expression: ", entry.expression, entry.expression);
    // Rows are numbered from 1, as the view numbers them; the line keeps
    // the range's first row as data and shows its last.
    if (IsRowAction(action)) {
        const QString last = QString::number(int64_t(b) + 1);
        if (reuse && line->childCount() > 0)
            FillChild(HistoryTree, line->child(0), "Last row: ", last, a);
        else
            AddChild(HistoryTree, line, "Last row: ", last, a);
    }
    if (HasExpression(action)) {
        AddChild(HistoryTree, line, "Complex mode: ", YesNo(a == 1), a);
        AddChild(HistoryTree, line, "Match case: ", YesNo(b), b);
    }
    if (action == HISTORY_BOOKMARK || action == HISTORY_CLEAR_BOOKMARK)
        AddChild(HistoryTree, line, "Row: ", QString::number(int64_t(a) + 1), a);
    if (HasColor(action)) {
        const QString name = ColorName(color);
        if (reuse && line->childCount() > 1)
            FillChild(HistoryTree, line->child(1), "Color: ", name, color, name);
        else
            AddChild(HistoryTree, line, "Color: ", name, color, name);
    }
    QAction* collapse = Actions[ACT_HISTORY_NEW_ITEM];
    line->setExpanded(!collapse || !collapse->isChecked());
}

void TabBase::CollapseExpandHistory()
{
    // The newest line follows the choice at once; later ones are made so.
    QAction* collapse = Actions[ACT_HISTORY_NEW_ITEM];
    if (QTreeWidgetItem* line = HistoryTree ? HistoryTree->topLevelItem(0) : nullptr)
        line->setExpanded(!collapse || !collapse->isChecked());
}

void TabBase::HistoryCustomMenuRequested(QPoint pos)
{
    HistoryMenuItem = HistoryTree->itemAt(pos);
    if (!HistoryMenuItem)
        return;
    QTreeWidgetItem* line = HistoryMenuItem->parent() ? HistoryMenuItem->parent() : HistoryMenuItem;
    const int32_t action = line->data(0, Qt::UserRole).toInt();
    // No child of the tab, which a close in the menu's turn deletes.
    QMenu menu;
    if (QAction* copy = Actions[ACT_HISTORY_COPY])
        menu.addAction(copy);
    if (HasExpression(action)) {
        HistoryExpression = ChildData(line, 0).toString();
        HistoryMode = ChildData(line, 1).toUInt();
        HistoryMatchCase = uint8_t(ChildData(line, 2).toUInt());
        if (action == HISTORY_UNPIN) {
            for (const FixedHighlight* pinned : FixedHighlights) {
                if (pinned->text == HistoryExpression) {
                    HistoryMode = pinned->mode;
                    HistoryMatchCase = pinned->matchCase;
                }
            }
        }
        if (QAction* find = Actions[ACT_FIND_IN_HISTORY])
            menu.addAction(find);
    }
    const bool replayable = !IsRowAction(action) && action != HISTORY_MANUAL_FILTER &&
                            action != HISTORY_BOOKMARK && action != HISTORY_CLEAR_BOOKMARK;
    QAction* replay = Actions[ACT_HISTORY_REPLAY];
    if (replayable && replay) {
        const bool selected = Table->NumSelected > 0;
        const bool pinned = std::any_of(FixedHighlights.begin(), FixedHighlights.end(),
                                        [this](const FixedHighlight* h) { return h->text == HistoryExpression; });
        bool enabled = true;
        switch (action) {
        case HISTORY_CLEAR_SELECTIONS:
            enabled = selected;
            break;
        case HISTORY_PIN:
            enabled = !pinned;
            break;
        case HISTORY_UNPIN:
            enabled = pinned;
            break;
        case HISTORY_FILTER:
            enabled = !Table->FilterOn;
            break;
        case HISTORY_FILTER_SELECTED:
        case HISTORY_CLEAR_FILTER:
            enabled = !Table->FilterOn && selected;
            break;
        default:
            break;
        }
        replay->setEnabled(enabled);
        menu.addAction(replay);
    }
    menu.addSeparator();
    if (QAction* copyAll = Actions[ACT_HISTORY_COPY_ALL])
        menu.addAction(copyAll);
    menu.exec(HistoryTree->viewport()->mapToGlobal(pos));
}

void TabBase::CopyInHistory()
{
    QTreeWidgetItem* item = HistoryMenuItem;
    HistoryMenuItem = nullptr;
    if (!item)
        return;
    QString text = LineText(HistoryTree, item);
    if (!item->parent()) {
        text += QLatin1Char('\n');
        for (int i = 0; i < item->childCount(); ++i)
            text += LineText(HistoryTree, item->child(i)) + QLatin1Char('\n');
    }
    QApplication::clipboard()->setText(text);
}

void TabBase::CopyAllInHistory()
{
    QString text;
    for (QTreeWidgetItemIterator it(HistoryTree); *it; ++it)
        text += LineText(HistoryTree, *it) + QLatin1Char('\n');
    QApplication::clipboard()->setText(text);
}

void TabBase::ReplayInHistory()
{
    QTreeWidgetItem* item = HistoryMenuItem;
    HistoryMenuItem = nullptr;
    if (!item)
        return;
    QTreeWidgetItem* line = item->parent() ? item->parent() : item;
    const int32_t action = line->data(0, Qt::UserRole).toInt();
    const QString expression = ChildData(line, 0).toString();
    const uint32_t mode = ChildData(line, 1).toUInt();
    const uint8_t matchCase = uint8_t(ChildData(line, 2).toUInt());
    switch (action) {
    case HISTORY_SELECT_BY_EXPRESSION:
        if (QAction* select = Actions[TACT_SELECT])
            select->setChecked(true);
        Prefs.ColorSelect = ChildData(line, 3).toUInt();
        SetSearchExpression(expression, matchCase, mode);
        SelectByCond();
        break;
    case HISTORY_SELECT_ALL:
        Prefs.ColorSelect = ChildData(line, 0).toUInt();
        SelectAll();
        break;
    case HISTORY_CLEAR_SELECTIONS:
        if (QAction* select = Actions[TACT_SELECT])
            select->setChecked(false);
        SelectByCond();
        break;
    case HISTORY_PIN:
        Prefs.ColorHighlight = ChildData(line, 3).toUInt();
        SetSearchExpression(expression, matchCase, mode);
        PinPhrase(1);
        break;
    case HISTORY_UNPIN:
        SetSearchExpression(expression, matchCase, mode);
        PinPhrase(0);
        break;
    case HISTORY_FILTER:
        SetSearchExpression(expression, matchCase, mode);
        if (QAction* filter = Actions[TACT_FILTER])
            filter->setChecked(true);
        FilterByCond();
        break;
    case HISTORY_FILTER_SELECTED:
        FilterSelected();
        break;
    case HISTORY_CLEAR_FILTER:
        if (QAction* filter = Actions[TACT_FILTER])
            filter->setChecked(false);
        FilterByCond();
        break;
    case HISTORY_BOOKMARK_BY_EXPRESSION:
        // Refuses an empty or broken expression with its own message.
        SetSearchExpression(expression, matchCase, mode);
        BookmarkByCond();
        break;
    default:
        break;
    }
}
