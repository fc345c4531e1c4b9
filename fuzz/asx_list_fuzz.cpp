// Reads arbitrary bytes as a playlist opened into the record list and
// checks every address handed over is non-empty and the count is kept.
// The same bytes taken as an address, written as a one-entry ASX and read
// back, must come back unchanged whenever they fit the reader's buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/Limits.h"
#include "common/XmlText.h"
#include "playlist/AsxWriter.h"
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

    const std::string address(reinterpret_cast<const char*>(data), size);
    // "href", the value and their terminators share the tag's text buffer;
    // a NUL would end the value early.
    if (address.empty() || address.find('\0') != std::string::npos ||
        EscapeXml(address).size() + 6 > limits::kAsxAttributeTextBytes) {
        return 0;
    }
    std::string back;
    ReadListPlaylist(
        AsxText("t", address), [](const char*) {}, [&back](const std::string& a) { back = a; });
    if (back != address) {
        std::abort();
    }
    return 0;
}
