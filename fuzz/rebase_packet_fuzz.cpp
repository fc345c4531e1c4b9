// Rebases arbitrary bytes taken as one data packet of exactly that size; the
// first four bytes of the input are the base time.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "asf/AsfPacketTools.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    const uint32_t base = tapewell::ReadLe32(data);
    // A copy of exactly the packet size, so ASan sees any step past it.
    std::vector<uint8_t> packet(data + 4, data + size);
    tapewell::AsfPacketTools::RebasePacketTimes(packet, base);
    tapewell::AsfPacketTools::SendTimeOffset(packet);
    tapewell::AsfPacketTools::FindFileProperties(packet);
    return 0;
}
