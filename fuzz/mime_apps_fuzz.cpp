// mimeapps.list, desktop entries and shared-mime-info globs, as file-type
// registration reads and edits them: any bytes must parse without fault,
// be written back unchanged, and take our entry first and give it up again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/DesktopEntry.h"
#include "settings/MimeAppsList.h"
#include "settings/MimeGlobs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tapewell::MimeAppsList;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    constexpr std::string_view kOurs = "tapewell.desktop";

    MimeAppsList list(text);
    if (list.Text() != text) {
        std::abort();
    }
    list.PutFirst(MimeAppsList::kDefaultGroup, "audio/x-ms-asx", kOurs);
    auto entries = MimeAppsList(list.Text()).Entries(MimeAppsList::kDefaultGroup, "audio/x-ms-asx");
    if (entries.empty() || entries.front() != kOurs) {
        std::abort();
    }
    list.Remove(MimeAppsList::kDefaultGroup, "audio/x-ms-asx", kOurs);
    for (const auto& entry :
         MimeAppsList(list.Text()).Entries(MimeAppsList::kDefaultGroup, "audio/x-ms-asx")) {
        if (entry == kOurs) {
            std::abort();
        }
    }

    if (auto exec = list.Value("Desktop Entry", "Exec")) {
        (void)tapewell::desktop_entry::ExecProgram(*exec);
    }
    tapewell::MimeGlobs globs;
    globs.ReadText(text, true);
    globs.ReadText(text, false);
    (void)globs.TypeOf(".asf");
    return 0;
}
