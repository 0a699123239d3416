// The warnings and errors of a benchmark's document: one record in ten.
#pragma once

#include <cstdint>

#include "kxlib/fields.h"
#include "kxlib/table/kxtable.h"

namespace Bench {

// Every tenth record a warning (LEVEL 0) or, every twentieth, an error
// (LEVEL -1); the rest LEVEL 1 to 3. Returns the warnings and errors.
inline int32_t MarkWarningsAndErrors(KxTable& table)
{
    const uint32_t format = FieldValidNumFormat(uint32_t(table.Prefs().formats[FIELD_LEVEL]));
    int32_t flagged = 0;
    for (int32_t row = 0; row < table.RecordCount(); ++row) {
        KxdRecord* record = table.GetRecord(row);
        const int8_t level = row % 10 != 0 ? int8_t(1 + row % 3) : row % 20 == 0 ? int8_t(-1) : int8_t(0);
        flagged += level <= 0 ? 1 : 0;
        record->prot.msg.LEVEL = level;
        record->RenderField(FIELD_LEVEL, format);
    }
    return flagged;
}

} // namespace Bench
