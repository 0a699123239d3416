#include "kxviewer/table/tabbase.h"

#include <algorithm>
#include <cstring>

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QTableWidget>
#include <QTreeWidget>
#include <QWidgetAction>

#include "kxlib/table/kxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/outlineview.h"
#include "kxviewer/table/panedocks.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabbindings.h"
#include "kxviewer/table/tabshell.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabwidget.h"

namespace {
// Action ids the tab refers to.
constexpr int ACT_SCRIPT_PANEL = 25;
constexpr int ACT_DOCK_HORIZONTALLY = 26;
constexpr int ACT_DOCK_VERTICALLY = 27;
constexpr int ACT_DOCK_DETACH = 28;
constexpr int ACT_DOCK_ATTACH = 29;
constexpr int ACT_SHOW_PRES_ERRORS = 42;
constexpr int ACT_AUX_LEVELS = 46;
constexpr int ACT_COPY_AUX_TREE = 97;
constexpr int ACT_COLLAPSE_PANES = 99;
constexpr int ACT_EXPAND_PANES = 100;
constexpr int ACT_SCRIPT_RUN = 106;
constexpr int ACT_OUTLINE_COPY_ALL = 114;
constexpr int ACT_OUTLINE_FILTER = 115;
constexpr int ACT_INFO_COPY_ALL = 117;
constexpr int ACT_HISTORY_NEW_ITEM = 118;
constexpr int ACT_HISTORY_COLLAPSE = 119;
constexpr int ACT_HISTORY_EXPAND = 120;
constexpr int ACT_HISTORY_COPY_ALL = 122;

constexpr int LARGE_ICON = 32;
constexpr int SMALL_ICON = 16;
// Qt's check state "checked", as the Info pane's boxes report it.
constexpr int STATE_CHECKED = 2;

const char TabStyle[] = "QToolBar{background:#ededed;border:0 solid #d3d3d3;border-bottom:1px solid "
                        "#dbdbdb;color:#EAEAEA;font-size:9pt}";

QString FromBytes(const char* text)
{
    return QString::fromLocal8Bit(text);
}

// The decimal number at the head of text; 0 when it starts with none.
int32_t LeadingNumber(const QString& text)
{
    int32_t digits = 0;
    while (digits < text.size() && text[digits].isDigit() && text[digits].unicode() < 128)
        ++digits;
    return text.left(digits).toInt();
}

void AddAction(QMenu& menu, QAction* action)
{
    if (action)
        menu.addAction(action);
}

TabBase* DocumentOf(TearOffTabDock* dock)
{
    return qobject_cast<TabBase*>(dock);
}
} // namespace

TabBase::TabBase(const char* name, QWidget* parent) : TearOffTabDock(parent), Prefs(PrefTabTable::Default())
{
    const QByteArray chosen = name ? QByteArray(name) : NewDocumentName().toLocal8Bit();
    Table = new KxTable(nullptr, chosen.constData(), PrefKxTable::Default());
    Init(true);
}

TabBase::TabBase(TabBase& tableTab, QWidget* parent) : TearOffTabDock(parent), Prefs(tableTab.Prefs)
{
    Table = tableTab.Table;
    Table->AddRef();
    Init(false);
}

TabBase::TabBase(KxTable* table, const PrefTabTable& prefs, QWidget* parent, OutlineFill outline)
    : TearOffTabDock(parent), Table(table), Prefs(prefs)
{
    KX_ASSERT(KxvTearoffChannel, Table);
    Init(true, outline);
}

void TabBase::Init(bool document, OutlineFill outline)
{
    CreateActions(this, TabBaseBindings, KxvTabShell().MainBindings());
    const int icon = PrefGlobal::LargeIcons ? LARGE_ICON : SMALL_ICON;
    setIconSize(QSize(icon, icon));
    if (document)
        NameAfterOpenCopies();
    setWindowTitle(FromBytes(Table->Name()));
    setStyleSheet(QString::fromLatin1(TabStyle));
    AddToolBar(this, true);
    Rows = Filtered = Selected = 0;
    CreateSidePanes();
    connect(this, &TabBase::SignalRecalculateLocalInformer, this, &TabBase::OnRecalculateLocalInformer);
    connect(this, &TabBase::SignalSetCurrentPosition, this, &TabBase::OnSetCurrentPosition);
    // Each stored phrase is pinned in its own colour; the tab's highlight
    // colour stays what its preferences say. Matching a phrase reads every
    // row: the Outline matches them all once, made below or by the opener
    // aside (a graph makes it in its build).
    const uint32_t highlight = Prefs.ColorHighlight;
    for (int32_t i = 0; i < Prefs.pinnedCount && i < PINNED_MAX; ++i) {
        const PinnedPhrase& pinned = Prefs.pinned[i];
        if (SetSearchExpression(FromBytes(pinned.phrase.c_str()), pinned.matchCase, uint32_t(pinned.mode))) {
            Prefs.ColorHighlight = uint32_t(pinned.color) & 0xFFFFFF;
            PinFindText(1);
        } else {
            ReportIncorrectExpression();
        }
    }
    Prefs.ColorHighlight = highlight;
    if (document)
        FillPanes(outline == OutlineFill::NOW ? MakeOutlineLines() : std::vector<OutlineLine>());
    MarkSaved();
}

