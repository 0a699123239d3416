// The GUI sinks of the debug stream. The shell installs its own hooks; until
// then the defaults write to standard error.
#pragma once

namespace ZmLib {

using KxvOutputHook = void (*)(const char* text);

// One complete text line (no trailing newline) for the debugger output and
// the Debug panel. The default writes the line and '\n' to standard error
// when the environment variable KXV_DEBUG_STDERR is "1".
void KxvDebugOutput(const char* text);

// The error box of a failure line: takes the text after the second ">>"
// (without the ">> " itself; the whole line when there is none) and turns
// the character after the first ']' into a line feed, then hands the result
// to the error-box hook. The default writes it to standard error.
void KxvDebugErrorBox(const char* line);

// Installs a hook (null restores the default); returns the previous one.
KxvOutputHook KxvSetDebugOutputHook(KxvOutputHook hook);
KxvOutputHook KxvSetErrorBoxHook(KxvOutputHook hook);

} // namespace ZmLib
