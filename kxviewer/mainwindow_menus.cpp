// Menus, toolbars and the commands that show or hide them.
#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QWhatsThis>

#include "kxviewer/actiontable.h"
#include "kxviewer/buildstamp.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/table/tabbase.h"
#include "tearoffwidget/tearoffprompt.h"
#include "tearoffwidget/tearofftabdock.h"

namespace {

constexpr int SEP = -1;


constexpr int FILE_HEAD[] = {ACT_NEW_BLANK, ACT_OPEN, SEP, ACT_CLOSE, ACT_CLOSE_ALL, SEP, ACT_SAVE, ACT_SAVE_AS,
                             ACT_SAVE_ALL, SEP, ACT_IMPORT};
constexpr int EXPORT_MENU[] = {ACT_EXPORT_PDF, ACT_EXPORT_EXCEL, ACT_EXPORT_CSV, ACT_EXPORT_TXT};
constexpr int EDIT_MENU[] = {ACT_COPY, ACT_PASTE, SEP, ACT_ERASE, SEP, ACT_SELECT_ALL};
constexpr int SEARCH_MENU[] = {ACT_FIND,           ACT_FIND_NEXT,      ACT_FIND_BACK,     SEP,
                               ACT_PREV_POINT,     ACT_NEXT_POINT,     ACT_PREV_STOP,     ACT_NEXT_STOP,
                               ACT_JUMP_HOME,      ACT_JUMP_END,       ACT_PREV_SELECTION, ACT_NEXT_SELECTION,
                               ACT_PREV_BOOKMARK,  ACT_NEXT_BOOKMARK,  ACT_PREV_HIGHLIGHT, ACT_NEXT_HIGHLIGHT,
                               ACT_PREV_ERROR,     ACT_NEXT_ERROR};
constexpr int MOVE_MENU[] = {ACT_DOCK_HORIZONTALLY, ACT_DOCK_VERTICALLY, ACT_DOCK_DETACH, ACT_CLONE,
                             ACT_DOCK_ATTACH, SEP};
constexpr int TOOLS_MENU[] = {ACT_FUNCTION_CHAINS, ACT_GRAPH, SEP, ACT_IMPORT_FORMATS, ACT_PREFERENCES};

// Toolbars in the order of the preference list; WHATS_THIS stands for Qt's
// What's-this action.
constexpr int WHATS_THIS = -2;
constexpr int MAX_TOOLBAR_ITEMS = 9;
struct ToolbarItems {
    int count;
    int ids[MAX_TOOLBAR_ITEMS];
};
constexpr ToolbarItems TOOLBARS[MainWindow::MAIN_TOOLBAR_COUNT] = {
    {4, {ACT_NEW_BLANK, ACT_OPEN, 1, 2}},
    {9, {ACT_IMPORT, ACT_EXPORT_CSV, ACT_EXPORT_PDF, ACT_EXPORT_EXCEL, ACT_EXPORT_TXT, SEP, ACT_SAVE, ACT_SAVE_AS,
         ACT_SAVE_ALL}},
    {3, {ACT_COPY, ACT_PASTE, ACT_ERASE}},
    {3, {ACT_SCRIPT_PANEL, ACT_SCRIPT_RUN, ACT_SCRIPT_STOP}},
    {6, {ACT_FULL_SCREEN, ACT_SYSTEM_PANELS, ACT_DOCK_HORIZONTALLY, ACT_DOCK_VERTICALLY, ACT_DOCK_DETACH,
         ACT_DOCK_ATTACH}},
    {2, {ACT_FUNCTION_CHAINS, ACT_GRAPH}},
    {5, {ACT_IMPORT_FORMATS, ACT_PREFERENCES, SEP, ACT_ABOUT, WHATS_THIS}},
};
static_assert(GLOBAL_TOOLBAR_COUNT == MainWindow::MAIN_TOOLBAR_COUNT, "one preference per main toolbar");

// A menu's entries that are no command lead, in What's-this mode, to the
// help line named as the menu is.
void NameHelpLine(QMenu* menu) { menu->setWhatsThis(menu->title().remove(QLatin1Char('&'))); }

template <size_t N>
void AddItems(QWidget* target, QAction* const* actions, const int (&ids)[N])
{
    for (int id : ids) {
        if (id == SEP) {
            auto* separator = new QAction(target);
            separator->setSeparator(true);
            target->addAction(separator);
        } else
            target->addAction(actions[id]);
    }
}

} // namespace