TabBase::~TabBase()
{
    DisconnectParts();
    if (outlineAside_.valid()) {
        *outlineAsideStop_ = true;
        outlineAside_.wait();
    }
    TearOffMain* main = TearOffMain::Me;
    if (main) {
        // A tab deleted without the framework's close leaves no stale entry.
        main->Docks.removeAll(this);
        if (main->Docks.size() <= 2)
            KxvTabShell().LastDocumentClosed();
    }
    if (!Unseen) {
        const char* kind = GraphState == GRAPH_IS_GRAPH ? "Graph" : FuncsDocument ? "Functions document" : "Document";
        const QString text = QStringLiteral("%1 \"%2\" closed").arg(QLatin1String(kind), FromBytes(Table->Name()));
        KxvShell().ShowStatus(text);
        KxvShell().AddToSystemLog(text);
    }
    const QByteArray object = objectName().toLatin1();
    KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "~TabBase: %s (table: %s)", object.constData(), Table->Name());
    for (FixedHighlight* highlight : FixedHighlights) {
        if (highlight->expression)
            highlight->expression->Release();
        delete highlight;
    }
    FixedHighlights.clear();
    Table->Release();
    Table = nullptr;
    DeleteActions();
}

void TabBase::DisconnectParts()
{
    for (QObject* part : findChildren<QObject*>()) {
        part->disconnect(this);
        part->removeEventFilter(this);
    }
}

QString TabBase::NewDocumentName()
{
    int32_t largest = 0;
    if (TearOffMain* main = TearOffMain::Me) {
        for (TearOffTabDock* dock : main->Docks) {
            const QString title = dock->windowTitle();
            if (title.startsWith(QLatin1String("New")))
                largest = std::max(largest, LeadingNumber(title.mid(3)));
        }
    }
    return QStringLiteral("New%1").arg(largest + 1);
}

void TabBase::NameAfterOpenCopies()
{
    const char* path = Table->Path();
    // Tables made in memory have no file to be open twice.
    if (path[0] == '\0')
        return;
    const QList<TearOffTabDock*>& docks = TearOffMain::Me->Docks;
    int32_t copies = 0;
    for (int i = 2; i < docks.size(); ++i) {
        TabBase* other = DocumentOf(docks[i]);
        if (other && other != this && other->Table && other->GraphState != GRAPH_IS_GRAPH &&
            std::strcmp(other->Table->Path(), path) == 0)
            ++copies;
    }
    if (copies > 0)
        Table->SetName(QByteArray(Table->Name()).append('(').append(QByteArray::number(copies)).append(')'));
}

void TabBase::ShowTabMenu(QPoint globalPos)
{
    // No child of the tab, which a close in the menu's turn deletes.
    QMenu menu;
    AddAction(menu, Actions[ACT_DOCK_HORIZONTALLY]);
    AddAction(menu, Actions[ACT_DOCK_VERTICALLY]);
    AddAction(menu, Actions[ACT_DOCK_DETACH]);
    AddAction(menu, Actions[ACT_DOCK_ATTACH]);
    menu.addSeparator();
    AddAction(menu, Actions[ACT_SHOW_PRES_ERRORS]);
    PrefShowPresenErrors();
    if (OffersCompareTabs()) {
        menu.addSeparator();
        AddAction(menu, Actions[TACT_COMPARE_TABS]);
    }
    menu.exec(globalPos);
}

bool TabBase::IsModified()
{
    if (GraphState == GRAPH_IS_GRAPH)
        return false;
    if (Table->Modified())
        return true;
    if (SourceType == SOURCE_KXL)
        return SavedContentHash() != SavedHash;
    // A raw or imported file keeps nothing but its records: the work on
    // them lives on only in a ".kxl" document, which Save As writes.
    return SourceType != SOURCE_BUILT && WorkHash() != SavedWorkHash;
}

QString TabBase::DocumentName()
{
    return FromBytes(Table->Name());
}

bool TabBase::CanCloseSilently()
{
    return true;
}

bool TabBase::MayClose()
{
    return true;
}

void TabBase::TabRemoved()
{
    closed_ = true;
    if (ScriptsPanelHosted)
        KxvTabShell().ReturnScriptsPanel(this);
}

void TabBase::DiscardChanges()
{
    Table->SetModified(false);
    MarkSaved();
}

