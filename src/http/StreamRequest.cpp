#include "http/StreamRequest.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <ctime>
#include <random>

#include "common/Base64.h"
#include "common/Limits.h"
#include "common/TcpStream.h"
#include "common/TextCodec.h"
#include "common/TextFormat.h"
#include "engine/EngineOptions.h"
#include "http/EngineMessages.h"

namespace tapewell {

namespace {

constexpr char kAgentLine[] = "User-Agent: NSPlayer/4.1.0.3856\r\n";

bool IsUrlSafe(unsigned char c) {
    return std::isalnum(c) != 0 || std::strchr("-_.!~*'()%;/?:@&=+$,", c) != nullptr;
}

bool StripPrefixNoCase(std::string& text, std::string_view prefix) {
    if (text.size() < prefix.size() || AsciiLower(text.substr(0, prefix.size())) != prefix) {
        return false;
    }
    text.erase(0, prefix.size());
    return true;
}

// The number after a colon as the address reads it: leading digits only.
uint16_t PortNumber(std::string_view text) {
    uint32_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return static_cast<uint16_t>(value);  // held in 16 bits
}

// The lines every request starts with, up to and without its Pragma lines.
std::string RequestStart(const RequestFields& f) {
    std::string text = FormatText("GET %s HTTP/1.0\r\n", f.requestTarget.c_str());
    if (!f.credentials.empty()) {
        text += "Authorization: Basic " + f.credentials + "\r\n";
    }
    text += "Accept: */*\r\n";
    text += kAgentLine;
    if (!f.hostHeader.empty()) {
        text += "Host: " + f.hostHeader + "\r\n";
    }
    return text;
}

// The stream-switch lines: the count, then all the entries, blank-separated,
// on a line of their own (each "ffff" for no stream switched from, the
// stream in hex, its thinning level: 0 for all of it, 2 for none).
std::string StreamSwitchLines(std::span<const StreamSwitch> streams) {
    const bool allOn =
        std::all_of(streams.begin(), streams.end(), [](const StreamSwitch& s) { return s.on; });
    if (allOn) {
        return "Pragma: stream-switch-count=1\r\n"
               "Pragma: stream-switch-entry=ffff:1:0\r\n";
    }
    std::string entries;
    for (const StreamSwitch& s : streams) {
        entries += FormatText("%sffff:%x:%d", entries.empty() ? "" : " ",
                              static_cast<unsigned>(s.number), s.on ? 0 : 2);
    }
    return FormatText("Pragma: stream-switch-count=%zu\r\n", streams.size()) +
           "Pragma: stream-switch-entry=" + entries + "\r\n";
}

std::string StreamRequestEnd(const RequestFields& f, std::span<const StreamSwitch> streams) {
    return "Pragma: xPlayStrm=1\r\n"
           "Pragma: xClientGUID=" +
           f.clientGuid + "\r\n" + StreamSwitchLines(streams) + "Connection: Close\r\n\r\n";
}

// Applies the proxy text to the target: the connection goes to the proxy.
// False when the row is to be skipped.
bool ApplyProxy(std::string proxy, StreamTarget& t, EngineMessages& messages) {
    t.requestTarget =
        t.port == 80
            ? FormatText("http://%s%s", t.host.c_str(), t.requestTarget.c_str())
            : FormatText("http://%s:%d%s", t.host.c_str(), t.port, t.requestTarget.c_str());
    t.viaProxy = true;
    t.hostHeader.clear();
    StripPrefixNoCase(proxy, "http://");
    if (proxy.find('/') != std::string::npos) {
        // The request stays a proxy request, sent to the address's own host.
        messages.Warning("Invalid proxy URL format!");
        return true;
    }
    const size_t colon = proxy.find(':');
    if (colon != std::string::npos) {
        t.port = PortNumber(std::string_view(proxy).substr(colon + 1));
        if (t.port == 0) {
            messages.Warning("Invalid proxy URL format!");
            return false;
        }
        proxy.resize(colon);
    }
    t.host = proxy;
    return true;
}

}  // namespace

std::optional<std::string> EscapeUrl(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (IsUrlSafe(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        if (out.size() >= limits::kHttpEscapedUrlBytes) {
            return std::nullopt;
        }
    }
    return out;
}

std::string MakeClientGuid() {
    std::minstd_rand generator(static_cast<uint32_t>(std::time(nullptr)));
    std::string guid = "{";
    for (int digit = 0; digit < 32; ++digit) {
        if (digit == 8 || digit == 12 || digit == 16 || digit == 20) {
            guid += '-';
        }
        // Modulo 15, as players of this dialect make it: "F" never occurs.
        guid += "0123456789ABCDE"[generator() % 15];
    }
    return guid + "}";
}

std::string BasicCredentials(const std::string& user, const std::string& password) {
    if (user.empty() || password.empty()) {
        return {};
    }
    std::string joined = user + ":" + password;
    if (joined.size() >= limits::kHttpCredentialBytes) {
        joined.resize(limits::kHttpCredentialBytes - 1);
    }
    return Base64Encode(joined);
}

std::optional<StreamTarget> ParseStreamAddress(const std::string& address, uint16_t port,
                                               const std::string& proxy, EngineMessages& messages) {
    messages.Progress("Parsing URL: '%s'\n", address.c_str());
    std::optional<std::string> escaped = EscapeUrl(address);
    if (!escaped) {
        messages.Warning("Invalid URL format!");
        return std::nullopt;
    }
    std::string rest = *escaped;
    StripPrefixNoCase(rest, "http://");
    StripPrefixNoCase(rest, "mms://");
    StripPrefixNoCase(rest, "mmsu://");
    StripPrefixNoCase(rest, "mmst://");
    const size_t slash = rest.find('/');
    if (slash == std::string::npos) {
        messages.Warning("Invalid URL format!");
        return std::nullopt;
    }
    StreamTarget t;
    t.port = port;
    t.host = rest.substr(0, slash);
    t.requestTarget = rest.substr(slash);
    if (const size_t colon = t.host.find(':'); colon != std::string::npos) {
        t.port = PortNumber(std::string_view(t.host).substr(colon + 1));
        t.host.resize(colon);
        if (t.port == 0) {
            messages.Warning("Invalid URL format!");
            return std::nullopt;
        }
    }
    if (t.host.size() >= limits::kHttpHostBytes ||
        t.requestTarget.size() >= limits::kHttpPathBytes) {
        messages.Warning("Invalid URL format!");
        return std::nullopt;
    }
    t.hostHeader = t.host;
    if (!proxy.empty()) {
        if (proxy.size() >= limits::kHttpProxyBytes) {
            messages.Warning("Invalid proxy URL format!");
            return std::nullopt;
        }
        if (!ApplyProxy(proxy, t, messages)) {
            return std::nullopt;
        }
    }
    if (t.host.empty()) {
        return std::nullopt;
    }
    return t;
}

std::string ChooseProxy(const EngineOptions& options) {
    if (!options.useProxy) {
        return {};
    }
    if (!options.bypassProxy) {
        if (options.proxyServer.empty()) {
            return {};
        }
        return FormatText("%s:%d", options.proxyServer.c_str(), options.proxyPort);
    }
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    std::optional<HostAddress> local = ResolveIPv4(name);
    if (!local) {
        return {};
    }
    const auto* b = reinterpret_cast<const uint8_t*>(&local->address);
    return FormatText("%d.%d.%d.%d:%d", b[0], b[1], b[2], b[3], options.proxyPort);
}

std::string BuildProbeRequest(const RequestFields& f) {
    return RequestStart(f) +
           "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=0:0,request-context=1,"
           "max-duration=0\r\n"
           "Pragma: xClientGUID=" +
           f.clientGuid + "\r\nConnection: Close\r\n\r\n";
}

std::string BuildOnDemandRequest(const RequestFields& f, uint32_t offsetTime, uint32_t offsetBytes,
                                 uint32_t durationMs, std::span<const StreamSwitch> streams) {
    return RequestStart(f) +
           FormatText(
               "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=%u:%u,"
               "request-context=2,max-duration=%u\r\n",
               offsetTime, offsetBytes, durationMs) +
           StreamRequestEnd(f, streams);
}

std::string BuildLiveRequest(const RequestFields& f, std::span<const StreamSwitch> streams) {
    return RequestStart(f) + "Pragma: no-cache,rate=1.000000,request-context=2\r\n" +
           StreamRequestEnd(f, streams);
}

}  // namespace tapewell
