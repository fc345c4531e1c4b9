#include "settings/FolderPath.h"

#include <sys/stat.h>

#include <cerrno>

#include "common/Limits.h"

namespace tapewell {

namespace {

// True when prefix is a folder afterwards, found or made.
bool EnsureFolder(const std::string& prefix) {
    struct stat st {};
    if (::stat(prefix.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    if (::mkdir(prefix.c_str(), 0777) == 0) {
        return true;
    }
    // Another process may have made it between the two calls.
    return errno == EEXIST && ::stat(prefix.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool CreateFolderPath(const std::string& path) {
    if (path.empty() || path.size() > limits::kFolderPathBuffer - 1) {
        return false;
    }
    std::string folder = path;
    size_t lastSlash = folder.rfind('/');
    size_t lastPartStart = lastSlash == std::string::npos ? 0 : lastSlash + 1;
    if (folder.find('.', lastPartStart) != std::string::npos) {
        if (lastSlash == std::string::npos) {
            return true;  // a bare file name: its folder is the current one
        }
        folder.resize(lastSlash == 0 ? 1 : lastSlash);
    }
    for (size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1)) {
        if (!EnsureFolder(folder.substr(0, slash))) {
            return false;
        }
    }
    return EnsureFolder(folder);
}

}  // namespace tapewell
