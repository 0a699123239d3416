// Column widths of the table view, in average character widths, for a table
// in absolute and in relative time, and whether the cell menu's find word is
// a word of the cell text (split) or the whole text. The exports and the
// clipboard use the same widths.
#pragma once

#include <cstdint>

#include "kxlib/fields.h"

struct ColumnCharWidth {
    int32_t absolute;
    int32_t relative;
    bool split;
};

constexpr ColumnCharWidth ColumnCharWidths[] = {
    {27, 27, false}, // STIME
    {16, 16, false}, // IP
    {9, 9, false},   // PROT
    {13, 13, false}, // HOST
    {7, 7, false},   // FLAGS
    {30, 18, false}, // TIME
    {10, 10, false}, // SEQ
    {13, 13, false}, // NODE
    {12, 12, false}, // PID
    {15, 15, false}, // PNAME
    {12, 12, false}, // TID
    {15, 15, false}, // TNAME
    {3, 3, false},   // LEVEL
    {13, 13, false}, // KXNAME
    {12, 12, false}, // KXKEY
    {20, 20, false}, // FILE
    {4, 4, false},   // LINE
    {20, 20, false}, // FUNC
    {90, 90, true},  // TEXT
    {17, 17, false}, // STR1
    {7, 7, false},   // NEST
    {9, 9, false},   // ETIME
    {5, 5, false},   // COUNT
    {11, 11, false}, // NUM1
    {11, 11, false}, // NUM2
};
static_assert(sizeof(ColumnCharWidths) / sizeof(ColumnCharWidths[0]) == FIELD_Nums, "one width per field");
static_assert(ColumnCharWidths[FIELD_TIME].absolute == 30 && ColumnCharWidths[FIELD_TIME].relative == 18,
              "TIME is narrower in relative time");
static_assert(ColumnCharWidths[FIELD_TEXT].split, "only TEXT splits into words");

// The width in characters of a field's column; 0 for an index outside the
// fields.
constexpr int32_t ColumnChars(int32_t field, bool relative)
{
    if (field < 0 || field >= FIELD_Nums)
        return 0;
    return relative ? ColumnCharWidths[field].relative : ColumnCharWidths[field].absolute;
}
