// Makes an output path from an arbitrary address and item name (both come
// from the network or from playlist files) and checks that it names one file
// directly inside the base folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/Limits.h"
#include "recording/OutputPaths.h"
#include "recording/SourceFlags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tapewell;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\n');
    const std::string address = input.substr(0, split);
    const std::string name = split == std::string::npos ? std::string() : input.substr(split + 1);
    const std::filesystem::path base = "/base";
    const std::filesystem::path path = MakeOutputPath(base, address, name);
    const std::string file = path.filename().string();
    if (path.parent_path() != base || file.empty() || file == "." || file == ".." ||
        file.find('/') != std::string::npos ||
        file.size() > limits::kOutputNameBytes + limits::kOutputExtensionBytes) {
        std::abort();
    }
    EngineFlags(address);
    return 0;
}
