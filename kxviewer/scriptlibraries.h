// The script libraries of the main window and the two registries they are
// entered in, published for the interpreters while the window lives. The
// order of entry decides which library a name without a handler reaches:
// math, csv, table, view, gui.
#pragma once

#include <string>

#include "kxviewer/scriptkxview.h"
#include "script/scriptbasegui/scriptbasegui.h"
#include "script/scriptbasegui/scriptexport.h"
#include "script/scriptbasegui/scriptkxtable.h"
#include "script/scriptbasegui/scriptmath.h"

class QWidget;

class ScriptLibraries {
public:
    // window: the parent of the libraries' dialogs.
    explicit ScriptLibraries(QWidget* window);
    ~ScriptLibraries();
    ScriptLibraries(const ScriptLibraries&) = delete;
    ScriptLibraries& operator=(const ScriptLibraries&) = delete;

    // Every library hears that the run ended and gives back what it held;
    // what failed on the way, one a line.
    std::string RunEnded();

private:
    ScriptLibRegistry scripts_;
    ScriptLibRegistry search_;
    ScriptMath math_;
    ScriptExport csv_;
    ScriptKxTable table_;
    ScriptKxView view_;
    ScriptBaseGui gui_;
};
