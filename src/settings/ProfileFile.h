#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/ErrorOr.h"

// File operations behind the settings store: a bounded read, the advisory
// lock that serialises writers, and the atomic replacement of the file.
// Their errors carry the strerror text of the call that failed.
namespace tapewell::profile_file {

struct ReadResult {
    std::string bytes;
    bool truncated = false;  // the file holds more than maxBytes
};

// Reads at most maxBytes of a regular file. A missing file is not a failure
// but reads as empty; anything that is not a regular file (a folder, a pipe)
// is.
ErrorOr<ReadResult> ReadBounded(const std::filesystem::path& path, size_t maxBytes);

// Creates the missing levels of folder with mode 0700; existing levels are
// left as they are. Succeeds when folder exists as a folder afterwards.
ErrorOr<void> MakePrivateFolders(const std::filesystem::path& folder);

// An exclusive flock on a lock file beside the settings file, held until the
// object is destroyed. The settings file itself cannot carry the lock: it is
// replaced by rename, and a lock on the old inode would not stop a writer
// that opened the new one.
class WriteLock {
public:
    static ErrorOr<WriteLock> Acquire(const std::filesystem::path& lockPath);
    ~WriteLock();
    WriteLock(WriteLock&& other) noexcept;
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    WriteLock& operator=(WriteLock&&) = delete;

private:
    explicit WriteLock(int fd) : m_fd(fd) {}
    int m_fd;
};

// Writes bytes to a new mode-0600 file in the same folder, syncs it, renames
// it over path and syncs the folder, so that a crash leaves either the old or
// the new file, never a mix. On any failure the temp file is removed.
ErrorOr<void> ReplaceAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace tapewell::profile_file
