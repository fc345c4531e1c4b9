#include "settings/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "common/Limits.h"
#include "settings/ProfileFile.h"

namespace tapewell::user_folders {

namespace {

std::string_view NextLine(std::string_view& text) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return line;
}

// The value is written for the shell: in double quotes, with a backslash
// before any character that the shell would otherwise interpret.
std::optional<std::string> Unquote(std::string_view value) {
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') {
        return std::nullopt;
    }
    value = value.substr(1, value.size() - 2);
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            ++i;
        }
        out += value[i];
    }
    return out;
}

std::string_view WithoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return path;
}

}  // namespace

std::filesystem::path Home() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return home;
    }
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return "/";
}

std::filesystem::path ConfigHome() {
    // Relative values are invalid by the base-directory rules and ignored.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return config;
    }
    return Home() / ".config";
}

std::filesystem::path DataHome() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') {
        return data;
    }
    return Home() / ".local" / "share";
}

std::optional<std::string> FindUserDir(std::string_view fileText, std::string_view key,
                                       const std::string& home) {
    std::optional<std::string> found;
    while (!fileText.empty()) {
        std::string_view line = NextLine(fileText);
        if (!line.starts_with(key) || line.substr(key.size(), 1) != "=") {
            continue;
        }
        // As in the shell that may source the file, the last line wins.
        found.reset();
        std::optional<std::string> value = Unquote(line.substr(key.size() + 1));
        if (!value) {
            continue;
        }
        if (value->starts_with("$HOME/") || *value == "$HOME") {
            found = home + value->substr(5);
        } else if (value->starts_with('/')) {
            found = std::move(value);
        }
    }
    return found;
}

std::filesystem::path Videos() {
    std::filesystem::path home = Home();
    ErrorOr<profile_file::ReadResult> file =
        profile_file::ReadBounded(ConfigHome() / "user-dirs.dirs", limits::kMaxProfileFileBytes);
    if (file) {
        std::optional<std::string> videos =
            FindUserDir(file->bytes, "XDG_VIDEOS_DIR", home.string());
        // A user dir set to the home folder itself means "not used".
        if (videos && WithoutTrailingSlashes(*videos) != WithoutTrailingSlashes(home.string())) {
            return *videos;
        }
    }
    return home / "Videos";
}

}  // namespace tapewell::user_folders
