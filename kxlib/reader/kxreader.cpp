#include "kxlib/reader/kxreader.h"

#include <cstring>

#include "kxlib/kxchannels.h"
#include "kxlib/reader/kxlibexcept.h"

using ZmLib::KxdProt;
using ZmLib::KxProt;

void KxReader::Skip(int64_t) {}

int32_t KxReader::ReadBytes(int32_t, int32_t) { return 0; }

int64_t KxReader::GetFileSize() { return 0; }

int32_t KxReader::ReadRecord()
{
    ReadHead(int32_t(KxProt::LEN_HEADER));
    CheckMagic(false);
    return int32_t(KxProt::LEN_HEADER) + ReadStrings(int32_t(KxProt::LEN_HEADER), true);
}

void KxReader::CheckStrings(KxdProt& record, uint32_t recordNumber, bool tailZero)
{
    KxProt& msg = record.msg;
    if (msg.opt_len > KxProt::LEN_STRFIELDS) {
        KX_WARNING(KxReaderChannel, "Record #%u: message length %u cut to %u", recordNumber, msg.opt_len,
                   KxProt::LEN_STRFIELDS);
        msg.opt_len = uint16_t(KxProt::LEN_STRFIELDS);
    }
    // A load's fresh slots are zero: clearing them again would only cost
    // memory bandwidth on the reading thread.
    if (!tailZero)
        memset(msg.strings + msg.opt_len, 0, KxProt::LEN_STRFIELDS - msg.opt_len);
    // An empty slot reads byte 0; the last byte ends any string left open.
    msg.strings[0] = 0;
    msg.strings[KxProt::LEN_STRFIELDS - 1] = 0;
    for (int slot = 0; slot < KxProt::STR_SLOTS; ++slot) {
        if (msg.offsets[slot] != 0 && msg.offsets[slot] >= msg.opt_len) {
            KX_WARNING(KxReaderChannel, "Record #%u: string offset %u of slot %d beyond message length %u, cleared",
                       recordNumber, msg.offsets[slot], slot, msg.opt_len);
            msg.offsets[slot] = 0;
        }
    }
}

void KxReader::ReadHead(int32_t headLen)
{
    KX_ASSERT(KxReaderChannel, Record != nullptr);
    int32_t got = ReadBytes(headLen, 0);
    if (got == 0) {
        KxLibExcept end(KxLibExcept::END_OF_STREAM, int32_t(RecordsAccepted), int32_t(RecordsBad));
        KX_PRINT(KxReaderChannel, ZmLib::KX_LEVEL_NOTICE, "%s", end.text);
        throw end;
    }
    if (got < 0)
        ThrowBad(KxLibExcept::FILE_IO_ERROR, 0);
    if (got < headLen)
        ThrowBad(KxLibExcept::MSG_TOO_SHORT, got);
}

void KxReader::CheckMagic(bool swapPrefix)
{
    if (Record->msg.magic == KxProt::MAGIC)
        return;
    if (Record->msg.magic != KxProt::MAGIC_SWAPPED)
        ThrowBad(KxLibExcept::BAD_MAGIC, 0);
    Record->SwapHeader();
    if (swapPrefix)
        Record->STIME = __builtin_bswap64(Record->STIME);
}

int32_t KxReader::ReadStrings(int32_t stringsAt, bool checkLastByte)
{
    KxProt& msg = Record->msg;
    int32_t optLen = msg.opt_len;
    if (optLen > int32_t(KxProt::LEN_STRFIELDS)) {
        Skip(optLen);
        ThrowBad(KxLibExcept::MSG_TOO_LONG, optLen);
    }
    int32_t got = optLen > 0 ? ReadBytes(optLen, stringsAt) : 0;
    if (got < 0)
        ThrowBad(KxLibExcept::FILE_IO_ERROR, 0);
    if (got < optLen)
        ThrowBad(KxLibExcept::MSG_TOO_SHORT, int32_t(KxProt::LEN_HEADER) + got);
    AcceptStrings(checkLastByte);
    return got;
}

void KxReader::AcceptStrings(bool checkLastByte)
{
    KxProt& msg = Record->msg;
    const uint32_t optLen = msg.opt_len;
    if (checkLastByte) {
        // With no strings the message ends on the header's last byte.
        char& last = optLen > 0 ? msg.strings[optLen - 1] : reinterpret_cast<char*>(&msg)[KxProt::LEN_HEADER - 1];
        if (last != 0) {
            KX_WARNING(KxReaderChannel, "Last byte in received KxProt msg != 0");
            last = 0;
        }
    }
    CheckStrings(*Record, RecordsAccepted, RecordZeroed);
    ++RecordsAccepted;
}

void KxReader::ThrowBad(int32_t code, int32_t b)
{
    ++RecordsBad;
    KxLibExcept bad(code, int32_t(RecordsAccepted), b);
    if (code == KxLibExcept::FILE_IO_ERROR)
        KX_ERROR(KxReaderChannel, "%s", bad.text);
    else
        KX_WARNING(KxReaderChannel, "%s", bad.text);
    throw bad;
}
