#include "settings/MimeGlobs.h"

#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>

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

struct GlobLine {
    int weight = 50;  // the weight the older "globs" format implies
    std::string_view type;
    std::string_view glob;
};

// A glob weight is 0 to 100; anything else makes the line unreadable.
bool ParseWeight(std::string_view text, int& weight) {
    if (text.empty() || text.size() > 3) {
        return false;
    }
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    weight = value;
    return value <= 100;
}

// "globs2" lines are "weight:type:glob[:flags]", "globs" lines "type:glob".
bool SplitLine(std::string_view line, bool weighted, GlobLine& out) {
    if (weighted) {
        size_t colon = line.find(':');
        if (colon == std::string_view::npos || !ParseWeight(line.substr(0, colon), out.weight)) {
            return false;
        }
        line.remove_prefix(colon + 1);
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        return false;
    }
    out.type = line.substr(0, colon);
    out.glob = line.substr(colon + 1);
    if (weighted) {
        out.glob = out.glob.substr(0, out.glob.find(':'));
    }
    return true;
}

// What Debian's shared-mime-info calls the extensions the "Play" page
// registers, for a database that lacks them; ".ibh" is Tapewell's own.
constexpr std::pair<std::string_view, std::string_view> kKnownTypes[] = {
    {".asf", "application/vnd.ms-asf"},
    {".asx", "audio/x-ms-asx"},
    {".wmx", "audio/x-ms-asx"},
    {".wax", "audio/x-ms-asx"},
    {".wvx", "audio/x-ms-asx"},
    {".wma", "audio/x-ms-wma"},
    {".wmv", "video/x-ms-wmv"},
    {".avi", "video/x-msvideo"},
    {".mpg", "video/mpeg"},
    {".mpeg", "video/mpeg"},
    {".ibh", "application/x-tapewell-list"},
};

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
    std::string text(limits::kMaxMimeGlobsBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    ReadText(text, path.filename() == "globs2");
}

void MimeGlobs::ReadText(std::string_view text, bool weighted) {
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        GlobLine parsed;
        std::string extension;
        if (line.empty() || line.front() == '#' || !SplitLine(line, weighted, parsed) ||
            !TakeExtensionGlob(parsed.glob, extension)) {
            continue;
        }
        auto [it, added] = m_extensions.try_emplace(std::move(extension));
        if (added || parsed.weight > it->second.weight) {
            it->second = Glob{parsed.weight, std::string(parsed.type)};
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

std::string MimeGlobs::TypeOf(std::string_view extension) const {
    const std::string key = AsciiLower(extension);
    if (auto it = m_extensions.find(key); it != m_extensions.end()) {
        return it->second.type;
    }
    for (const auto& [known, type] : kKnownTypes) {
        if (known == key) {
            return std::string(type);
        }
    }
    return {};
}

}  // namespace tapewell
