#include "http/ChunkReceiver.h"

#include <algorithm>
#include <cstring>

#include "asf/AsfHeaderPatch.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "asf/RecordingContinuation.h"
#include "common/Limits.h"
#include "common/LittleEndian.h"
#include "common/OutputFile.h"
#include "engine/EngineEvents.h"
#include "http/EngineMessages.h"
#include "http/HeaderLayout.h"
#include "http/StreamReader.h"

namespace tapewell {

namespace {

constexpr uint16_t kHeaderChunk = 0x4824;  // "$H"
constexpr uint16_t kDataChunk = 0x4424;    // "$D"
constexpr uint16_t kEndChunk = 0x4524;     // "$E"
// "$C": a broadcast's stream changes; a new header follows. Its body (a
// status word) has no data packet header: only the length field frames it.
constexpr uint16_t kChangeChunk = 0x4324;
// The part flags byte follows a reserved byte; both are read as one word.
constexpr uint32_t kFirstHeaderPart = 0x0400;
constexpr uint32_t kLastHeaderPart = 0x0800;
// The received header ends with the Data object's own fields: object
// header, File ID, Total Data Packets and Reserved.
constexpr size_t kDataObjectStart = asf::kDataObjectHeaderSize;
// The File Properties fields this engine reads end with Maximum Data Packet
// Size.
constexpr size_t kPropertiesBytesRead = asf::fp::kMaxPacketSize + 4;
constexpr uint64_t kMsPerMinute = 60'000;
constexpr uint32_t kProgressFull = 10'000;
// After a repeated header a broadcast server sends again the packets of
// about the last half second; a step back further than this is a source
// that started its times again.
constexpr uint32_t kResentWindowMs = limits::kHttpResentWindowMs;

// The streams of this dialect do not use the layout with a Packet Length
// but no Padding Length: such a packet is reported as an unknown format.
constexpr auto kChunkLayouts = AsfPacketTools::SendTimeLayouts::kWithoutBarePacketLength;

}  // namespace

ChunkReceiver::ChunkReceiver(StreamReader& reader, std::span<uint8_t> buffer,
                             EngineMessages& messages, EngineEvents& events,
                             std::function<bool()> aborted, uint32_t& bytesWritten)
    : m_reader(reader),
      m_buffer(buffer),
      m_messages(messages),
      m_events(events),
      m_aborted(std::move(aborted)),
      m_bytesWritten(bytesWritten) {}

std::optional<ChunkReceiver::Chunk> ChunkReceiver::ReadChunkHead() {
    auto connectionReset = [this]() -> std::optional<Chunk> {
        m_messages.Progress("Connection reset");
        if (!m_aborted()) {
            m_brokeOff = m_reader.FailureText().empty()
                             ? "connection closed before the end of the stream"
                             : m_reader.FailureText();
        }
        return std::nullopt;
    };
    if (m_reader.Exhausted()) {
        return connectionReset();
    }
    Chunk c;
    uint32_t type = 0;
    if (!m_reader.ReadLe(type, 2)) {
        return connectionReset();
    }
    while (type == kChangeChunk) {
        uint32_t length = 0;
        if (!m_reader.ReadLe(length, 2) ||
            m_reader.Read(m_buffer.first(std::min<size_t>(length, m_buffer.size()))) != length ||
            !m_reader.ReadLe(type, 2)) {
            return connectionReset();
        }
        m_messages.Progress("stream change");
    }
    c.type = static_cast<uint16_t>(type);
    if (c.type == kEndChunk) {
        m_messages.Progress("Transfer complete.");
        return std::nullopt;
    }
    if (c.type != kHeaderChunk && c.type != kDataChunk) {
        m_messages.Notice("Unknown header type: $%04x", c.type);
    }
    uint32_t confirmation = 0;
    if (!m_reader.ReadLe(c.length, 2) || !m_reader.ReadLe(c.sequence, 4) ||
        !m_reader.ReadLe(c.flags, 2) || !m_reader.ReadLe(confirmation, 2)) {
        return connectionReset();
    }
    if (confirmation != c.length) {
        m_messages.Notice("Length confirmation doesn't match!");
        m_brokeOff = "Length confirmation doesn't match!";
        return std::nullopt;
    }
    return c;
}

void ChunkReceiver::Run(const Job& job, StreamInfo& info) {
    m_job = job;
    m_largestSendTime = 0;
    m_timeline = LiveTimeline();
    m_liveOrder = false;
    m_layout.clear();
    m_packetCount = 0;
    m_dataBytes = 0;
    m_priorBytes = 0;
    m_headerOffset = 0;
    m_expectedHeader = 0;
    m_headerRead = false;
    m_brokeOff.clear();
    m_selecting = false;
    m_keep.clear();
    m_refusal.clear();
    const uint32_t startBytes = m_bytesWritten;
    while (std::optional<Chunk> chunk = ReadChunkHead()) {
        const int body = static_cast<int>(chunk->length) - 8;
        if (body > static_cast<int>(m_buffer.size())) {
            m_messages.Notice("Buffer too small. Chunk is %d bytes!",
                              static_cast<int>(chunk->length));
            break;
        }
        if (body <= 0) {
            m_messages.Notice("Chunk has no body!");
            break;
        }
        if (chunk->type != kHeaderChunk || (chunk->flags & kFirstHeaderPart) != 0) {
            m_headerOffset = 0;
        }
        // The assembled header must fit the buffer as a whole.
        if (m_headerOffset + static_cast<size_t>(body) > m_buffer.size()) {
            m_messages.Warning("Unable to parse this ASF header!");
            break;
        }
        size_t got = m_headerOffset +
                     m_reader.Read(m_buffer.subspan(m_headerOffset, static_cast<size_t>(body)));
        size_t bodyLength = m_headerOffset + static_cast<size_t>(body);
        uint32_t sendTime = 0;
        Step step = Step::Next;
        if (chunk->type == kDataChunk) {
            step = HandleData(*chunk, got, bodyLength, sendTime, info);
        } else if (chunk->type == kHeaderChunk) {
            step = got < bodyLength ? Step::End : HandleHeader(*chunk, bodyLength, info);
            got = std::min(got, bodyLength);
        } else {
            step = Step::Skip;  // not ASF: written into the file it would corrupt it
        }
        if (step == Step::End) {
            break;
        }
        if (step == Step::Next && Save(*chunk, bodyLength, got, ProgressValue(sendTime, info),
                                       sendTime, info) == Step::End) {
            break;
        }
        if (m_job.maxMinutes != 0 && sendTime >= m_job.maxMinutes * kMsPerMinute) {
            m_messages.Progress("maxtime reached.");
            break;
        }
        if (step == Step::Next && LimitReached(sendTime, startBytes)) {
            break;
        }
        if (m_aborted()) {
            break;
        }
    }
}

// The user's limits end a live recording that would otherwise run forever;
// the header update after the loop still describes what was written.
bool ChunkReceiver::LimitReached(uint32_t sendTime, uint32_t startBytes) const {
    if (m_job.maxSeconds != 0 && sendTime / 1000 >= m_job.maxSeconds) {
        m_messages.Progress("time limit reached.");
        return true;
    }
    if (m_job.maxBytes != 0 && m_priorBytes + (m_bytesWritten - startBytes) >= m_job.maxBytes) {
        m_messages.Progress("size limit reached.");
        return true;
    }
    return false;
}

// Step::Next saves the chunk, Step::Skip drops it, Step::End ends the loop.
ChunkReceiver::Step ChunkReceiver::HandleData(Chunk& chunk, size_t& got, size_t& bodyLength,
                                              uint32_t& sendTime, StreamInfo& info) {
    if (m_job.headerOnly) {
        return Step::End;
    }
    if (!m_headerRead) {
        return Step::Skip;  // no packet size or place yet: nothing to write it by
    }
    if (chunk.length - 8 > info.minPacketSize) {
        // A "$D" chunk carries one data packet; a longer body is none, and
        // cut to the packet size it would put foreign bytes in the file.
        m_messages.Notice("Chunk is larger than a data packet (%d bytes)! (Chunk is NOT saved)",
                          static_cast<int>(chunk.length));
        return Step::Skip;
    }
    if (m_liveOrder) {
        if (got >= chunk.length - 8) {
            if (ResentAfterRepeat(got) || !PlaceLivePacket(got, sendTime, info)) {
                return Step::Skip;
            }
            if (m_selecting) {
                got = bodyLength = info.minPacketSize;
            }
        }
        return Step::Next;
    }
    // A part of a packet is not saved (Save says so); a whole one keeps the
    // chosen streams' payloads alone.
    if (m_selecting && got >= bodyLength) {
        if (!KeepChosenStreams(got, info)) {
            return Step::Skip;
        }
        got = bodyLength = info.minPacketSize;
    }
    // On demand: the sequence number places the packet, and the times stay
    // as the server sent them (a stream without a duration goes the live
    // way above).
    const int at = AsfPacketTools::SendTimeOffset(m_buffer.first(got), kChunkLayouts);
    if (at < 0) {
        m_messages.Notice("unknown format type: $%02x\n", got > 3 ? m_buffer[3] : 0);
    } else if (static_cast<size_t>(at) + 4 <= got) {
        sendTime = ReadLe32(&m_buffer[static_cast<size_t>(at)]);
        m_largestSendTime = std::max(m_largestSendTime, sendTime);
    }
    return Step::Next;
}

// A live packet goes onto the time line whole, padded as it will be written;
// its send time as written is what the limits and the header count. False
// for a packet the time line does not admit yet (no key frame so far).
bool ChunkReceiver::PlaceLivePacket(size_t got, uint32_t& sendTime, const StreamInfo& info) {
    const size_t packetSize = info.minPacketSize;
    if (got < packetSize) {
        std::fill(m_buffer.begin() + static_cast<ptrdiff_t>(got),
                  m_buffer.begin() + static_cast<ptrdiff_t>(packetSize), 0);
    }
    if ((m_selecting && !KeepChosenStreams(got, info)) ||
        !m_timeline.Admits(m_buffer.first(packetSize))) {
        return false;
    }
    NoteLivePacketLayout(got);
    const std::optional<uint32_t> placed = m_timeline.Place(m_buffer.first(packetSize));
    sendTime = placed.value_or(m_timeline.LastSendTime());
    m_largestSendTime = std::max(m_largestSendTime, sendTime);
    return true;
}

// The packet in the buffer, padded to the packet size, rewritten to carry
// only the chosen streams' payloads; false when none is left (or its layout
// cannot be walked), and it is not written.
bool ChunkReceiver::KeepChosenStreams(size_t got, const StreamInfo& info) {
    const size_t packetSize = info.minPacketSize;
    if (got < packetSize) {
        std::fill(m_buffer.begin() + static_cast<ptrdiff_t>(got),
                  m_buffer.begin() + static_cast<ptrdiff_t>(packetSize), 0);
    }
    return KeepStreamsInPacket(m_buffer.first(packetSize), m_keep);
}

// Packets sent again after a repeated header are already in the file:
// written twice, their frames would run backwards. A larger step back is a
// source that started again, and a new segment of the time line.
bool ChunkReceiver::ResentAfterRepeat(size_t got) {
    const int at = AsfPacketTools::SendTimeOffset(m_buffer.first(got));
    if (at < 0 || static_cast<size_t>(at) + 4 > got) {
        return false;
    }
    const uint32_t source = ReadLe32(&m_buffer[static_cast<size_t>(at)]);
    if (m_afterRepeat && m_timeline.Started()) {
        if (source <= m_lastSourceTime && m_lastSourceTime - source <= kResentWindowMs) {
            return true;
        }
        if (source < m_lastSourceTime) {
            m_timeline.NewSegment();
        }
    }
    m_afterRepeat = false;
    m_lastSourceTime = source;
    return false;
}

void ChunkReceiver::NoteLivePacketLayout(size_t got) {
    if (AsfPacketTools::SendTimeOffset(m_buffer.first(got), kChunkLayouts) < 0) {
        m_messages.Notice("unknown format type: $%02x\n", got > 3 ? m_buffer[3] : 0);
    } else if (m_buffer[0] != 0x82 || m_buffer[1] != 0 || m_buffer[2] != 0) {
        m_messages.Notice("Illegal header bytes in chunk %d!", static_cast<int>(m_packetCount));
    } else if ((m_buffer[3] & 0x80) != 0) {
        m_messages.Notice("Chunks carrying error correction information are not supported yet!");
    }
}

ChunkReceiver::Step ChunkReceiver::HandleHeader(const Chunk& chunk, size_t& bodyLength,
                                                StreamInfo& info) {
    if ((chunk.flags & kFirstHeaderPart) != 0) {
        // The low half of the Header object's size, plus the Data object's start.
        m_expectedHeader = ReadLe32(&m_buffer[16]) + kDataObjectStart;
    }
    if (bodyLength < m_expectedHeader) {
        m_messages.Progress("receiving ASF header (%d/%d)!", static_cast<int>(bodyLength),
                            static_cast<int>(m_expectedHeader));
    }
    if ((chunk.flags & kLastHeaderPart) == 0) {
        m_headerOffset = bodyLength;
        return Step::Skip;
    }
    if (m_headerRead) {
        return RepeatedHeader(bodyLength, info);
    }
    m_messages.Progress("received ASF header!");
    if (!ReadAsfHeader(bodyLength, info) || m_job.headerOnly) {
        return Step::End;
    }
    m_messages.Progress("receiving stream...");
    return Step::Next;
}

// A header again in the middle of the stream: a broadcast's source looped or
// changed. With the same layout the packets go on in the same file (the
// header is not written again: in the middle of the packets it would cut
// into them); with another layout the file is finished and the host gives
// the next one, which gets the new header.
ChunkReceiver::Step ChunkReceiver::RepeatedHeader(size_t& length, StreamInfo& info) {
    StreamInfo next;
    next.status = info.status;
    if (!ParseAsfHeader(length, next)) {
        return Step::End;
    }
    std::vector<uint8_t> served =
        HeaderLayout(m_buffer.first(next.headerLength), next.minPacketSize);
    if (served == m_layout) {
        m_afterRepeat = true;
        return Step::Skip;
    }
    m_messages.Progress("the stream's layout changed");
    if (m_job.out == nullptr || m_job.headerOnly) {
        return Step::End;
    }
    // The new layout is chosen from with the same choice; the file written
    // so far is finished either way.
    if (!SelectStreams(length, next)) {
        m_brokeOff = m_refusal;
        return Step::End;
    }
    UpdateHeader(*m_job.out, info);
    OutputFile* following = m_events.OnNextOutputFile();
    if (following == nullptr) {
        return Step::End;
    }
    m_job.out = following;
    m_job.resumeBytes = 0;
    info = next;
    StartFile(info, std::move(served));
    // The server's numbers go on from the last file: the new one holds what
    // arrives, in arrival order, and its header is made to describe that.
    m_liveOrder = true;
    return Step::Next;
}

bool ChunkReceiver::ReadAsfHeader(size_t& length, StreamInfo& info) {
    if (!ParseAsfHeader(length, info)) {
        if (info.status == kStatusUnusable) {
            m_messages.Warning("not supported");
        }
        return false;
    }
    std::vector<uint8_t> served =
        HeaderLayout(m_buffer.first(info.headerLength), info.minPacketSize);
    if (m_job.headerOnly) {
        StartFile(info, std::move(served));
        return true;
    }
    if (!SelectStreams(length, info)) {
        return false;
    }
    if (m_job.continuation != nullptr && m_job.out != nullptr) {
        return ContinueFile(info, std::move(served));
    }
    StartFile(info, std::move(served));
    return true;
}

bool ChunkReceiver::SelectStreams(size_t& length, StreamInfo& info) {
    m_selecting = false;
    m_keep.clear();
    if (m_job.streams == nullptr || m_job.streams->KeepsAll()) {
        return true;
    }
    const std::span<const uint8_t> served = m_buffer.first(length);
    const std::vector<AsfStreamEntry> streams = ListAsfStreams(served);
    std::vector<uint16_t> keep = ChooseStreams(*m_job.streams, streams);
    if (keep.empty()) {
        m_refusal = NoChosenStreamText(*m_job.streams, streams);
    } else if (keep.size() == streams.size()) {
        return true;  // the choice keeps them all: the stream as it comes
    } else if (ErrorOr<std::vector<uint8_t>> written = HeaderWithStreams(served, keep); !written) {
        m_refusal = written.error().message;
    } else {
        // Never longer than the server's header, which fitted.
        std::copy(written->begin(), written->end(), m_buffer.begin());
        length = written->size();
        m_keep = std::move(keep);
        m_selecting = true;
        return ParseAsfHeader(length, info);
    }
    m_messages.Error("%s", m_refusal.c_str());
    return false;
}

// A reconnect after a break: with the file's layout the stream goes on in
// the file, under the file's own header (its places, not the new header's,
// are where packets go and what the update patches); another layout cannot
// share the file and goes into the next one.
bool ChunkReceiver::ContinueFile(StreamInfo& info, std::vector<uint8_t> servedLayout) {
    const RecordingContinuation& c = *m_job.continuation;
    StartFile(info, std::move(servedLayout));
    m_priorBytes = c.DataEnd();
    // The file has the header as written: with a choice of streams, the one
    // just made of the server's.
    if (HeaderLayout(m_buffer.first(info.headerLength), info.minPacketSize) !=
        HeaderLayout(c.HeaderObject(), c.packetSize)) {
        m_messages.Progress("the stream's layout changed");
        OutputFile* following = m_events.OnNextOutputFile();
        if (following == nullptr) {
            return false;
        }
        m_job.out = following;
        m_job.resumeBytes = 0;
        // An on-demand stream was asked for from the old file's place: the
        // new one holds what arrives, in arrival order.
        m_liveOrder = true;
        return true;
    }
    info.headerLength = static_cast<uint32_t>(c.HeaderObject().size());
    info.propertiesOffset = static_cast<uint32_t>(c.propertiesOffset);
    m_job.resumeBytes = c.DataEnd();
    m_packetCount = static_cast<uint32_t>(std::min<uint64_t>(c.packets, UINT32_MAX));
    m_dataBytes = c.packets * c.packetSize;
    m_largestSendTime = c.lastSendTime;
    if (m_liveOrder) {
        m_timeline.ContinueAfter(c.lastSendTime, c.lastPresentationTime);
    }
    return true;
}

// The state of one output file starts afresh with its header: the packet
// count, the sizes and the time line describe that file alone.
void ChunkReceiver::StartFile(const StreamInfo& info, std::vector<uint8_t> servedLayout) {
    m_headerRead = true;
    m_liveOrder = info.status == kStatusLive || (info.flags & asf::kFlagBroadcast) != 0 ||
                  info.durationMs == 0;
    m_layout = std::move(servedLayout);
    m_timeline = LiveTimeline();
    m_timeline.AwaitKeyFrame(AsfPacketTools::VideoStreamNumbers(m_buffer.first(info.headerLength)));
    m_afterRepeat = false;
    m_lastSourceTime = 0;
    m_largestSendTime = 0;
    m_packetCount = 0;
    m_dataBytes = 0;
}

// Reads the File Properties fields into info. False, with the warning
// issued, when the header cannot be read; false with status 3 for packets
// this engine cannot write.
bool ChunkReceiver::ParseAsfHeader(size_t length, StreamInfo& info) {
    const int found = AsfPacketTools::FindFileProperties(m_buffer.first(length));
    if (found < 0 || static_cast<size_t>(found) + kPropertiesBytesRead > length ||
        length < kDataObjectStart) {
        m_messages.Warning("Unable to parse this ASF header!");
        return false;
    }
    const uint8_t* p = &m_buffer[static_cast<size_t>(found)];
    info.propertiesOffset = static_cast<uint32_t>(found);
    info.fileSizeHigh = ReadLe32(p + asf::fp::kFileSize + 4);
    info.fileSizeLow = ReadLe32(p + asf::fp::kFileSize);
    info.playDurationHigh = ReadLe32(p + asf::fp::kPlayDuration + 4);
    info.playDurationLow = ReadLe32(p + asf::fp::kPlayDuration);
    info.preroll = ReadLe32(p + asf::fp::kPreroll);
    info.flags = ReadLe32(p + asf::fp::kFlags);
    info.minPacketSize = ReadLe32(p + asf::fp::kMinPacketSize);
    info.maxPacketSize = ReadLe32(p + asf::fp::kMaxPacketSize);
    // Packets are placed by number times their one fixed size, and each must
    // fit the buffer.
    if (info.minPacketSize >= limits::kHttpBufferBytes ||
        info.minPacketSize != info.maxPacketSize || info.minPacketSize == 0) {
        info.status = kStatusUnusable;
        return false;
    }
    info.durationMs = 0;
    if (info.playDurationHigh != 0 || info.playDurationLow != 0) {
        const int64_t ms = static_cast<int64_t>(info.playDurationHigh * 429'496.7296) +
                           info.playDurationLow / 10'000 - static_cast<int64_t>(info.preroll);
        info.durationMs = static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, UINT32_MAX));
    }
    info.headerLength = static_cast<uint32_t>(length - kDataObjectStart);
    return true;
}