void MainWindow::CreateMenus()
{
    menuBar_ = new QMenuBar();

    QMenu* hidden = menuBar_->addMenu(QString());
    hidden->addAction(Actions[ACT_BOOKMARK]);
    hidden->menuAction()->setVisible(false);

    QMenu* file = menuBar_->addMenu(QStringLiteral("&File"));
    AddItems(file, Actions, FILE_HEAD);
    AddItems(file->addMenu(QStringLiteral("&Export")), Actions, EXPORT_MENU);
    file->addSeparator();
    recentFilesMenu_ = file->addMenu(QStringLiteral("Recent &Files"));
    NameHelpLine(recentFilesMenu_);
    file->addSeparator();
    file->addAction(Actions[ACT_QUIT]);

    AddItems(menuBar_->addMenu(QStringLiteral("&Edit")), Actions, EDIT_MENU);
    AddItems(menuBar_->addMenu(QStringLiteral("&Search")), Actions, SEARCH_MENU);

    QMenu* view = menuBar_->addMenu(QStringLiteral("&View"));
    Actions[ACT_SHOW_MAIN_MENU]->setChecked(PrefGlobal::MainMenuShown);
    view->addAction(Actions[ACT_SHOW_MAIN_MENU]);
    Actions[ACT_SHOW_MAIN_TOOLBAR]->setChecked(PrefGlobal::MainToolbarShown);
    view->addAction(Actions[ACT_SHOW_MAIN_TOOLBAR]);
    toolbarMenu_ = view->addMenu(QStringLiteral("&Toolbar"));
    NameHelpLine(toolbarMenu_);
    CreatePanelToolbarMenu(view);
    view->addAction(Actions[ACT_FULL_SCREEN]);
    Actions[ACT_SYSTEM_PANELS]->setChecked(true);
    view->addAction(Actions[ACT_SYSTEM_PANELS]);
    view->addSeparator();
    AddItems(view->addMenu(QStringLiteral("&Move/Clone window")), Actions, MOVE_MENU);

    AddItems(menuBar_->addMenu(QStringLiteral("&Tools")), Actions, TOOLS_MENU);

    QMenu* help = menuBar_->addMenu(QStringLiteral("&Help"));
    help->addAction(Actions[ACT_HELP]);
    whatsThis_ = QWhatsThis::createAction(this);
    // From the viewer's other windows too, as the commands' keys.
    whatsThis_->setShortcutContext(Qt::ApplicationShortcut);
    whatsThis_->setWhatsThis(whatsThis_->text().remove(QLatin1Char('&')));
    help->addAction(whatsThis_);
    help->addSeparator();
    help->addAction(Actions[ACT_CHECK_UPDATES]);
    help->addSeparator();
    help->addAction(Actions[ACT_ABOUT]);
    menuBar_->setVisible(PrefGlobal::MainMenuShown);

    // A shortcut works only while one of its action's widgets is shown; the
    // window keeps the keys alive when the menu bar and toolbars are hidden.
    for (QAction* action : Actions)
        if (action != nullptr)
            addAction(action);
    addAction(whatsThis_);
}

void MainWindow::CreatePanelToolbarMenu(QMenu* view)
{
    panelToolbarMenu_ = view->addMenu(QStringLiteral("&Panel's Toolbar"));
    NameHelpLine(panelToolbarMenu_);
    for (int i = 0; i < BASE_TOOLBAR_COUNT; ++i) {
        QAction* action = panelToolbarMenu_->addAction(QString::fromLatin1(PrefGlobal::BaseToolbarNames[i]));
        action->setCheckable(true);
        action->setChecked(PrefGlobal::BaseToolbars[i]);
        panelToolbarActions_.append(action);
        Connect(action, SIGNAL(toggled(bool)), this, SLOT(LocalToolBarToggled(bool)));
    }
}

