// Builds a Simple Index from arbitrary bytes taken as a recording's packets:
// the first byte is the video stream number (0: audio only), the next two
// the packet size, the fourth the index interval in minutes less one, the
// rest the packets in file order.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "asf/SimpleIndex.h"
#include "common/LittleEndian.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || tapewell::ReadLe16(data + 1) == 0) {
        return 0;
    }
    const std::vector<uint8_t> video(data[0] != 0 ? 1 : 0, data[0]);
    const size_t packetSize = tapewell::ReadLe16(data + 1);
    // Intervals of minutes keep the index of a packet claiming a time near
    // 2^32 ms small (random times mostly are), so the fuzzer spends its time
    // on the packets rather than on writing entries.
    tapewell::SimpleIndexBuilder builder(video, (data[3] + 1u) * 60'000);
    uint32_t packets = 0;
    for (size_t at = 4; at < size; at += packetSize, ++packets) {
        // A copy of exactly the packet, so ASan sees any step past it; the
        // last one may be cut short.
        const std::vector<uint8_t> packet(data + at, data + std::min(size, at + packetSize));
        builder.AddPacket(packets, packet);
    }
    const std::vector<uint8_t> index = builder.Object({});
    if (index.empty() != !builder.HasEntries()) {
        __builtin_trap();
    }
    for (size_t at = 56; at + 6 <= index.size(); at += 6) {
        const uint32_t packet = tapewell::ReadLe32(&index[at]);
        const uint16_t count = tapewell::ReadLe16(&index[at + 4]);
        if (packet >= packets || count == 0 || count > packets - packet) {
            __builtin_trap();  // an entry naming packets that are not there
        }
    }
    return 0;
}
