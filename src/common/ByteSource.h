#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/ErrorOr.h"

namespace tapewell {

// Random-access input for the file readers, so that the same parser runs on
// a file on disk and on bytes in memory (tests and fuzzers).
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads up to out.size() bytes at offset; fewer at the end of the input
    // or on a read error. Never reads past what it returns.
    virtual size_t ReadAt(uint64_t offset, std::span<uint8_t> out) = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
    uint64_t Size() const override { return m_bytes.size(); }
    size_t ReadAt(uint64_t offset, std::span<uint8_t> out) override;

private:
    std::span<const uint8_t> m_bytes;
};

// A regular file opened read-only. Open fails on anything that is not a
// regular file (a folder, a device, a pipe) so that a reader never blocks.
// Held by value: moving it hands the open file on.
class FileSource final : public ByteSource {
public:
    ~FileSource() override;
    FileSource(FileSource&& other) noexcept;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    FileSource& operator=(FileSource&&) = delete;

    // The error carries the strerror text alone; the caller knows the path.
    static ErrorOr<FileSource> Open(const std::filesystem::path& path);

    uint64_t Size() const override { return m_size; }
    size_t ReadAt(uint64_t offset, std::span<uint8_t> out) override;

private:
    FileSource(int fd, uint64_t size) : m_fd(fd), m_size(size) {}
    int m_fd;
    uint64_t m_size;
};

}  // namespace tapewell
