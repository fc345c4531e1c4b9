// Settings file parser: any bytes must load without fault, and what the
// store writes back must read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/AppSettings.h"
#include "settings/IniDocument.h"
#include "settings/ProfileStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string written = tapewell::IniDocument::Parse(text).Serialize();
    if (tapewell::IniDocument::Parse(written).Serialize() != written) {
        std::abort();
    }
    tapewell::ProfileStore store{std::filesystem::path()};
    store.LoadText(text);
    tapewell::AppSettings settings;
    settings.LoadValues(store);
    return 0;
}
