#include "kxlib/reader/filekxd.h"

#include <cstddef>

void FileKxd::Skip(int64_t n) { SkipFile(n); }

int32_t FileKxd::ReadBytes(int32_t n, int32_t offset) { return ReadFile(n, offset); }

int32_t FileKxd::ReadRecord()
{
    int32_t consumed = 0;
    if (ReadWhole(0, LEN_HEAD, false, &consumed))
        return consumed;
    ReadHead(LEN_HEAD);
    CheckMagic(true);
    return LEN_HEAD + ReadStrings(LEN_HEAD, false);
}

static_assert(FileKxd::LEN_HEAD == int32_t(offsetof(ZmLib::KxdProt, msg) + ZmLib::KxProt::LEN_HEADER),
              "a head is the receive prefix and the wire header");
