// Reads arbitrary bytes as a playlist file with the recording job's reader
// and checks its address room is kept.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/Limits.h"
#include "playlist/PlaylistReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tapewell;
    const JobPlaylist playlist = ReadJobPlaylist(
        std::string_view(reinterpret_cast<const char*>(data), size), [](const char*) {});
    size_t text = 0;
    for (const auto& address : playlist.addresses) {
        text += address.size() + 1;
    }
    if (playlist.addresses.size() > limits::kPlaylistMaxAddresses ||
        text > limits::kPlaylistAddressTextBytes ||
        playlist.moreInfo.size() >= limits::kAsxAttributeTextBytes) {
        std::abort();
    }
    return 0;
}
