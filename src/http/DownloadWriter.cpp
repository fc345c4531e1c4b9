#include "http/DownloadWriter.h"

#include <algorithm>

#include "asf/AsfGuids.h"
#include "asf/AsfHeaderPatch.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/Limits.h"
#include "common/LittleEndian.h"
#include "common/OutputFile.h"

namespace tapewell {

namespace {

// A chunk's prefix: type, length, sequence number, part flags, length
// confirmation.
constexpr size_t kChunkPrefixBytes = 12;
constexpr size_t kChunkConfirmationAt = 10;
constexpr size_t kDataObjectStart = asf::kDataObjectHeaderSize;
// A header is held in memory until it is whole; one larger than the
// streaming engines' buffer is not a live stream's and goes through as is.
constexpr uint64_t kMaxHeldHeaderBytes = limits::kWebFetchHeldHeaderBytes;
constexpr uint64_t kNoPacketCount = 0xFFFFFFFF;

bool StartsFramed(std::span<const uint8_t> bytes) {
    if (bytes.size() < 2 || bytes[0] != '$' || bytes[1] != 'H') {
        return false;
    }
    // A body too short for a whole prefix that begins "$H" is no file either.
    return bytes.size() < kChunkPrefixBytes ||
           ReadLe16(&bytes[2]) == ReadLe16(&bytes[kChunkConfirmationAt]);
}

bool StartsAsf(std::span<const uint8_t> bytes) {
    return bytes.size() >= asf::kObjectHeaderSize && Guid::FromBytes(bytes) == guids::kHeader;
}

}  // namespace

DownloadWriter::Result DownloadWriter::Write(std::span<const uint8_t> bytes) {
    if (m_state == State::PassThrough) {
        return WritePlain(bytes);
    }
    if (m_state == State::LivePackets) {
        return TakePackets(bytes);
    }
    m_held.insert(m_held.end(), bytes.begin(), bytes.end());
    if (m_state == State::Start) {
        const Result result = TakeStart();
        if (result != Result::Ok || m_state != State::Header) {
            return result;
        }
    }
    return TakeHeader();
}

// The first bytes decide: framing, an ASF header, or anything else.
DownloadWriter::Result DownloadWriter::TakeStart() {
    if (m_held.size() < kChunkPrefixBytes) {
        return Result::Ok;
    }
    if (StartsFramed(m_held)) {
        return Result::Framed;
    }
    // A resumed download continues the bytes in the file: only a download
    // from the start can be a live stream to repair.
    if (!StartsAsf(m_held) || m_skip != 0) {
        m_state = State::PassThrough;
        return Flush();
    }
    m_state = State::Header;
    return Result::Ok;
}

DownloadWriter::Result DownloadWriter::TakeHeader() {
    if (m_held.size() < asf::kObjectHeaderSize) {
        return Result::Ok;
    }
    const uint64_t headerSize = ReadLe64(&m_held[16]);
    if (headerSize < asf::kObjectHeaderSize + asf::kHeaderInfoSize ||
        headerSize > kMaxHeldHeaderBytes - kDataObjectStart) {
        m_state = State::PassThrough;
        return Flush();
    }
    if (m_held.size() < headerSize + kDataObjectStart) {
        return Result::Ok;
    }
    m_headerBytes = headerSize + kDataObjectStart;
    if (!ReadLiveHeader()) {
        m_state = State::PassThrough;  // an ordinary file: byte for byte
        return Flush();
    }
    m_start = m_out.Position();
    const std::vector<uint8_t> held = std::move(m_held);
    m_held.clear();
    if (!m_out.Write(std::span(held).first(m_headerBytes))) {
        return Result::WriteFailed;
    }
    m_state = State::LivePackets;
    return TakePackets(std::span(held).subspan(m_headerBytes));
}

// Whether the held header is a live stream's that this writer can repair:
// broadcast, or no packet count, with one fixed packet size, and the Data
// object right after it.
bool DownloadWriter::ReadLiveHeader() {
    const uint64_t headerSize = m_headerBytes - kDataObjectStart;
    const auto header = std::span(m_held).first(headerSize);
    const int found = AsfPacketTools::FindFileProperties(header);
    if (found < 0 || static_cast<size_t>(found) + asf::kFilePropertiesObjectSize > headerSize ||
        Guid::FromBytes(std::span(m_held).subspan(headerSize)) != guids::kData) {
        return false;
    }
    const auto fp = FileProperties::FromObject(header.subspan(static_cast<size_t>(found)));
    if (!fp) {
        return false;
    }
    const bool live = (fp->flags & asf::kFlagBroadcast) != 0 || fp->dataPacketsCount == 0 ||
                      fp->dataPacketsCount == kNoPacketCount || fp->dataPacketsCount == UINT64_MAX;
    if (!live || fp->minPacketSize != fp->maxPacketSize || fp->minPacketSize == 0 ||
        fp->minPacketSize >= limits::kHttpBufferBytes) {
        return false;
    }
    m_propertiesAt = static_cast<size_t>(found);
    m_packetSize = fp->minPacketSize;
    m_preroll = static_cast<uint32_t>(std::min<uint64_t>(fp->preroll, UINT32_MAX));
    m_timeline.AwaitKeyFrame(AsfPacketTools::VideoStreamNumbers(header));
    return true;
}

DownloadWriter::Result DownloadWriter::TakePackets(std::span<const uint8_t> bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
        const size_t take = std::min(m_packetSize - m_held.size(), bytes.size() - at);
        m_held.insert(m_held.end(), bytes.begin() + static_cast<ptrdiff_t>(at),
                      bytes.begin() + static_cast<ptrdiff_t>(at + take));
        at += take;
        if (m_held.size() < m_packetSize) {
            break;
        }
        if (!m_timeline.Admits(m_held)) {
            m_held.clear();  // no key frame yet: its pictures could not be decoded
            continue;
        }
        const std::optional<uint32_t> sendTime = m_timeline.Place(m_held);
        m_largestSendTime =
            std::max(m_largestSendTime, sendTime.value_or(m_timeline.LastSendTime()));
        if (!m_out.Write(m_held)) {
            return Result::WriteFailed;
        }
        ++m_packets;
        m_held.clear();
    }
    return Result::Ok;
}

