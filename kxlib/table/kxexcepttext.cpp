#include "kxlib/table/kxexcepttext.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace ZmLib {

namespace {

char g_ring[KxExceptText::RING_COUNT][KxExceptText::RING_SIZE];
std::atomic<uint32_t> g_next{0};

} // namespace

KxExceptText::KxExceptText(const char* format, ...) : KxExcept(-1, "")
{
    char* buffer = g_ring[g_next.fetch_add(1) % RING_COUNT];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, RING_SIZE, format, args);
    va_end(args);
    text = buffer;
}

} // namespace ZmLib
