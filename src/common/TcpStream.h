#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tapewell {

class StopSignal;

// The short Winsock-style name of a socket error ("CONNRESET" for
// ECONNRESET, "TIMEDOUT" for ETIMEDOUT, ...), or "<%d>" with the number when
// the error has no such name. Engines put it into their socket messages.
std::string SocketErrorName(int errnoValue);

// An IPv4 address for a host name, with the name the resolver calls official
// (the canonical name, or the given name when the resolver has none).
struct HostAddress {
    in_addr address{};
    std::string officialName;
};
// Resolves a host name to its first IPv4 address.
std::optional<HostAddress> ResolveIPv4(const std::string& host);
// Reads dotted IPv4 text ("10.0.0.7").
std::optional<in_addr> ParseIPv4(const std::string& text);
// The name a reverse lookup gives for the address, if any.
std::optional<std::string> ReverseLookupIPv4(in_addr address);

// One TCP connection whose every wait ends early when its stop signal is
// raised, and which never waits forever: connecting and each send or
// receive have their own time limits. Used by the recording engines on
// their worker thread; only the stop signal is touched by other threads.
//
// Results follow the socket calls they replace: 0 or a byte count for
// success, -1 with the errno kept in LastError() for failure. A wait that
// runs out fails with ETIMEDOUT. A raised stop makes every call return 0 at
// once, without touching the socket, as a closed connection would.
class TcpStream {
public:
    explicit TcpStream(const StopSignal& stop);
    ~TcpStream();
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    // Makes the socket; -1 on failure.
    int Open();
    // SO_REUSEADDR on; -1 on failure.
    int SetReuseAddress();
    // 0 when connected, -1 on failure (ECONNREFUSED, ETIMEDOUT, ...); 0
    // without connecting when the stop is raised, so check Stopped().
    int Connect(const sockaddr_in& peer, int timeoutMs);
    // Sends every byte; the count sent, or -1. Each wait for room in the
    // socket buffer is limited to the idle time.
    ssize_t Send(std::span<const uint8_t> bytes);
    // One receive of at most buffer.size() bytes: the count received, 0 when
    // the peer closed or the stop was raised, -1 on an error or when nothing
    // arrived for the idle time.
    ssize_t Receive(std::span<uint8_t> buffer);
    void Close();

    bool IsOpen() const { return m_fd >= 0; }
    bool Stopped() const;
    int LastError() const { return m_error; }
    // Address and port of our end of the connection.
    std::optional<sockaddr_in> LocalAddress() const;

    void SetIdleTimeoutMs(int ms) { m_idleTimeoutMs = ms; }

private:
    // Waits until the socket is ready for events; 1 ready, 0 stopped, -1
    // failed or timed out (m_error set).
    int Wait(short events, int timeoutMs);

    const StopSignal& m_stop;
    int m_fd = -1;
    int m_error = 0;
    int m_idleTimeoutMs;
};

}  // namespace tapewell
