#include "support/AsfFileLayout.h"

#include <span>

#include "asf/AsfInfo.h"
#include "asf/AsfPacketTools.h"
#include "common/ByteCursor.h"
#include "support/TestSupport.h"

namespace tapewell::test {
namespace {

namespace fs = std::filesystem;

constexpr size_t kIndexEntrySize = 6;  // Packet Number, Packet Count
// Object header, File ID, Index Entry Time Interval, Maximum Packet Count,
// Index Entries Count.
constexpr size_t kIndexHeadSize = 56;

// Each packet's Send Time; a packet whose layout cannot be walked is a
// problem (what is left at the end of a recording cut in the wrong place).
void ReadSendTimes(std::span<const uint8_t> bytes, AsfFileLayout& layout) {
    for (uint64_t k = 0; k < layout.packets; ++k) {
        const std::span<const uint8_t> packet =
            bytes.subspan(layout.DataStart() + k * layout.packetSize, layout.packetSize);
        const int at = AsfPacketTools::SendTimeOffset(packet);
        if (at < 0 || static_cast<size_t>(at) + 4 > packet.size()) {
            layout.problem = "packet " + std::to_string(k) + " has no Send Time";
            return;
        }
        layout.sendTimes.push_back(ReadLe32(&packet[static_cast<size_t>(at)]));
    }
}

void ReadIndex(std::span<const uint8_t> object, AsfFileLayout& layout) {
    if (object.size() < kIndexHeadSize) {
        layout.problem = "the Simple Index object is shorter than its fixed fields";
        return;
    }
    ByteCursor cursor(object);
    cursor.Skip(asf::kObjectHeaderSize);
    layout.indexFileId = Guid::FromBytes(cursor.ReadBytes(16));
    layout.indexIntervalMs = cursor.ReadU64() / 10'000;
    layout.indexMaxPacketCount = cursor.ReadU32();
    const uint32_t count = cursor.ReadU32();
    if (!cursor.Ok() || cursor.Remaining() != uint64_t{count} * kIndexEntrySize) {
        layout.problem = "the Simple Index object's size does not match its entry count";
        return;
    }
    layout.hasIndex = true;
    for (uint32_t i = 0; i < count; ++i) {
        AsfFileLayout::IndexEntry entry;
        entry.packet = cursor.ReadU32();
        entry.count = cursor.ReadU16();
        layout.index.push_back(entry);
    }
}

}  // namespace

AsfFileLayout ReadAsfFileLayout(const fs::path& file) {
    AsfFileLayout layout;
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    layout.fileSize = bytes.size();
    AsfInfo info;
    if (!info.Parse(file)) {
        layout.problem = "not an ASF file";
        return layout;
    }
    layout.headerSize = info.GetObjects().front().size;
    layout.properties = info.GetFileProperties();
    layout.packetSize = layout.properties.minPacketSize;
    // The walk lists only objects that fit in the file, so a Data object
    // whose size runs past the end is not found.
    AsfObjectEntry data;
    if (info.FindObject(guids::kData, &data) < 0 || data.offset != layout.headerSize) {
        layout.problem = "no Data object within the file after the Header object";
        return layout;
    }
    layout.dataObjectSize = data.size;
    layout.totalDataPackets = info.GetDataObject().totalDataPackets;
    const uint64_t packetBytes = data.size - asf::kDataObjectHeaderSize;
    if (layout.packetSize == 0 || data.size < asf::kDataObjectHeaderSize ||
        packetBytes % layout.packetSize != 0) {
        layout.problem = "the Data object does not hold whole packets";
        return layout;
    }
    layout.packets = packetBytes / layout.packetSize;
    ReadSendTimes(bytes, layout);
    uint64_t end = data.offset + data.size;
    AsfObjectEntry index;
    if (info.FindObject(guids::kSimpleIndex, &index) >= 0) {
        if (index.offset != end) {
            layout.problem = "the Simple Index object does not follow the Data object";
            return layout;
        }
        ReadIndex(std::span(bytes).subspan(index.offset, index.size), layout);
        end += index.size;
    }
    if (layout.problem.empty() && end != bytes.size()) {
        layout.problem = std::to_string(bytes.size() - end) + " bytes after the last object";
    }
    return layout;
}

}  // namespace tapewell::test
