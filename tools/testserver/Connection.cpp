#include "Connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "ServerLimits.h"

namespace tapewell::testserver {
namespace {

constexpr size_t kReadChunk = 16 * 1024;

std::string PeerName(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return "?";
    }
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

}  // namespace

Connection::Connection(int fd) : m_fd(fd), m_peer(PeerName(fd)) {
    // A client that stops reading must not hold a session forever.
    timeval idle{limits::kIdleSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &idle, sizeof idle);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

Connection::~Connection() {
    close(m_fd);
}

Connection::Read Connection::ReadMore(int timeoutMs) {
    pollfd p{m_fd, POLLIN, 0};
    int ready;
    do {
        ready = poll(&p, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) {
        return Read::TimedOut;
    }
    if (ready < 0) {
        return Read::Closed;
    }
    const size_t at = m_input.size();
    m_input.resize(at + kReadChunk);
    ssize_t n;
    do {
        n = recv(m_fd, m_input.data() + at, kReadChunk, 0);
    } while (n < 0 && errno == EINTR);
    m_input.resize(at + (n > 0 ? static_cast<size_t>(n) : 0));
    return n > 0 ? Read::Data : Read::Closed;
}

void Connection::Consume(size_t bytes) {
    m_input.erase(m_input.begin(), m_input.begin() + static_cast<ptrdiff_t>(bytes));
}

bool Connection::Send(std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const size_t piece = m_dripMicros > 0 ? 1 : bytes.size();
        if (m_dripMicros > 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(m_dripMicros));
        }
        const ssize_t n = send(m_fd, bytes.data(), piece, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes = bytes.subspan(static_cast<size_t>(n));
    }
    return true;
}

bool Connection::Send(std::string_view text) {
    return Send(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

int ListenTcp(const std::string& address, uint16_t port, uint16_t* boundPort, std::string* error) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
        *error = "not an IPv4 address: " + address;
        return -1;
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, 128) != 0) {
        *error = address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    socklen_t length = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &length);
    *boundPort = ntohs(sa.sin_port);
    return fd;
}

void LogLine(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace tapewell::testserver
