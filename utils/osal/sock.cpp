#include "utils/osal/sock.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <new>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "utils/common/strbase.h"
#include "utils/kx/kx.h"

namespace ZmLib {

namespace {

bool g_sigpipeIgnored = false;
struct sigaction g_oldSigpipe;

sockaddr_in MakeSockaddr(uint32_t address, uint16_t port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    const uint8_t bytes[4] = {uint8_t(address), uint8_t(address >> 8), uint8_t(address >> 16),
                              uint8_t(address >> 24)};
    memcpy(&sa.sin_addr.s_addr, bytes, 4);
    return sa;
}

void SplitSockaddr(const sockaddr_in& sa, uint32_t* address, uint16_t* port)
{
    if (address) {
        uint8_t bytes[4];
        memcpy(bytes, &sa.sin_addr.s_addr, 4);
        *address = SOCK::Address(bytes[0], bytes[1], bytes[2], bytes[3]);
    }
    if (port)
        *port = ntohs(sa.sin_port);
}

void AssertNotOpen(const SOCK& sock, const char* file, int line, const char* function)
{
    if (sock.IsValid()) {
        KxSys.AssertReport(0, false, file, uint32_t(line), function, "!IsValid()");
        abort();
    }
}

// poll, resumed after signals with the time that is left; -1 waits forever.
int PollFor(pollfd* fds, nfds_t count, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int result = poll(fds, count, timeoutMs);
        if (result >= 0 || errno != EINTR)
            return result;
        if (timeoutMs >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            timeoutMs = left > 0 ? int(left) : 0;
        }
    }
}

bool BufferOk(const void* buffer, int length)
{
    if (length < 0 || (length > 0 && !buffer)) {
        errno = EINVAL;
        return false;
    }
    return true;
}

} // namespace

bool SOCK::Init()
{
    if (g_sigpipeIgnored)
        return true;
    struct sigaction ignore{};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    struct sigaction old{};
    if (sigaction(SIGPIPE, nullptr, &old) != 0)
        return false;
    // A handler that the program installed itself stays.
    if (old.sa_handler != SIG_DFL || (old.sa_flags & SA_SIGINFO))
        return true;
    if (sigaction(SIGPIPE, &ignore, &g_oldSigpipe) != 0)
        return false;
    g_sigpipeIgnored = true;
    return true;
}

void SOCK::Done()
{
    if (!g_sigpipeIgnored)
        return;
    sigaction(SIGPIPE, &g_oldSigpipe, nullptr);
    g_sigpipeIgnored = false;
}

SOCK::~SOCK()
{
    Close();
}

