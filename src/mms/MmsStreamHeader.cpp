#include "mms/MmsStreamHeader.h"

#include "asf/AsfGuids.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/ByteCursor.h"
#include "common/Limits.h"

namespace tapewell {
namespace {

constexpr size_t kFilePropertiesSize = asf::kFilePropertiesObjectSize;
constexpr size_t kDataObjectHeadSize = asf::kDataObjectHeaderSize;

constexpr size_t kGuidSize = 16;

// The next object's GUID, or nothing when fewer bytes are left.
std::optional<Guid> ReadGuid(ByteCursor& cursor) {
    const std::span<const uint8_t> bytes = cursor.ReadBytes(kGuidSize);
    if (bytes.size() != kGuidSize) {
        return std::nullopt;
    }
    return Guid::FromBytes(bytes);
}

// The Stream Properties objects among the Header object's children, one
// after the other; nothing when the children cannot be walked.
std::optional<std::vector<uint8_t>> StreamObjects(std::span<const uint8_t> header) {
    ByteCursor cursor(header);
    if (ReadGuid(cursor) != guids::kHeader) {
        return std::nullopt;
    }
    const uint64_t headerSize = cursor.ReadU64();
    if (!cursor.Skip(asf::kHeaderInfoSize) || headerSize > header.size() ||
        headerSize < cursor.Position()) {
        return std::nullopt;
    }
    ByteCursor children(header.first(static_cast<size_t>(headerSize)));
    children.Skip(asf::kObjectHeaderSize + asf::kHeaderInfoSize);
    std::vector<uint8_t> streams;
    while (!children.AtEnd()) {
        const size_t at = children.Position();
        const std::optional<Guid> id = ReadGuid(children);
        const uint64_t size = children.ReadU64();
        if (!id || !children.Ok() || size < asf::kObjectHeaderSize ||
            size - asf::kObjectHeaderSize > children.Remaining()) {
            return std::nullopt;
        }
        children.Skip(static_cast<size_t>(size) - asf::kObjectHeaderSize);
        if (*id == guids::kStreamProperties) {
            const auto object = header.subspan(at, static_cast<size_t>(size));
            streams.insert(streams.end(), object.begin(), object.end());
        }
    }
    return streams;
}

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
    p.flags = ReadLe32(&object[asf::fp::kFlags]);
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

namespace tapewell {

bool MmsStreamHeader::SameLayout(const MmsStreamHeader& other) const {
    if (!m_properties || !other.m_properties ||
        m_properties->minPacketSize != other.m_properties->minPacketSize ||
        m_properties->maxPacketSize != other.m_properties->maxPacketSize) {
        return false;
    }
    const auto mine = StreamObjects(m_bytes);
    const auto theirs = StreamObjects(other.m_bytes);
    if (!mine || !theirs) {
        return m_bytes == other.m_bytes;
    }
    return !mine->empty() && *mine == *theirs;
}

}  // namespace tapewell
