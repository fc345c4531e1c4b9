#pragma once

#include <filesystem>

#include "support/AsfClip.h"

namespace tapewell::test {

// The clips the reliability tests serve, made once per test program in one
// folder: "clip.asf" (2 s of WMV2 + WMA2 in 3,200-byte packets, over the
// 256 KiB below which a job deletes a recording) and "tiny.asf" (1 s of
// WMA2 alone, a few kilobytes, for a server that sends a byte at a time).
struct MmsClips {
    std::filesystem::path root;
    AsfClip clip;

    static const MmsClips& Get();
};

}  // namespace tapewell::test
