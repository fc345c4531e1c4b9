#include "common/OutputFile.h"

#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace tapewell {

std::unique_ptr<StdioOutputFile> StdioOutputFile::Open(const std::filesystem::path& path, const char* mode)
{
    FILE* file = std::fopen(path.c_str(), mode);
    if (file == nullptr)
        return nullptr;
    return std::unique_ptr<StdioOutputFile>(new StdioOutputFile(file));
}

StdioOutputFile::~StdioOutputFile()
{
    Close();
}

bool StdioOutputFile::Close()
{
    if (m_file == nullptr)
        return true;
    const bool ok = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (!ok)
        NoteFailure();
    return ok;
}

void StdioOutputFile::NoteFailure()
{
    if (m_failure == 0)
        m_failure = errno != 0 ? errno : EIO;
}

std::string StdioOutputFile::FailureText() const
{
    return m_failure == 0 ? std::string() : std::strerror(m_failure);
}

bool StdioOutputFile::Write(std::span<const uint8_t> bytes)
{
    if (m_file == nullptr)
        return false;
    if (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), m_file) == bytes.size())
        return true;
    NoteFailure();
    return false;
}

bool StdioOutputFile::Seek(uint64_t offset)
{
    if (m_file == nullptr || offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max()))
        return false;
    if (fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) == 0)
        return true;
    NoteFailure();
    return false;
}

std::optional<uint64_t> StdioOutputFile::SeekEnd()
{
    if (m_file == nullptr || fseeko(m_file, 0, SEEK_END) != 0)
        return std::nullopt;
    const off_t end = ftello(m_file);
    if (end < 0)
        return std::nullopt;
    return static_cast<uint64_t>(end);
}

uint64_t StdioOutputFile::Position() const
{
    if (m_file == nullptr)
        return 0;
    const off_t position = ftello(m_file);
    return position < 0 ? 0 : static_cast<uint64_t>(position);
}

bool MemoryOutputFile::Write(std::span<const uint8_t> bytes)
{
    if (m_position > m_capacity || bytes.size() > m_capacity - m_position)
        return false;
    const uint64_t end = m_position + bytes.size();
    if (end > m_bytes.size())
        m_bytes.resize(end);
    std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + static_cast<ptrdiff_t>(m_position));
    m_position = end;
    return true;
}

bool MemoryOutputFile::Seek(uint64_t offset)
{
    if (offset > m_capacity)
        return false;
    m_position = offset;
    return true;
}

std::optional<uint64_t> MemoryOutputFile::SeekEnd()
{
    m_position = m_bytes.size();
    return m_position;
}

}  // namespace tapewell