ChunkReceiver::Step ChunkReceiver::Save(const Chunk& chunk, size_t bodyLength, size_t got,
                                        uint32_t progress, uint32_t sendTime,
                                        const StreamInfo& info) {
    const bool data = chunk.type == kDataChunk;
    if (got < bodyLength) {
        if (data && m_job.out != nullptr) {
            m_messages.Notice("Received incomplete chunk... (Chunk is NOT saved)");
        }
        return Step::Next;
    }
    if (!data && m_job.resumeBytes > 0) {
        m_messages.Notice("Not saving header since this is a RESUME.");
        return Step::Next;
    }
    const size_t packetSize = info.minPacketSize;
    size_t length = bodyLength;
    if (data) {
        // A live packet follows the last one written; an on-demand one goes
        // where its number says, unless packets of other streams alone are
        // left out: their numbers would leave gaps.
        const uint64_t number = m_liveOrder || m_selecting ? m_packetCount : chunk.sequence;
        const uint64_t place = uint64_t{info.headerLength} + kDataObjectStart + number * packetSize;
        if (place > limits::kHttpMaxPacketOffset) {
            return Step::Next;
        }
        ++m_packetCount;
        m_dataBytes += packetSize;
        // A short packet is padded with zeros to the packet size; a longer
        // body than a packet would run into the next packet's place.
        if (bodyLength < packetSize) {
            std::fill(m_buffer.begin() + static_cast<ptrdiff_t>(bodyLength),
                      m_buffer.begin() + static_cast<ptrdiff_t>(packetSize), 0);
        }
        length = packetSize;
        if (m_job.out != nullptr && !m_job.out->Seek(place)) {
            m_messages.Error("Failed to write the output file!");
            return Step::End;
        }
    }
    if (m_job.out != nullptr) {
        if (!m_job.out->Write(m_buffer.first(length))) {
            m_messages.Error("Failed to write the output file!");
            return Step::End;
        }
        m_bytesWritten += static_cast<uint32_t>(length);
    }
    m_events.OnProgress(m_bytesWritten, progress, sendTime);
    return Step::Next;
}

