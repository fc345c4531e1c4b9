#include "common/OutputFile.h"

#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "common/Limits.h"

namespace tapewell {

std::unique_ptr<StdioOutputFile> StdioOutputFile::Open(const std::filesystem::path& path,
                                                       const char* mode) {
    FILE* file = std::fopen(path.c_str(), mode);
    if (file == nullptr)
        return nullptr;
    // Otherwise the buffer is the file system's block size (glibc takes the
    // size only with a buffer to go with it). A failed setvbuf leaves that
    // buffer, which still works.
    auto buffer = std::make_unique<char[]>(limits::kOutputFileBufferBytes);
    std::setvbuf(file, buffer.get(), _IOFBF, limits::kOutputFileBufferBytes);
    return std::unique_ptr<StdioOutputFile>(new StdioOutputFile(file, std::move(buffer)));
}

StdioOutputFile::~StdioOutputFile() {
    Close();
}

bool StdioOutputFile::Close() {
    if (m_file == nullptr)
        return true;
    const bool ok = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (!ok)
        NoteFailure();
    return ok;
}

void StdioOutputFile::NoteFailure() {
    if (m_failure == 0)
        m_failure = errno != 0 ? errno : EIO;
}

std::string StdioOutputFile::FailureText() const {
    return m_failure == 0 ? std::string() : std::strerror(m_failure);
}

bool StdioOutputFile::Write(std::span<const uint8_t> bytes) {
    if (m_file == nullptr)
        return false;
    if (bytes.empty())
        return true;
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size()) {
        m_position.reset();  // a partial write leaves it to the stream to say
        NoteFailure();
        return false;
    }
    if (m_position)
        *m_position += bytes.size();
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastFlush >= std::chrono::milliseconds(limits::kOutputFileFlushMs)) {
        m_lastFlush = now;
        if (std::fflush(m_file) != 0) {
            m_position.reset();
            NoteFailure();
            return false;
        }
    }
    return true;
}

bool StdioOutputFile::Seek(uint64_t offset) {
    if (m_file == nullptr || offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max()))
        return false;
    // The engines place every data packet by its number, almost always
    // right where the last one ended; a seek there would only flush the
    // buffer early.
    if (m_position == offset)
        return true;
    if (fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) != 0) {
        m_position.reset();
        NoteFailure();
        return false;
    }
    m_position = offset;
    return true;
}

std::optional<uint64_t> StdioOutputFile::SeekEnd() {
    m_position.reset();
    if (m_file == nullptr || fseeko(m_file, 0, SEEK_END) != 0)
        return std::nullopt;
    const off_t end = ftello(m_file);
    if (end < 0)
        return std::nullopt;
    m_position = static_cast<uint64_t>(end);
    return m_position;
}

uint64_t StdioOutputFile::Position() const {
    if (m_file == nullptr)
        return 0;
    if (m_position)
        return *m_position;
    const off_t position = ftello(m_file);
    return position < 0 ? 0 : static_cast<uint64_t>(position);
}

bool MemoryOutputFile::Write(std::span<const uint8_t> bytes) {
    if (m_position > m_capacity || bytes.size() > m_capacity - m_position)
        return false;
    const uint64_t end = m_position + bytes.size();
    if (end > m_bytes.size())
        m_bytes.resize(end);
    std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + static_cast<ptrdiff_t>(m_position));
    m_position = end;
    return true;
}

bool MemoryOutputFile::Seek(uint64_t offset) {
    if (offset > m_capacity)
        return false;
    m_position = offset;
    return true;
}

std::optional<uint64_t> MemoryOutputFile::SeekEnd() {
    m_position = m_bytes.size();
    return m_position;
}

}  // namespace tapewell
