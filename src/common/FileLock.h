#pragma once

#include <filesystem>

#include "common/ErrorOr.h"

namespace tapewell {

// An advisory lock (flock) on a file or folder, held by a descriptor of its
// own for as long as the object lives. A recording holds one on its output
// file while it writes, so that any process (a player reading the growing
// file) can tell that more is coming; the playback cache holds one on its
// folder, so that a later start leaves a folder in use alone.
class FileLock {
public:
    // Takes the exclusive lock. Readers only test for it for an instant, so
    // a busy lock is tried again for a short while before this fails.
    static ErrorOr<FileLock> Exclusive(const std::filesystem::path& path);
    // Takes it only when it is free now.
    static ErrorOr<FileLock> TryExclusive(const std::filesystem::path& path);
    FileLock() = default;
    ~FileLock();
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Held() const { return m_fd >= 0; }
    void Release();

private:
    explicit FileLock(int fd) : m_fd(fd) {}
    static ErrorOr<FileLock> Take(const std::filesystem::path& path, int attempts);
    int m_fd = -1;
};

// Whether another open of the file holds the exclusive lock: its writer is
// still at work. fd is a descriptor of the reader's own.
bool IsLockedForWriting(int fd);
bool IsLockedForWriting(const std::filesystem::path& path);

}  // namespace tapewell