uint32_t ChunkReceiver::ProgressValue(uint32_t sendTime, const StreamInfo& info) const {
    double value = 0;
    if (info.durationMs != 0 && !m_liveOrder) {
        value = sendTime * 10'000.0 / info.durationMs;
    } else if (m_job.maxMinutes != 0) {
        value = sendTime * 10'000.0 / (m_job.maxMinutes * static_cast<double>(kMsPerMinute));
    }
    return value >= kProgressFull ? kProgressFull : static_cast<uint32_t>(value);
}

void ChunkReceiver::UpdateHeader(OutputFile& out, const StreamInfo& info) const {
    if (!m_headerRead) {
        return;
    }
    const std::optional<uint64_t> size = out.SeekEnd();
    if (!size) {
        m_messages.Error(
            "The header of the output file could not be updated: cannot find the "
            "end of the recording");
        return;
    }
    // As the cutter writes them; the file can now be sought in and is no
    // longer a broadcast. An on-demand file keeps the server's header.
    HeaderFields fields;
    if (m_liveOrder) {
        fields = DescribeWritten({m_packetCount, m_dataBytes, m_largestSendTime, info.preroll});
        fields.totalDataPacketsWidth = PacketCountWidth::kLow32;
    }
    fields.fileSize = *size;
    if (auto patched =
            PatchHeader(out, {info.propertiesOffset, uint64_t{info.headerLength}}, fields);
        !patched) {
        m_messages.Error("The header of the output file could not be updated: %s",
                         patched.error().message.c_str());
    }
}

}  // namespace tapewell
