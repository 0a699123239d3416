// The UDP output: every record as one datagram to a fixed destination, the
// same bytes a raw log file holds.
#pragma once

#include <cstdint>

#include "utils/kx/pkx.h"
#include "utils/osal/sock.h"

namespace ZmLib {

class PKXUDP : public PKX {
public:
    // address: first octet in the low byte; port in host order.
    PKXUDP(uint32_t address, uint16_t port);

    // Opens the non-blocking UDP socket the datagrams leave by.
    bool Open();
    void Write(uint32_t length, const KxProt* record) override;

    uint32_t Address() const { return address_; }
    uint16_t Port() const { return port_; }

private:
    SOCK socket_;
    uint32_t address_;
    uint16_t port_;
};

} // namespace ZmLib
