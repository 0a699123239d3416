// The dock layout of the main window and its secondary windows: written
// when documents are docked and when the window closes, read back at
// start-up for the system panels and, after the window is shown, for the
// documents of the last session.
#include <algorithm>
#include <climits>

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

#include "kxviewer/kxvglobals.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/tabbase.h"
#include "kxviewer/table/tabtable.h"
#include "kxlib/table/kxtable.h"
#include "tearoffwidget/tearoffdockwidget.h"
#include "tearoffwidget/tearoffsecondary.h"
#include "tearoffwidget/tearofftabdock.h"
#include "tearoffwidget/tearofftabwidget.h"

namespace {

const char SYSTEM_DOCK_NAME[] = "SystemDock";
const char DEBUG_DOCK_NAME[] = "DockDebug";
// Less of a window than this on a screen cannot be grabbed by the user.
constexpr int MIN_VISIBLE_PIXELS = 32;
// The fewest saved entries that hold a document besides the two panels.
constexpr size_t SESSION_MIN_ENTRIES = 3;

Qt::DockWidgetArea AreaOf(int32_t saved)
{
    switch (saved) {
    case DOCK_AREA_LEFT: return Qt::LeftDockWidgetArea;
    case DOCK_AREA_RIGHT: return Qt::RightDockWidgetArea;
    case DOCK_AREA_BOTTOM: return Qt::BottomDockWidgetArea;
    default: return Qt::TopDockWidgetArea;
    }
}

// The saved rectangle when enough of it lies on a present screen, cut to
// that screen's size; an empty one otherwise.
QRect UsableRect(const DockEntry& entry)
{
    const QRect saved(entry.x, entry.y, entry.width, entry.height);
    if (entry.width <= 0 || entry.height <= 0)
        return QRect();
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect area = screen->availableGeometry();
        const QRect shown = saved.intersected(area);
        if (shown.width() < std::min(MIN_VISIBLE_PIXELS, saved.width()) ||
            shown.height() < std::min(MIN_VISIBLE_PIXELS, saved.height()))
            continue;
        return QRect(saved.topLeft(), saved.size().boundedTo(area.size()));
    }
    return QRect();
}

void ApplyWindowState(QWidget* window, const DockEntry& entry)
{
    const QRect rect = UsableRect(entry);
    if (rect.isValid())
        window->setGeometry(rect);
    if (entry.minimised)
        window->setProperty("MIN", true);
    else if (entry.maximised)
        window->setProperty("MAX", true);
}

bool SameName(const DockEntry& entry, const char* name)
{
    return QString::fromStdString(entry.name).compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

bool InLayoutOrder(const DockEntry& a, const DockEntry& b)
{
    return std::tie(a.windowNumber, a.dockNumber, a.tabNumber) < std::tie(b.windowNumber, b.dockNumber, b.tabNumber);
}

} // namespace

void MainWindow::SaveDocks()
{
    std::vector<DockEntry> entries;
    for (TearOffTabDock* dock : Docks) {
        TearOffTabWidget* tabs = dock->TabWidget;
        TearOffDockWidget* group = tabs ? tabs->DockWidget : nullptr;
        if (group == nullptr || group->Host == nullptr)
            continue;
        DockEntry entry;
        if (dock == SystemLogDock) {
            entry.name = SYSTEM_DOCK_NAME;
        } else if (dock == DebugDock) {
            entry.name = DEBUG_DOCK_NAME;
        } else if (auto* tab = qobject_cast<TabBase*>(dock); tab != nullptr && tab->Table != nullptr) {
            entry.name = tab->Table->Path();
            entry.graph = tab->GraphState == TabBase::GRAPH_IS_GRAPH ? 1 : 0;
            entry.format = tab->ImportFormatName;
        }
        if (entry.name.empty())
            continue;
        const QWidget* window = group->TopWindow ? group->TopWindow : this;
        const QRect rect = window->normalGeometry().isValid() ? window->normalGeometry() : window->geometry();
        entry.x = rect.x();
        entry.y = rect.y();
        entry.width = rect.width();
        entry.height = rect.height();
        entry.minimised = window->isMinimized();
        entry.maximised = window->isMaximized();
        entry.windowNumber = PrefGlobal::WindowNumberFromObjectName(group->Host->objectName().toStdString());
        entry.dockNumber = int32_t(DockWidgets.indexOf(group));
        entry.tabNumber = std::max(0, tabs->indexOf(dock));
        entry.dockArea = int32_t(group->Host->dockWidgetArea(group));
        entries.push_back(entry);
    }
    std::stable_sort(entries.begin(), entries.end(), InLayoutOrder);
    PrefGlobal::SaveDocks(PrefGlobal::IniViewer.Ini, entries);
}

