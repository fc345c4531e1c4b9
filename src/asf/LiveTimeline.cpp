#include "asf/LiveTimeline.h"

#include <algorithm>

#include "asf/AsfPacketTools.h"
#include "common/Limits.h"
#include "common/LittleEndian.h"

namespace tapewell {

namespace {

// The earliest presentation time among the packet's payloads, as the source
// has it.
std::optional<uint32_t> EarliestPresentation(std::span<const uint8_t> packet) {
    std::optional<uint32_t> earliest;
    AsfPacketTools::ForEachPayload(packet, [&earliest](const AsfPacketTools::PayloadInfo& p) {
        if (p.hasTime && (!earliest || p.presentationTime < *earliest)) {
            earliest = p.presentationTime;
        }
        return true;
    });
    return earliest;
}

}  // namespace

void LiveTimeline::ContinueAfter(uint32_t lastSendTime, uint32_t lastPresentationTime) {
    m_last = lastSendTime;
    m_presentedUntil = lastPresentationTime;
}

void LiveTimeline::AwaitKeyFrame(std::vector<uint8_t> videoStreamNumbers) {
    m_videoStreams = std::move(videoStreamNumbers);
    m_waitStart.reset();
    m_waitedPackets = 0;
}

bool LiveTimeline::Admits(std::span<const uint8_t> packet) {
    if (m_videoStreams.empty()) {
        return true;
    }
    bool waitedEnough = ++m_waitedPackets > limits::kLiveKeyFrameWaitPackets;
    const int offset = AsfPacketTools::SendTimeOffset(packet);
    if (offset >= 0 && static_cast<size_t>(offset) + 4 <= packet.size()) {
        const uint32_t sourceTime = ReadLe32(&packet[static_cast<size_t>(offset)]);
        if (!m_waitStart) {
            m_waitStart = sourceTime;
        }
        waitedEnough = waitedEnough || (sourceTime >= *m_waitStart &&
                                        sourceTime - *m_waitStart >= limits::kLiveKeyFrameWaitMs);
    }
    if (waitedEnough || AsfPacketTools::StartsKeyFrame(packet, m_videoStreams)) {
        m_videoStreams.clear();
        return true;
    }
    return false;
}

std::optional<uint32_t> LiveTimeline::Place(std::span<uint8_t> packet) {
    const int offset = AsfPacketTools::SendTimeOffset(packet);
    if (offset < 0 || static_cast<size_t>(offset) + 4 > packet.size()) {
        return std::nullopt;
    }
    uint8_t* sendTimeField = packet.data() + offset;
    const int64_t sourceTime = ReadLe32(sendTimeField);
    if (!m_shift) {
        m_shift = static_cast<int64_t>(m_last) - sourceTime;  // m_last: 0, or where a file goes on
        const std::optional<uint32_t> earliest =
            m_presentedUntil ? EarliestPresentation(packet) : std::nullopt;
        if (earliest) {
            m_shift = std::max(*m_shift, int64_t{*m_presentedUntil} + 1 - *earliest);
        }
        m_presentedUntil.reset();
    } else if (m_newSegment && sourceTime + *m_shift < m_last) {
        m_shift = static_cast<int64_t>(m_last) - sourceTime;
    }
    m_newSegment = false;
    if (AsfPacketTools::MovePacketTimes(packet, *m_shift) != 0) {
        return std::nullopt;
    }
    uint32_t written = ReadLe32(sendTimeField);
    if (written < m_last) {
        written = m_last;
        WriteLe32(sendTimeField, written);
    }
    m_last = written;
    return written;
}

}  // namespace tapewell
