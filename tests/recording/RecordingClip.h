#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace tapewell::test {

// The clip every recording test serves: 4 s of WMV2 + WMA2 in 3,200-byte
// packets, large enough (over 262,144 bytes) that the job keeps it. Made
// once per test program in a folder the test servers serve.
struct RecordingClip {
    std::filesystem::path path;  // <root>/clip.asf
    std::vector<uint8_t> bytes;

    static const RecordingClip& Get();
    std::filesystem::path Root() const { return path.parent_path(); }
};

// The ASF header's File Size and Data Packets Count fields, and whether they
// describe the file: File Size is its size and the Data object holds exactly
// that many packets of the header's packet size.
struct HeaderCheck {
    uint64_t fileSizeField = 0;
    uint64_t packetsField = 0;
    uint32_t packetSize = 0;
    bool matchesFile = false;
};
HeaderCheck CheckHeader(const std::vector<uint8_t>& file);

// ffprobe reads file with the clip's two streams and about its duration.
void ExpectLikeClip(const std::filesystem::path& file);

}  // namespace tapewell::test
