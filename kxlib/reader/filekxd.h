// "KXD Raw file" (kxd): each wire message preceded by its 16-byte receive
// prefix, so every record starts with an 88-byte head.
#pragma once

#include "kxlib/reader/file2kxd.h"

class FileKxd : public File2Kxd {
public:
    static constexpr int32_t LEN_HEAD = 88;

    using File2Kxd::File2Kxd;

    void Skip(int64_t n) override;
    // Reads at record offset `offset`.
    int32_t ReadBytes(int32_t n, int32_t offset) override;
    // Head, then opt_len string bytes; a swapped record has its STIME
    // reversed too. Returns 88 + opt_len.
    int32_t ReadRecord() override;
};
