#include "kxlib/reader/filekx.h"

#include <cstddef>

void FileKx::Skip(int64_t n) { SkipFile(n); }

int32_t FileKx::ReadRecord()
{
    int32_t consumed = 0;
    if (ReadWhole(int32_t(offsetof(ZmLib::KxdProt, msg)), int32_t(ZmLib::KxProt::LEN_HEADER), true, &consumed))
        return consumed;
    return KxReader::ReadRecord();
}

int32_t FileKx::ReadBytes(int32_t n, int32_t offset)
{
    return ReadFile(n, int32_t(offsetof(ZmLib::KxdProt, msg)) + offset);
}
