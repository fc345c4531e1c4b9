#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
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

    // The MIME type of files with this extension (leading dot, any case):
    // the heaviest "*.ext" glob of the database, the first one read among
    // equals. When the database has none, the type Debian's shared-mime-info
    // gives the Windows Media, AVI and MPEG extensions, and Tapewell's own
    // type for ".ibh", so that file types can be registered on a system
    // whose database is missing or cut down. "" for anything else.
    std::string TypeOf(std::string_view extension) const;

    // Reads the lines of one globs file; globs2 lines are weighted. Public
    // for the fuzz target.
    void ReadText(std::string_view text, bool weighted);

private:
    void ReadFile(const std::filesystem::path& path);

    struct Glob {
        int weight = 0;
        std::string type;
    };
    std::unordered_map<std::string, Glob> m_extensions;  // lower case, with the dot
};

}  // namespace tapewell
