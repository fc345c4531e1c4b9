#include "HttpRequest.h"

#include <strings.h>
#include <charconv>

namespace tapewell::testserver {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The path part of an origin-form or absolute-form target, percent-decoded,
// without its query.
std::optional<std::string> TargetPath(std::string_view target, std::string* error) {
    if (StartsWithNoCase(target, "http://")) {
        target.remove_prefix(7);
        const size_t slash = target.find('/');
        target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
    if (target.empty() || target.front() != '/') {
        *error = "request target is not a path";
        return std::nullopt;
    }
    target = target.substr(0, target.find('?'));
    std::string path;
    for (size_t i = 0; i < target.size(); ++i) {
        char c = target[i];
        if (c == '%') {
            const int hi = i + 2 < target.size() ? HexValue(target[i + 1]) : -1;
            const int lo = hi >= 0 ? HexValue(target[i + 2]) : -1;
            if (lo < 0) {
                *error = "bad percent escape in the request target";
                return std::nullopt;
            }
            c = static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        if (c == '\0') {
            *error = "NUL in the request target";
            return std::nullopt;
        }
        path += c;
    }
    return path;
}

// One comma-separated Pragma value: "no-cache,rate=1.000000,stream-offset=0:0".
void ReadPragma(std::string_view value, HttpRequest& request) {
    request.hasPragma = true;
    constexpr std::string_view kSwitchEntries = "stream-switch-entry=";
    if (StartsWithNoCase(value, kSwitchEntries)) {
        // A line of its own, its entries separated by blanks.
        request.streams.ApplyPragmaEntries(value.substr(kSwitchEntries.size()));
        return;
    }
    while (!value.empty()) {
        const size_t comma = value.find(',');
        const std::string_view item = Trim(value.substr(0, comma));
        value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
        if (EqualsNoCase(item, "xPlayStrm=1")) {
            request.playStream = true;
        } else if (StartsWithNoCase(item, "stream-offset=")) {
            const std::string_view numbers = item.substr(14);
            const size_t colon = numbers.find(':');
            if (colon == std::string_view::npos) {
                continue;
            }
            uint64_t bytes = 0;
            const std::string_view text = numbers.substr(colon + 1);
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), bytes);
            if (ec == std::errc() && end == text.data() + text.size() && bytes != 0xFFFFFFFFu) {
                request.resumeBytes = bytes;
            }
        }
    }
}

bool ReadRequestLine(std::string_view line, HttpRequest& request, std::string* error) {
    const size_t sp1 = line.find(' ');
    const size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || !StartsWithNoCase(line.substr(sp2 + 1), "HTTP/1.")) {
        *error = "malformed request line";
        return false;
    }
    request.method = std::string(line.substr(0, sp1));
    request.target = std::string(line.substr(sp1 + 1, sp2 - sp1 - 1));
    auto path = TargetPath(request.target, error);
    if (!path) {
        return false;
    }
    request.path = std::move(*path);
    return true;
}

}  // namespace

const std::string* HttpRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (EqualsNoCase(key, name)) {
            return &value;
        }
    }
    return nullptr;
}

size_t FindHeadEnd(std::string_view buffer) {
    const size_t crlf = buffer.find("\r\n\r\n");
    if (crlf != std::string_view::npos) {
        return crlf + 4;
    }
    const size_t lf = buffer.find("\n\n");
    return lf == std::string_view::npos ? 0 : lf + 2;
}

std::optional<HttpRequest> ParseHttpRequest(std::string_view head, std::string* error) {
    HttpRequest request;
    bool first = true;
    while (!head.empty()) {
        const size_t lf = head.find('\n');
        std::string_view line = head.substr(0, lf);
        head = lf == std::string_view::npos ? std::string_view() : head.substr(lf + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (first) {
            if (!ReadRequestLine(line, request, error)) {
                return std::nullopt;
            }
            first = false;
            continue;
        }
        if (line.empty()) {
            break;
        }
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            *error = "malformed header line";
            return std::nullopt;
        }
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = Trim(line.substr(colon + 1));
        if (EqualsNoCase(name, "Pragma")) {
            ReadPragma(value, request);
        }
        request.headers.emplace_back(std::string(name), std::string(value));
    }
    if (first) {
        *error = "empty request";
        return std::nullopt;
    }
    return request;
}

}  // namespace tapewell::testserver