void MainWindow::CreateToolbars()
{
    for (int i = 0; i < MAIN_TOOLBAR_COUNT; ++i) {
        const QString name = QString::fromLatin1(PrefGlobal::GlobalToolbarNames[i]);
        QToolBar* bar = addToolBar(name);
        bar->setObjectName(name);
        const ToolbarItems& items = TOOLBARS[i];
        for (int k = 0; k < items.count; ++k) {
            const int id = items.ids[k];
            if (id == SEP)
                bar->addSeparator();
            else if (id == WHATS_THIS)
                bar->addAction(whatsThis_);
            else
                bar->addAction(Actions[id]);
        }
        toolbars_[i] = bar;
        toolbarMenu_->addAction(bar->toggleViewAction());
    }
    ApplyMainToolbars(PrefGlobal::MainToolbarShown);
}

void MainWindow::ApplyMainToolbars(bool shown)
{
    for (int i = 0; i < MAIN_TOOLBAR_COUNT; ++i)
        toolbars_[i]->setVisible(shown && PrefGlobal::GlobalToolbars[i]);
}

void MainWindow::CustomMainMenuRequested(const QPoint& pos)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(Actions[ACT_SHOW_MAIN_MENU]);
    menu->addAction(Actions[ACT_SHOW_MAIN_TOOLBAR]);
    menu->addSeparator();
    for (QToolBar* bar : toolbars_)
        menu->addAction(bar->toggleViewAction());
    menu->popup(mapToGlobal(pos));
}

void MainWindow::MainMenuShowHide()
{
    const bool shown = menuBar()->isHidden();
    menuBar()->setVisible(shown);
    PrefGlobal::MainMenuShown = shown;
    Actions[ACT_SHOW_MAIN_MENU]->setChecked(shown);
}

void MainWindow::MainToolbarShowHide()
{
    bool allHidden = true;
    for (QToolBar* bar : toolbars_)
        allHidden = allHidden && bar->isHidden();
    ApplyMainToolbars(allHidden);
    PrefGlobal::MainToolbarShown = allHidden;
    Actions[ACT_SHOW_MAIN_TOOLBAR]->setChecked(allHidden);
}

void MainWindow::LocalToolBarToggled(bool status)
{
    // The sender is an entry of "&Panel's Toolbar" or a document toolbar's
    // own toggle; either names the toolbar.
    auto* action = qobject_cast<QAction*>(sender());
    if (action == nullptr)
        return;
    const QString name = action->text();
    int index = BASE_TOOLBAR_COUNT - 1;
    while (index >= 0 && name != QLatin1String(PrefGlobal::BaseToolbarNames[index]))
        --index;
    if (index < 0)
        return;
    if (TabBase* tab = CurrentTabBase())
        for (QToolBar* bar : tab->Toolbars)
            if (bar != nullptr && bar->windowTitle() == name)
                bar->setVisible(status);
    QAction* entry = panelToolbarActions_[index];
    const QSignalBlocker blocker(entry);
    entry->setChecked(status);
    PrefGlobal::BaseToolbars[index] = status;
}

void MainWindow::OnShowOrHide(bool mode)
{
    const bool blocked = blockSignals(true);
    bool checked = mode;
    if (!mode) {
        const bool logShown = SystemLogDock != nullptr && !SystemLogDock->isHidden();
        const bool debugShown = DebugDock != nullptr && !DebugDock->isHidden();
        checked = logShown || debugShown;
    }
    Actions[ACT_SYSTEM_PANELS]->setChecked(checked);
    blockSignals(blocked);
}

void MainWindow::About()
{
    const QString text =
        QString::asprintf("<P><b>KX Viewer</b> application for %s x64\n</P>", "Linux") +
        QString::asprintf("<P>Version %s, %s</P>", qPrintable(QCoreApplication::applicationVersion()), BuildStamp());
    TearOffMain::Prompt().Message(TearOffMain::Me, QMessageBox::NoIcon, QStringLiteral("About KxViewer"), text,
                                  QMessageBox::Ok, QMessageBox::NoButton);
}

void MainWindow::notImplemented()
{
    TearOffMain::Prompt().Message(this, QMessageBox::NoIcon, QString(), QStringLiteral("NOT IMPLEMENTED!"),
                                  QMessageBox::Ok, QMessageBox::NoButton);
}

void MainWindow::NewDbConnect() { notImplemented(); }
