#include "mms/MmsStreamHeader.h"

#include "asf/AsfGuids.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/ByteCursor.h"
#include "common/Limits.h"

namespace tapewell {
namespace {

constexpr size_t kFilePropertiesSize = 104;
constexpr size_t kDataObjectHeadSize = 50;

}  // namespace

void MmsStreamHeader::Reset() {
    m_bytes.clear();
    m_properties.reset();
}

bool MmsStreamHeader::Append(std::span<const uint8_t> part) {
    if (part.size() > limits::kMaxMmsHeaderBytes - m_bytes.size()) {
        return false;
    }
    m_bytes.insert(m_bytes.end(), part.begin(), part.end());
    return true;
}

const std::optional<MmsStreamHeader::Properties>& MmsStreamHeader::FindProperties() {
    if (m_properties) {
        return m_properties;
    }
    const int found = AsfPacketTools::FindFileProperties(m_bytes);
    if (found < 0 || m_bytes.size() - static_cast<size_t>(found) < kFilePropertiesSize) {
        return m_properties;
    }
    const auto object = std::span(m_bytes).subspan(static_cast<size_t>(found), kFilePropertiesSize);
    Properties p;
    p.offset = static_cast<uint64_t>(found);
    p.playDuration = ReadLe64(&object[asf::fp::kPlayDuration]);
    p.preroll = ReadLe32(&object[asf::fp::kPreroll]);
    p.minPacketSize = ReadLe32(&object[asf::fp::kMinPacketSize]);
    p.maxPacketSize = ReadLe32(&object[asf::fp::kMaxPacketSize]);
    m_properties = p;
    return m_properties;
}

std::optional<uint64_t> MmsStreamHeader::DataObjectOffset() const {
    if (m_bytes.size() < kDataObjectHeadSize) {
        return std::nullopt;
    }
    const size_t at = m_bytes.size() - kDataObjectHeadSize;
    if (Guid::FromBytes(std::span(m_bytes).subspan(at)) != guids::kData) {
        return std::nullopt;
    }
    return at;
}

}  // namespace tapewell