void TabBase::SetTabDockFocus() {}

void TabBase::ChangeActive(bool active)
{
    const QByteArray object = objectName().toLatin1();
    KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE,
             active ? "Tab activated %s (table: %s)" : "Tab deactivated %s (table: %s)", object.constData(),
             Table->Name());
    TearOffMain* main = TearOffMain::Me;
    if (active) {
        if (FindCombo)
            SearchHistoryCurIndexChanged(FindCombo->currentIndex());
        // The main window mixes in the same action array as the tab.
        if (auto* mainActions = dynamic_cast<ComActionBase<ComActionCount>*>(main)) {
            const bool hosted = ScriptsPanelHosted != 0;
            if (QAction* panel = mainActions->Actions[ACT_SCRIPT_PANEL])
                panel->setChecked(hosted);
            if (QAction* run = mainActions->Actions[ACT_SCRIPT_RUN])
                run->setEnabled(hosted);
        }
    }
    UpdateActions();
    if (main)
        main->UpdateActions();
}

bool TabBase::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
        return true;
    if (event->type() == QEvent::KeyRelease && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete &&
        FindCombo && (watched == FindCombo->view() || watched == FindCombo->view()->viewport()))
        DeleteInQuickSearch();
    return TearOffTabDock::eventFilter(watched, event);
}

void TabBase::UpdateTitle()
{
    QString title = windowTitle();
    title.remove(QLatin1Char('*'));
    if (Table->Modified())
        title += QLatin1Char('*');
    if (title == windowTitle())
        return;
    setWindowTitle(title);
    if (TabWidget) {
        const int index = TabWidget->indexOf(this);
        if (index >= 0)
            TabWidget->setTabText(index, title);
    }
}

bool TabBase::StillOpen(const QPointer<TabBase>& tab)
{
    return tab && !tab->closed_;
}

bool TabBase::TableChanged()
{
    // Rows that came or went may have changed the aux tree.
    RefreshTreePanes();
    // The pinned phrases' kept matches are of the rows as they were.
    OutlineLines.Forget();
    // The window is painted once, with the new rows and the new Outline in
    // place (a caller that changed the table may hold the updates off
    // already).
    const UpdatesOff quiet(TearOffMain::Me);
    // Resetting the view turns the event loop, which may close the tab.
    const QPointer<TabBase> self(this);
    ResetViewModel();
    if (!StillOpen(self))
        return false;
    SetCurrentPosition(std::min(Table->CurRow(), Table->RowCount() - 1));
    UpdateInformer();
    RefreshOutlineTable();
    return true;
}

QString TabBase::CountersText(int32_t rows, int32_t filtered, int32_t selected)
{
    QString text;
    if (selected > 0)
        text += QStringLiteral("Selected %1 / ").arg(selected);
    if (filtered > 0 && filtered < rows)
        text += QStringLiteral("Filtered %1 / ").arg(filtered);
    if (rows > 0)
        text += QStringLiteral("<b>%1 Rows</b>  ").arg(rows);
    return text;
}

void TabBase::SetCounter(const char* counter, int32_t value)
{
    if (std::strcmp(counter, "Rows") == 0)
        Rows = value;
    else if (std::strcmp(counter, "Filtered") == 0)
        Filtered = value;
    else if (std::strcmp(counter, "Selected") == 0)
        Selected = value;
    if (CountersLabel)
        CountersLabel->setText(CountersText(Rows, Filtered, Selected));
}

void TabBase::UpdateInformer()
{
    SetCounter("Rows", Table->RecordCount());
    SetCounter("Filtered", Table->FilterOn ? Table->RowCount() : 0);
    SetCounter("Selected", int32_t(Table->NumSelected));
    UpdateActions();
    if (GraphState == GRAPH_OPEN)
        UpdateGraphInformer();
}

void TabBase::OnSetCurrentPosition(int new_pos)
{
    SetCurrentPosition(new_pos);
}

void TabBase::OnRecalculateLocalInformer()
{
    UpdateRowNumberWidth();
    UpdateInformer();
}

void TabBase::Close()
{
    // This tab, not whichever tab of the group is current: a table tab
    // closes its graph this way while the graph lies behind it.
    if (TabWidget && TabWidget->TabBar && TabWidget->indexOf(this) >= 0)
        TabWidget->TabBar->DoTabClose(TabWidget->indexOf(this), true);
}

void TabBase::CloseSatellites()
{
    const QByteArray object = objectName().toLatin1();
    KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "TabBase::CloseSatellites: %s (table: %s)", object.constData(),
             Table->Name());
    Close();
}

void TabBase::notImplemented()
{
    TearOffMain::Prompt().Message(TearOffMain::Me, QMessageBox::NoIcon, QString(),
                                  QStringLiteral("NOT IMPLEMENTED!"), QMessageBox::Ok, QMessageBox::NoButton);
}

