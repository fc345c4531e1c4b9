#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "player/VideoFrame.h"

namespace tapewell {

// A frame as a 24-bit BMP file: the 14-byte file header ("BM", file size,
// pixel offset 54), the 40-byte info header (width, height, one plane, 24
// bits, no compression) and the rows bottom-up, each padded to 4 bytes.
// Empty when the frame is malformed (no size, rows shorter than the width,
// fewer bytes than the rows) or too large for the format's 32-bit sizes.
std::vector<uint8_t> BmpBytes(const VideoFrame& frame);

// Writes BmpBytes(frame) to path, replacing a file of that name.
bool SaveBmp(const std::filesystem::path& path, const VideoFrame& frame);

// Writes bytes to path, creating or replacing the file only once they are
// all written; a failed write leaves nothing new under that name.
bool WriteWholeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

}  // namespace tapewell
