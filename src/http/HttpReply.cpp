#include "http/HttpReply.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "common/Limits.h"
#include "common/TextCodec.h"
#include "http/EngineMessages.h"
#include "http/StreamInfo.h"
#include "http/StreamReader.h"

namespace tapewell {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && AsciiLower(text.substr(0, prefix.size())) == prefix;
}

std::string BoundedValue(std::string_view text) {
    return std::string(text.substr(0, limits::kHttpReplyValueBytes - 1));
}

void ReadStatusLine(const std::string& line, ReplyHeader& h, EngineMessages& messages) {
    if (!StartsWithNoCase(line, "http/1.0 ") && !StartsWithNoCase(line, "http/1.1 ")) {
        messages.Error("Illegal server reply! Expected HTTP/1.0 or HTTP/1.1");
        return;
    }
    h.statusLineOk = true;
    std::from_chars(line.data() + 9, line.data() + line.size(), h.code);
    h.reason = line.size() > 13 ? line.substr(13) : std::string();
}

void ReadHeaderLine(const std::string& line, ReplyHeader& h) {
    if (StartsWithNoCase(line, "content-type: ")) {
        h.contentType = BoundedValue(std::string_view(line).substr(14));
    } else if (StartsWithNoCase(line, "pragma: features=")) {
        h.features = BoundedValue(std::string_view(line).substr(17));
    }
}

// Reads the body into the buffer, up to its size or the end of the
// connection.
uint32_t ReadBody(StreamReader& reader, std::span<uint8_t> buffer) {
    if (reader.Exhausted()) {
        return 0;
    }
    return static_cast<uint32_t>(reader.Read(buffer));
}

uint32_t StatusByContent(const ReplyHeader& header, StreamReader& reader, std::span<uint8_t> buffer,
                         uint32_t* bodyLength, EngineMessages& messages) {
    static constexpr std::string_view kPlaylistTypes[] = {
        "audio/x-ms-wax", "audio/x-ms-wma", "video/x-ms-asf", "video/x-ms-afs",
        "video/x-ms-wvx", "video/x-ms-wmv", "video/x-ms-wma"};
    const std::string type = AsciiLower(header.contentType);
    if (type == "application/octet-stream") {
        return header.features.find("broadcast") != std::string::npos ? kStatusLive
                                                                      : kStatusOnDemand;
    }
    if (std::find(std::begin(kPlaylistTypes), std::end(kPlaylistTypes), type) !=
        std::end(kPlaylistTypes)) {
        *bodyLength = ReadBody(reader, buffer);
        return kStatusPlaylist;
    }
    if (type == "text/html" || type == "text/plain") {
        *bodyLength = ReadBody(reader, buffer);
        return LooksLikePlaylist(buffer.first(*bodyLength)) ? kStatusPlaylist : kStatusUnusable;
    }
    messages.Notice("unknown content-type: %s", header.contentType.c_str());
    return kStatusUnusable;
}

}  // namespace

ReplyHeader ReadReplyHeader(StreamReader& reader, EngineMessages& messages) {
    ReplyHeader h;
    std::string line;
    bool firstLine = true;
    for (size_t total = 0;; ++total) {
        if (total == limits::kHttpReplyHeaderBytes) {
            messages.Error("Illegal server reply! Header too long");
            h.tooLong = true;
            break;
        }
        uint8_t byte = 0;
        if (!reader.ReadByte(byte)) {
            messages.Error("readfromstream() returned other than 1!");
            if (reader.Exhausted()) {
                break;
            }
            continue;
        }
        if (h.copy.size() < limits::kHttpReplyCopyBytes - 1) {
            h.copy += static_cast<char>(byte);
        }
        if (byte != '\r' && byte != '\n') {
            if (line.size() < limits::kHttpReplyLineBytes - 1) {
                line += static_cast<char>(byte);
            }
            continue;
        }
        if (byte != '\n') {
            continue;
        }
        if (line.empty()) {
            break;  // a line of nothing but CR and LF ends the header
        }
        if (firstLine) {
            ReadStatusLine(line, h, messages);
            firstLine = false;
        } else {
            ReadHeaderLine(line, h);
        }
        line.clear();
    }
    return h;
}

uint32_t ClassifyReply(const ReplyHeader& header, StreamReader& reader, std::span<uint8_t> buffer,
                       uint32_t* bodyLength, EngineMessages& messages) {
    *bodyLength = 0;
    if (header.tooLong) {
        return kStatusHttpError;  // what follows is not known to be a body
    }
    uint32_t status = StatusByContent(header, reader, buffer, bodyLength, messages);
    if (header.code == 200 || header.code == 401) {
        messages.Progress("reply: %d - %s", header.code, header.reason.c_str());
    } else {
        messages.Error("reply: %d - %s", header.code, header.reason.c_str());
    }
    if (header.code != 200) {
        status = header.code == 401 ? kStatusAuthRequired : kStatusHttpError;
    }
    return status;
}

bool LooksLikePlaylist(std::span<const uint8_t> body) {
    static constexpr std::string_view kStarts[] = {
        "<asx", "< asx", "asf ", "asf\t", "http://", "mms://", "mmst://", "mmsu://", "[reference]"};
    size_t at = 0;
    while (at < body.size() &&
           (body[at] == ' ' || body[at] == '\t' || body[at] == '\r' || body[at] == '\n')) {
        ++at;
    }
    const std::string_view text(reinterpret_cast<const char*>(body.data()) + at, body.size() - at);
    for (std::string_view start : kStarts) {
        if (StartsWithNoCase(text, start)) {
            return true;
        }
    }
    return false;
}

}  // namespace tapewell
