#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "ServedFile.h"

namespace tapewell::testserver {

// The packets of a served file in stream order, from a starting packet. A
// live file repeats without end: each round's numbers follow on from the
// last round's and its times are moved later by the file's loop span, so
// that clients see one continuous broadcast.
class PacketFeed {
public:
    struct Packet {
        uint64_t number;    // location number / chunk sequence number
        uint32_t sendTime;  // ms, as written in the packet (carried over when it has none)
        std::span<uint8_t> bytes;
    };

    PacketFeed(const ServedFile& file, uint64_t firstPacket);

    // The next packet, or nothing at the end of an on-demand file or when
    // the file could not be read. The bytes stay valid until the next call.
    std::optional<Packet> Next();
    bool ReadFailed() const { return m_readFailed; }

private:
    bool Refill();

    const ServedFile& m_file;
    std::vector<uint8_t> m_batch;
    uint64_t m_batchFirst = 0;  // index within the file of the batch's first packet
    size_t m_batchCount = 0;
    size_t m_inBatch = 0;
    uint64_t m_round = 0;
    uint64_t m_nextIndex;  // index within the file of the next packet to read
    uint32_t m_lastSendTime = 0;
    bool m_readFailed = false;
};

// When each packet may go out: at once, at the pace of its send times, or
// at a fixed bit rate.
class Pacer {
public:
    enum class Mode { Max, Realtime, Bitrate };
    Pacer(Mode mode, uint32_t kilobitsPerSecond) : m_mode(mode), m_kbps(kilobitsPerSecond) {}

    // The moment a packet with that send time may be sent when bytesSent
    // bytes have gone before it; nothing when it may go now.
    std::optional<std::chrono::steady_clock::time_point> DueTime(uint32_t sendTime,
                                                                 uint64_t bytesSent);

private:
    Mode m_mode;
    uint32_t m_kbps;
    bool m_started = false;
    std::chrono::steady_clock::time_point m_start;
    uint32_t m_firstSendTime = 0;
};

class Connection;

enum class StreamEnd { EndOfFile, Dropped, ClientGone, Stopped, ReadFailed };

// Appends one packet, framed for the protocol, to the outgoing bytes.
using FramePacket = std::function<void(std::vector<uint8_t>& out, const PacketFeed::Packet&)>;

// Sends the feed's packets in batches at the pacer's pace until the file
// ends, dropAfter packets have gone (0: no limit), the client is gone, or
// keepGoing (asked between batches; may be empty) says to stop.
StreamEnd StreamPackets(Connection& connection, PacketFeed& feed, Pacer& pacer, uint64_t dropAfter,
                        const FramePacket& frame, const std::function<bool()>& keepGoing);

}  // namespace tapewell::testserver
