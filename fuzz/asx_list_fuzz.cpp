// Reads arbitrary bytes as a playlist opened into the record list and
// checks every address handed over is non-empty and the count is kept.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/Limits.h"
#include "playlist/PlaylistReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tapewell;
    size_t handed = 0;
    const size_t count = ReadListPlaylist(
        std::string_view(reinterpret_cast<const char*>(data), size), [](const char*) {},
        [&handed](const std::string& address) {
            if (address.empty()) {
                std::abort();
            }
            ++handed;
        });
    if (count != handed || count > limits::kPlaylistMaxAddresses) {
        std::abort();
    }
    return 0;
}
