#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tapewell {

// The file a recording engine writes into, opened by the recording job
// ("wb" for a new recording, "rb+" to continue one): writes go to the
// current position, and the engines seek to place data packets by number and
// to fix header fields at the end. A seek past the end leaves a gap that the
// file system fills with zeros. Used by one thread at a time.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Writes at the current position and moves past the bytes; false when
    // not all were written.
    virtual bool Write(std::span<const uint8_t> bytes) = 0;
    virtual bool Seek(uint64_t offset) = 0;
    // Moves to the end; the file's size, or nullopt when that fails.
    virtual std::optional<uint64_t> SeekEnd() = 0;
    virtual uint64_t Position() const = 0;
};

// An OutputFile on a stdio stream.
class StdioOutputFile final : public OutputFile {
public:
    // Opens path with an fopen mode; nullptr when it cannot be opened.
    static std::unique_ptr<StdioOutputFile> Open(const std::filesystem::path& path,
                                                 const char* mode);
    ~StdioOutputFile() override;
    StdioOutputFile(const StdioOutputFile&) = delete;
    StdioOutputFile& operator=(const StdioOutputFile&) = delete;

    bool Write(std::span<const uint8_t> bytes) override;
    bool Seek(uint64_t offset) override;
    std::optional<uint64_t> SeekEnd() override;
    uint64_t Position() const override;
    // Flushes and closes; false when buffered bytes could not be written.
    bool Close();
    // The reason the first write, seek or close failed ("No space left on
    // device"), or "" when none did. An engine may count a recording that
    // hit a full disk as a success; the job asks here.
    std::string FailureText() const;

private:
    StdioOutputFile(FILE* file, std::unique_ptr<char[]> buffer)
        : m_file(file), m_buffer(std::move(buffer)) {}
    void NoteFailure();
    FILE* m_file;
    std::unique_ptr<char[]> m_buffer;  // the stream's buffer, freed after fclose
    // Where the stream stands, known after a seek and kept by each write;
    // unknown (asked of the stream) from opening until the first seek and
    // after a failed call.
    std::optional<uint64_t> m_position;
    // When the buffer was last written out (limits::kOutputFileFlushMs).
    std::chrono::steady_clock::time_point m_lastFlush = std::chrono::steady_clock::now();
    int m_failure = 0;  // errno of the first failure
};

// An OutputFile in memory, for tests and fuzzers.
class MemoryOutputFile final : public OutputFile {
public:
    bool Write(std::span<const uint8_t> bytes) override;
    bool Seek(uint64_t offset) override;
    std::optional<uint64_t> SeekEnd() override;
    uint64_t Position() const override { return m_position; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    // Writes that would grow the file past this fail, as a full disk would.
    void SetCapacity(uint64_t bytes) { m_capacity = bytes; }

private:
    std::vector<uint8_t> m_bytes;
    uint64_t m_position = 0;
    uint64_t m_capacity = 1ull << 30;
};

}  // namespace tapewell
