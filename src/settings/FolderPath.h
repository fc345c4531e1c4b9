#pragma once

#include <string>

namespace tapewell {

// Creates the folder path names, every missing level in turn (mode 0777 less
// the umask), the way the recording folder is prepared before use.
//
// The path is '/'-separated and may be relative. When its last part contains
// a dot, that part is taken for a file name and only the folder above it is
// created. Fails for a path longer than limits::kFolderPathBuffer - 1 bytes,
// for an empty path, and at the first level that is neither an existing
// folder nor creatable (a level that exists as a regular file fails too).
bool CreateFolderPath(const std::string& path);

}  // namespace tapewell
