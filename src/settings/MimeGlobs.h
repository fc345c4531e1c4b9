#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tapewell {

// The file-name extensions that the shared-mime-info database knows as
// "*.ext" globs: the Linux answer to "is this extension a registered file
// type". Globs are matched without case, as the database does for all
// globs not flagged case-sensitive.
class MimeGlobs {
public:
    // Reads "globs2" (or the older "globs") of every <dir>/mime folder.
    static MimeGlobs Load(const std::vector<std::filesystem::path>& dataDirs);

    // $XDG_DATA_HOME (~/.local/share) and $XDG_DATA_DIRS
    // (/usr/local/share:/usr/share), read once per process; any thread may
    // call it.
    static const MimeGlobs& System();
    static std::vector<std::filesystem::path> SystemDataDirs();

    // extension with its leading dot, such as ".asf".
    bool IsRegistered(std::string_view extension) const;

private:
    void ReadFile(const std::filesystem::path& path);

    std::unordered_set<std::string> m_extensions;  // lower case, with the dot
};

}  // namespace tapewell
