#include "settings/ProfileFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tapewell::profile_file {

namespace {

// The failure of the system call that just set errno.
Error LastSystemError() {
    const int err = errno;
    return Error::FromErrno(err, std::strerror(err));
}

// Closes a descriptor on every way out of a function.
class FdCloser {
public:
    explicit FdCloser(int fd) : m_fd(fd) {}
    ~FdCloser() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;
    int Get() const { return m_fd; }
    // Closes now and reports the result: a delayed write error can show up
    // only at close.
    ErrorOr<void> Close() {
        int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0) {
            return LastSystemError();
        }
        return {};
    }

private:
    int m_fd;
};

ErrorOr<void> WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return LastSystemError();
        }
        if (n == 0) {
            return Error::FromMessage("nothing written");
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return {};
}

ErrorOr<void> SyncFolder(const std::filesystem::path& folder) {
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return LastSystemError();
    }
    FdCloser closer(fd);
    // Some file systems cannot sync a folder at all; the rename is then as
    // durable as they make it.
    if (::fsync(fd) != 0 && errno != EINVAL) {
        return LastSystemError();
    }
    return {};
}

bool IsFolder(const std::filesystem::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates a new file beside path that nobody else can open; its name is
// returned in *tempPath. -1 on failure.
int CreateTempBeside(const std::filesystem::path& path, std::string* tempPath) {
    std::string pattern = path.string() + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkostemp opens with O_CREAT | O_EXCL and mode 0600.
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) {
        tempPath->assign(name.data());
    }
    return fd;
}

// Writes, syncs and closes the temp file; the first failure counts, but the
// file is closed either way.
ErrorOr<void> FillTemp(FdCloser& temp, std::string_view bytes) {
    ErrorOr<void> written = WriteAll(temp.Get(), bytes);
    if (written && ::fsync(temp.Get()) != 0) {
        written = LastSystemError();
    }
    ErrorOr<void> closed = temp.Close();
    return written ? closed : written;
}

}  // namespace

ErrorOr<ReadResult> ReadBounded(const std::filesystem::path& path, size_t maxBytes) {
    ReadResult result;
    // O_NONBLOCK so that a pipe put in the file's place cannot hang the read.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) {
            return result;
        }
        return LastSystemError();
    }
    FdCloser closer(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return LastSystemError();
    }
    if (!S_ISREG(st.st_mode)) {
        return S_ISDIR(st.st_mode) ? Error::FromErrno(EISDIR, std::strerror(EISDIR))
                                   : Error::FromMessage("Not a regular file");
    }
    char chunk[65536];
    while (result.bytes.size() <= maxBytes) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return LastSystemError();
        }
        if (n == 0) {
            break;
        }
        result.bytes.append(chunk, static_cast<size_t>(n));
    }
    if (result.bytes.size() > maxBytes) {
        result.bytes.resize(maxBytes);
        result.truncated = true;
    }
    return result;
}

ErrorOr<void> MakePrivateFolders(const std::filesystem::path& folder) {
    std::filesystem::path prefix;
    for (const auto& part : folder) {
        prefix /= part;
        if (::mkdir(prefix.c_str(), 0700) == 0) {
            continue;
        }
        if (errno != EEXIST) {
            return LastSystemError();
        }
        if (!IsFolder(prefix)) {
            return Error::FromErrno(ENOTDIR, std::strerror(ENOTDIR));
        }
    }
    return {};
}

ErrorOr<WriteLock> WriteLock::Acquire(const std::filesystem::path& lockPath) {
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return LastSystemError();
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            Error error = LastSystemError();
            ::close(fd);
            return error;
        }
    }
    return WriteLock(fd);
}

WriteLock::WriteLock(WriteLock&& other) noexcept : m_fd(other.m_fd) {
    other.m_fd = -1;
}

// Closing the descriptor releases the flock. The lock file stays: removing
// it would let a waiting writer lock a file that a newcomer no longer sees.
WriteLock::~WriteLock() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

ErrorOr<void> ReplaceAtomically(const std::filesystem::path& path, std::string_view bytes) {
    std::string tempPath;
    FdCloser temp(CreateTempBeside(path, &tempPath));
    if (temp.Get() < 0) {
        return LastSystemError();
    }
    ErrorOr<void> written = FillTemp(temp, bytes);
    if (written && ::rename(tempPath.c_str(), path.c_str()) != 0) {
        written = LastSystemError();
    }
    if (!written) {
        ::unlink(tempPath.c_str());
        return written;
    }
    return SyncFolder(path.parent_path());
}

}  // namespace tapewell::profile_file
