#pragma once

#include <netinet/in.h>

#include <optional>
#include <string>

#include "common/ErrorOr.h"
#include "common/TcpStream.h"
#include "mms/MmsByteStream.h"

namespace tapewell {

class StopSignal;

// The TCP connection of one MMS session. Runs on the session's thread; the
// stop signal it waits on may be raised from any thread, and then every
// call returns at once as if the peer had closed.
class MmsTransport final : public MmsByteStream {
public:
    explicit MmsTransport(const StopSignal& stop) : m_tcp(stop) {}

    // Connects to the address's host (first IPv4 address) on the address's
    // port, or the MMS port when it names none. Fails with "cannot resolve
    // HOST" for a name the resolver does not know, "socket failed", "sockopt
    // error" or "connect failed !!", or with no message when the stop ended
    // the connect.
    ErrorOr<void> OpenConnection(const std::string& address);
    void Close() { m_tcp.Close(); }
    // Our end of the connection, named in the transport message.
    std::optional<sockaddr_in> LocalAddress() const { return m_tcp.LocalAddress(); }

    ssize_t Receive(std::span<uint8_t> buffer) override { return m_tcp.Receive(buffer); }
    bool Send(std::span<const uint8_t> bytes) override;
    int LastError() const override { return m_tcp.LastError(); }
    void SetReceiveTimeoutMs(int ms) override { m_tcp.SetIdleTimeoutMs(ms); }

private:
    TcpStream m_tcp;
};

// The port an MMS address connects to: its own, or 1755.
uint16_t MmsPortOf(const std::string& address);

}  // namespace tapewell
