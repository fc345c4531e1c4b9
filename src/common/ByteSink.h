#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "common/ErrorOr.h"

namespace tapewell {

// Output for the file writers that fill in sizes and counts after the body:
// bytes are appended, and a range already written can be overwritten. The
// same writer runs on a file and on memory (tests and fuzzers).
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Appends; an error when not every byte was written.
    virtual ErrorOr<void> Write(std::span<const uint8_t> bytes) = 0;
    // Overwrites bytes at offset, extending the output if it ends there.
    virtual ErrorOr<void> WriteAt(uint64_t offset, std::span<const uint8_t> bytes) = 0;
    virtual uint64_t Size() const = 0;
};

class MemorySink final : public ByteSink {
public:
    ErrorOr<void> Write(std::span<const uint8_t> bytes) override;
    ErrorOr<void> WriteAt(uint64_t offset, std::span<const uint8_t> bytes) override;
    uint64_t Size() const override { return m_bytes.size(); }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

// A new file that takes its name only when it is complete: the bytes go to a
// temporary file beside path, Commit renames it over path, and a sink
// destroyed without Commit removes it. A failed writer therefore never
// leaves a half-written file under the final name, and an existing file of
// that name is replaced only by a whole one.
class FileSink final : public ByteSink {
public:
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    // The errors of Create, Write, WriteAt and Commit carry the strerror
    // text alone; the caller knows which file it was writing.
    static ErrorOr<std::unique_ptr<FileSink>> Create(const std::filesystem::path& path);

    ErrorOr<void> Write(std::span<const uint8_t> bytes) override;
    ErrorOr<void> WriteAt(uint64_t offset, std::span<const uint8_t> bytes) override;
    uint64_t Size() const override { return m_size; }

    // Closes the file and renames it over path. On failure the temporary
    // file is removed.
    ErrorOr<void> Commit();

private:
    FileSink(int fd, std::filesystem::path path, std::filesystem::path tempPath)
        : m_fd(fd), m_path(std::move(path)), m_tempPath(std::move(tempPath)) {}
    void Discard();

    int m_fd;
    std::filesystem::path m_path;
    std::filesystem::path m_tempPath;
    uint64_t m_size = 0;
};

// Creates or replaces path with bytes through a FileSink: the name shows
// either the old file or the whole new one. The error is the strerror text.
ErrorOr<void> WriteNewFile(const std::filesystem::path& path, std::span<const uint8_t> bytes);

}  // namespace tapewell
