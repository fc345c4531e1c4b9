// Reads arbitrary bytes as a playlist reply body the way the HTTP streaming
// engine does, capturing the argument vector it would run instead of
// running it, and checks the vector stays inside its slots and pool.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "common/Limits.h"
#include "playlist/ExpandPlaylist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tapewell;
    ExpandPlaylist(
        nullptr, std::span(data, size), 30, 8080, [](const char*) {},
        [](std::span<const std::string> args) {
            size_t pool = 0;
            for (const std::string& element : args) {
                pool += element.size() + 1;
            }
            if (args.size() > limits::kAsxVectorSlots || pool > limits::kAsxVectorPoolBytes) {
                std::abort();
            }
        });
    return 0;
}
