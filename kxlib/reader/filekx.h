// "KX Raw file" (kx, kxtcp, kxudp): a bare sequence of wire messages, read
// into the record behind its 16-byte receive prefix.
#pragma once

#include "kxlib/reader/file2kxd.h"

class FileKx : public File2Kxd {
public:
    using File2Kxd::File2Kxd;

    void Skip(int64_t n) override;
    // Reads at record offset 16 + offset.
    int32_t ReadBytes(int32_t n, int32_t offset) override;
    int32_t ReadRecord() override;
};
