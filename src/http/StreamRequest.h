#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "asf/StreamSelection.h"

namespace tapewell {

struct EngineOptions;
class EngineMessages;

// The request texts of Windows Media HTTP streaming and what goes into
// them. Everything here is called on the engine's worker thread and keeps
// no state.

// Escapes every byte outside the characters a URL may carry as they are
// ("%" and the reserved characters stay, so an already escaped address is
// not escaped twice) as "%XX". Nothing when the result would not fit
// limits::kHttpEscapedUrlBytes with its terminator.
std::optional<std::string> EscapeUrl(std::string_view text);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" from a generator seeded with the
// current second, so that two addresses started in the same second carry
// the same client GUID. Digits are 0-9 and A-E.
std::string MakeClientGuid();

// Base64 of "user:password" for an Authorization line, or "" when either is
// empty (no line is sent then). The joined text is cut to
// limits::kHttpCredentialBytes - 1 bytes.
std::string BasicCredentials(const std::string& user, const std::string& password);

// One stream address taken apart for its exchanges.
struct StreamTarget {
    std::string host;  // the host to resolve and connect to
    uint16_t port = 80;
    std::string hostHeader;     // "Host:" value; empty when a proxy is used
    std::string requestTarget;  // path, or "http://host[:port]/path" through a proxy
    bool viaProxy = false;
};

// Takes an address apart for port `port` (the row's "-p" port) and the
// proxy text (empty for none): escapes it, strips one "http://", "mms://",
// "mmsu://" and "mmst://" prefix each (every address is fetched over HTTP),
// splits host, explicit port and path. Issues "Invalid URL format!" or
// "Invalid proxy URL format!" (warning) and returns nothing for a row to be
// skipped.
std::optional<StreamTarget> ParseStreamAddress(const std::string& address, uint16_t port,
                                               const std::string& proxy, EngineMessages& messages);

// The proxy text "host:port" the options ask for, or "" for none. With
// "Bypass Proxy" the proxy is this machine's own first IPv4 address.
std::string ChooseProxy(const EngineOptions& options);

// Everything a request is built from.
struct RequestFields {
    std::string requestTarget;
    std::string hostHeader;   // no "Host:" line when empty
    std::string credentials;  // BasicCredentials(); no line when empty
    std::string clientGuid;
};

// The first request for every address: asks for the ASF header only.
std::string BuildProbeRequest(const RequestFields& fields);
// The stream requests ask for the streams given, each in full or not at
// all; no streams, or every one on, asks the way the recorder always has
// ("stream-switch-entry=ffff:1:0").
//
// The stream request of an on-demand stream, from byte `offsetBytes` on
// (4294967295 twice when there is no offset), lasting durationMs.
std::string BuildOnDemandRequest(const RequestFields& fields, uint32_t offsetTime,
                                 uint32_t offsetBytes, uint32_t durationMs,
                                 std::span<const StreamSwitch> streams = {});
// The stream request of a live stream.
std::string BuildLiveRequest(const RequestFields& fields,
                             std::span<const StreamSwitch> streams = {});

}  // namespace tapewell
