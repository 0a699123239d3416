// Docking commands that need secondary windows, which are not built yet:
// each of them does nothing.
#include "kxviewer/table/tabbase.h"

void TabBase::DockAttach() {}
void TabBase::DockDetach() {}
