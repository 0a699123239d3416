// The read loop that turns a record file into a table, as the integration
// tests use it: the plain sequential loop, every record with the same PROT,
// and the table left unmodified.
#pragma once

#include <cstdint>

#include "kxlib/reader/kxreader.h"
#include "kxlib/table/kxtable.h"
#include "kxlib/table/kxtable_load.h"

using RawLoadResult = KxLoadResult;

// Reads every record of an opened reader into table. prot is the PROT value
// that every record gets; it is stored before the record is analysed so that
// the PROT text shows it.
inline RawLoadResult LoadRawRecords(KxReader& reader, KxTable& table, uint8_t prot = 0)
{
    KxLoadOptions options;
    options.prot = prot;
    options.workers = 1;
    RawLoadResult result = KxLoadRecords(reader, table, reader.GetFileSize(), options);
    table.SetModified(false);
    return result;
}
