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
    // The errno of the last receive that failed (ETIMEDOUT for a silent
    // peer); 0 when none did.
    virtual int LastError() const { return 0; }
    // How long a receive waits for a silent peer from now on; a stream
    // that never waits ignores it.
    virtual void SetReceiveTimeoutMs(int /*ms*/) {}
};

// How ReceiveExact ended.
enum class ReceiveEnd {
    Complete,  // the buffer is full
    Closed,    // the peer closed, or the session was stopped, first
    Failed,    // a receive failed or timed out (the stream's LastError says how)
};

// Fills the whole buffer from the stream. *received (when given) counts the
// bytes that came, also when it ended early.
ReceiveEnd ReceiveExact(MmsByteStream& stream, std::span<uint8_t> buffer,
                        size_t* received = nullptr);

}  // namespace tapewell
