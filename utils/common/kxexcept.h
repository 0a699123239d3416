// The library's exception base: a code and a text. Derived exceptions build
// their text in static rings, so throwing never allocates; callers catch this
// base and act on the code.
#pragma once

#include <cstdint>

namespace ZmLib {

class KxExcept {
public:
    KxExcept(int32_t code, const char* text) : code(code), text(text) {}
    virtual ~KxExcept() = default;
    KxExcept(const KxExcept&) = default;
    KxExcept& operator=(const KxExcept&) = default;

    int32_t code;
    const char* text;
};

// An exception that carries a formatted text and code -1; the text lives in
// a ring of its own, apart from the scratch ring.
class KxExceptText : public KxExcept {
public:
    explicit KxExceptText(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

} // namespace ZmLib
