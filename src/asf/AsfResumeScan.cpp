#include "asf/AsfResumeScan.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "asf/AsfGuids.h"
#include "asf/AsfObjects.h"
#include "common/Limits.h"
#include "common/LittleEndian.h"

namespace tapewell {
namespace {

// Within this many packets of its announced total a file counts as complete
// (or nearly so) and is not resumed.
constexpr int32_t kMinMissingPackets = 6;

}  // namespace

bool AsfResumeScan::ScanPartialFile(const std::filesystem::path& path) {
    auto file = FileSource::Open(path);
    return file &&
           Scan(*file, [&path](const Guid& fileId) { return LoadResumeRecord(path, fileId); });
}

bool AsfResumeScan::Scan(ByteSource& source, const RecordLookup& record) {
    m_packetSize = 0;
    m_totalPackets = 0;
    m_resumePacketCount = 0;
    m_resumeOffset = 0;
    m_headerSize = 0;
    const uint64_t fileSize = source.Size();
    uint64_t pos = 0;
    std::optional<ResumeRecord> totals;
    uint64_t writtenPackets = 0;  // as the header says
    for (size_t walked = 0; walked < limits::kMaxAsfObjectEntries; ++walked) {
        std::optional<ObjectHeader> header = ReadObjectHeader(source, pos);
        if (!header || !ObjectFits(*header, pos, fileSize)) {
            break;
        }
        const Guid& id = header->id;
        const uint64_t size = header->size;
        // Only a file that starts with the Header object is ASF; anything else
        // would have its first bytes kept as if they were a header.
        if (pos == 0 && id != guids::kHeader) {
            return false;
        }
        const uint64_t bodyAt = pos + asf::kObjectHeaderSize;
        const uint64_t bodyLength = size - asf::kObjectHeaderSize;
        if (id == guids::kHeader) {
            m_headerSize = size;
            pos = bodyAt + std::min<uint64_t>(bodyLength, asf::kHeaderInfoSize);
            continue;
        }
        if (id == guids::kFileProperties && bodyLength < asf::kFilePropertiesUnreadBody) {
            std::vector<uint8_t> body(bodyLength);
            body.resize(source.ReadAt(bodyAt, body));
            const FileProperties fp = FileProperties::FromBody(body);
            m_packetSize = fp.minPacketSize;
            m_totalPackets = static_cast<uint32_t>(fp.dataPacketsCount);
            writtenPackets = fp.dataPacketsCount;
            totals = record ? record(fp.fileId) : std::nullopt;
        }
        pos += size;
    }
    if (m_packetSize == 0 || m_headerSize == 0) {
        return false;
    }
    // The packets are kept only behind a Data object that starts right after
    // the header, as the recorders write it.
    std::array<uint8_t, 16> dataId{};
    if (source.ReadAt(m_headerSize, dataId) != dataId.size() ||
        Guid::FromBytes(dataId) != guids::kData) {
        return false;
    }
    const uint64_t dataStart = m_headerSize + asf::kDataObjectHeaderSize;
    if (fileSize <= dataStart) {
        return false;
    }
    auto whole = static_cast<int64_t>((fileSize - dataStart) / m_packetSize);
    if (totals) {
        // The header counts the packets written, and an index may follow
        // them; the stream's total is in the record.
        m_totalPackets = static_cast<uint32_t>(totals->dataPacketsCount);
        whole = std::min<int64_t>(whole, static_cast<int64_t>(std::min<uint64_t>(
                                             writtenPackets, static_cast<uint64_t>(INT64_MAX))));
    }
    if (whole <= 0 ||
        static_cast<int32_t>(m_totalPackets - static_cast<uint32_t>(whole)) < kMinMissingPackets) {
        return false;
    }
    m_resumePacketCount = static_cast<uint32_t>(whole - 1);
    m_resumeOffset = dataStart + static_cast<uint64_t>(whole - 1) * m_packetSize;
    return true;
}

}  // namespace tapewell
