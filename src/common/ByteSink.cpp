#include "common/ByteSink.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "common/Limits.h"

namespace tapewell {

ErrorOr<void> MemorySink::Write(std::span<const uint8_t> bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return {};
}

ErrorOr<void> MemorySink::WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
    if (offset > m_bytes.size()) {
        return Error::FromMessage("write past the end of the output");
    }
    const size_t end = static_cast<size_t>(offset) + bytes.size();
    m_bytes.resize(std::max(m_bytes.size(), end));
    std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + static_cast<ptrdiff_t>(offset));
    return {};
}

ErrorOr<std::unique_ptr<FileSink>> FileSink::Create(const std::filesystem::path& path) {
    // O_EXCL with a random suffix rather than mkstemp: the file gets the
    // usual 0666-less-umask mode that a media file should have.
    std::random_device random;
    int err = EEXIST;
    for (int i = 0; i < limits::kMaxTempNameTries && err == EEXIST; ++i) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(random()));
        std::filesystem::path temp = path;
        temp += suffix;
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            return std::unique_ptr<FileSink>(new FileSink(fd, path, std::move(temp)));
        }
        err = errno;
    }
    return Error::FromErrno(err, std::strerror(err));
}

FileSink::~FileSink() {
    Discard();
}

void FileSink::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_tempPath.c_str());
        m_fd = -1;
    }
}

ErrorOr<void> FileSink::Write(std::span<const uint8_t> bytes) {
    return WriteAt(m_size, bytes);
}

ErrorOr<void> FileSink::WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
    if (m_fd < 0) {
        return Error::FromMessage("already closed");
    }
    ErrorOr<void> result;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(m_fd, bytes.data() + done, bytes.size() - done,
                             static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int err = errno;
            result = n < 0 ? Error::FromErrno(err, std::strerror(err))
                           : Error::FromMessage("nothing written");
            break;
        }
        done += static_cast<size_t>(n);
    }
    m_size = std::max<uint64_t>(m_size, offset + done);
    return result;
}

ErrorOr<void> FileSink::Commit() {
    if (m_fd < 0) {
        return Error::FromMessage("already closed");
    }
    int fd = m_fd;
    m_fd = -1;
    // A delayed write error can show up only at close.
    if (::close(fd) != 0 || ::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        const int err = errno;
        ::unlink(m_tempPath.c_str());
        return Error::FromErrno(err, std::strerror(err));
    }
    return {};
}

ErrorOr<void> WriteNewFile(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
    auto sink = FileSink::Create(path);
    if (!sink) {
        return sink.error();
    }
    if (auto written = (*sink)->Write(bytes); !written) {
        return written.error();
    }
    return (*sink)->Commit();
}

}  // namespace tapewell
