#include "kxviewer/scriptspanel.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTextStream>
#include <QTreeWidget>

#include "kxviewer/actiontable.h"
#include "kxviewer/kxvchannels.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/readfile.h"
#include "kxviewer/shelltext.h"
#include "kxviewer/table/docktitlebar.h"
#include "kxviewer/table/tabbase.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"
#include "utils/osal/process.h"

namespace {

const char* const kLineLabels[ScriptsPanel::LINES] = {nullptr,       "File",           "Path",  "Run count",
                                                      "Last start",  "Execution time", "Status"};
const char kIndent[] = "   ";
const char kLastStartFormat[] = "hh:mm:ss dddd d MMMM yyyy";

} // namespace

QString ScriptsPanel::LineText(int32_t line, const QString& value)
{
    return QString::fromLatin1(kLineLabels[line]) + QStringLiteral(": ") + value;
}

QString ScriptsPanel::LastStartText(const QDateTime& time) { return time.toString(QLatin1String(kLastStartFormat)); }

QString ScriptsPanel::EntryPath(const ScriptEntry& entry) { return QFile::decodeName(entry.path.c_str()); }

ScriptsPanel::ScriptsPanel(MainWindow* window) : window_(window) { Build(); }

QAction* ScriptsPanel::Action(int32_t id) const { return window_->Actions[id]; }

TabBase* ScriptsPanel::Host() const { return dock_ ? qobject_cast<TabBase*>(dock_->parentWidget()) : nullptr; }

void ScriptsPanel::FillScriptData(const QString& path, Row& row)
{
    row.file = QFileInfo(path).fileName();
    row.name = path;
    row.description.clear();
    QFile file;
    // The description line says why what cannot be read is greyed.
    if (!OpenToRead(file, path, row.description, QIODevice::Text))
        return;
    row.readable = true;
    QTextStream in(&file);
    QString line;
    while (!in.atEnd() && (line = in.readLine().trimmed()).isEmpty()) {
    }
    if (line.startsWith(QLatin1String("//"))) {
        row.name = line.mid(2).trimmed();
        if (row.name.size() > NAME_LENGTH) {
            KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "MainWindow::FillScriptData: Name too long - truncated");
            row.name.truncate(NAME_LENGTH);
        }
    }
    int taken = 0;
    line = in.readLine().trimmed();
    while (line.startsWith(QLatin1String("//")) && taken < DESCRIPTION_LINES) {
        row.description += line.mid(2).trimmed() + QLatin1Char(' ');
        ++taken;
        line = in.readLine().trimmed();
    }
}

