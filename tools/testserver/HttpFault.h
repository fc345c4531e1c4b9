#pragma once

#include <optional>
#include <string_view>

namespace tapewell::testserver {

// The ways the HTTP side misbehaves on purpose (--http-fault), each one a
// peer a recorder meets in the wild: a server that stalls or dies in the
// middle of a chunk, a link that delivers a byte at a time, framing that
// lies, replies that never end, credentials that are never enough and
// redirects that go round in a circle.
enum class HttpFault {
    None,
    Stall,         // after a few data packets: nothing more, the connection stays open
    CutHead,       // after a few data packets: closed inside the next chunk's prefix
    CutBody,       // after a few data packets: closed inside the next data packet
    Drip,          // every byte of the stream in a send of its own
    BadConfirm,    // after a few data packets: one chunk's length confirmation differs
    Oversized,     // after a few data packets: a "$D" chunk of length 0xFFFF, filler body
    EndlessHead,   // every request: a reply header line without a line end, forever
    EndlessBody,   // plain downloads: the file, then spaces forever
    AuthLoop,      // every request: 401, whatever credentials it carries
    RedirectLoop,  // every request: 302 to its own address
};

// The faults that strike in the middle of a stream's data packets.
inline bool IsDataFault(HttpFault fault) {
    return fault == HttpFault::Stall || fault == HttpFault::CutHead ||
           fault == HttpFault::CutBody || fault == HttpFault::BadConfirm ||
           fault == HttpFault::Oversized;
}

// The fault a --http-fault name gives, or nothing for an unknown name.
std::optional<HttpFault> ParseHttpFault(std::string_view name);

}  // namespace tapewell::testserver
