#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "StreamFilter.h"

namespace tapewell::testserver {

// One HTTP request head as a Windows Media player or a proxy client sends it.
struct HttpRequest {
    std::string method;
    std::string target;  // as sent: origin form "/a/b" or absolute form "http://h:p/a/b"
    std::string path;    // percent-decoded, query removed, always starting with '/'
    std::vector<std::pair<std::string, std::string>> headers;  // in order, values trimmed

    // From the Pragma lines: "xPlayStrm=1" asks for the stream itself rather
    // than the header alone; "stream-offset=T:B" carries the bytes already
    // held (B), where all bits set means none.
    bool hasPragma = false;
    bool playStream = false;
    std::optional<uint64_t> resumeBytes;
    // "stream-switch-entry=..." lines: the streams the client wants left out.
    StreamSwitchState streams;

    // Value of the first header of that name (compared without case), or
    // nullptr.
    const std::string* Header(std::string_view name) const;
};

// Parses a request head: everything before the blank line that ends it.
// On failure returns nothing and says why in *error.
std::optional<HttpRequest> ParseHttpRequest(std::string_view head, std::string* error);

// Length of the head including its terminating blank line when the buffer
// holds a complete one, else 0.
size_t FindHeadEnd(std::string_view buffer);

}  // namespace tapewell::testserver
