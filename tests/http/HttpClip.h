#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "support/AsfClip.h"
#include "support/TestSupport.h"

namespace tapewell::test {

// One ASF clip made with ffmpeg once per test program (3 s, WMV2 + WMA2,
// 3,200-byte packets), served by the test server from its folder.
struct HttpClip : AsfClip {
    static const HttpClip& Get();
    static const TempDir& Root();
};

// Appends one "$X" chunk with the given body.
void AppendChunk(std::vector<uint8_t>& out, char type, uint32_t sequence, uint8_t flags,
                 std::span<const uint8_t> body);

}  // namespace tapewell::test
