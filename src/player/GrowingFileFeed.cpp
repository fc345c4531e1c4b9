#include "player/GrowingFileFeed.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "common/FileLock.h"
#include "common/Limits.h"

namespace tapewell {

ErrorOr<std::shared_ptr<GrowingFileFeed>> GrowingFileFeed::Open(const std::filesystem::path& path,
                                                                Writer writer) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return Error::FromErrno(error,
                                "cannot open " + path.string() + ": " + std::strerror(error));
    }
    return std::shared_ptr<GrowingFileFeed>(new GrowingFileFeed(path, fd, writer));
}

GrowingFileFeed::~GrowingFileFeed() {
    close(m_fd);
}

void GrowingFileFeed::Finish() {
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_wake.notify_all();
}

void GrowingFileFeed::Cancel() {
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
    }
    m_wake.notify_all();
}

bool GrowingFileFeed::WriterDone() const {
    return m_finished || (m_writer == Writer::kLock && !IsLockedForWriting(m_fd));
}

// What was read stays valid only while the name still leads to the same
// file, at least as long as what was read: a new recording under the same
// name, or a resume that cut the tail off, would splice two streams.
ErrorOr<void> GrowingFileFeed::CheckStillTheFile() const {
    struct stat named {};
    struct stat open {};
    if (stat(m_path.c_str(), &named) != 0 || fstat(m_fd, &open) != 0 ||
        named.st_dev != open.st_dev || named.st_ino != open.st_ino) {
        return Error::FromMessage(m_path.string() + " was replaced or removed while playing");
    }
    if (static_cast<uint64_t>(open.st_size) < m_offset) {
        return Error::FromMessage(m_path.string() + " was cut short while playing");
    }
    return {};
}

ErrorOr<size_t> GrowingFileFeed::Read(std::span<uint8_t> buffer) {
    bool lastLook = false;
    for (;;) {
        if (m_cancelled || buffer.empty()) {
            return size_t{0};
        }
        const ssize_t n = pread(m_fd, buffer.data(), buffer.size(), static_cast<off_t>(m_offset));
        if (n > 0) {
            m_offset += static_cast<uint64_t>(n);
            return static_cast<size_t>(n);
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const int error = errno;
            return Error::FromErrno(error,
                                    "cannot read " + m_path.string() + ": " + std::strerror(error));
        }
        if (lastLook) {
            return size_t{0};
        }
        // Once its owner has said the writer is done, the file may go (a
        // stopped playback removes its cache) and what was read stands.
        if (auto still = CheckStillTheFile(); !m_finished && !still) {
            return still.error();
        }
        // The writer may have added its last bytes between the read above
        // and saying it is done: one more read after it has said so.
        if (WriterDone()) {
            lastLook = true;
            continue;
        }
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, std::chrono::milliseconds(limits::kFeedPollMs),
                        [this] { return m_cancelled || m_finished; });
    }
}

}  // namespace tapewell
