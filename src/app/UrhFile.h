#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/ErrorOr.h"

namespace tapewell {

// One "Folder %d" section of a folder list.
struct UrhFolder {
    std::string title;  // display name; empty means derive it from the address
    std::string url;
    std::string path;  // kept but not used
    std::string name;  // kept but not used
};

// The folder list file ".urh", read only: an INI text (as the Windows
// private-profile functions read it) whose section "Info" gives in "Files"
// the number N of sections "Folder 0" to "Folder N-1". Section and key
// names compare without case, the first of duplicates counts, values lose
// their outer blanks and one pair of enclosing quotes, and only their first
// limits::kFolderListValueChars characters count. Text is UTF-8 when valid,
// else code page 949. Any thread may call these.
class UrhFile {
public:
    struct Contents {
        long files = 0;                  // "Files", at most limits::kMaxFolderListSections
        std::vector<UrhFolder> folders;  // in order, those with a non-empty Url
    };

    static Contents Parse(std::string_view text);
    // Fails when the file cannot be read or is larger than
    // limits::kMaxFolderListBytes.
    static ErrorOr<Contents> Load(const std::filesystem::path& path);
};

}  // namespace tapewell
