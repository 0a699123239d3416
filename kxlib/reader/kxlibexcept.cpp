#include "kxlib/reader/kxlibexcept.h"

#include <cstdio>

#include "utils/common/textring.h"

#include "utils/kx/kxdprot.h"

namespace {

ZmLib::TextRing<KxLibExcept::RING_COUNT, KxLibExcept::RING_SIZE> g_ring;

char* NextBuffer()
{
    return g_ring.Take();
}

} // namespace

KxLibExcept& KxLibExcept::Text(int32_t newCode, int32_t a, int32_t b)
{
    char* buffer = NextBuffer();
    switch (newCode) {
    case END_OF_STREAM:
        snprintf(buffer, RING_SIZE, "End of Stream: %d records accepted, %d bad records", a, b);
        break;
    case UDP_READ_ERROR:
        snprintf(buffer, RING_SIZE, "Record #%d: Error reading from UDP socket (res = %d)", a, b);
        break;
    case FILE_IO_ERROR:
        snprintf(buffer, RING_SIZE, "Record #%d: File IO Error)", a);
        break;
    case MSG_TOO_SHORT:
        snprintf(buffer, RING_SIZE,
                 "Record #%d: Received KxProt msg too short: size < KxProt::LEN_HEADER (%d < %d)", a, b,
                 int(ZmLib::KxProt::LEN_HEADER));
        break;
    case MSG_TOO_LONG:
        snprintf(buffer, RING_SIZE,
                 "Record #%d: Received KxProt msg too long: hdr.opt_len > KxProt::LEN_STRFIELDS (%d > %d)", a, b,
                 int(ZmLib::KxProt::LEN_STRFIELDS));
        break;
    case BAD_MAGIC:
        snprintf(buffer, RING_SIZE, "Record #%d: Bad MAGIC Number!", a);
        break;
    default:
        snprintf(buffer, RING_SIZE, "Undefined error #%d", newCode);
        break;
    }
    code = newCode;
    text = buffer;
    return *this;
}