void TabBase::onTabMenuButton()
{
    auto* button = qobject_cast<QWidget*>(sender());
    if (!button || !button->parentWidget())
        return;
    QWidget* pane = button->parentWidget()->parentWidget();
    // No child of the tab, which a close in the menu's turn deletes.
    QMenu menu;
    if (pane && pane == InfoDock) {
        AddAction(menu, Actions[ACT_INFO_COPY_ALL]);
    } else if (pane && pane->inherits("PaneDocks")) {
        AddAction(menu, Actions[ACT_AUX_LEVELS]);
        menu.addSeparator();
        AddAction(menu, Actions[TACT_EXPAND_TREE_ON_REDRAW]);
        AddAction(menu, Actions[ACT_COLLAPSE_PANES]);
        AddAction(menu, Actions[ACT_EXPAND_PANES]);
        menu.addSeparator();
        AddAction(menu, Actions[ACT_COPY_AUX_TREE]);
    } else if (pane && pane == HistoryDock) {
        AddAction(menu, Actions[ACT_HISTORY_NEW_ITEM]);
        AddAction(menu, Actions[ACT_HISTORY_COLLAPSE]);
        AddAction(menu, Actions[ACT_HISTORY_EXPAND]);
        menu.addSeparator();
        AddAction(menu, Actions[ACT_HISTORY_COPY_ALL]);
    } else if (pane && pane == OutlineDock) {
        auto* group = new QGroupBox(&menu);
        group->setStyleSheet(QStringLiteral("QGroupBox{border:0}"));
        auto* layout = new QHBoxLayout(group);
        layout->setContentsMargins(5, 0, 0, 0);
        auto* box = new QCheckBox(group);
        box->setTristate(true);
        box->setFixedWidth(16);
        int on = 0;
        int enabled = 0;
        for (QAction* action : OutlineActions) {
            if (action && action->isEnabled()) {
                ++enabled;
                on += action->isChecked() ? 1 : 0;
            }
        }
        box->setCheckState(on == enabled ? Qt::Checked : on == 0 ? Qt::Unchecked : Qt::PartiallyChecked);
        connect(box, &QCheckBox::clicked, this, &TabBase::OutlineAllNone);
        auto* label = new QLabel(QStringLiteral("All/None"), group);
        label->setContentsMargins(6, 0, 0, 0);
        layout->addWidget(box);
        layout->addWidget(label);
        auto* row = new QWidgetAction(&menu);
        row->setDefaultWidget(group);
        menu.addAction(row);
        menu.addSeparator();
        for (QAction* action : OutlineActions)
            AddAction(menu, action);
        if (OutlineTable && OutlineTable->LineCount() > 0) {
            menu.addSeparator();
            AddAction(menu, Actions[ACT_OUTLINE_FILTER]);
            menu.addSeparator();
            AddAction(menu, Actions[ACT_OUTLINE_COPY_ALL]);
        }
    } else {
        return;
    }
    const Hold hold(this);
    menu.exec(button->mapToGlobal(button->rect().bottomLeft()));
    if (hold.Gone())
        return;
    // Left on the title bar's buttons, the keys would work them: Down and
    // Space would close the pane.
    SetTabDockFocus();
}

void TabBase::CollapseExpandPanes()
{
    if (QAction* action = Actions[TACT_EXPAND_TREE_ON_REDRAW])
        Prefs.ExpandNewHistoryItem = action->isChecked() ? 1 : 0;
}

void TabBase::onEditableBoxChecked(int state)
{
    Table->Prefs().editable = state == STATE_CHECKED ? 1 : 0;
    UpdateActions();
}

void TabBase::onShowPErrorsBoxChecked(int state)
{
    if (QAction* action = Actions[ACT_SHOW_PRES_ERRORS])
        action->setChecked(state == STATE_CHECKED);
    PrefShowPresenErrors();
}

void TabBase::UpdateInfoTime()
{
    QTableWidgetItem* item = InfoTable ? InfoTable->item(2, 1) : nullptr;
    if (!item)
        return;
    char text[FIELD_NUM_TEXT_MAX];
    // A format the TIME field cannot take (an edited file) shows as a number.
    const uint32_t format = FieldValidNumFormat(uint32_t(Table->Prefs().formats[FIELD_TIME]));
    fieldsConvertNum2Str(int64_t(Table->Prefs().Time0), text, format);
    item->setText(QString::fromLatin1(text));
}

void TabBase::SystemLogMessage(const char* text)
{
    KxvShell().AddToSystemLog(FromBytes(text));
}

void TabBase::CollapseAllHistory()
{
    if (HistoryTree)
        HistoryTree->collapseAll();
}

void TabBase::ExpandAllHistory()
{
    if (HistoryTree)
        HistoryTree->expandAll();
}
