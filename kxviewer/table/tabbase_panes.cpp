// The side-pane frame of a document (the Info, Outline and History docks
// stacked at its left edge), the Info pane and its commands, the group
// switch of the panes, the aux-tree commands of the tab and the record
// report of the System Log.
#include <algorithm>
#include <iterator>
#include <chrono>
#include <future>
#include <memory>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDockWidget>
#include <QFontInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QScrollArea>
#include <QTableWidget>
#include <QToolButton>
#include <QPointer>

#include "kxlib/fields.h"
#include "kxlib/table/kxsearchexpr.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/auxtreedialog.h"
#include "kxviewer/table/docktitlebar.h"
#include "kxviewer/table/finddialog.h"
#include "kxviewer/table/guihelpers.h"
#include "kxviewer/table/panedocks.h"
#include "kxviewer/table/panestyles.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/inforows.h"
#include "kxviewer/table/tabbase.h"
#include "kxviewer/table/tabshell.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"
#include "tearoffwidget/tearofftabwidget.h"

namespace {
constexpr int ACT_SCRIPT_PANEL = 25;
constexpr int ACT_INFO_COPY = 116;

constexpr int INFO_ROWS = 7;
constexpr int INFO_LABEL_WIDTH = 120;
constexpr int INFO_VALUE_WIDTH = 117;
constexpr int INFO_LABEL_PADDING = 12;
const char* const InfoLabels[INFO_ROWS] = {"Name",     "Source",   "Creation time", "Relative time",
                                           "Editable", "Presentation errors", "Version"};
// The rows "Copy All" writes, in order; the switches are left out.
constexpr int CopiedInfoRows[] = {INFO_NAME, INFO_SOURCE, INFO_CREATION, INFO_VERSION};

// Which pane is in front, as "PanesStartDock" counts them.
enum FrontPane : int32_t { FRONT_INFO = 0, FRONT_OUTLINE = 1, FRONT_HISTORY = 2 };

const char InfoTableStyle[] = "QTableWidget{border:0}";
const char ScrollStyle[] = "QScrollArea{border:1px solid #e1e1e1; background:#fafafa}";
const char InfoTableDockStyle[] = "QDockWidget::title{background:#fafafa;text-align:center;padding-top:2px}";
const QColor LabelEnabled(Qt::black);
const QColor LabelDisabled(0xc0, 0xc0, 0xc0);
constexpr int FIELD_TITLE_WIDTH = 17;
// The progress of "Select Levels": the records' pass fills the bar to
// AUX_TREE_FILLED, the panes and view the rest.
constexpr int AUX_TREE_STEPS = 100;
constexpr int AUX_TREE_FILLED = 95;
// How often work done aside lets the event loop turn.
constexpr int ASIDE_TURN_MS = 20;

QString FromBytes(const char* text)
{
    return QString::fromLocal8Bit(text);
}

QTableWidgetItem* FixedItem(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

// A check box in a borderless group, as the cell widget of an Info row.
QCheckBox* CellCheckBox(QTableWidget* table, int row, bool checked)
{
    auto* group = new QGroupBox(table);
    group->setStyleSheet(QString::fromLatin1(BorderlessGroupStyle));
    auto* layout = new QHBoxLayout(group);
    layout->setContentsMargins(3, 0, 0, 0);
    auto* box = new QCheckBox(group);
    box->setChecked(checked);
    layout->addWidget(box);
    table->setCellWidget(row, 1, group);
    return box;
}

void ConnectDockSignals(TabBase* tab, QDockWidget* dock)
{
    QObject::connect(dock, &QDockWidget::visibilityChanged, tab, &TabBase::checkedToVisible);
    QObject::connect(dock->toggleViewAction(), &QAction::toggled, tab, &TabBase::checkedToggle);
}

// The longest head of text whose local bytes fit capacity, cut between
// characters.
QByteArray CutToCapacity(const QString& text, int capacity)
{
    QByteArray bytes = text.toLocal8Bit();
    int end = text.size();
    while (bytes.size() > capacity && end > 0) {
        --end;
        if (end > 0 && text[end].isLowSurrogate())
            --end;
        bytes = text.left(end).toLocal8Bit();
    }
    return bytes;
}
} // namespace

int TabBase::PaneRowHeight()
{
    const QFont& font = PrefGlobal::Fonts[FONT_SIDE_PANELS];
    // A font given in pixels has no point size of its own.
    const int points = font.pointSize() > 0 ? font.pointSize() : QFontInfo(font).pointSize();
    return points * 12 / 5;
}

void TabBase::CreateSidePanes()
{
    AuxTreeDock = new PaneDocks(QStringLiteral("Outline"), this);
    if (QAction* expand = Actions[TACT_EXPAND_TREE_ON_REDRAW])
        expand->setChecked(Prefs.ExpandNewHistoryItem != 0);

    InfoDock = new QDockWidget(QStringLiteral("Info"), this);
    InfoDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    InfoDock->setStyleSheet(QString::fromLatin1(PaneDockStyle) + QString::fromLatin1(InfoTableStyle));
    auto* scroll = new QScrollArea(InfoDock);
    scroll->setContentsMargins(0, 0, 0, 0);
    scroll->setWidgetResizable(true);
    scroll->setStyleSheet(QString::fromLatin1(ScrollStyle));
    InfoDock->setWidget(scroll);
    UpdateInformer();

    const int rowHeight = PaneRowHeight();
    auto* inner = new QMainWindow(scroll);
    inner->setWindowFlags(Qt::Widget);
    auto* tableDock = new QDockWidget(inner);
    tableDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    tableDock->setTitleBarWidget(new QWidget(tableDock));
    tableDock->setStyleSheet(QString::fromLatin1(InfoTableDockStyle));
    tableDock->setFixedHeight(INFO_ROWS * rowHeight);
    CreateInfoTable(tableDock, rowHeight);
    tableDock->setWidget(InfoTable);

    if (QAction* pin = Actions[TACT_PIN])
        pin->setData(Prefs.outline[JUMP_HIGHLIGHT] != 0);
    CreateOutlinePane();
    CreateHistoryPane();

    inner->addDockWidget(Qt::LeftDockWidgetArea, tableDock);
    inner->addDockWidget(Qt::LeftDockWidgetArea, AuxTreeDock);
    inner->splitDockWidget(tableDock, AuxTreeDock, Qt::Vertical);
    scroll->setWidget(inner);
    InfoDock->setTitleBarWidget(new DockTitlebar(InfoDock, this, true));
    AuxTreeDock->setTitleBarWidget(new DockTitlebar(AuxTreeDock, this, false));
    OutlineDock->setTitleBarWidget(new DockTitlebar(OutlineDock, this, true));
    HistoryDock->setTitleBarWidget(new DockTitlebar(HistoryDock, this, true));

    AuxTreeDock->toggleViewAction()->setText(QStringLiteral("Info threads"));
    AuxTreeDock->toggleViewAction()->setEnabled(false);
    tableDock->toggleViewAction()->setText(QStringLiteral("Info table"));
    tableDock->toggleViewAction()->setEnabled(false);
    InfoDock->toggleViewAction()->setText(QStringLiteral("Info"));
    OutlineDock->toggleViewAction()->setText(QStringLiteral("Outline"));
    HistoryDock->toggleViewAction()->setText(QStringLiteral("History tree"));

    addDockWidget(Qt::LeftDockWidgetArea, InfoDock);
    tabifyDockWidget(InfoDock, OutlineDock);
    tabifyDockWidget(OutlineDock, HistoryDock);
    RaisePane(PrefGlobal::PanesStartDockAtStart);

    for (QDockWidget* dock : {InfoDock, OutlineDock, HistoryDock})
        ConnectDockSignals(this, dock);

    if (QToolButton* button = ToolButtons[BUTTON_SIDE_PANELS]) {
        auto* menu = new QMenu(this);
        menu->addAction(OutlineDock->toggleViewAction());
        menu->addAction(InfoDock->toggleViewAction());
        menu->addAction(HistoryDock->toggleViewAction());
        menu->addSeparator();
        // The main window mixes in the same action array as the tab.
        if (auto* main = dynamic_cast<ComActionBase<ComActionCount>*>(TearOffMain::Me))
            if (QAction* scripts = main->Actions[ACT_SCRIPT_PANEL])
                menu->addAction(scripts);
        button->setMenu(menu);
    }
}

void TabBase::CreateInfoTable(QWidget* parent, int rowHeight)
{
    InfoTable = new QTableWidget(INFO_ROWS, 2, parent);
    InfoTable->setFont(PrefGlobal::Fonts[FONT_SIDE_PANELS]);
    InfoTable->horizontalHeader()->hide();
    InfoTable->verticalHeader()->hide();
    InfoTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    InfoTable->verticalHeader()->setMinimumSectionSize(rowHeight);
    InfoTable->verticalHeader()->setDefaultSectionSize(rowHeight);
    // Wider where the system font needs it for the longest label.
    int labelWidth = INFO_LABEL_WIDTH;
    for (const char* label : InfoLabels)
        labelWidth = std::max(labelWidth, InfoTable->fontMetrics().horizontalAdvance(QString::fromLatin1(label)) +
                                              INFO_LABEL_PADDING);
    InfoTable->setColumnWidth(0, labelWidth);
    // Both columns stay in view: the pane is as wide as they need.
    InfoTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    InfoTable->setMinimumWidth(labelWidth + INFO_VALUE_WIDTH + 2 * InfoTable->frameWidth());
    InfoTable->setColumnWidth(1, INFO_VALUE_WIDTH);
    InfoTable->horizontalHeader()->setStretchLastSection(true);
    InfoTable->setContextMenuPolicy(Qt::CustomContextMenu);
    for (int row = 0; row < INFO_ROWS; ++row)
        InfoTable->setItem(row, 0, FixedItem(QString::fromLatin1(InfoLabels[row])));

    auto* name = new QTableWidgetItem(FromBytes(Table->Name()));
    InfoTable->setItem(INFO_NAME, 1, name);
    InfoTable->setItem(INFO_SOURCE, 1, FixedItem(FromBytes(Table->Path())));
    InfoTable->setItem(INFO_CREATION, 1, FixedItem(QString()));
    UpdateInfoTime();
    QTableWidgetItem* relative = FixedItem(QString());
    relative->setCheckState(Table->TimeNormalised() ? Qt::Checked : Qt::Unchecked);
    // Only the slot turns normalisation on or off; the mark follows.
    relative->setFlags(relative->flags() & ~Qt::ItemIsUserCheckable);
    InfoTable->setItem(INFO_RELATIVE, 1, relative);
    const char* version = Table->VersionText();
    InfoTable->setItem(INFO_VERSION, 1, FixedItem(version ? FromBytes(version) : QString()));

    EditableBox = CellCheckBox(InfoTable, INFO_EDITABLE, Table->IsEditable());
    QAction* presErrors = Actions[TACT_SHOW_PRES_ERRORS];
    PresErrorsBox = CellCheckBox(InfoTable, INFO_PRES_ERRORS, presErrors && presErrors->isChecked());
    UpdateEditableBox(!Table->FilterOn);

    connect(EditableBox, &QCheckBox::stateChanged, this, &TabBase::onEditableBoxChecked);
    connect(PresErrorsBox, &QCheckBox::stateChanged, this, &TabBase::onShowPErrorsBoxChecked);
    connect(InfoTable, &QTableWidget::itemClicked, this, &TabBase::InfoPaneTimeNormalizeChanged);
    connect(InfoTable->itemDelegate(), &QAbstractItemDelegate::commitData, this, &TabBase::InfoDataEdited);
    connect(InfoTable, &QTableWidget::customContextMenuRequested, this, &TabBase::InfoTableCustomMenuRequested);
    InfoTable->setCurrentCell(0, 0);
}

void TabBase::InfoDataEdited(QWidget* cur_widget)
{
    QTableWidgetItem* item = InfoTable->item(INFO_NAME, 1);
    auto* editor = qobject_cast<QLineEdit*>(cur_widget);
    const QString text = editor ? editor->text() : item->text();
    if (text.trimmed().isEmpty()) {
        const QSignalBlocker blocker(InfoTable);
        item->setText(FromBytes(Table->Name()));
        KxvShell().ShowStatus(QStringLiteral("A document name cannot be blank"), true);
        return;
    }
    setWindowTitle(text);
    if (TabWidget) {
        const int index = TabWidget->indexOf(this);
        if (index >= 0)
            TabWidget->setTabText(index, text);
    }
    Table->SetName(CutToCapacity(text, KxTable::NAME_CAPACITY).constData());
}

void TabBase::InfoPaneTimeNormalizeChanged(QTableWidgetItem* item)
{
    if (item && item->row() == INFO_RELATIVE && item->column() == 1)
        PrefRelativeTime();
}

void TabBase::InfoTableCustomMenuRequested(QPoint pos)
{
    InfoMenuItem = InfoTable->itemAt(pos);
    // No child of the tab, which a close in the menu's turn deletes.
    QMenu menu;
    if (QAction* copy = Actions[ACT_INFO_COPY])
        menu.addAction(copy);
    menu.exec(InfoTable->viewport()->mapToGlobal(pos));
}

void TabBase::CopyInfo()
{
    if (!InfoMenuItem)
        return;
    const QTableWidgetItem* value = InfoTable->item(InfoMenuItem->row(), 1);
    QApplication::clipboard()->setText(value ? value->text() : QString());
}

void TabBase::CopyAllInfo()
{
    QString text;
    for (int row : CopiedInfoRows)
        text += InfoTable->item(row, 0)->text() + QLatin1Char(':') + InfoTable->item(row, 1)->text() +
                QLatin1Char('\n');
    QApplication::clipboard()->setText(text);
}

void TabBase::UpdateEditableBox(bool enabled)
{
    if (!EditableBox)
        return;
    {
        const QSignalBlocker blocker(EditableBox);
        EditableBox->setChecked(Table->IsEditable());
    }
    EditableBox->setEnabled(enabled);
    InfoTable->item(INFO_EDITABLE, 0)->setForeground(enabled ? LabelEnabled : LabelDisabled);
}

void TabBase::RecordInfoText(int32_t row)
{
    if (row < 0 || row >= Table->RowCount())
        return;
    KxdRecord* record = Table->GetRecord(row);
    KxvShell().AddToSystemLog(QStringLiteral("Table: %1, Row #%2:").arg(FromBytes(Table->Name())).arg(row + 1));
    for (int field = 0; field < FIELD_Nums; ++field)
        KxvShell().AddToSystemLog(QString::fromLatin1(FieldTitle(field)).rightJustified(FIELD_TITLE_WIDTH) +
                                      QLatin1String(": ") + FromBytes(record->Text(field)),
                                  KxvShellServices::LOG_ICON_NONE);
}

void TabBase::RaisePane(int32_t front)
{
    QDockWidget* dock = front == FRONT_OUTLINE ? OutlineDock : front == FRONT_HISTORY ? HistoryDock : InfoDock;
    dock->raise();
}

void TabBase::SidePanelsOnOff()
{
    QAction* action = Actions[TACT_SIDE_PANELS];
    if (!action || !InfoDock)
        return;
    QDockWidget* scripts = ScriptsPanelHosted ? KxvTabShell().ScriptsDock() : nullptr;
    // The toggle actions too: hiding the group is not the user closing
    // every pane, which would bring all three back next time.
    const QSignalBlocker info(InfoDock);
    const QSignalBlocker outline(OutlineDock);
    const QSignalBlocker history(HistoryDock);
    const QSignalBlocker infoToggle(InfoDock->toggleViewAction());
    const QSignalBlocker outlineToggle(OutlineDock->toggleViewAction());
    const QSignalBlocker historyToggle(HistoryDock->toggleViewAction());
    if (action->isChecked()) {
        if (!Prefs.PanelInfo && !Prefs.PanelTree && !Prefs.PanelHistory)
            Prefs.PanelInfo = Prefs.PanelTree = Prefs.PanelHistory = 1;
        if (scripts)
            scripts->show();
        OutlineDock->setVisible(Prefs.PanelTree != 0);
        InfoDock->setVisible(Prefs.PanelInfo != 0);
        HistoryDock->setVisible(Prefs.PanelHistory != 0);
        RaisePane(PrefGlobal::PanesStartDock);
        if (scripts && ScriptsPanelHosted == 1)
            scripts->raise();
        return;
    }
    if (scripts) {
        ScriptsPanelHosted = scripts->visibleRegion().isEmpty() ? 2 : 1;
        scripts->hide();
    }
    Prefs.PanelInfo = InfoDock->toggleViewAction()->isChecked() ? 1 : 0;
    Prefs.PanelTree = OutlineDock->toggleViewAction()->isChecked() ? 1 : 0;
    Prefs.PanelHistory = HistoryDock->toggleViewAction()->isChecked() ? 1 : 0;
    InfoDock->hide();
    OutlineDock->hide();
    HistoryDock->hide();
}

void TabBase::checkedToVisible(bool mode)
{
    if (!mode)
        return;
    QObject* dock = sender();
    PrefGlobal::PanesStartDock = dock == OutlineDock ? FRONT_OUTLINE : dock == InfoDock ? FRONT_INFO : FRONT_HISTORY;
}

void TabBase::checkedToggle(bool)
{
    QAction* action = Actions[TACT_SIDE_PANELS];
    if (!action)
        return;
    QDockWidget* scripts = ScriptsPanelHosted ? KxvTabShell().ScriptsDock() : nullptr;
    const bool any = InfoDock->toggleViewAction()->isChecked() || OutlineDock->toggleViewAction()->isChecked() ||
                     HistoryDock->toggleViewAction()->isChecked() ||
                     (scripts && scripts->toggleViewAction()->isChecked());
    const QSignalBlocker blocker(action);
    action->setChecked(any);
    if (!any)
        Prefs.PanelInfo = Prefs.PanelTree = Prefs.PanelHistory = 1;
}

void TabBase::CollapseAllPanes()
{
    if (AuxTreeDock)
        AuxTreeDock->CollapseAll();
}

void TabBase::ExpandAllPanes()
{
    if (AuxTreeDock)
        AuxTreeDock->ExpandAll();
}

void TabBase::UpdatePanes() { FillPanes(MakeOutlineLines()); }

namespace {
// A copy of a pinned expression, made as the table made the original: the
// same text, match case and mode. Null when none can be made.
KxSearchExpression* CopyExpression(const KxSearchExpression& original)
{
    KxSearchExpression* copy = KxTable::NewSearchExpression();
    if (copy == nullptr)
        return nullptr;
    // An automatic text was tried as an expression first; any other simple
    // one was asked for as plain text.
    const bool asPlain = !original.tentative && original.IsSimple();
    if (!copy->Construct(original.text, original.matchCase != 0, asPlain)) {
        copy->Release();
        return nullptr;
    }
    copy->tentative = original.tentative;
    copy->Parse();
    return copy;
}

// What the worker of MakeOutlineLinesAside reads and writes besides the
// table: its own builder, conditions and expressions.
struct OutlineJob {
    OutlineJob() = default;
    OutlineJob(const OutlineJob&) = delete;
    OutlineJob& operator=(const OutlineJob&) = delete;
    ~OutlineJob()
    {
        for (const OutlineBuilder::Phrase& phrase : phrases)
            phrase.own->Release();
    }
    OutlineBuilder builder;
    uint8_t conditions[JUMP_Nums] = {};
    std::vector<OutlineBuilder::Phrase> phrases;
    std::vector<OutlineLine> lines;
};
} // namespace

std::vector<OutlineLine> TabBase::MakeOutlineLinesAside(const std::function<bool()>& turn,
                                                        const OutlineBuilder::Progress& progress)
{
    if (!OutlineRefreshes())
        return {};
    auto job = std::make_shared<OutlineJob>();
    job->builder = OutlineLines;
    std::copy(std::begin(Prefs.outline), std::end(Prefs.outline), job->conditions);
    for (const FixedHighlight* pinned : FixedHighlights) {
        if (!pinned->expression)
            continue;
        // A phrase whose copy cannot be made shows no matches this time.
        if (KxSearchExpression* own = CopyExpression(*pinned->expression))
            job->phrases.push_back({pinned->expression, pinned->color, own});
    }
    KxTable* table = Table;
    const auto stop = std::make_shared<std::atomic<bool>>(false);
    // Shared with the tab, whose destructor waits for it before the table
    // goes: a turn may close the tab while the worker reads the table.
    const std::shared_future<void> work =
        std::async(std::launch::async, [this, job, table, progress, stop] {
            job->lines = job->builder.Build(
                *table, job->conditions, job->phrases,
                [this, stop](KxSearchExpression& expression, int32_t row, KxdRecord* record) {
                    return !*stop && HighlightMatches(expression, row, record);
                },
                progress);
        }).share();
    outlineAside_ = work;
    outlineAsideStop_ = stop;
    while (work.wait_for(std::chrono::milliseconds(ASIDE_TURN_MS)) != std::future_status::ready)
        if (!turn()) {
            // The builder copy with its half-made matches is dropped.
            *stop = true;
            work.wait();
            return {};
        }
    // The matches the worker kept are the tab's from now on.
    OutlineLines = std::move(job->builder);
    return std::move(job->lines);
}

void TabBase::FillPanes(std::vector<OutlineLine> outline, const std::function<bool()>& treeBuilt)
{
    if (AuxTreeDock)
        AuxTreeDock->BuildTree();
    if (treeBuilt && !treeBuilt())
        return;
    ShowOutlineLines(std::move(outline));
    ColorizeNeedsTree();
}

void TabBase::ColorizeNeedsTree()
{
    if (Table->Prefs().TreeLevel1Field >= 0 || !Prefs.Colorize)
        return;
    if (QAction* colorize = Actions[TACT_COLORIZE]) {
        colorize->setChecked(false);
        emit colorize->triggered(Prefs.Colorize != 0);
    }
}

void TabBase::CopyAuxTreeToClipboard()
{
    const KxAuxTree& aux = Table->AuxTree();
    QString text;
    for (const KxAuxNode1* node = aux.First(); node; node = node->next) {
        text += FromBytes(node->text) + QLatin1Char('\n');
        if (aux.Level2() < 0)
            continue;
        for (const KxAuxNode2* child = node->first; child; child = child->next)
            text += QLatin1String("    ") + FromBytes(child->text) + QLatin1Char('\n');
    }
    QApplication::clipboard()->setText(text);
}

void TabBase::PrefChooseAuxTreeLevels()
{
    PrefKxTable& prefs = Table->Prefs();
    int32_t levels[2] = {prefs.TreeLevel1Field, prefs.TreeLevel2Field};
    // Over the document's own window, main or secondary. The chooser turns
    // the event loop, which may close the document, and a secondary window
    // goes with its last document, the chooser with it.
    const QPointer<AuxTreeDialog> dialog = new AuxTreeDialog(levels, window(), Table);
    const QPointer<TabBase> self(this);
    const int answer = TearOffMain::Prompt().Exec(dialog);
    delete dialog.data();
    if (answer != 1 || !StillOpen(self))
        return;
    SetAuxTreeLevels(levels[0], levels[1]);
}

void TabBase::RefreshTreePanes()
{
    if (AuxTreeDock)
        AuxTreeDock->Refresh();
    if (!TearOffMain::Me)
        return;
    for (TearOffTabDock* dock : TearOffMain::Me->Docks)
        if (auto* other = dynamic_cast<TabBase*>(dock); other && other != this && other->Table == Table &&
                                                         other->AuxTreeDock)
            other->AuxTreeDock->Refresh();
}

void TabBase::SetAuxTreeLevels(int32_t first, int32_t second)
{
    const QString name = FromBytes(Table->Name());
    const QString fields = QStringLiteral("(%1,%2)").arg(first).arg(second);
    const int32_t records = Table->RecordCount();
    // A table of one block is built before anyone could notice.
    std::unique_ptr<KxvProgress> progress;
    if (records > int32_t(KxTblock::SIZE)) {
        progress = KxvShell().CreateProgress(QStringLiteral("Building the tree of ") + name,
                                             QStringLiteral("Cancel"), 0, AUX_TREE_STEPS);
        progress->SetWindow(this);
        progress->Show();
    }
    // Each turn of the event loop may close the document: nothing of it is
    // touched once it is gone. The display cannot be put away without
    // cancelling: hidden (Escape, the title bar) counts as cancelled.
    const QPointer<TabBase> self(this);
    const auto turn = [&progress, &self](int value) {
        if (!progress)
            return true;
        if (progress->WasCanceled() || !progress->IsVisible())
            return false;
        progress->SetValue(value);
        KxvShell().ProcessEvents();
        return StillOpen(self) && !progress->WasCanceled() && progress->IsVisible();
    };
    // A turn once nothing is to be cancelled any more.
    const auto settle = [&progress, &self](int value) {
        if (progress && progress->IsVisible()) {
            progress->SetValue(value);
            KxvShell().ProcessEvents();
        }
        return StillOpen(self);
    };
    // The table's own tree stays whole for whatever the turns paint; a
    // cancel leaves it and the levels as they were. The tree left over
    // (the old one, or the new one cancelled) may be large: it is freed as
    // the table frees its own.
    auto tree = std::make_unique<KxAuxTree>(first, second);
    // A cancel is honoured up to the swap: the turn after the tree is whole
    // delivers what the user pressed while the display last offered it,
    // and a Cancel still held down counts as the offer goes. Then the
    // display withdraws the offer and shows so at once, before the
    // work that follows, which nothing stops.
    bool built = turn(0) &&
                 Table->FillAuxTree(*tree, [&turn, records](int32_t done) {
                     return turn(int(int64_t(done) * AUX_TREE_FILLED / std::max(records, 1)));
                 }) &&
                 turn(AUX_TREE_FILLED);
    if (built && progress) {
        progress->ForbidCancel();
        built = !progress->WasCanceled() && settle(AUX_TREE_FILLED + 1);
    }
    if (!built) {
        KxTable::FreeAuxTree(std::move(tree));
        if (progress)
            progress->Close();
        KxvShell().AddToSystemLog(
            QStringLiteral("Document \"%1\": Auxiliary tree fields %2 cancelled").arg(name, fields));
        return;
    }
    // From the swap on the new tree is the table's: the rest runs to its end.
    KxvShell().AddToSystemLog(QStringLiteral("Document \"%1\": Auxiliary tree fields chosen %2").arg(name, fields));
    PrefKxTable& prefs = Table->Prefs();
    prefs.TreeLevel1Field = first;
    prefs.TreeLevel2Field = second;
    Table->AuxTree().Swap(*tree);
    KxTable::FreeAuxTree(std::move(tree));
    // Every pane showing the table's tree hears of the new one at once.
    RefreshTreePanes();
    // The Outline is made aside, then the view shown, with turns of the
    // event loop between.
    if (!settle(AUX_TREE_FILLED + 1))
        return;
    std::vector<OutlineLine> outline = MakeOutlineLinesAside([&settle] { return settle(AUX_TREE_FILLED + 2); });
    if (!StillOpen(self))
        return;
    ShowOutlineLines(std::move(outline));
    ColorizeNeedsTree();
    if (!settle(AUX_TREE_FILLED + 3))
        return;
    UpdateBase();
    if (settle(AUX_TREE_STEPS) && progress)
        progress->Close();
}

QString TabBase::AuxTreeExpression(KxdRecord* record)
{
    const PrefKxTable& prefs = Table->Prefs();
    QString expression;
    for (int32_t field : {prefs.TreeLevel1Field, prefs.TreeLevel2Field}) {
        if (field < 0 || field >= FIELD_Nums || !*record->Text(field))
            continue;
        const QString text = FromBytes(record->Text(field));
        const QString part = FieldTable[field].desc.kind == FIELD_KIND_STRING
                                 ? QuotedCondition(FieldKey(field), "~", text)
                                 : QString::fromLatin1(FieldKey(field)) + QLatin1String("==") + text;
        if (part.isEmpty())
            return QString();
        // The find dialog's Compare mode joins the levels as its rows.
        const FindDialog* find = FindDialog::Existing();
        if (!expression.isEmpty())
            expression += !find || find->AndMode() ? QLatin1String(" && ") : QLatin1String(" || ");
        expression += part;
    }
    return FitsSearchExpression(expression) ? expression : QString();
}

int32_t TabBase::AuxTreeLevelIndex(int32_t field)
{
    const PrefKxTable& prefs = Table->Prefs();
    if (field < 0 || prefs.TreeLevel1Field < 0)
        return -1;
    if (field == prefs.TreeLevel1Field)
        return 0;
    return field == prefs.TreeLevel2Field ? 1 : -1;
}
