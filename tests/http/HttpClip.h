#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "support/TestSupport.h"

namespace tapewell::test {

// One ASF clip made with ffmpeg once per test program (3 s, WMV2 + WMA2,
// 3,200-byte packets), served by the test server from its folder.
struct HttpClip {
    std::filesystem::path path;
    std::vector<uint8_t> bytes;
    uint64_t headerSize = 0;  // the Header object; the Data object follows
    uint32_t packetSize = 0;
    uint64_t packetCount = 0;

    static const HttpClip& Get();
    static const TempDir& Root();
    // The Header object and the first 50 bytes of the Data object, as the
    // "$H" chunks carry them.
    std::vector<uint8_t> StreamHeader() const;
    std::span<const uint8_t> Packet(uint64_t n) const;
    // Offset of the File Properties object.
    size_t PropertiesOffset() const;
};

// Appends one "$X" chunk with the given body.
void AppendChunk(std::vector<uint8_t>& out, char type, uint32_t sequence, uint8_t flags,
                 std::span<const uint8_t> body);

}  // namespace tapewell::test
