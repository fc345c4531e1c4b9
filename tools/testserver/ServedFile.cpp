#include "ServedFile.h"

#include <algorithm>

#include "MmsMessage.h"
#include "ServerLimits.h"
#include "asf/AsfInfo.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"

namespace tapewell::testserver {

std::unique_ptr<ServedFile> ServedFile::Open(const std::filesystem::path& path, bool live,
                                             std::string* error, bool keepDuration) {
    std::unique_ptr<ServedFile> file(new ServedFile);
    file->m_path = path;
    ErrorOr<FileSource> source = FileSource::Open(path);
    if (!source) {
        *error = source.error().message;
        return nullptr;
    }
    file->m_source = std::make_unique<FileSource>(std::move(*source));
    if (!file->Load(live, keepDuration, error)) {
        return nullptr;
    }
    return file;
}

bool ServedFile::Load(bool live, bool keepDuration, std::string* error) {
    AsfInfo info;
    AsfObjectEntry properties;
    AsfObjectEntry data;
    if (!info.Parse(*m_source) || info.FindObject(guids::kFileProperties, &properties) < 0 ||
        info.FindObject(guids::kData, &data) < 0) {
        *error = "not a playable ASF file";
        return false;
    }
    const FileProperties& fp = info.GetFileProperties();
    const uint64_t headerSize = info.GetObjects().front().size;
    if (fp.minPacketSize == 0 || fp.minPacketSize != fp.maxPacketSize ||
        fp.minPacketSize > mms::kMaxDataPayload) {
        *error = "packet size not fixed or too large to stream";
        return false;
    }
    if (headerSize > limits::kMaxServedHeader || properties.offset + 104 > headerSize ||
        data.offset + asf::kDataObjectHeaderSize > m_source->Size()) {
        *error = "ASF header too large or damaged";
        return false;
    }
    m_header.resize(headerSize + asf::kDataObjectHeaderSize);
    if (m_source->ReadAt(0, std::span(m_header).first(headerSize)) != headerSize ||
        m_source->ReadAt(data.offset, std::span(m_header).subspan(headerSize)) !=
            asf::kDataObjectHeaderSize) {
        *error = "cannot read the ASF header";
        return false;
    }
    m_packetSize = fp.minPacketSize;
    m_packetsStart = data.offset + asf::kDataObjectHeaderSize;
    const uint64_t dataEnd = std::min(data.offset + data.size, m_source->Size());
    m_packetCount = dataEnd > m_packetsStart ? (dataEnd - m_packetsStart) / m_packetSize : 0;
    m_durationSeconds = static_cast<double>(fp.playDuration) / 1e7;
    m_bitrate = fp.maxBitrate;
    m_live = live;
    if (live) {
        MakeBroadcastHeader(properties.offset, keepDuration);
        const uint64_t playMs = fp.playDuration / 10000;
        const uint32_t lastSend = m_packetCount > 0 ? SendTimeOf(m_packetCount - 1).value_or(0) : 0;
        m_loopSpanMs = static_cast<uint32_t>(
            std::max<uint64_t>(playMs > fp.preroll ? playMs - fp.preroll : 0, lastSend + 1));
    }
    return true;
}

void ServedFile::MakeBroadcastHeader(size_t propertiesOffset, bool keepDuration) {
    if (!keepDuration) {
        WriteLe64(&m_header[propertiesOffset + asf::fp::kPlayDuration], 0);
    }
    WriteLe32(&m_header[propertiesOffset + asf::fp::kFlags], asf::kFlagBroadcast);
}

bool ServedFile::ReadPackets(uint64_t first, size_t count, std::vector<uint8_t>& out) const {
    const size_t at = out.size();
    const size_t bytes = count * m_packetSize;
    out.resize(at + bytes);
    const bool ok =
        first + count <= m_packetCount && m_source->ReadAt(m_packetsStart + first * m_packetSize,
                                                           std::span(out).subspan(at)) == bytes;
    if (!ok) {
        out.resize(at);
    }
    return ok;
}

std::optional<uint32_t> ServedFile::SendTimeOf(uint64_t packet) const {
    std::vector<uint8_t> bytes;
    if (!ReadPackets(packet, 1, bytes)) {
        return std::nullopt;
    }
    const int at = AsfPacketTools::SendTimeOffset(bytes);
    if (at <= 0 || static_cast<size_t>(at) + 4 > bytes.size()) {
        return 0;
    }
    return ReadLe32(&bytes[at]);
}

std::optional<uint64_t> ServedFile::PacketAtTime(uint32_t ms) const {
    uint64_t low = 0;
    uint64_t high = m_packetCount;  // the answer lies in [low, high]; high: none
    while (low < high) {
        const uint64_t middle = low + (high - low) / 2;
        const std::optional<uint32_t> time = SendTimeOf(middle);
        if (!time) {
            return std::nullopt;
        }
        if (*time >= ms) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    if (low >= m_packetCount) {
        return std::nullopt;
    }
    return low;
}

}  // namespace tapewell::testserver