void MainWindow::RestoreDocks(bool startup)
{
    std::vector<DockEntry> entries = startup ? PrefGlobal::SystemDocks : PrefGlobal::SavedDocks;
    std::stable_sort(entries.begin(), entries.end(), InLayoutOrder);
    int64_t window = INT64_MIN;
    int64_t lastNumber = INT64_MIN;
    TearOffTabDock* last = nullptr;
    TearOffSecondary* secondary = nullptr;
    std::vector<std::string> graphs;
    std::vector<TabTable*> reopened;
    for (const DockEntry& entry : entries) {
        TearOffTabDock* dock = nullptr;
        if (!startup && entry.graph != 0) {
            graphs.push_back(entry.name);
            continue;
        }
        if (startup)
            dock = SameName(entry, SYSTEM_DOCK_NAME) ? SystemLogDock : SameName(entry, DEBUG_DOCK_NAME) ? DebugDock : nullptr;
        else if (ReopensSession() && QFileInfo::exists(QFile::decodeName(entry.name.c_str())))
            dock = OpenFile(QFile::decodeName(entry.name.c_str()), MainHost, -1, OPEN_PATTERNS_ONLY, entry.format,
                            false);
        if (dock == nullptr)
            continue;
        if (auto* table = qobject_cast<TabTable*>(dock))
            reopened.push_back(table);
        if (entry.windowNumber != window) {
            if (entry.windowNumber == 0)
                ApplyWindowState(this, entry);
            window = entry.windowNumber;
            lastNumber = INT64_MIN;
            secondary = nullptr;
        }
        const Qt::DockWidgetArea area = AreaOf(entry.dockArea);
        const uint32_t mode = startup ? TearOffTabDock::ModePanel : 0;
        if (entry.dockNumber == lastNumber && last != nullptr) {
            TabifyTearOffDock(last, dock);
        } else if (window == 0) {
            AddTearOffDock(area, dock, mode);
        } else if (secondary != nullptr) {
            secondary->AddTearOffDock(area, dock, mode);
        } else {
            // Straight into its own window: docked in the main window first
            // it would widen that window for good.
            secondary = qobject_cast<TearOffSecondary*>(AddSecondaryTearOffDock(area, dock, mode));
            if (secondary == nullptr) {
                last = nullptr;
                continue;
            }
            // Shown with the others once the session is restored.
            secondary->hide();
            ApplyWindowState(secondary, entry);
        }
        lastNumber = entry.dockNumber;
        last = dock;
    }
    RestoreGraphs(graphs, reopened);
}

void MainWindow::RestoreGraphs(const std::vector<std::string>& paths, const std::vector<TabTable*>& reopened)
{
    // Each graph is made again from its reopened document, beside it; a
    // graph whose document did not come back stays closed.
    for (const std::string& path : paths) {
        const auto owner = std::find_if(reopened.begin(), reopened.end(), [&path](TabTable* tab) {
            return tab->GraphTab == nullptr && tab->Table != nullptr && tab->Table->Path() == path;
        });
        if (owner != reopened.end())
            (*owner)->CreateGraph();
    }
}

bool MainWindow::ReopensSession()
{
    // Without OpenInSavedWindows the layout is no longer written, so what
    // is saved is an old session.
    return PrefGlobal::GlobalShowOnStartup && PrefGlobal::OpenInSavedWindows;
}

void MainWindow::RestoreSession()
{
    for (const std::string& report : PrefGlobal::DockLoadReports)
        AddToSystemLog(QString::fromStdString(report));
    PrefGlobal::DockLoadReports.clear();

    // Documents gone since are not offered.
    const auto present = std::count_if(PrefGlobal::SavedDocks.begin(), PrefGlobal::SavedDocks.end(),
                                       [](const DockEntry& entry) { return QFileInfo::exists(QFile::decodeName(entry.name.c_str())); });
    const size_t saved = PrefGlobal::SystemDocks.size() + size_t(present);
    if (saved >= SESSION_MIN_ENTRIES && ReopensSession() &&
        (PrefGlobal::RDebugMode || Question(QStringLiteral("Open documents from the last session?"),
                                            QMessageBox::Yes | QMessageBox::No,
                                            QMessageBox::Yes) == QMessageBox::Yes))
        RestoreDocks(false);
    for (auto* window : findChildren<TearOffSecondary*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (window->isVisible() || window->property("HIDE").toBool())
            continue;
        if (window->property("MAX").toBool())
            window->showMaximized();
        else if (window->property("MIN").toBool())
            window->showMinimized();
        else
            window->show();
    }

    // A panel the user hid has left its tabs or its group is hidden; a
    // shown page that is not the current tab reads as hidden too, so the
    // tab itself is asked.
    for (TearOffTabDock* panel : {DebugDock, SystemLogDock}) {
        TearOffTabWidget* tabs = panel != nullptr ? panel->TabWidget : nullptr;
        if (tabs != nullptr && tabs->indexOf(panel) >= 0 && !(tabs->DockWidget && tabs->DockWidget->isHidden()))
            tabs->setCurrentWidget(panel);
    }
    if (Docks.size() > 2)
        SetTabActive(Docks.last(), false);
    if (PrefGlobal::AutoUpgrade)
        KxvShell().StartUpdateCheck();
}
