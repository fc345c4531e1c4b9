#include "common/TcpStream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "common/Limits.h"
#include "common/StopSignal.h"

namespace tapewell {

namespace {

struct ErrorName {
    int errnoValue;
    const char* name;
};

// The socket errors that Winsock also knows, under Winsock's short names.
// EAGAIN and EWOULDBLOCK are the same value on Linux.
constexpr ErrorName kErrorNames[] = {
    {EINTR, "INTR"},
    {EBADF, "BADF"},
    {EACCES, "ACCES"},
    {EFAULT, "FAULT"},
    {EINVAL, "INVAL"},
    {EMFILE, "MFILE"},
    {EWOULDBLOCK, "WOULDBLOCK"},
    {EINPROGRESS, "INPROGRESS"},
    {EALREADY, "ALREADY"},
    {ENOTSOCK, "NOTSOCK"},
    {EDESTADDRREQ, "DESTADDRREQ"},
    {EMSGSIZE, "MSGSIZE"},
    {EPROTOTYPE, "PROTOTYPE"},
    {ENOPROTOOPT, "NOPROTOOPT"},
    {EPROTONOSUPPORT, "PROTONOSUPPORT"},
    {ESOCKTNOSUPPORT, "SOCKTNOSUPPORT"},
    {EOPNOTSUPP, "OPNOTSUPP"},
    {EPFNOSUPPORT, "PFNOSUPPORT"},
    {EAFNOSUPPORT, "AFNOSUPPORT"},
    {EADDRINUSE, "ADDRINUSE"},
    {EADDRNOTAVAIL, "ADDRNOTAVAIL"},
    {ENETDOWN, "NETDOWN"},
    {ENETUNREACH, "NETUNREACH"},
    {ENETRESET, "NETRESET"},
    {ECONNABORTED, "CONNABORTED"},
    {ECONNRESET, "CONNRESET"},
    {ENOBUFS, "NOBUFS"},
    {EISCONN, "ISCONN"},
    {ENOTCONN, "NOTCONN"},
    {ESHUTDOWN, "SHUTDOWN"},
    {ETOOMANYREFS, "TOOMANYREFS"},
    {ETIMEDOUT, "TIMEDOUT"},
    {ECONNREFUSED, "CONNREFUSED"},
    {ELOOP, "LOOP"},
    {ENAMETOOLONG, "NAMETOOLONG"},
    {EHOSTDOWN, "HOSTDOWN"},
    {EHOSTUNREACH, "HOSTUNREACH"},
    {ENOTEMPTY, "NOTEMPTY"},
    {EUSERS, "USERS"},
    {EDQUOT, "DQUOT"},
    {ESTALE, "STALE"},
    {EREMOTE, "REMOTE"},
};

}  // namespace

std::string SocketErrorName(int errnoValue) {
    for (const ErrorName& e : kErrorNames) {
        if (e.errnoValue == errnoValue)
            return e.name;
    }
    char text[16];
    std::snprintf(text, sizeof text, "<%d>", errnoValue);
    return text;
}

std::optional<HostAddress> ResolveIPv4(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* list = nullptr;
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || list == nullptr)
        return std::nullopt;
    HostAddress result;
    result.address = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr;
    result.officialName = list->ai_canonname != nullptr ? list->ai_canonname : host;
    freeaddrinfo(list);
    return result;
}

std::optional<in_addr> ParseIPv4(const std::string& text) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1)
        return std::nullopt;
    return address;
}

std::optional<std::string> ReverseLookupIPv4(in_addr address) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr = address;
    char name[NI_MAXHOST];
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&peer), sizeof peer, name, sizeof name,
                    nullptr, 0, NI_NAMEREQD) != 0)
        return std::nullopt;
    return std::string(name);
}

TcpStream::TcpStream(const StopSignal& stop)
    : m_stop(stop), m_idleTimeoutMs(limits::kReceiveIdleTimeoutMs) {}

TcpStream::~TcpStream() {
    Close();
}

bool TcpStream::Stopped() const {
    return m_stop.Raised();
}

int TcpStream::Open() {
    Close();
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        m_error = errno;
        return -1;
    }
    return 0;
}

int TcpStream::SetReuseAddress() {
    int on = 1;
    if (setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        m_error = errno;
        return -1;
    }
    return 0;
}

void TcpStream::Close() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

int TcpStream::Wait(short events, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (m_stop.Raised())
            return 0;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            m_error = ETIMEDOUT;
            return -1;
        }
        pollfd fds[2] = {{m_fd, events, 0}, {m_stop.WaitFd(), POLLIN, 0}};
        const nfds_t count = m_stop.WaitFd() >= 0 ? 2 : 1;
        // Without a stop descriptor the wait goes in short slices so that the
        // flag is still seen promptly.
        const int slice =
            count == 2 ? static_cast<int>(left) : std::min<int>(static_cast<int>(left), 100);
        const int ready = poll(fds, count, slice);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            m_error = errno;
            return -1;
        }
        if (count == 2 && (fds[1].revents & POLLIN) != 0 && !m_stop.Raised())
            m_stop.Drain();
        if ((fds[0].revents & (events | POLLERR | POLLHUP)) != 0)
            return m_stop.Raised() ? 0 : 1;
    }
}

int TcpStream::Connect(const sockaddr_in& peer, int timeoutMs) {
    if (m_stop.Raised())
        return 0;
    if (connect(m_fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0)
        return 0;
    if (errno != EINPROGRESS) {
        m_error = errno;
        return -1;
    }
    const int ready = Wait(POLLOUT, timeoutMs);
    if (ready <= 0)
        return ready;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error != 0) {
        m_error = error;
        return -1;
    }
    return 0;
}

ssize_t TcpStream::Send(std::span<const uint8_t> bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        if (m_stop.Raised())
            return 0;
        const ssize_t n = send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            m_error = errno;
            return -1;
        }
        const int ready = Wait(POLLOUT, m_idleTimeoutMs);
        if (ready <= 0)
            return ready;
    }
    return static_cast<ssize_t>(sent);
}

ssize_t TcpStream::Receive(std::span<uint8_t> buffer) {
    for (;;) {
        if (m_stop.Raised())
            return 0;
        const ssize_t n = recv(m_fd, buffer.data(), buffer.size(), 0);
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN) {
            m_error = errno;
            return -1;
        }
        const int ready = Wait(POLLIN, m_idleTimeoutMs);
        if (ready <= 0)
            return ready;
    }
}

std::optional<sockaddr_in> TcpStream::LocalAddress() const {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (m_fd < 0 || getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return std::nullopt;
    return local;
}

}  // namespace tapewell