bool SOCK::Open(int type, bool blocking)
{
    if (!KX_VERIFY(KxSys, !IsValid()))
        return false;
    int fd = -1;
    if (type == SOCK_UDP || type == SOCK_TCP) {
        int kind = (type == SOCK_UDP ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC | (blocking ? 0 : SOCK_NONBLOCK);
        fd = socket(AF_INET, kind, type == SOCK_UDP ? IPPROTO_UDP : IPPROTO_TCP);
    }
    if (fd < 0) {
        KX_ERROR(KxSys, "Socket creation failure, type = %d", type);
        return false;
    }
    handle_ = uint64_t(fd);
    type_ = type;
    return true;
}

bool SOCK::OpenListen(uint16_t port)
{
    AssertNotOpen(*this, __FILE__, __LINE__, __func__);
    if (!Open(SOCK_TCP, true))
        return false;
    if (!Bind(0, port) || !Listen(10)) {
        Close();
        return false;
    }
    return true;
}

void SOCK::Construct(uint64_t handle, int type)
{
    AssertNotOpen(*this, __FILE__, __LINE__, __func__);
    handle_ = handle;
    type_ = type;
}

bool SOCK::Bind(uint32_t address, uint16_t port)
{
    int on = 1;
    setsockopt(Fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in sa = MakeSockaddr(address, port);
    if (bind(Fd(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        int error = errno;
        KX_WARNING(KxSys, "Socket #%d bind failure on port %d, errno = %d", Fd(), int(port), error);
        return false;
    }
    return true;
}

bool SOCK::Listen(int backlog)
{
    if (listen(Fd(), backlog) != 0) {
        int error = errno;
        KX_WARNING(KxSys, "Socket #%d listen failure, backlog = %d, errno = %d", Fd(), backlog, error);
        return false;
    }
    return true;
}

SOCK* SOCK::Accept(SOCK* target, uint32_t* address, uint16_t* port)
{
    if (target)
        AssertNotOpen(*target, __FILE__, __LINE__, __func__);
    sockaddr_in sa{};
    socklen_t length = sizeof sa;
    int fd = accept4(Fd(), reinterpret_cast<sockaddr*>(&sa), &length, SOCK_CLOEXEC);
    if (fd < 0) {
        int error = errno;
        KX_WARNING(KxSys, "Socket #%d accept failure, errno = %d", Fd(), error);
        return nullptr;
    }
    SOCK* sock = target ? target : new (std::nothrow) SOCK;
    if (!KX_VERIFY_TEXT(KxSys, sock, "socknew")) {
        close(fd);
        return nullptr;
    }
    sock->Construct(uint64_t(fd), SOCK_TCP);
    SplitSockaddr(sa, address, port);
    return sock;
}

bool SOCK::Connect(uint32_t address, uint16_t port)
{
    sockaddr_in sa = MakeSockaddr(address, port);
    return connect(Fd(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
}

int SOCK::WaitReadable(int seconds) const
{
    if (!IsValid()) {
        errno = EBADF;
        return -1;
    }
    pollfd fd{Fd(), POLLIN, 0};
    int timeoutMs = seconds < 0 ? -1 : (seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000);
    return PollFor(&fd, 1, timeoutMs);
}

int SOCK::Recv(int seconds, void* buffer, int length, int flags)
{
    if (!BufferOk(buffer, length))
        return -1;
    int ready = WaitReadable(seconds);
    if (ready <= 0)
        return ready;
    return int(recv(Fd(), buffer, size_t(length), flags));
}

int SOCK::RecvFromWait(int seconds, void* buffer, int length, uint32_t* address, uint16_t* port)
{
    if (!BufferOk(buffer, length))
        return -1;
    int ready = WaitReadable(seconds);
    if (ready <= 0)
        return ready;
    return RecvFrom(buffer, length, address, port);
}

int SOCK::RecvFrom(void* buffer, int length, uint32_t* address, uint16_t* port)
{
    if (!BufferOk(buffer, length))
        return -1;
    sockaddr_in sa{};
    socklen_t saLength = sizeof sa;
    int received = int(recvfrom(Fd(), buffer, size_t(length), 0, reinterpret_cast<sockaddr*>(&sa), &saLength));
    if (received >= 0)
        SplitSockaddr(sa, address, port);
    return received;
}

int SOCK::SendTo(const void* buffer, int length, uint32_t address, uint16_t port)
{
    if (!BufferOk(buffer, length))
        return -1;
    if (type_ == SOCK_TCP)
        return int(send(Fd(), buffer, size_t(length), MSG_NOSIGNAL));
    sockaddr_in sa = MakeSockaddr(address, port);
    return int(sendto(Fd(), buffer, size_t(length), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sa), sizeof sa));
}

bool SOCK::PeerName(uint32_t* address, uint16_t* port)
{
    sockaddr_in sa{};
    socklen_t length = sizeof sa;
    if (getpeername(Fd(), reinterpret_cast<sockaddr*>(&sa), &length) != 0)
        return false;
    SplitSockaddr(sa, address, port);
    return true;
}

bool SOCK::SockName(uint32_t* address, uint16_t* port)
{
    sockaddr_in sa{};
    socklen_t length = sizeof sa;
    if (getsockname(Fd(), reinterpret_cast<sockaddr*>(&sa), &length) != 0)
        return false;
    SplitSockaddr(sa, address, port);
    return true;
}

char* SOCK::HostName()
{
    char* buffer = StrBase::TempBuffer();
    if (gethostname(buffer, TEMP_BUFFER_SIZE) != 0)
        buffer[0] = 0;
    buffer[TEMP_BUFFER_SIZE - 1] = 0;
    return buffer;
}

bool SOCK::Close()
{
    if (IsValid()) {
        close(Fd());
        handle_ = INVALID_HANDLE;
    }
    return true;
}

SOCK_READER::~SOCK_READER()
{
    if (owner_)
        owner_->Remove(this);
}

SELECT::~SELECT()
{
    while (list_.First) {
        SOCK_READER* reader = static_cast<SOCK_READER*>(list_.First);
        list_.Remove(reader);
        reader->owner_ = nullptr;
    }
}

bool SELECT::Add(SOCK_READER* reader)
{
    if (!KX_VERIFY(KxSys, reader && !reader->owner_))
        return false;
    list_.AddTail(reader);
    reader->owner_ = this;
    return true;
}

void SELECT::Remove(SOCK_READER* reader)
{
    if (!reader || reader->owner_ != this)
        return;
    list_.Remove(reader);
    reader->owner_ = nullptr;
}

bool SELECT::Listed(const DListEnt* entry) const
{
    // Compares addresses only: a reader destroyed by a handler is not
    // touched.
    for (const DListEnt* e = list_.First; e; e = e->Next)
        if (e == entry)
            return true;
    return false;
}

int SELECT::Select()
{
    std::vector<pollfd> fds;
    for (SOCK_READER* r = static_cast<SOCK_READER*>(list_.First); r; r = r->NextEntry()) {
        if (!r->IsValid())
            continue;
        int fd = int(r->Handle());
        if (std::none_of(fds.begin(), fds.end(), [fd](const pollfd& p) { return p.fd == fd; }))
            fds.push_back({fd, POLLIN, 0});
    }
    if (fds.empty())
        return 0;
    int result = PollFor(fds.data(), fds.size(), timeoutMs_);
    if (result < 0) {
        int error = errno;
        KX_ERROR(KxSys, "select() failed, errno = %d", error);
        return result;
    }
    if (result == 0)
        return 0;

    std::vector<int> ready;
    for (const pollfd& p : fds)
        if (p.revents & (POLLIN | POLLERR | POLLHUP))
            ready.push_back(p.fd);
    // Handlers may change the list: take the readers first, then check each
    // one is still listed (and still has a ready handle) before calling it.
    std::vector<DListEnt*> readers;
    for (DListEnt* e = list_.First; e; e = e->Next)
        readers.push_back(e);
    for (DListEnt* e : readers) {
        if (!Listed(e))
            continue;
        SOCK_READER* r = static_cast<SOCK_READER*>(e);
        if (r->IsValid() && std::find(ready.begin(), ready.end(), int(r->Handle())) != ready.end())
            r->OnRead();
    }
    return int(ready.size());
}

} // namespace ZmLib
