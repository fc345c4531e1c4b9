#include "asf/LiveTimeline.h"

#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"

namespace tapewell {

std::optional<uint32_t> LiveTimeline::Place(std::span<uint8_t> packet) {
    const int offset = AsfPacketTools::SendTimeOffset(packet);
    if (offset < 0 || static_cast<size_t>(offset) + 4 > packet.size()) {
        return std::nullopt;
    }
    uint8_t* sendTimeField = packet.data() + offset;
    const int64_t sourceTime = ReadLe32(sendTimeField);
    if (!m_shift) {
        m_shift = -sourceTime;
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
