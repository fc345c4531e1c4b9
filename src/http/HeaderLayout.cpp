#include "http/HeaderLayout.h"

#include "asf/AsfGuids.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"

namespace tapewell {

std::vector<uint8_t> HeaderLayout(std::span<const uint8_t> header, uint32_t packetSize) {
    std::vector<uint8_t> layout(4);
    WriteLe32(layout.data(), packetSize);
    AsfPacketTools::ForEachHeaderObject(header, [&layout](std::span<const uint8_t> object) {
        if (Guid::FromBytes(object) == guids::kStreamProperties) {
            layout.insert(layout.end(), object.begin(), object.end());
        }
    });
    return layout;
}

}  // namespace tapewell