void ScriptsPanel::Build()
{
    dock_ = new QDockWidget(QStringLiteral("Scripts"), window_);
    dock_->setObjectName(QStringLiteral("ScriptsDock"));
    dock_->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    dock_->setStyleSheet(QStringLiteral("QDockWidget {background: #fafafa;} QDockWidget::title { background: "
                                        "#fafafa; padding-left: 5px; padding-top: 2px;}"));
    auto* bar = new DockTitlebar(dock_, nullptr, true);
    // The bar is no ancestor of the tree: its menu opens below the button
    // by screen position, and it is always the menu of the whole list.
    connect(bar->MenuButton, &QPushButton::clicked, this, [this, bar] {
        menuItem_ = nullptr;
        PopUpMenu(bar->MenuButton->mapToGlobal(QPoint(0, bar->MenuButton->height())));
        // Left on the title bar's buttons, the keys would work them: Down
        // and Space would close the panel. The document's panes do the same.
        if (TabBase* host = Host())
            host->SetTabDockFocus();
    });
    // Closed by its own button, the panel is the window's again: the
    // document that showed it would bring back a stale check mark when it
    // is current again, and would take the panel along when it goes.
    connect(bar->CloseButton, &QPushButton::clicked, this, [this] {
        if (TabBase* host = Host())
            host->ScriptsPanelHosted = 0;
        TakeBack();
    });
    dock_->setTitleBarWidget(bar);
    // Closed by its own button: the command's check mark follows. The dock
    // also hides and shows with the document holding it (another tab made
    // current): that leaves the panel on, and only the actions follow.
    connect(dock_->toggleViewAction(), &QAction::toggled, this, [this](bool shown) {
        if (!shown && dock_->isHidden()) {
            Action(ACT_SCRIPT_PANEL)->setChecked(false);
            SetShown(false);
            return;
        }
        UpdateActions();
    });
    window_->addDockWidget(Qt::RightDockWidgetArea, dock_);
    dock_->hide();

    tree_ = new QTreeWidget(dock_);
    tree_->setFont(PrefGlobal::Fonts[FONT_SIDE_PANELS]);
    tree_->setColumnCount(3);
    tree_->setHeaderHidden(true);
    tree_->header()->setStretchLastSection(true);
    tree_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tree_->setStyleSheet(QStringLiteral("QTreeView {border:1px solid #e9e9e9}"));
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    dock_->setWidget(tree_);

    rows_.clear();
    menuItem_ = currentItem_ = nullptr;
    int32_t most = -1;
    for (size_t i = 0; i < PrefGlobal::Scripts.size(); ++i) {
        rows_.push_back(std::make_unique<Row>());
        AddRow(int32_t(i));
        if (PrefGlobal::Scripts[i].counter > most) {
            most = PrefGlobal::Scripts[i].counter;
            current_ = int32_t(i);
        }
    }
    tree_->sortItems(2, Qt::DescendingOrder);
    tree_->setSortingEnabled(true);
    tree_->collapseAll();
    tree_->setExpandsOnDoubleClick(false);
    tree_->scrollToTop();
    tree_->resizeColumnToContents(0);
    tree_->hideColumn(2);
    UpdateActions();

    connect(tree_, &QWidget::customContextMenuRequested, this, &ScriptsPanel::ShowMenu);
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) { ItemChanged(item); });
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) { ItemDoubleClicked(item); });
    auto* del = new QShortcut(QKeySequence::Delete, tree_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(del, &QShortcut::activated, this, &ScriptsPanel::Delete);
}

void ScriptsPanel::EnsureBuilt()
{
    if (!dock_ && !running_)
        Build();
}

void ScriptsPanel::SetLine(Row& row, int32_t line, const QString& text)
{
    // Without the tree its items are gone with it.
    QTreeWidgetItem* item = tree_ ? row.lines[line] : nullptr;
    if (!item)
        return;
    item->setText(1, QLatin1String(kIndent) + text);
    item->setToolTip(1, text);
}

void ScriptsPanel::AddRow(int32_t index)
{
    Row& row = *rows_[size_t(index)];
    const ScriptEntry& entry = PrefGlobal::Scripts[size_t(index)];
    FillScriptData(EntryPath(entry), row);

    row.item = new QTreeWidgetItem();
    row.item->setText(0, QLatin1String(kIndent));
    row.item->setText(1, row.name);
    row.item->setDisabled(!row.readable);
    row.item->setData(2, Qt::DisplayRole, entry.counter);
    row.item->setData(1, Qt::UserRole, index);
    tree_->addTopLevelItem(row.item);

    auto* box = new QGroupBox();
    box->setStyleSheet(QStringLiteral("QGroupBox{border:0}"));
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    row.runButton = new QPushButton(box);
    row.stopButton = new QPushButton(box);
    row.runButton->setIcon(Action(ACT_SCRIPT_RUN)->icon());
    row.stopButton->setIcon(Action(ACT_SCRIPT_STOP)->icon());
    for (QPushButton* button : {row.runButton.data(), row.stopButton.data()}) {
        button->setFlat(true);
        button->setProperty("Script_index", index);
        layout->addWidget(button);
    }
    connect(row.runButton, &QPushButton::pressed, window_, &MainWindow::ScriptRun);
    connect(row.stopButton, &QPushButton::pressed, window_, &MainWindow::ScriptStop);
    row.stopButton->setEnabled(false);
    box->setEnabled(row.readable);
    tree_->setItemWidget(row.item, 0, box);

    const QDateTime lastStart =
        QDateTime::fromString(QString::fromLocal8Bit(entry.dateTime.c_str()), QLocale().dateTimeFormat(QLocale::ShortFormat));
    const QString texts[LINES] = {row.description,
                                  LineText(L_FILE, row.file),
                                  LineText(L_PATH, EntryPath(entry)),
                                  LineText(L_RUN_COUNT, QString::number(entry.counter)),
                                  LineText(L_LAST_START, LastStartText(lastStart)),
                                  LineText(L_EXEC_TIME, FormatMicroseconds(entry.execTime)),
                                  LineText(L_STATUS, StatusText(entry.status))};
    for (int32_t line = 0; line < LINES; ++line) {
        row.lines[line] = new QTreeWidgetItem(row.item);
        row.lines[line]->setDisabled(!row.readable);
        SetLine(row, line, texts[line]);
        row.lines[line]->setHidden(line == L_DESCRIPTION ? row.description.isEmpty()
                                                         : line >= L_RUN_COUNT && entry.counter < 1);
    }
    row.item->setExpanded(true);
}

