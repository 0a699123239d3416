// The binding lists of the document tab and of its side panes: which action
// ids they show and the slot each one triggers. Writable: the factory writes
// each entry's position in the main window's list.
#pragma once

#include "tearoffwidget/comaction.h"

// 92 bindings and the end entry.
constexpr int TabBaseBindingCount = 92;
extern ComActionBinding TabBaseBindings[TabBaseBindingCount + 1];

// 6 bindings and the end entry.
constexpr int PaneDocksBindingCount = 6;
extern ComActionBinding PaneDocksBindings[PaneDocksBindingCount + 1];
