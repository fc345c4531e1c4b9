#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tapewell {

// One decoded picture as the player hands it over: packed 24-bit rows of
// blue, green and red bytes, top row first, each row `stride` bytes long
// (GStreamer pads rows to 4 bytes, as BMP files do).
struct VideoFrame {
    int64_t timeNs = 0;  // presentation time in the media, nanoseconds
    int width = 0;
    int height = 0;
    size_t stride = 0;
    std::span<const uint8_t> pixels;

    double Seconds() const { return static_cast<double>(timeNs) / 1e9; }
};

// The video format of the open media: the frame size, and the time between
// two frames in 100-nanosecond units as the frames' own time stamps show it
// (0 until two frames have passed).
struct VideoInfo {
    int width = 0;
    int height = 0;
    int64_t frameDuration = 0;
};

}  // namespace tapewell
