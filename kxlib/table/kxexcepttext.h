// An exception that carries a formatted text: code -1 and the text, built in
// a ring of its own so that throwing never allocates.
#pragma once

#include <cstdint>

#include "utils/common/kxexcept.h"

namespace ZmLib {

class KxExceptText : public KxExcept {
public:
    static constexpr uint32_t RING_COUNT = 512;
    static constexpr uint32_t RING_SIZE = 1104;

    explicit KxExceptText(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

} // namespace ZmLib