QString ScriptsPanel::StatusText(int32_t status)
{
    static const char* const texts[] = {"Completed", "Running", "Interrupted by user", "Stopped after errors"};
    return status >= 0 && status < 4 ? QString::fromLatin1(texts[status]) : QString();
}

QTreeWidgetItem* ScriptsPanel::TopItem(QTreeWidgetItem* item) const
{
    while (item && item->parent())
        item = item->parent();
    return item;
}

int32_t ScriptsPanel::IndexOf(const Row* row) const
{
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].get() == row)
            return int32_t(i);
    return -1;
}

void ScriptsPanel::Add()
{
    if (!QDir(QString::fromLocal8Bit(PrefGlobal::ScriptDir.c_str())).exists())
        PrefGlobal::ScriptDir = QFile::encodeName(QDir::currentPath()).toStdString();
    const QString path = TearOffMain::Prompt().OpenFileName(window_, QStringLiteral("Open Script File"),
                                                            QFile::decodeName(PrefGlobal::ScriptDir.c_str()),
                                                            QStringLiteral("Script files (*.js);;All files (*.*);;"));
    if (path.isEmpty())
        return;
    PrefGlobal::ScriptDir = QFile::encodeName(QFileInfo(path).absolutePath()).toStdString();
    const std::string encoded = QFile::encodeName(path).toStdString();
    for (const ScriptEntry& entry : PrefGlobal::Scripts) {
        if (entry.path == encoded) {
            MainWindow::Information(QStringLiteral("This script file is already present in the list"), true);
            return;
        }
    }
    EnsureBuilt();
    ScriptEntry entry;
    entry.path = encoded;
    PrefGlobal::Scripts.push_back(entry);
    rows_.push_back(std::make_unique<Row>());
    if (tree_) {
        AddRow(int32_t(rows_.size()) - 1);
        // A row that arrives while a script runs waits for its turn.
        if (running_ && rows_.back()->runButton)
            rows_.back()->runButton->setEnabled(false);
        tree_->resizeColumnToContents(0);
        tree_->scrollToTop();
        tree_->setCurrentItem(tree_->topLevelItem(tree_->topLevelItemCount() - 1));
    }
    PrefGlobal::Save();
}

void ScriptsPanel::Delete()
{
    if (!tree_)
        return;
    QTreeWidgetItem* item = TopItem(menuItem_ ? menuItem_ : tree_->currentItem());
    if (!item)
        return;
    const int32_t index = item->data(1, Qt::UserRole).toInt();
    if (index < 0 || index >= RowCount())
        return;
    if (rows_[size_t(index)].get() == running_) {
        MainWindow::Information(
            QStringLiteral("Script \"%1\" is running and can not be deleted").arg(running_->name), true);
        menuItem_ = nullptr;
        return;
    }
    delete item;
    rows_.erase(rows_.begin() + index);
    PrefGlobal::Scripts.erase(PrefGlobal::Scripts.begin() + index);
    for (size_t i = size_t(index); i < rows_.size(); ++i) {
        Row& row = *rows_[i];
        if (row.item)
            row.item->setData(1, Qt::UserRole, int(i));
        for (QPushButton* button : {row.runButton.data(), row.stopButton.data()})
            if (button)
                button->setProperty("Script_index", int(i));
    }
    if (current_ >= RowCount())
        current_ = -1;
    PrefGlobal::Save();
    menuItem_ = currentItem_ = nullptr;
}

