#pragma once

#include <filesystem>

#include "support/TestSupport.h"

namespace tapewell::test {

// ASF files made once per test program with ffmpeg, shared by the parser and
// resume-scan tests.
struct AsfFiles {
    std::filesystem::path videoAudio;  // WMV2 + WMA2, video first, Korean title, 3200-byte packets
    std::filesystem::path audioVideo;  // WMA2 then WMV1, 2000-byte packets
    std::filesystem::path audioOnly;   // WMA2 alone, 1500-byte packets
    static const AsfFiles& Get();
    static const TempDir& Dir();
};

// Copies the first n bytes of a file to a new file in the shared folder.
std::filesystem::path TruncatedCopy(const std::filesystem::path& source, uint64_t n,
                                    const std::string& name);

}  // namespace tapewell::test
