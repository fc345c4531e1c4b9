#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/ByteSource.h"
#include "common/ErrorOr.h"

namespace tapewell {

// Where a recording that broke off stands, read back from its file: what a
// reconnected run needs to go on in the same file. The engines write a
// header, then whole packets of one fixed size, and at the end of every run
// make the header describe them; a run that continues keeps that header,
// writes its packets after the last whole one, and (for a live stream) puts
// them on the time line after the last time written.
struct RecordingContinuation {
    // Every byte before the first packet: the Header object and the head of
    // the Data object, as the file has them.
    std::vector<uint8_t> header;
    uint64_t propertiesOffset = 0;  // of the File Properties object in header
    uint32_t packetSize = 0;
    uint64_t packets = 0;  // whole packets after the header
    // The end of the file's time line (ms): the header's Send Duration as
    // the engine's repair left it, or the last packet's send time when that
    // is lower (an on-demand recording's header keeps the whole stream's);
    // 0 without packets.
    uint32_t lastSendTime = 0;
    // The latest presentation time (ms) of the payloads in the file's last
    // 64 packets; 0 without packets. What comes after the break must be
    // presented after it, or a player sees a stream's times step back.
    uint32_t lastPresentationTime = 0;

    // The Header object alone, without the Data object's head.
    std::span<const uint8_t> HeaderObject() const;
    // Where the next packet goes.
    uint64_t DataEnd() const { return header.size() + packets * packetSize; }
};

// Reads the continuation of the recording in source. The error says why the
// file cannot be continued (no ASF header, no Data object right after it,
// packets of no single size); bytes after the last whole packet (a part of
// one) are left out of the count.
ErrorOr<RecordingContinuation> ReadContinuation(ByteSource& source);

}  // namespace tapewell
