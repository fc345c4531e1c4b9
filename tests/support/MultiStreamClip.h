#pragma once

#include <filesystem>

#include "support/AsfClip.h"

namespace tapewell::test {

// Stream numbers and bitrates of the clip MakeMultiStreamClip writes.
inline constexpr uint16_t kLowVideoStream = 1;   // 200 kbit/s
inline constexpr uint16_t kHighVideoStream = 2;  // 600 kbit/s
inline constexpr uint16_t kAudioStream = 3;      // 64 kbit/s
inline constexpr uint32_t kLowVideoBitrate = 200'000;
inline constexpr uint32_t kHighVideoBitrate = 600'000;
inline constexpr uint32_t kAudioBitrate = 64'000;

// A broadcast of one picture at two bitrates and one sound, as a server of
// multiple-bitrate content describes it: ffmpeg makes the streams, then the
// header gets what ffmpeg does not write, a Stream Bitrate Properties
// object, a Bitrate Mutual Exclusion of the two video streams, and in the
// Header Extension an Extended Stream Properties object per stream and a
// Stream Prioritization. Fails the calling test when ffmpeg does.
AsfClip MakeMultiStreamClip(const std::filesystem::path& path, double seconds = 3.0);

}  // namespace tapewell::test