void ScriptsPanel::Copy()
{
    if (!tree_ || !menuItem_)
        return;
    QString text;
    if (!menuItem_->parent()) {
        text = menuItem_->text(1) + QLatin1Char('\n');
        for (int i = 0; i < menuItem_->childCount(); ++i)
            text += QLatin1String(kIndent) + menuItem_->child(i)->text(1) + QLatin1Char('\n');
    } else {
        text = menuItem_->text(1);
    }
    QApplication::clipboard()->setText(text);
}

void ScriptsPanel::ClearCounter()
{
    QTreeWidgetItem* item = tree_ ? TopItem(menuItem_) : nullptr;
    if (!item)
        return;
    const int32_t index = item->data(1, Qt::UserRole).toInt();
    if (index < 0 || index >= RowCount())
        return;
    PrefGlobal::Scripts[size_t(index)].counter = 0;
    SetLine(*rows_[size_t(index)], L_RUN_COUNT, LineText(L_RUN_COUNT, QStringLiteral("0")));
}

void ScriptsPanel::ExpandAll()
{
    if (tree_)
        tree_->expandAll();
}

void ScriptsPanel::CollapseAll()
{
    if (tree_)
        tree_->collapseAll();
}

void ScriptsPanel::ShowMenu(const QPoint& pos)
{
    menuItem_ = tree_->itemAt(pos);
    PopUpMenu(tree_->viewport()->mapToGlobal(pos));
}

void ScriptsPanel::PopUpMenu(const QPoint& globalPos)
{
    QMenu menu(window_);
    if (menuItem_) {
        menu.addAction(Action(ACT_SCRIPT_DELETE));
        menu.addAction(Action(ACT_SCRIPT_CLEAR_COUNTER));
        menu.addSeparator();
        menu.addAction(Action(ACT_SCRIPT_COPY));
    } else {
        // The title bar's menu: the commands of the whole list.
        menu.addAction(Action(ACT_SCRIPT_ADD));
        menu.addAction(Action(ACT_SCRIPT_EXPAND));
        menu.addAction(Action(ACT_SCRIPT_COLLAPSE));
    }
    menu.exec(globalPos);
}

void ScriptsPanel::ItemChanged(QTreeWidgetItem* current)
{
    if (!current)
        return;
    currentItem_ = current;
    current_ = TopItem(current)->data(1, Qt::UserRole).toInt();
    UpdateActions();
}

void ScriptsPanel::ItemDoubleClicked(QTreeWidgetItem* item)
{
    if (!item || item->parent())
        return;
    const int32_t index = item->data(1, Qt::UserRole).toInt();
    if (index < 0 || index >= RowCount())
        return;
    const QString path = EntryPath(PrefGlobal::Scripts[size_t(index)]);
    // The desktop's opener is started from an argument list with /dev/null
    // as its input: nothing of the viewer's own input reaches it.
    const QByteArray file = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    const char* const arguments[] = {file.constData()};
    QString problem;
    if (!QFileInfo::exists(path))
        problem = QStringLiteral("File %1 does not exist").arg(path);
    else if (ZmLib::PROCESS::Spawn("xdg-open", 1, arguments) == 0)
        problem = QStringLiteral("File %1 could not be opened by the desktop").arg(path);
    if (problem.isEmpty())
        return;
    MainWindow::AddToSystemLog(problem);
    MainWindow::Information(problem, true);
}

void ScriptsPanel::TakeBack()
{
    if (!dock_ || dock_->parentWidget() == window_)
        return;
    window_->addDockWidget(Qt::RightDockWidgetArea, dock_);
    dock_->hide();
    Action(ACT_SCRIPT_PANEL)->setChecked(false);
    SetShown(false);
}
