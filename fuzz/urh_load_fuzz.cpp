// Folder list files: any text must parse without fault into no more folders
// than "Files" names, each with an address and values within their bound.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/UrhFile.h"
#include "common/Limits.h"

namespace {

size_t Characters(const std::string& text) {
    size_t count = 0;
    for (unsigned char c : text) {
        count += (c & 0xC0) != 0x80;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto contents =
        tapewell::UrhFile::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (contents.files > tapewell::limits::kMaxFolderListSections ||
        contents.folders.size() > static_cast<size_t>(std::max(contents.files, 0L))) {
        std::abort();
    }
    for (const auto& folder : contents.folders) {
        if (folder.url.empty() ||
            Characters(folder.url) > tapewell::limits::kFolderListValueChars ||
            Characters(folder.title) > tapewell::limits::kFolderListValueChars) {
            std::abort();
        }
    }
    return 0;
}
