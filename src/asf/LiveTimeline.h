#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace tapewell {

// The time line of a live recording. The first packet written starts at 0;
// later packets keep their distance from it, so a late joiner's recording
// does not begin with the minutes it missed. A broadcast whose source loops
// sends its header again and may start its times lower: the packets after
// such a header continue from the last time written instead of jumping
// back. Send times written never decrease (a packet whose send time steps
// back within a segment gets the last one). One object per recording, used
// on the recording's thread.
class LiveTimeline {
public:
    // Moves the packet's send and presentation times onto the time line and
    // returns its send time as written; nothing when the packet's layout is
    // not one the recorders know (it may then be partly rewritten, as
    // AsfPacketTools' walks leave it).
    std::optional<uint32_t> Place(std::span<uint8_t> packet);
    // A header came again in the middle of the stream: the next packet may
    // begin a new segment of times.
    void NewSegment() { m_newSegment = true; }

    bool Started() const { return m_shift.has_value(); }
    // The largest send time written so far (0 before the first packet).
    uint32_t LastSendTime() const { return m_last; }

private:
    std::optional<int64_t> m_shift;  // written time = source time + m_shift
    uint32_t m_last = 0;
    bool m_newSegment = false;
};

}  // namespace tapewell
