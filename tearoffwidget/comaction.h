// One command of the program: the descriptor that the action factory turns
// into a QAction, and the binding of an action id to a slot of the class that
// shows it. The application publishes its table of descriptors once at
// start-up; the icon resources and the factory read it from here.
#pragma once

#include <cstdint>

struct ComAction {
    // 0 always enabled, 1 unless a system dock is current, 2 for a table
    // document, 3 for a graph document, 4 never by the main window's update.
    int32_t enableRule;
    uint8_t checkable;
    // 0 none; 1..67 a QKeySequence::StandardKey; larger a key code with
    // modifier bits.
    int32_t key;
    const char* icon;     // resource stem, null for none
    const char* icon2;    // the disabled look, as a rule icon + "_dis"
    const char* text;     // menu text with '&' before the mnemonic
    const char* tip;      // status tip, null for the menu text
};

// A class's binding list ends with an entry whose id is negative. The
// position is written by the factory: the index of the same id in the
// second list, or -1.
struct ComActionBinding {
    int32_t id;
    const char* slot; // Qt's string form, e.g. "1Save()"
    int32_t position;
};

// Largest number of actions a class can hold and the size of the table.
constexpr int32_t ComActionCount = 140;

// The published table; null and 0 until the application publishes it.
extern const ComAction* ComActionTable;
extern int32_t ComActionTableSize;

// Publishes the application's table (size entries).
void ComActionTablePublish(const ComAction* table, int32_t size);
