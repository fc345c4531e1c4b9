#include "common/ByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tapewell {

size_t MemorySource::ReadAt(uint64_t offset, std::span<uint8_t> out) {
    // An empty span may have no storage at all, and memcpy takes none.
    if (offset >= m_bytes.size() || out.empty()) {
        return 0;
    }
    size_t n = std::min<uint64_t>(out.size(), m_bytes.size() - offset);
    std::memcpy(out.data(), m_bytes.data() + offset, n);
    return n;
}

FileSource::~FileSource() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

FileSource::FileSource(FileSource&& other) noexcept : m_fd(other.m_fd), m_size(other.m_size) {
    other.m_fd = -1;
    other.m_size = 0;
}

ErrorOr<FileSource> FileSource::Open(const std::filesystem::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int err = errno;
        return Error::FromErrno(err, std::strerror(err));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        Error error = S_ISDIR(st.st_mode) ? Error::FromErrno(EISDIR, "Is a directory")
                                          : Error::FromMessage("Not a regular file");
        ::close(fd);
        return error;
    }
    return FileSource(fd, static_cast<uint64_t>(st.st_size));
}

size_t FileSource::ReadAt(uint64_t offset, std::span<uint8_t> out) {
    size_t done = 0;
    while (done < out.size()) {
        ssize_t n =
            ::pread(m_fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return done;
}

}  // namespace tapewell
