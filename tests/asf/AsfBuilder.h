#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asf/AsfGuids.h"

namespace tapewell::test {

// Builds small ASF files byte by byte, for the layouts ffmpeg never writes:
// damaged, lying and hostile objects.
using Bytes = std::vector<uint8_t>;

void PutLe(Bytes& out, uint64_t value, int bytes);
Bytes Object(const Guid& id, const Bytes& body);
// Object with an Object Size field that says `claimedSize` whatever the body.
Bytes ObjectClaiming(const Guid& id, uint64_t claimedSize, const Bytes& body);
Bytes FilePropertiesObject(uint32_t packetSize, uint64_t packets, uint64_t playDuration = 0,
                           uint64_t preroll = 0);
Bytes HeaderObject(const std::vector<Bytes>& children);
Bytes DataObject(uint64_t packets, uint32_t packetSize, uint64_t claimedPackets);
Bytes Concat(const std::vector<Bytes>& parts);

}  // namespace tapewell::test
