// What a table keeps of its document's view settings: current row, time
// base, aux-tree levels and number formats, with the program's defaults.
#pragma once

#include <cstdint>

#include "kxlib/fields.h"

struct PrefKxTable {
    int32_t CurPossition = -1;
    uint8_t editable = 0;
    uint8_t NormalizeTime = 1;
    uint64_t Time0 = 0;
    int32_t Time0Index = -1;
    int32_t TreeLevel1Field = FIELD_TNAME;
    int32_t TreeLevel2Field = FIELD_KXNAME;
    int32_t formats[FIELD_Nums] = {6, 1, 1, 0, 2, 7, 1, 0, 1, 0, 1, 0, 1, 0, 2, 0, 1, 0, 0, 0, 1, 13, 1, 1, 1};

    // The program-wide default that new tables copy.
    static PrefKxTable& Default();
};
