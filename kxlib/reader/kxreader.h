// The reader family: a reader is opened on its source, is handed a
// destination record before each read, and fills it with the next raw record
// or throws a KxLibExcept (code 1 at the end of the input).
#pragma once

#include <cstdint>

#include "utils/kx/kxdprot.h"

class KxReader {
public:
    KxReader() = default;
    virtual ~KxReader() = default;
    KxReader(const KxReader&) = delete;
    KxReader& operator=(const KxReader&) = delete;

    // 0 on success, otherwise a failure code.
    virtual int32_t Open() = 0;
    // Moves the input n bytes forward.
    virtual void Skip(int64_t n);
    // Reads n bytes into the destination record at a reader-defined base +
    // offset; returns the bytes read, -1 on an input failure.
    virtual int32_t ReadBytes(int32_t n, int32_t offset);
    // Reads the next wire message (72-byte header, then opt_len string bytes)
    // into the destination record at offset 16. Returns the bytes consumed.
    virtual int32_t ReadRecord();
    // Size of the input in the unit of ReadRecord's result.
    virtual int64_t GetFileSize();

    // zeroed: the record is all zero (a fresh table slot), so the string
    // area past the bytes read needs no clearing.
    void SetRecord(ZmLib::KxdProt* record, bool zeroed = false)
    {
        Record = record;
        RecordZeroed = zeroed;
    }
    ZmLib::KxdProt* GetRecord() const { return Record; }
    uint32_t Accepted() const { return RecordsAccepted; }
    uint32_t Bad() const { return RecordsBad; }
    // The system's error number of the last read that failed on the input
    // itself (code 7), 0 when none did.
    int LastReadError() const { return ReadErrno; }

    // Makes the string area of a record taken from a file safe to read:
    // opt_len above 384 is cut to 384, the area from opt_len to its end is
    // zeroed, its first and last bytes are 0, and every offset at or beyond
    // opt_len becomes 0. Each repair is a warning naming recordNumber. With
    // tailZero the area past opt_len is zero already and is not written.
    static void CheckStrings(ZmLib::KxdProt& record, uint32_t recordNumber, bool tailZero = false);

protected:
    // The steps shared by the readers of raw records. headLen bytes are read
    // at offset 0 of ReadBytes; the strings follow at stringsAt.
    void ReadHead(int32_t headLen);
    void CheckMagic(bool swapPrefix);
    // Reads the string area; returns the string bytes read.
    int32_t ReadStrings(int32_t stringsAt, bool checkLastByte);
    // The checks of a record whose strings were read, and its count.
    void AcceptStrings(bool checkLastByte);
    // Counts the record as bad, reports the code and throws it.
    [[noreturn]] void ThrowBad(int32_t code, int32_t b);

    ZmLib::KxdProt* Record = nullptr;
    bool RecordZeroed = false;
    uint32_t RecordsAccepted = 0;
    uint32_t RecordsBad = 0;
    int ReadErrno = 0;
};