DownloadWriter::Result DownloadWriter::Flush() {
    const std::vector<uint8_t> held = std::move(m_held);
    m_held.clear();
    return WritePlain(held);
}

DownloadWriter::Result DownloadWriter::WritePlain(std::span<const uint8_t> bytes) {
    const auto dropped = static_cast<size_t>(std::min<uint64_t>(m_skip, bytes.size()));
    m_skip -= dropped;
    bytes = bytes.subspan(dropped);
    return bytes.empty() || m_out.Write(bytes) ? Result::Ok : Result::WriteFailed;
}

DownloadWriter::Result DownloadWriter::Finish() {
    switch (m_state) {
        case State::Start:
            if (StartsFramed(m_held)) {
                return Result::Framed;
            }
            return Flush();
        case State::Header:
            return Flush();  // the header never ended: kept as it came
        case State::PassThrough:
            return Result::Ok;
        case State::LivePackets:
            break;
    }
    m_held.clear();  // a packet the end cut off is not one
    if (!RepairHeader()) {
        return Result::WriteFailed;
    }
    return m_out.SeekEnd() ? Result::Ok : Result::WriteFailed;
}

// As the streaming engines and the cutter leave a live recording: the
// counts and sizes of what was written, Play Duration with the preroll, a
// seekable file that is no longer a broadcast.
ErrorOr<void> DownloadWriter::RepairHeader() {
    const uint64_t dataBytes = m_packets * m_packetSize;
    HeaderFields fields = DescribeWritten({m_packets, dataBytes, m_largestSendTime, m_preroll});
    fields.fileSize = m_headerBytes + dataBytes;
    const HeaderPlaces places{m_start + m_propertiesAt, m_start + m_headerBytes - kDataObjectStart};
    return PatchHeader(m_out, places, fields);
}

}  // namespace tapewell
