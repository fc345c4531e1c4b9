#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <vector>

namespace tapewell {

// Where an MMS session's bytes come from and its messages go: the TCP
// connection when recording, a byte buffer when the reading is fuzzed.
// Used by the session's thread only.
class MmsByteStream {
public:
    virtual ~MmsByteStream() = default;
    // One receive into the buffer: the count received, 0 when the peer
    // closed or the session was stopped, -1 on an error or an idle time-out.
    virtual ssize_t Receive(std::span<uint8_t> buffer) = 0;
    // Sends the whole message; false when it could not.
    virtual bool Send(std::span<const uint8_t> bytes) = 0;
};

// Fills the whole buffer from the stream; false when a receive failed, the
// peer closed or the session was stopped first.
bool ReceiveExact(MmsByteStream& stream, std::span<uint8_t> buffer);

}  // namespace tapewell
