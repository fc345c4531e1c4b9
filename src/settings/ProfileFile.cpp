#include "settings/ProfileFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace tapewell::profile_file {

namespace {

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
    bool Close() {
        int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool SyncFolder(const std::filesystem::path& folder) {
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    FdCloser closer(fd);
    // Some file systems cannot sync a folder at all; the rename is then as
    // durable as they make it.
    return ::fsync(fd) == 0 || errno == EINVAL;
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

}  // namespace

ReadResult ReadBounded(const std::filesystem::path& path, size_t maxBytes) {
    ReadResult result;
    // O_NONBLOCK so that a pipe put in the file's place cannot hang the read.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        result.status = errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
        return result;
    }
    FdCloser closer(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return result;
    }
    char chunk[65536];
    while (result.bytes.size() <= maxBytes) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return result;
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
    result.status = ReadStatus::Ok;
    return result;
}

bool MakePrivateFolders(const std::filesystem::path& folder) {
    std::filesystem::path prefix;
    for (const auto& part : folder) {
        prefix /= part;
        if (::mkdir(prefix.c_str(), 0700) != 0 && !(errno == EEXIST && IsFolder(prefix))) {
            return false;
        }
    }
    return true;
}

std::optional<WriteLock> WriteLock::Acquire(const std::filesystem::path& lockPath) {
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return std::nullopt;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd);
            return std::nullopt;
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

bool ReplaceAtomically(const std::filesystem::path& path, std::string_view bytes) {
    std::string tempPath;
    FdCloser temp(CreateTempBeside(path, &tempPath));
    if (temp.Get() < 0) {
        return false;
    }
    bool written = WriteAll(temp.Get(), bytes) && ::fsync(temp.Get()) == 0;
    written = temp.Close() && written;
    if (!written || ::rename(tempPath.c_str(), path.c_str()) != 0) {
        ::unlink(tempPath.c_str());
        return false;
    }
    return SyncFolder(path.parent_path());
}

}  // namespace tapewell::profile_file
