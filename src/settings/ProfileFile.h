#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// File operations behind the settings store: a bounded read, the advisory
// lock that serialises writers, and the atomic replacement of the file.
namespace tapewell::profile_file {

enum class ReadStatus { Ok, Missing, Failed };

struct ReadResult {
    ReadStatus status = ReadStatus::Failed;
    std::string bytes;
    bool truncated = false;  // the file holds more than maxBytes
};

// Reads at most maxBytes of a regular file. A missing file is not a failure;
// anything that is not a regular file (a folder, a pipe) is.
ReadResult ReadBounded(const std::filesystem::path& path, size_t maxBytes);

// Creates the missing levels of folder with mode 0700; existing levels are
// left as they are. True when folder exists as a folder afterwards.
bool MakePrivateFolders(const std::filesystem::path& folder);

// An exclusive flock on a lock file beside the settings file, held until the
// object is destroyed. The settings file itself cannot carry the lock: it is
// replaced by rename, and a lock on the old inode would not stop a writer
// that opened the new one.
class WriteLock {
public:
    static std::optional<WriteLock> Acquire(const std::filesystem::path& lockPath);
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
// the new file, never a mix. False on any failure; the temp file is removed.
bool ReplaceAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace tapewell::profile_file
