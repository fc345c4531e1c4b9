// Compares the stream layout of two ASF headers cut from arbitrary bytes,
// as the chunk loop does for a header sent again. The first two bytes give
// the length of the first header; the packet size of each is its own File
// Properties object's, when it has one.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"
#include "http/HeaderLayout.h"

namespace {

uint32_t PacketSize(std::span<const uint8_t> header) {
    const int at = tapewell::AsfPacketTools::FindFileProperties(header);
    const size_t field = static_cast<size_t>(at) + tapewell::asf::fp::kMinPacketSize;
    return at < 0 || field + 4 > header.size() ? 0 : tapewell::ReadLe32(&header[field]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::span input(data + 2, size - 2);
    const size_t split = std::min<size_t>(data[0] | (size_t{data[1]} << 8), input.size());
    const auto first = input.first(split);
    const auto second = input.subspan(split);
    // The answer itself is free to be either; reading both must be safe.
    static_cast<void>(tapewell::HeaderLayout(first, PacketSize(first)) ==
                      tapewell::HeaderLayout(second, PacketSize(second)));
    return 0;
}
