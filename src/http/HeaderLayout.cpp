#include "http/HeaderLayout.h"

#include <algorithm>

#include "asf/AsfGuids.h"
#include "asf/AsfObjects.h"
#include "common/LittleEndian.h"

namespace tapewell {

std::vector<uint8_t> HeaderLayout(std::span<const uint8_t> header, uint32_t packetSize) {
    std::vector<uint8_t> layout(4);
    WriteLe32(layout.data(), packetSize);
    constexpr size_t kFirstObject = asf::kObjectHeaderSize + asf::kHeaderInfoSize;
    if (header.size() < kFirstObject) {
        return layout;
    }
    const uint64_t headerSize = std::min<uint64_t>(ReadLe64(&header[16]), header.size());
    uint64_t at = kFirstObject;
    while (at + asf::kObjectHeaderSize <= headerSize) {
        const uint64_t size = ReadLe64(&header[at + 16]);
        if (size < asf::kObjectHeaderSize || size > headerSize - at) {
            break;
        }
        const auto object = header.subspan(at, size);
        if (Guid::FromBytes(object) == guids::kStreamProperties) {
            layout.insert(layout.end(), object.begin(), object.end());
        }
        at += size;
    }
    return layout;
}

}  // namespace tapewell
