// Thin IPv4 socket wrappers over BSD sockets, and a readiness dispatcher.
// Addresses are u32 with the first octet in the low byte (the address bytes
// as they lie in memory); ports are in host order.
#pragma once

#include <cstdint>

#include "utils/common/dlist.h"

namespace ZmLib {

constexpr int SOCK_UDP = 0;
constexpr int SOCK_TCP = 1;

class SOCK {
public:
    static constexpr uint64_t INVALID_HANDLE = ~uint64_t(0);

    SOCK() = default;
    // Closes the socket when it is still open.
    virtual ~SOCK();
    SOCK(const SOCK&) = delete;
    SOCK& operator=(const SOCK&) = delete;

    // Start and end of socket use for the process: a peer that went away
    // must not end the program by SIGPIPE, so Init ignores that signal (when
    // nobody else handles it) and Done restores it.
    static bool Init();
    static void Done();

    bool Open(int type, bool blocking);
    // A TCP socket listening on all local addresses; on failure the socket
    // is closed again.
    bool OpenListen(uint16_t port);
    void Construct(uint64_t handle, int type);
    bool Bind(uint32_t address, uint16_t port);
    bool Listen(int backlog);
    // The connection goes into target (which must not be open) or into a
    // new SOCK that the caller deletes.
    SOCK* Accept(SOCK* target, uint32_t* address, uint16_t* port);
    bool Connect(uint32_t address, uint16_t port);
    // Wait up to seconds (negative: without limit) for data; the wait's
    // result when it is 0 (time-out) or negative, else the received count.
    int Recv(int seconds, void* buffer, int length, int flags);
    int RecvFromWait(int seconds, void* buffer, int length, uint32_t* address, uint16_t* port);
    int RecvFrom(void* buffer, int length, uint32_t* address, uint16_t* port);
    int SendTo(const void* buffer, int length, uint32_t address, uint16_t port);
    bool PeerName(uint32_t* address, uint16_t* port);
    bool SockName(uint32_t* address, uint16_t* port);
    // The host name in a scratch buffer.
    static char* HostName();
    bool Close();

    bool IsValid() const { return handle_ != INVALID_HANDLE; }
    uint64_t Handle() const { return handle_; }
    int Type() const { return type_; }

    static uint32_t Address(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
    {
        return uint32_t(a) | uint32_t(b) << 8 | uint32_t(c) << 16 | uint32_t(d) << 24;
    }

private:
    int Fd() const { return int(handle_); }
    int WaitReadable(int seconds) const;

    uint64_t handle_ = INVALID_HANDLE;
    int32_t type_ = SOCK_UDP;
};

class SELECT;

// A socket that SELECT serves: OnRead runs when its socket is readable.
// Destroying it takes it off its SELECT.
class SOCK_READER : public DListEntry<SOCK_READER>, public SOCK {
public:
    ~SOCK_READER() override;
    virtual void OnRead() = 0;

private:
    friend class SELECT;
    SELECT* owner_ = nullptr;
};

class SELECT {
public:
    SELECT() = default;
    ~SELECT();
    SELECT(const SELECT&) = delete;
    SELECT& operator=(const SELECT&) = delete;

    // A reader is served by one SELECT at a time.
    bool Add(SOCK_READER* reader);
    void Remove(SOCK_READER* reader);
    // Milliseconds; negative waits without limit.
    void SetTimeout(int32_t ms) { timeoutMs_ = ms; }
    uint32_t Count() const { return list_.Count; }

    // Waits for any registered socket to become readable and calls the read
    // handlers of the readable ones. Returns the number of ready handles,
    // 0 on a time-out (or when no socket is open), negative on failure.
    // Handlers may add, remove or destroy readers.
    int Select();

private:
    bool Listed(const DListEnt* entry) const;

    DListBase list_;
    int32_t timeoutMs_ = -1;
};

} // namespace ZmLib
