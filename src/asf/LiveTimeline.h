#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tapewell {

// The time line of a live recording. The first packet written starts at 0;
// later packets keep their distance from it, so a late joiner's recording
// does not begin with the minutes it missed. A broadcast whose source loops
// sends its header again and may start its times lower: the packets after
// such a header continue from the last time written instead of jumping
// back. Send times written never decrease (a packet whose send time steps
// back within a segment gets the last one). A recording that joins a
// broadcast between two key frames would begin with pictures no player can
// decode: with video streams named, the time line admits nothing before the
// first packet that starts a key frame of one of them, for as long as
// limits::kLiveKeyFrameWaitMs of stream time or kLiveKeyFrameWaitPackets
// packets (a stream whose key frames carry no flag still records). One
// object per output file and run, used on the recording's thread.
class LiveTimeline {
public:
    // The stream numbers of the header's video streams; none (the default)
    // admits every packet.
    void AwaitKeyFrame(std::vector<uint8_t> videoStreamNumbers);
    // Whether the packet is to be written: false while the key frame is
    // awaited. Called for every packet before Place; the first packet
    // admitted is the one Place starts the time line at.
    bool Admits(std::span<const uint8_t> packet);

    // Moves the packet's send and presentation times onto the time line and
    // returns its send time as written; nothing when the packet's layout is
    // not one the recorders know (it may then be partly rewritten, as
    // AsfPacketTools' walks leave it).
    std::optional<uint32_t> Place(std::span<uint8_t> packet);
    // A header came again in the middle of the stream: the next packet may
    // begin a new segment of times.
    void NewSegment() { m_newSegment = true; }
    // Before the first packet: the file already holds a time line up to
    // lastSendTime, its payloads presented up to lastPresentationTime (a
    // recording that reconnected after a break goes on in it). The first
    // packet placed gets that send time, wherever the source's times stand
    // now, so the file neither steps back nor shows the time it was away;
    // a little later when its payloads would otherwise be presented before
    // the ones already written.
    void ContinueAfter(uint32_t lastSendTime, uint32_t lastPresentationTime);

    bool Started() const { return m_shift.has_value(); }
    // The largest send time on the time line so far (before the first
    // packet: 0, or the time ContinueAfter gave).
    uint32_t LastSendTime() const { return m_last; }

private:
    std::optional<int64_t> m_shift;  // written time = source time + m_shift
    // Set by ContinueAfter until the first packet is placed.
    std::optional<uint32_t> m_presentedUntil;
    uint32_t m_last = 0;
    bool m_newSegment = false;
    std::vector<uint8_t> m_videoStreams;  // awaited while not empty
    std::optional<uint32_t> m_waitStart;  // source send time of the first packet seen
    uint32_t m_waitedPackets = 0;
};

}  // namespace tapewell
