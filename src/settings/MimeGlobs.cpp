#include "settings/MimeGlobs.h"

#include <cstdlib>
#include <fstream>
#include <string>

#include "common/Limits.h"
#include "common/TextCodec.h"

namespace tapewell {
namespace {

// Only plain "*.ext" globs name an extension; "*.tar.gz" counts as ".tar.gz",
// anything with other wildcards does not.
bool TakeExtensionGlob(std::string_view glob, std::string& extension) {
    if (!glob.starts_with("*.") || glob.size() < 3 ||
        glob.find_first_of("*?[", 1) != std::string_view::npos) {
        return false;
    }
    extension = AsciiLower(glob.substr(1));
    return true;
}

// "globs2" lines are "weight:type:glob[:flags]", "globs" lines "type:glob".
std::string_view GlobOfLine(std::string_view line, bool weighted) {
    size_t first = line.find(':');
    if (first == std::string_view::npos) {
        return {};
    }
    std::string_view rest = line.substr(first + 1);
    if (weighted) {
        size_t second = rest.find(':');
        if (second == std::string_view::npos) {
            return {};
        }
        rest = rest.substr(second + 1);
        rest = rest.substr(0, rest.find(':'));
    }
    return rest;
}

void AddDirs(std::vector<std::filesystem::path>& dirs, const char* list) {
    std::string_view rest = list;
    while (!rest.empty()) {
        size_t colon = rest.find(':');
        std::string_view one = rest.substr(0, colon);
        if (!one.empty()) {
            dirs.emplace_back(std::string(one));
        }
        rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
    }
}

}  // namespace

MimeGlobs MimeGlobs::Load(const std::vector<std::filesystem::path>& dataDirs) {
    MimeGlobs globs;
    for (const auto& dir : dataDirs) {
        std::error_code error;
        const auto mime = dir / "mime";
        if (std::filesystem::is_regular_file(mime / "globs2", error)) {
            globs.ReadFile(mime / "globs2");
        } else if (std::filesystem::is_regular_file(mime / "globs", error)) {
            globs.ReadFile(mime / "globs");
        }
    }
    return globs;
}

void MimeGlobs::ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const bool weighted = path.filename() == "globs2";
    std::string line;
    size_t read = 0;
    while (read < limits::kMaxMimeGlobsBytes && std::getline(in, line)) {
        read += line.size() + 1;
        if (line.empty() || line.front() == '#') {
            continue;
        }
        std::string extension;
        if (TakeExtensionGlob(GlobOfLine(line, weighted), extension)) {
            m_extensions.insert(std::move(extension));
        }
    }
}

std::vector<std::filesystem::path> MimeGlobs::SystemDataDirs() {
    std::vector<std::filesystem::path> dirs;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome != nullptr && dataHome[0] == '/') {
        dirs.emplace_back(dataHome);
    } else if (home != nullptr && home[0] == '/') {
        dirs.emplace_back(std::filesystem::path(home) / ".local/share");
    }
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    AddDirs(dirs,
            dataDirs != nullptr && dataDirs[0] != '\0' ? dataDirs : "/usr/local/share:/usr/share");
    return dirs;
}

const MimeGlobs& MimeGlobs::System() {
    static const MimeGlobs globs = Load(SystemDataDirs());
    return globs;
}

bool MimeGlobs::IsRegistered(std::string_view extension) const {
    return m_extensions.count(AsciiLower(extension)) != 0;
}

}  // namespace tapewell
