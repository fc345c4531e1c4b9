#include "player/BmpFile.h"

#include <cstring>
#include <limits>

#include "common/ByteSink.h"
#include "common/LittleEndian.h"

namespace tapewell {
namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kInfoHeaderBytes = 40;
constexpr size_t kPixelOffset = kFileHeaderBytes + kInfoHeaderBytes;

}  // namespace

std::vector<uint8_t> BmpBytes(const VideoFrame& frame) {
    if (frame.width <= 0 || frame.height <= 0) {
        return {};
    }
    const size_t width = static_cast<size_t>(frame.width);
    const size_t height = static_cast<size_t>(frame.height);
    const size_t rowBytes = width * 3;
    const size_t paddedRow = (rowBytes + 3) & ~size_t{3};
    if (frame.stride < rowBytes || frame.pixels.size() < frame.stride * (height - 1) + rowBytes ||
        paddedRow * height > std::numeric_limits<uint32_t>::max() - kPixelOffset) {
        return {};
    }
    const size_t imageBytes = paddedRow * height;
    std::vector<uint8_t> out(kPixelOffset + imageBytes, 0);
    uint8_t* p = out.data();
    p[0] = 'B';
    p[1] = 'M';
    WriteLe32(p + 2, static_cast<uint32_t>(out.size()));
    WriteLe32(p + 10, kPixelOffset);
    WriteLe32(p + 14, kInfoHeaderBytes);
    WriteLe32(p + 18, static_cast<uint32_t>(frame.width));
    WriteLe32(p + 22, static_cast<uint32_t>(frame.height));
    WriteLe16(p + 26, 1);
    WriteLe16(p + 28, 24);
    // A positive height means bottom-up rows: the last picture row first.
    for (size_t row = 0; row < height; ++row) {
        const uint8_t* src = frame.pixels.data() + (height - 1 - row) * frame.stride;
        std::memcpy(p + kPixelOffset + row * paddedRow, src, rowBytes);
    }
    return out;
}

// Through a temporary name, so that a failed write never leaves a partial
// picture under the final name.
bool WriteWholeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    return WriteNewFile(path, bytes).has_value();
}

bool SaveBmp(const std::filesystem::path& path, const VideoFrame& frame) {
    std::vector<uint8_t> bytes = BmpBytes(frame);
    return !bytes.empty() && WriteWholeFile(path, bytes);
}

}  // namespace tapewell
