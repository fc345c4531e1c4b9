#include "asf/RecordingContinuation.h"

#include <algorithm>
#include <optional>

#include "asf/AsfGuids.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/Limits.h"
#include "common/LittleEndian.h"

namespace tapewell {
namespace {

constexpr uint64_t kHundredNsPerMs = 10'000;
// How many of the last packets are looked at for the latest presentation:
// well over the second or two that payloads are sent ahead of their time.
constexpr uint64_t kPresentationScanPackets = 64;

// The send time the packet carries, or nothing when its layout is not one
// the recorders know.
std::optional<uint32_t> PacketSendTime(std::span<const uint8_t> packet) {
    const int at = AsfPacketTools::SendTimeOffset(packet);
    if (at < 0 || static_cast<size_t>(at) + 4 > packet.size()) {
        return std::nullopt;
    }
    return ReadLe32(&packet[static_cast<size_t>(at)]);
}

}  // namespace

std::span<const uint8_t> RecordingContinuation::HeaderObject() const {
    return std::span(header).first(header.size() - asf::kDataObjectHeaderSize);
}

ErrorOr<RecordingContinuation> ReadContinuation(ByteSource& source) {
    const uint64_t fileSize = source.Size();
    const std::optional<ObjectHeader> head = ReadObjectHeader(source, 0);
    if (!head || head->id != guids::kHeader || !ObjectFits(*head, 0, fileSize)) {
        return Error::FromMessage("the recording has no ASF header");
    }
    if (head->size > limits::kMaxAsfHeaderBytes ||
        fileSize - head->size < asf::kDataObjectHeaderSize) {
        return Error::FromMessage("the recording's header cannot be read back");
    }
    RecordingContinuation c;
    c.header.resize(static_cast<size_t>(head->size) + asf::kDataObjectHeaderSize);
    if (source.ReadAt(0, c.header) != c.header.size()) {
        return Error::FromMessage("the recording's header cannot be read back");
    }
    if (Guid::FromBytes(std::span(c.header).subspan(static_cast<size_t>(head->size))) !=
        guids::kData) {
        return Error::FromMessage("the recording has no Data object after its header");
    }
    const int found = AsfPacketTools::FindFileProperties(c.HeaderObject());
    if (found < 0 ||
        c.HeaderObject().size() - static_cast<size_t>(found) < asf::kFilePropertiesObjectSize) {
        return Error::FromMessage("the recording's header has no File Properties");
    }
    c.propertiesOffset = static_cast<uint64_t>(found);
    const std::optional<FileProperties> props =
        FileProperties::FromObject(std::span(c.header).subspan(static_cast<size_t>(found)));
    if (!props || props->minPacketSize == 0 || props->minPacketSize != props->maxPacketSize ||
        props->minPacketSize > limits::kMaxAsfPacketBytes) {
        return Error::FromMessage("the recording's packets have no single size");
    }
    c.packetSize = props->minPacketSize;
    c.packets = (fileSize - c.header.size()) / c.packetSize;
    if (c.packets == 0) {
        return c;  // nothing on the time line yet
    }
    c.lastSendTime = static_cast<uint32_t>(
        std::min<uint64_t>(props->sendDuration / kHundredNsPerMs, UINT32_MAX));
    std::vector<uint8_t> packet(c.packetSize);
    if (source.ReadAt(c.DataEnd() - c.packetSize, packet) == packet.size()) {
        if (const std::optional<uint32_t> t = PacketSendTime(packet)) {
            c.lastSendTime = std::min(c.lastSendTime, *t);
        }
    }
    // Payloads are sent about in the order they are presented: the latest
    // presentation is among the last packets.
    const uint64_t scanned = std::min<uint64_t>(c.packets, kPresentationScanPackets);
    for (uint64_t n = c.packets - scanned; n < c.packets; ++n) {
        if (source.ReadAt(c.header.size() + n * c.packetSize, packet) != packet.size()) {
            break;
        }
        AsfPacketTools::ForEachPayload(packet, [&c](const AsfPacketTools::PayloadInfo& payload) {
            if (payload.hasTime) {
                c.lastPresentationTime = std::max(c.lastPresentationTime, payload.presentationTime);
            }
            return true;
        });
    }
    return c;
}

}  // namespace tapewell
