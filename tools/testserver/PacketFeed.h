#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "ServedFile.h"

namespace tapewell::testserver {

// Where the packets a session sends come from.
class PacketSource {
public:
    struct Packet {
        uint64_t number;    // location number / chunk sequence number
        uint32_t sendTime;  // ms, as written in the packet (carried over when it has none)
        std::span<uint8_t> bytes;
        // A header that goes out right before this packet, or empty: the
        // stream's own header again, or with newLayout the header of another
        // file, whose packets follow.
        std::span<const uint8_t> header;
        bool newLayout;
    };

    virtual ~PacketSource() = default;
    // The next packet, or nothing at the end of an on-demand file or when
    // the file could not be read. The bytes stay valid until the next call.
    virtual std::optional<Packet> Next() = 0;
    virtual bool ReadFailed() const = 0;
};

// The packets of a served file in stream order, from a starting packet. A
// live file repeats without end: each round's numbers follow on from the
// last round's and its times are moved later by the file's loop span, so
// that clients see one continuous broadcast.
class PacketFeed : public PacketSource {
public:
    // firstRound > 0 starts a live file that many loops in, numbers and
    // times as if the earlier rounds had been sent.
    PacketFeed(const ServedFile& file, uint64_t firstPacket, uint64_t firstRound = 0);

    std::optional<Packet> Next() override;
    bool ReadFailed() const override { return m_readFailed; }

    // Every round keeps the file's own times instead of running on, as a
    // source that loops does.
    void KeepTimesEachRound() { m_shiftTimes = false; }
    // The location number the next packet gets; later ones follow on.
    void NumberFrom(uint64_t next) { m_nextNumber = next; }
    uint64_t NextNumber() const { return m_nextNumber; }
    // Whether the packet Next gave last is the first of a round after the
    // first one (the first time that round is reached).
    bool BeganRound() const { return m_beganRound; }
    // Makes the feed give again the packets it gave whose send times lie
    // within ms of the last one's, at most maxPackets of them (and never
    // more than it remembers). Their numbers go on from the last one.
    void StepBack(uint32_t ms, size_t maxPackets);

private:
    struct Position {
        uint64_t round;
        uint64_t index;
        uint32_t sendTime;
    };
    bool Refill();
    void Seek(uint64_t round, uint64_t index);

    const ServedFile& m_file;
    std::vector<uint8_t> m_batch;
    uint64_t m_batchFirst = 0;  // index within the file of the batch's first packet
    size_t m_batchCount = 0;
    size_t m_inBatch = 0;
    uint64_t m_round = 0;
    uint64_t m_nextIndex;  // index within the file of the next packet to read
    uint32_t m_lastSendTime = 0;
    bool m_readFailed = false;
    uint64_t m_nextNumber;
    bool m_shiftTimes = true;
    bool m_beganRound = false;
    uint64_t m_roundsBegun;         // the highest round reached so far
    std::deque<Position> m_recent;  // the packets given last, oldest first
};

// When each packet may go out: at once, at the pace of its send times, or
// at a fixed bit rate.
class Pacer {
public:
    enum class Mode { Max, Realtime, Bitrate };
    Pacer(Mode mode, uint32_t kilobitsPerSecond) : m_mode(mode), m_kbps(kilobitsPerSecond) {}

    // The moment a packet with that send time may be sent when bytesSent
    // bytes have gone before it; nothing when it may go now.
    // Send times that step back (a repeated header, a loop that starts
    // again) add nothing: the packets after them follow at their own pace.
    std::optional<std::chrono::steady_clock::time_point> DueTime(uint32_t sendTime,
                                                                 uint64_t bytesSent);

private:
    Mode m_mode;
    uint32_t m_kbps;
    bool m_started = false;
    std::chrono::steady_clock::time_point m_start;
    uint32_t m_lastSendTime = 0;
    uint64_t m_streamMs = 0;  // the forward steps of the send times so far
};

class Connection;

enum class StreamEnd { EndOfFile, Dropped, ClientGone, Stopped, ReadFailed };

// Appends one packet, framed for the protocol, to the outgoing bytes.
using FramePacket = std::function<void(std::vector<uint8_t>& out, const PacketSource::Packet&)>;

// Sends the feed's packets in batches at the pacer's pace until the file
// ends, dropAfter packets have gone (0: no limit), the client is gone, or
// keepGoing (asked between batches; may be empty) says to stop.
StreamEnd StreamPackets(Connection& connection, PacketSource& feed, Pacer& pacer,
                        uint64_t dropAfter, const FramePacket& frame,
                        const std::function<bool()>& keepGoing);

}  // namespace tapewell::testserver
