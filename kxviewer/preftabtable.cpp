#include "kxviewer/preftabtable.h"

const JumpRow JumpTable[JUMP_Nums] = {
    {"SELECTIONS", "Jump on Selections", "Selections", 1},
    {"BOOKMARKS", "Jump on Bookmarks", "Bookmarks", 1},
    {"HIGHLIGHT", "Jump on Highlighted Substrings", "Highlighted Substrings", 1},
    {"DATA_WARNINGS", "Jump on Data Warnings", "Data Warnings", 1},
    {"DATA_ERRORS", "Jump on Data Errors", "Data Errors", 1},
    {"VIEW_ERRORS", "Jump on Presentation Errors", "Presentation Errors", 0},
};

PrefTabTable::PrefTabTable()
{
    ClearColumns();
    for (int32_t field : {FIELD_TIME, FIELD_SEQ, FIELD_PNAME, FIELD_TNAME, FIELD_LEVEL, FIELD_KXNAME, FIELD_TEXT})
        AddColumn(field);
    for (int32_t i = 0; i < JUMP_Nums; ++i) {
        jumps[i] = JumpTable[i].defaultOn;
        outline[i] = JumpTable[i].defaultOn;
    }
}

void PrefTabTable::ClearColumns()
{
    columnCount = 0;
    for (int32_t& column : columns)
        column = -1;
}

bool PrefTabTable::AddColumn(int32_t field)
{
    if (columnCount < 0 || columnCount >= FIELD_Nums)
        return false;
    columns[columnCount++] = field;
    return true;
}

PrefTabTable& PrefTabTable::Default()
{
    static PrefTabTable prefs;
    return prefs;
}
