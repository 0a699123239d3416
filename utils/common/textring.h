// A ring of fixed-size text buffers in static storage. A buffer taken from
// it stays valid until Count further buffers were taken; nothing is freed.
// The index advances atomically, so any thread may take buffers.
#pragma once

#include <atomic>
#include <cstdint>

namespace ZmLib {

template <uint32_t Count, uint32_t Size>
class TextRing {
    static_assert((Count & (Count - 1)) == 0, "the index wraps by masking");

public:
    static constexpr uint32_t COUNT = Count;
    static constexpr uint32_t SIZE = Size;

    char* Take() { return buffers_[next_.fetch_add(1, std::memory_order_relaxed) & (Count - 1)]; }

private:
    char buffers_[Count][Size];
    std::atomic<uint32_t> next_{0};
};

// The shape of every text ring of the library: 512 buffers of 1104 bytes.
using TextRing512 = TextRing<512, 1104>;

} // namespace ZmLib
