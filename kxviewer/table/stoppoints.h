// The stop-point search of the jump commands, apart from the widgets: which
// conditions a jump stops on, and the row and message a jump from the
// table's current row comes to.
#pragma once

#include <cstdint>
#include <functional>

#include <QString>

#include "kxviewer/preftabtable.h"

class KxTable;
struct KxdRecord;

struct StopConditions {
    bool selections = false;
    bool bookmarks = false;
    bool highlight = false;
    bool warnings = false;
    bool dataErrors = false;
    bool presErrors = false;

    bool Any() const { return selections || bookmarks || highlight || warnings || dataErrors || presErrors; }
    // The conditions that need the rows scanned one by one.
    bool ScansRows() const { return highlight || warnings || dataErrors || presErrors; }
};

// mode 0..4 one condition alone (presentation errors have no mode of their
// own); -1 the conditions whose flags are set. Highlights count only while
// highlighting is on.
StopConditions StopConditionsFor(int32_t mode, const uint8_t flags[JUMP_Nums], bool highlightOn);

struct StopPoint {
    int32_t row = -1; // -1: no jump
    QString message;  // "No jump", or what was found and " at row %1"
};

// True when the record of the row shows a highlight; *name gets the text
// the message names.
using HighlightTest = std::function<bool(int32_t row, KxdRecord* record, QString* name)>;

// The row a jump from the table's current row stops at, forwards or
// backwards, without wrapping. The table's selection-boundary services throw
// on an inconsistent selection list; that reaches the caller.
StopPoint FindStopPoint(KxTable& table, const StopConditions& conditions, bool forward,
                        const HighlightTest& highlight);
