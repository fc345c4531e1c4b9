#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace tapewell {

enum class SetAsideBy {
    kMove,  // the file is out of the way: what is saved next cannot replace it
    kCopy,  // the file stays in use; the copy keeps it as it was
};

// Keeps a file the program could not use as it is under a free name beside
// it: PATH + suffix, else PATH + suffix + ".1", ".2", ... (100 names). The
// name it got, or nothing when none was free or the move or copy failed;
// the file is then where and as it was.
std::optional<std::filesystem::path> SetFileAside(const std::filesystem::path& path,
                                                  std::string_view suffix, SetAsideBy how);

}  // namespace tapewell
