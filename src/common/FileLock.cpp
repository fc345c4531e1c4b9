#include "common/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace tapewell {
namespace {

// How long Exclusive waits for readers' momentary tests to pass.
constexpr int kLockAttempts = 100;
constexpr auto kLockRetry = std::chrono::milliseconds(10);

}  // namespace

ErrorOr<FileLock> FileLock::Exclusive(const std::filesystem::path& path) {
    return Take(path, kLockAttempts);
}

ErrorOr<FileLock> FileLock::TryExclusive(const std::filesystem::path& path) {
    return Take(path, 0);
}

ErrorOr<FileLock> FileLock::Take(const std::filesystem::path& path, int attempts) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return Error::FromErrno(error,
                                "cannot open " + path.string() + ": " + std::strerror(error));
    }
    for (int attempt = 0;; ++attempt) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return FileLock(fd);
        }
        const int error = errno;
        if ((error != EWOULDBLOCK && error != EINTR) || attempt >= attempts) {
            close(fd);
            return Error::FromErrno(error,
                                    "cannot lock " + path.string() + ": " + std::strerror(error));
        }
        std::this_thread::sleep_for(kLockRetry);
    }
}

FileLock::~FileLock() {
    Release();
}

FileLock::FileLock(FileLock&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

void FileLock::Release() {
    if (m_fd >= 0) {
        close(m_fd);  // closing the descriptor lets the lock go
        m_fd = -1;
    }
}

bool IsLockedForWriting(int fd) {
    if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
        flock(fd, LOCK_UN);
        return false;
    }
    return errno == EWOULDBLOCK;
}

bool IsLockedForWriting(const std::filesystem::path& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool locked = IsLockedForWriting(fd);
    close(fd);
    return locked;
}

}  // namespace tapewell
