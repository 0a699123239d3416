// A table tab over a loaded table, docked in a bench main window and shown.
#pragma once

#include <QApplication>

#include "bench/benchgui.h"
#include "kxviewer/table/tabtable.h"

namespace Bench {

inline TabTable* ShowTab(BenchMain& window, KxTable* table, const PrefTabTable& prefs)
{
    auto* tab = new TabTable(table, prefs, nullptr);
    tab->Init(nullptr);
    window.AddTearOffDock(Qt::TopDockWidgetArea, tab, 0);
    QApplication::processEvents();
    return tab;
}

} // namespace Bench
