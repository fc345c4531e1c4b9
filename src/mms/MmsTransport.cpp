#include "mms/MmsTransport.h"

#include <arpa/inet.h>

#include "common/Limits.h"
#include "common/UrlParts.h"
#include "mms/MmsProtocol.h"

namespace tapewell {

uint16_t MmsPortOf(const std::string& address) {
    const std::optional<UrlParts> parts = SplitUrl(address);
    return parts && parts->port != 0 ? parts->port : mms::kPort;
}

ErrorOr<void> MmsTransport::OpenConnection(const std::string& address) {
    const std::optional<UrlParts> parts = SplitUrl(address);
    std::optional<in_addr> host;
    if (parts) {
        if (auto resolved = ResolveIPv4(parts->host)) {
            host = resolved->address;
        } else {
            host = ParseIPv4(parts->host);
        }
    }
    // A name that does not resolve is told apart from a server that does not
    // answer: the user has a typing error to fix, not a server to wait for.
    if (parts && !host) {
        return Error::FromMessage("cannot resolve " + parts->host);
    }
    if (m_tcp.Open() < 0) {
        return Error::FromMessage("socket failed");
    }
    if (m_tcp.SetReuseAddress() < 0) {
        m_tcp.Close();
        return Error::FromMessage("sockopt error");
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(MmsPortOf(address));
    if (host) {
        peer.sin_addr = *host;
    }
    if (!host || m_tcp.Connect(peer, limits::kConnectTimeoutMs) < 0 || m_tcp.Stopped()) {
        const bool stopped = m_tcp.Stopped();
        m_tcp.Close();
        return Error::FromMessage(stopped ? "" : "connect failed !!");
    }
    return {};
}

bool MmsTransport::Send(std::span<const uint8_t> bytes) {
    return m_tcp.Send(bytes) == static_cast<ssize_t>(bytes.size());
}

}  // namespace tapewell
