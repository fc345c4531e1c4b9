#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tapewell::testserver {

// One accepted TCP connection, owned by the thread that serves it. Reads
// collect into an input buffer that the protocol code consumes from the
// front; writes go out whole or fail.
class Connection {
public:
    explicit Connection(int fd);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    enum class Read { Data, Closed, TimedOut };
    // Waits up to timeoutMs for bytes and appends what arrived to Input().
    Read ReadMore(int timeoutMs);
    std::vector<uint8_t>& Input() { return m_input; }
    void Consume(size_t bytes);

    // False when the peer is gone or stopped reading for the idle limit.
    bool Send(std::span<const uint8_t> bytes);
    bool Send(std::string_view text);
    // From now on every byte goes out in a send of its own, followed by a
    // pause of that many microseconds: a peer on a very slow link.
    void Drip(int pauseMicros) { m_dripMicros = pauseMicros; }
    int Fd() const { return m_fd; }
    // "address:port" of the client, for the log.
    const std::string& Peer() const { return m_peer; }

private:
    int m_fd;
    std::string m_peer;
    std::vector<uint8_t> m_input;
    int m_dripMicros = 0;
};

// A listening TCP socket on address:port (port 0 picks a free one); -1 on
// failure with the reason in *error. *boundPort receives the port in use.
int ListenTcp(const std::string& address, uint16_t port, uint16_t* boundPort, std::string* error);

// One line on stderr, written whole even when several sessions log at once.
void LogLine(const std::string& line);

}  // namespace tapewell::testserver
