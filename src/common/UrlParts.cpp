#include "common/UrlParts.h"

#include <charconv>

#include "common/TextCodec.h"

namespace tapewell {

namespace {

bool IsSchemeChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '-' || c == '.';
}

// host[:port] or [v6]:port into the parts; false on a bad port or no host.
bool SplitHostPort(const std::string& text, UrlParts& parts) {
    size_t hostEnd = text.size();
    size_t portStart = std::string::npos;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos)
            return false;
        parts.host = text.substr(1, close - 1);
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':')
                return false;
            portStart = close + 2;
        }
    } else {
        const size_t colon = text.rfind(':');
        if (colon != std::string::npos) {
            hostEnd = colon;
            portStart = colon + 1;
        }
        parts.host = text.substr(0, hostEnd);
    }
    if (parts.host.empty())
        return false;
    if (portStart == std::string::npos)
        return true;
    const char* first = text.data() + portStart;
    const char* last = text.data() + text.size();
    unsigned port = 0;
    const auto [end, error] = std::from_chars(first, last, port);
    if (error != std::errc() || end != last || first == last || port == 0 || port > 65535)
        return false;
    parts.port = static_cast<uint16_t>(port);
    return true;
}

}  // namespace

std::optional<UrlParts> SplitUrl(const std::string& address) {
    const size_t schemeEnd = address.find("://");
    if (schemeEnd == std::string::npos || schemeEnd == 0)
        return std::nullopt;
    for (size_t i = 0; i < schemeEnd; ++i) {
        if (!IsSchemeChar(address[i]))
            return std::nullopt;
    }
    UrlParts parts;
    parts.scheme = AsciiLower(address.substr(0, schemeEnd));

    const size_t authorityStart = schemeEnd + 3;
    size_t authorityEnd = address.find_first_of("/?", authorityStart);
    if (authorityEnd == std::string::npos)
        authorityEnd = address.size();
    std::string authority = address.substr(authorityStart, authorityEnd - authorityStart);

    const size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        const std::string userInfo = authority.substr(0, at);
        const size_t colon = userInfo.find(':');
        parts.user = userInfo.substr(0, colon);
        if (colon != std::string::npos)
            parts.password = userInfo.substr(colon + 1);
        authority.erase(0, at + 1);
    }
    if (!SplitHostPort(authority, parts))
        return std::nullopt;

    parts.object = address.substr(authorityEnd);
    if (parts.object.empty() || parts.object[0] != '/')
        parts.object = "/" + parts.object;
    return parts;
}

}  // namespace tapewell
