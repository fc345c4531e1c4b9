#pragma once

#include <filesystem>
#include <string>

namespace tapewell::test {

// Media made once per test program with ffmpeg: a 2 s video with sound, a
// 2 s sound-only file, and a 3 s video 318 pixels wide (rows of 954 bytes,
// padded to 956).
const std::filesystem::path& VideoClip();
const std::filesystem::path& SoundClip();
const std::filesystem::path& OddWidthClip();

// A folder of the test program's own (for captions and pictures).
const std::filesystem::path& MediaFolder();

}  // namespace tapewell::test
