#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <span>

#include "common/ErrorOr.h"

namespace tapewell {

// The bytes of a file that may still be growing, in order, for a player
// that reads it as a stream. At the current end Read waits, looking again
// every limits::kFeedPollMs, until more arrives or the writer is done; then
// the file ends there. The writer is done when Finish is called (a job of
// this process writes the file) or, for a file written by any process,
// when the writer lets go of its lock (IsLockedForWriting).
//
// Threads: one thread reads; Finish and Cancel may come from any thread.
class GrowingFileFeed {
public:
    enum class Writer {
        kOwner,  // the caller calls Finish
        kLock,   // the writer's lock on the file tells
    };

    static ErrorOr<std::shared_ptr<GrowingFileFeed>> Open(const std::filesystem::path& path,
                                                          Writer writer);
    ~GrowingFileFeed();
    GrowingFileFeed(const GrowingFileFeed&) = delete;
    GrowingFileFeed& operator=(const GrowingFileFeed&) = delete;

    // Waits for at least one byte and returns how many it put into buffer;
    // 0 at the end (and after Cancel). A file that is replaced, removed or
    // cut short under the reader is an error: what it held is gone.
    ErrorOr<size_t> Read(std::span<uint8_t> buffer);
    // The writer is done: Read ends at the file's end.
    void Finish();
    // Read returns 0 at once, now and from now on.
    void Cancel();

    const std::filesystem::path& Path() const { return m_path; }
    // Bytes handed out so far.
    uint64_t Offset() const { return m_offset.load(); }

private:
    GrowingFileFeed(std::filesystem::path path, int fd, Writer writer)
        : m_path(std::move(path)), m_fd(fd), m_writer(writer) {}
    bool WriterDone() const;
    ErrorOr<void> CheckStillTheFile() const;

    std::filesystem::path m_path;
    int m_fd;
    Writer m_writer;
    std::atomic<uint64_t> m_offset{0};

    std::mutex m_mutex;  // guards the flags' waits
    std::condition_variable m_wake;
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_cancelled{false};
};

}  // namespace tapewell
