// The readers' exception: a code and its text. Code 1 is the end of the
// stream and no error; the others are bad records or input failures.
#pragma once

#include <cstdint>

#include "utils/common/kxexcept.h"

class KxLibExcept : public ZmLib::KxExcept {
public:
    enum Code : int32_t {
        END_OF_STREAM = 1,
        UDP_READ_ERROR = 4,
        OPEN_FAILED = 6,
        FILE_IO_ERROR = 7,
        MSG_TOO_SHORT = 12,
        MSG_TOO_LONG = 13,
        BAD_MAGIC = 14,
    };

    // Ring of texts: a text stays valid until RING_COUNT later texts were
    // built.
    static constexpr uint32_t RING_COUNT = 512;
    static constexpr uint32_t RING_SIZE = 1104;

    KxLibExcept() : ZmLib::KxExcept(0, "") {}
    KxLibExcept(int32_t code, int32_t a, int32_t b) : KxLibExcept() { Text(code, a, b); }

    // Sets the code and builds its text from a and b (see the code table in
    // the source).
    KxLibExcept& Text(int32_t code, int32_t a, int32_t b);
};
