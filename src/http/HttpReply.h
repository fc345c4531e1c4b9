#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tapewell {

class EngineMessages;
class StreamReader;

// The parts of a reply header the engine looks at. The reader and the
// classification below run on the engine's worker thread.
struct ReplyHeader {
    bool statusLineOk = false;  // began with "HTTP/1.0 " or "HTTP/1.1 "
    int code = 0;
    std::string reason = "<none>";
    std::string contentType;  // cut to limits::kHttpReplyValueBytes - 1
    std::string features;     // of "Pragma: features=..."
    std::string copy;         // the header as received, for the "-d" dump (bounded)
    bool tooLong = false;     // no blank line within limits::kHttpReplyHeaderBytes
};

// Reads a reply header one byte at a time up to its blank line or the end
// of the connection. Lines and the copy are bounded: longer lines are cut,
// and a header that has not ended after limits::kHttpReplyHeaderBytes is
// abandoned. Issues "Illegal server reply! ..." (error) for a missing status
// line and for a header that does not end.
ReplyHeader ReadReplyHeader(StreamReader& reader, EngineMessages& messages);

// Classifies the reply (kStatus... of StreamInfo.h) by its content type;
// for playlist and text replies the body is read into `buffer` and its
// length stored in *bodyLength. Then issues "reply: %d - %s" and lets a
// reply code other than 200 decide: 401 gives 2, the rest 1.
uint32_t ClassifyReply(const ReplyHeader& header, StreamReader& reader, std::span<uint8_t> buffer,
                       uint32_t* bodyLength, EngineMessages& messages);

// Whether a text reply's body is a playlist or a list of addresses.
bool LooksLikePlaylist(std::span<const uint8_t> body);

}  // namespace tapewell
