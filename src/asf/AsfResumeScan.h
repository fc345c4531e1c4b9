#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

#include "asf/ResumeRecord.h"
#include "common/ByteSource.h"

namespace tapewell {

// Judges whether a partly written recording can be resumed, and where: the
// header and the whole packets before the last one are kept, the last whole
// packet is fetched again. Runs on the recording job's worker thread.
class AsfResumeScan {
public:
    // True when the file can be resumed; then GetResumeOffset is the byte
    // length to keep and GetResumePacketCount the number of packets kept.
    // A file whose header was made to describe the part written (a stopped
    // recording) is judged by the stream's totals in its resume record.
    bool ScanPartialFile(const std::filesystem::path& path);
    // record looks up the resume record of the header's File ID.
    using RecordLookup = std::function<std::optional<ResumeRecord>(const Guid& fileId)>;
    bool Scan(ByteSource& source, const RecordLookup& record = {});

    uint32_t GetPacketSize() const { return m_packetSize; }
    uint32_t GetTotalPackets() const { return m_totalPackets; }
    uint32_t GetResumePacketCount() const { return m_resumePacketCount; }
    uint64_t GetResumeOffset() const { return m_resumeOffset; }
    uint64_t GetHeaderSize() const { return m_headerSize; }

private:
    uint32_t m_packetSize = 0;
    uint32_t m_totalPackets = 0;  // low half of Data Packets Count
    uint32_t m_resumePacketCount = 0;
    uint64_t m_resumeOffset = 0;
    uint64_t m_headerSize = 0;
};

}  // namespace tapewell
