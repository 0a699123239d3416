// The viewer's ends of the debug stream: every text line goes to the
// debugger output and, once the main window exists, to its Debug panel;
// failure lines also to an error box. Lines written on another thread reach
// the panel and the box through the GUI thread's event queue.
#pragma once

// Plugs the sinks into the debug stream in front of the hooks in place;
// Remove puts those back.
void KxvInstallDebugSinks();
void KxvRemoveDebugSinks();
