#include "utils/common/kxexcept.h"

#include <cstdarg>
#include <cstdio>

#include "utils/common/textring.h"

namespace ZmLib {

namespace {
TextRing512 g_exceptTextRing;
} // namespace

KxExceptText::KxExceptText(const char* format, ...) : KxExcept(-1, "")
{
    char* buffer = g_exceptTextRing.Take();
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, TextRing512::SIZE, format, args);
    va_end(args);
    text = buffer;
}

} // namespace ZmLib
