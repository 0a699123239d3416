#include "utils/kx/pkxudp.h"

namespace ZmLib {

PKXUDP::PKXUDP(uint32_t address, uint16_t port) : PKX(PKX_ID_UDP, KX_OUT_UDP), address_(address), port_(port) {}

bool PKXUDP::Open()
{
    // Non-blocking: a full send queue drops the datagram instead of stalling
    // the emitting thread.
    return socket_.Open(SOCK_UDP, false);
}

// Send errors are not reported: the report would come back here.
void PKXUDP::Write(uint32_t length, const KxProt* record)
{
    if (length > KxProt::LEN_MAX)
        length = KxProt::LEN_MAX;
    socket_.SendTo(record, int(length), address_, port_);
}

} // namespace ZmLib
