// The read loop that turns a record file into a table, shared by the
// integration tests and the benchmark: each record is read straight into a
// table slot and analysed there; a bad record is counted and its slot reused
// for the next attempt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "kxlib/reader/kxreader.h"
#include "kxlib/table/kxtable.h"
#include "utils/common/kxexcept.h"

struct RawLoadResult {
    bool gaveUp = false; // the first ten attempts all failed
    uint32_t attempts = 0;
    uint32_t errors = 0;
    int64_t consumed = 0;
    std::string endText; // the reader's end-of-stream text, when it came
};

// Reads every record of an opened reader into table. prot is the PROT value
// that every record gets; it is stored before the record is analysed so that
// the PROT text shows it.
inline RawLoadResult LoadRawRecords(KxReader& reader, KxTable& table, uint8_t prot = 0)
{
    constexpr size_t viewerBytes = offsetof(ZmLib::KxdProt, EXECTIME);
    RawLoadResult result;
    const int64_t size = reader.GetFileSize();
    KxdRecord* slot = nullptr;
    for (;;) {
        if (result.errors == 10 && result.attempts == 10) {
            result.gaveUp = true;
            break;
        }
        if (!slot)
            slot = table.NewRecord();
        memset(reinterpret_cast<char*>(&slot->prot) + viewerBytes, 0, ZmLib::KxdProt::SIZE - viewerBytes);
        reader.SetRecord(&slot->prot);
        try {
            result.consumed += reader.ReadRecord();
            slot->prot.PROT = prot;
            KxdRecord::ProcessLine4Client(slot, false);
            slot = nullptr;
        } catch (const ZmLib::KxExcept& except) {
            if (except.code == 1) {
                result.endText = except.text ? except.text : "";
                break;
            }
            ++result.errors;
        }
        ++result.attempts;
        if (result.consumed >= size)
            break;
    }
    if (slot)
        table.DelRecord(table.RowCount() - 1);
    table.SetModified(false);
    return result;
}
