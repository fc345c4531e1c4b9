#include "asf/AsfCutter.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <span>
#include <vector>

#include "asf/AsfHeaderPatch.h"
#include "asf/AsfPacketTools.h"
#include "common/Limits.h"
#include "common/LittleEndian.h"

namespace tapewell {
namespace {

constexpr char kCutSuffix[] = "_cut";
constexpr uint64_t k100nsPerMs = 10'000;

// The Simple Index written when the source has none: one entry, pointing at
// the first packet, one second apart.
constexpr size_t kSimpleIndexSize = asf::si::kEntries + asf::kSimpleIndexEntrySize;
constexpr uint64_t kIndexEntryTimeInterval = 10'000'000;  // 1 s in 100 ns
constexpr std::array<uint8_t, 16> kSimpleIndexFileId = {
    0x43, 0xFC, 0xE6, 0x05, 0xEF, 0xAC, 0x18, 0x4E, 0x8A, 0xCA, 0xBC, 0x82, 0x81, 0x5A, 0x60, 0x4D};

std::array<uint8_t, kSimpleIndexSize> SimpleIndexObject() {
    std::array<uint8_t, kSimpleIndexSize> index{};
    std::copy(guids::kSimpleIndex.bytes.begin(), guids::kSimpleIndex.bytes.end(), index.begin());
    WriteLe64(&index[asf::kObjectSizeField], kSimpleIndexSize);
    std::copy(kSimpleIndexFileId.begin(), kSimpleIndexFileId.end(),
              index.begin() + asf::si::kFileId);
    WriteLe64(&index[asf::si::kEntryTimeInterval], kIndexEntryTimeInterval);
    WriteLe32(&index[asf::si::kMaxPacketCount], 0);
    WriteLe32(&index[asf::si::kEntriesCount], 1);
    WriteLe32(&index[asf::si::kEntries], 0);      // Packet Number
    WriteLe16(&index[asf::si::kEntries + 4], 0);  // Packet Count
    return index;
}

// The source's Simple Index made to describe the cut: entries from the cut's
// start time on, their packet numbers moved down by the packets left out
// before it, up to the last packet copied. A copy of the whole file keeps the
// entries as they were. An index whose entries do not fit its object is not
// trusted, and the cut gets the one-entry index instead.
std::vector<uint8_t> IndexForCut(std::span<const uint8_t> source, uint64_t firstPacket,
                                 uint64_t packets, uint32_t baseMs) {
    constexpr size_t kEntriesAt = asf::si::kEntries;
    constexpr size_t kEntrySize = asf::kSimpleIndexEntrySize;
    const uint64_t interval =
        source.size() >= kEntriesAt ? ReadLe64(&source[asf::si::kEntryTimeInterval]) : 0;
    const uint64_t count = interval ? ReadLe32(&source[asf::si::kEntriesCount]) : 0;
    if (interval == 0 || count > (source.size() - kEntriesAt) / kEntrySize) {
        const auto fallback = SimpleIndexObject();
        return {fallback.begin(), fallback.end()};
    }
    std::vector<uint8_t> index(source.begin(), source.begin() + kEntriesAt);
    for (uint64_t k = uint64_t{baseMs} * 10000 / interval; k < count; ++k) {
        const uint8_t* entry = &source[kEntriesAt + k * kEntrySize];
        const uint32_t packet = ReadLe32(entry);
        const uint64_t moved = packet > firstPacket ? packet - firstPacket : 0;
        if (moved >= packets) {
            break;
        }
        const size_t at = index.size();
        index.resize(at + kEntrySize);
        WriteLe32(&index[at], static_cast<uint32_t>(moved));
        WriteLe16(&index[at + 4], ReadLe16(entry + 4));
    }
    if (index.size() == kEntriesAt) {
        index.resize(kEntriesAt + kEntrySize, 0);
    }
    WriteLe64(&index[asf::kObjectSizeField], index.size());
    WriteLe32(&index[asf::si::kEntriesCount],
              static_cast<uint32_t>((index.size() - kEntriesAt) / kEntrySize));
    return index;
}

// How far from the range's first packet, either way, the cut looks for a key
// frame: far more than the key frame distance of any real stream, and a
// bound on the reading that a stream without key frame marks costs.
constexpr uint64_t kKeyFrameSearchBytes = 64u << 20;

// What one packet tells the key frame search, from the video objects that
// begin in it (tails of objects begun earlier, and audio, do not count; a
// compressed payload holds whole objects).
struct KeyFrameLook {
    // The first of them is a key frame shown no later than atMs
    // (presentation time, preroll included), or one without a time.
    bool beginsKeyFrame = false;
    // One of them is shown after atMs, or carries no time to tell.
    bool passesStart = false;
};

KeyFrameLook LookAtPacket(std::span<const uint8_t> packet, std::span<const uint8_t> video,
                          uint64_t atMs) {
    KeyFrameLook look;
    bool first = true;
    AsfPacketTools::ForEachPayload(packet, [&](const AsfPacketTools::PayloadInfo& payload) {
        if (!(payload.compressed || payload.objectOffset == 0) ||
            std::find(video.begin(), video.end(), payload.stream) == video.end()) {
            return true;
        }
        const bool byStart = payload.hasTime && payload.presentationTime <= atMs;
        if (first) {
            look.beginsKeyFrame = payload.keyFrame && (byStart || !payload.hasTime);
            first = false;
        }
        look.passesStart = !byStart;
        return byStart;
    });
    return look;
}

// A float or double truncated towards zero, with NaN and negatives at 0 and
// values beyond the 64-bit range at its top, where a plain cast would be
// undefined.
uint64_t TruncateToU64(double value) {
    constexpr double kTwoTo64 = 18446744073709551616.0;
    if (!(value > 0)) {
        return 0;
    }
    return value >= kTwoTo64 ? UINT64_MAX : static_cast<uint64_t>(value);
}

// One cut from start to end: the copy's position and what it has written.
class CutRun {
public:
    CutRun(ByteSource& source, ByteSink& out, const AsfCutter::Progress& progress,
           const std::atomic<bool>* cancel)
        : m_source(source), m_out(out), m_progress(progress), m_cancel(cancel) {}

    ErrorOr<AsfCutter::Result> Run(const AsfInfo& info, int32_t start, int32_t end);
    // Why the sink refused a write, when that is what failed the cut.
    const std::optional<Error>& WriteError() const { return m_writeError; }

private:
    bool Plan(const AsfInfo& info, int32_t start, int32_t end);
    bool StartAtKeyFrame(int32_t start);
    // Reads count packets from the given one into the copy buffer.
    bool ReadPackets(uint64_t from, uint64_t count);
    std::span<const uint8_t> BufferedPacket(uint64_t i) const {
        return std::span(m_buffer).subspan(i * m_packetSize, m_packetSize);
    }
    uint64_t PacketAt(uint64_t packet) const {
        return m_dataAt + asf::kDataObjectHeaderSize + packet * m_packetSize;
    }
    bool CopyHeader();
    bool CopyPackets();
    bool CopyOversizePacket(uint64_t at);
    bool CopyBytes(uint64_t at, uint64_t length);
    bool CopyIndex();
    bool RewriteHeader();
    void RebasePacket(std::span<uint8_t> packet, bool wholePacket);
    bool Read(uint64_t at, std::span<uint8_t> out);
    bool Write(std::span<const uint8_t> bytes);
    bool Fail(std::string message);
    bool FailWrite(Error sinkError);
    bool Cancelled() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }

    ByteSource& m_source;
    ByteSink& m_out;
    const AsfCutter::Progress& m_progress;
    const std::atomic<bool>* m_cancel;
    AsfCutter::Result m_result;
    std::optional<Error> m_error;
    std::optional<Error> m_writeError;

    std::vector<uint8_t> m_header;  // the whole Header object
    size_t m_filePropertiesAt = 0;  // within m_header
    std::array<uint8_t, asf::kDataObjectHeaderSize> m_dataHeader{};
    uint64_t m_dataAt = 0;  // the Data object's offset in the source
    uint32_t m_packetSize = 0;
    uint64_t m_preroll = 0;
    CutPackets m_packets;
    std::optional<AsfObjectEntry> m_index;
    std::vector<uint8_t> m_buffer;
    bool m_haveBase = false;
    uint32_t m_baseTime = 0;
};

ErrorOr<AsfCutter::Result> CutRun::Run(const AsfInfo& info, int32_t start, int32_t end) {
    if (Plan(info, start, end) && StartAtKeyFrame(start) && CopyHeader() && CopyPackets() &&
        CopyIndex() && RewriteHeader()) {
        return m_result;
    }
    return *m_error;
}

bool CutRun::Plan(const AsfInfo& info, int32_t start, int32_t end) {
    // The end second is included, so a start equal to the end is one second.
    if (start < 0 || start > end) {
        return Fail("the start must be at least 0 and not after the end");
    }
    AsfObjectEntry header;
    AsfObjectEntry data;
    if (info.FindObject(guids::kHeader, &header) < 0 || info.FindObject(guids::kData, &data) < 0 ||
        data.offset < header.offset + header.size || data.size < asf::kDataObjectHeaderSize) {
        return Fail("not an ASF file: no Header object followed by a Data object");
    }
    if (header.size > limits::kMaxAsfHeaderBytes) {
        return Fail("the ASF header is larger than " + std::to_string(limits::kMaxAsfHeaderBytes) +
                    " bytes");
    }
    const FileProperties& fp = info.GetFileProperties();
    std::optional<CutPackets> packets = RangeToPackets(fp, start, end);
    if (!packets) {
        return Fail("the File Properties give no packet size or duration");
    }
    // The copy ends at the last whole packet the Data object holds, however
    // far past it the range reaches.
    m_packetSize = fp.maxPacketSize;
    const uint64_t inData = (data.size - asf::kDataObjectHeaderSize) / m_packetSize;
    packets->stop = std::min(packets->stop, inData);
    if (packets->first >= packets->stop) {
        return Fail("the range lies outside the file's " + std::to_string(inData) + " packets (" +
                    std::to_string(info.GetDurationSeconds()) + " s)");
    }
    m_packets = *packets;
    m_preroll = fp.preroll;
    m_dataAt = data.offset;
    m_header.resize(header.size);
    AsfObjectEntry index;
    if (info.FindObject(guids::kSimpleIndex, &index) >= 0) {
        m_index = index;
    }
    return Read(header.offset, m_header);
}

// A copy that begins between two key frames gives a player nothing to draw
// the first pictures on until the next key frame comes. The cut therefore
// begins at the packet that begins the last key frame shown by the start
// second. The range's first packet comes from the average byte rate, so that
// key frame may lie after it (the search goes forward while the video is
// still shown by the start) or before it (then backward). Files without
// video, packets too large for the copy buffer, and video without such a key
// frame within kKeyFrameSearchBytes begin where the range does.
bool CutRun::StartAtKeyFrame(int32_t start) {
    const std::vector<uint8_t> video = AsfPacketTools::VideoStreamNumbers(m_header);
    const uint64_t perBatch = limits::kCutCopyBufferBytes / m_packetSize;
    if (video.empty() || perBatch == 0) {
        return true;
    }
    const uint64_t startMs = uint64_t{static_cast<uint32_t>(start)} * 1000 + m_preroll;
    const uint64_t searched = std::max<uint64_t>(1, kKeyFrameSearchBytes / m_packetSize);
    const uint64_t first = m_packets.first;
    const uint64_t forwardEnd = std::min(m_packets.stop, first + searched);
    bool found = false;
    bool passed = false;
    for (uint64_t at = first; at < forwardEnd && !passed;) {
        const uint64_t count = std::min(perBatch, forwardEnd - at);
        if (!ReadPackets(at, count)) {
            return false;
        }
        for (uint64_t i = 0; i < count && !passed; ++i) {
            const KeyFrameLook look = LookAtPacket(BufferedPacket(i), video, startMs);
            if (look.beginsKeyFrame) {
                m_packets.first = at + i;
                found = true;
            }
            passed = look.passesStart;
        }
        at += count;
    }
    if (found) {
        return true;
    }
    const uint64_t lowest = first > searched ? first - searched : 0;
    for (uint64_t end = first; end > lowest;) {
        const uint64_t count = std::min(perBatch, end - lowest);
        if (!ReadPackets(end - count, count)) {
            return false;
        }
        for (uint64_t i = count; i-- > 0;) {
            if (LookAtPacket(BufferedPacket(i), video, startMs).beginsKeyFrame) {
                m_packets.first = end - count + i;
                return true;
            }
        }
        end -= count;
    }
    return true;
}

bool CutRun::ReadPackets(uint64_t from, uint64_t count) {
    if (Cancelled()) {
        return Fail("cancelled");
    }
    m_buffer.resize(count * m_packetSize);
    return Read(PacketAt(from), m_buffer);
}

// The header goes out unchanged for now; its File Properties are rewritten
// once the packets are known.
bool CutRun::CopyHeader() {
    const int at = AsfPacketTools::FindFileProperties(m_header);
    if (at < 0 || static_cast<size_t>(at) + asf::kFilePropertiesObjectSize > m_header.size()) {
        return Fail("the ASF header holds no File Properties object");
    }
    m_filePropertiesAt = static_cast<size_t>(at);
    return Read(m_dataAt, m_dataHeader) && Write(m_header) && Write(m_dataHeader);
}

bool CutRun::CopyPackets() {
    const uint64_t total = m_packets.stop - m_packets.first;
    const uint64_t perBatch = std::min(limits::kCutCopyBufferBytes / m_packetSize, total);
    m_buffer.resize(perBatch > 0 ? perBatch * m_packetSize : limits::kCutCopyBufferBytes);
    uint64_t at = PacketAt(m_packets.first);
    m_result.firstPacket = m_packets.first;
    if (m_progress) {
        m_progress(0, total);
    }
    for (uint64_t done = 0; done < total;) {
        if (Cancelled()) {
            return Fail("cancelled");
        }
        const uint64_t count = std::max<uint64_t>(1, std::min(perBatch, total - done));
        if (perBatch == 0) {
            if (!CopyOversizePacket(at)) {
                return false;
            }
        } else {
            auto batch = std::span(m_buffer).first(count * m_packetSize);
            if (!Read(at, batch)) {
                return false;
            }
            for (uint64_t i = 0; i < count; ++i) {
                RebasePacket(batch.subspan(i * m_packetSize, m_packetSize), true);
            }
            if (!Write(batch)) {
                return false;
            }
        }
        at += count * m_packetSize;
        done += count;
        m_result.packets = done;
        if (m_progress) {
            m_progress(done, total);
        }
    }
    return true;
}

// A packet larger than the copy buffer goes through it in pieces. Only its
// Send Time, near the start, can be rebased: the payload walk needs the
// whole packet.
bool CutRun::CopyOversizePacket(uint64_t at) {
    m_buffer.resize(limits::kCutCopyBufferBytes);
    if (!Read(at, m_buffer)) {
        return false;
    }
    RebasePacket(m_buffer, false);
    const uint64_t rest = uint64_t{m_packetSize} - m_buffer.size();
    return Write(m_buffer) && CopyBytes(at + m_buffer.size(), rest);
}

bool CutRun::CopyBytes(uint64_t at, uint64_t length) {
    m_buffer.resize(std::min<uint64_t>(length, limits::kCutCopyBufferBytes));
    while (length > 0) {
        auto piece = std::span(m_buffer).first(std::min<uint64_t>(length, m_buffer.size()));
        if (!Read(at, piece) || !Write(piece)) {
            return false;
        }
        at += piece.size();
        length -= piece.size();
    }
    return true;
}

// The first packet whose layout is known sets the base: its Send Time
// becomes 0 and every later time moves down by the same amount. Packets of
// other layouts are copied as they are.
void CutRun::RebasePacket(std::span<uint8_t> packet, bool wholePacket) {
    const int offset = AsfPacketTools::SendTimeOffset(packet);
    if (offset < 0 || static_cast<size_t>(offset) + 4 > packet.size()) {
        return;
    }
    const uint32_t sendTime = ReadLe32(&packet[static_cast<size_t>(offset)]);
    if (!m_haveBase) {
        m_haveBase = true;
        m_baseTime = sendTime;
    }
    const uint32_t rebased = sendTime > m_baseTime ? sendTime - m_baseTime : 0;
    m_result.largestSendTime = std::max(m_result.largestSendTime, rebased);
    if (wholePacket) {
        AsfPacketTools::RebasePacketTimes(packet, m_baseTime);
    } else {
        WriteLe32(&packet[static_cast<size_t>(offset)], rebased);
    }
}

bool CutRun::CopyIndex() {
    if (!m_index || m_index->size > limits::kMaxSimpleIndexBytes) {
        return Write(SimpleIndexObject());
    }
    std::vector<uint8_t> source(m_index->size);
    return Read(m_index->offset, source) &&
           Write(IndexForCut(source, m_packets.first, m_result.packets, m_baseTime));
}

// File Properties and the Data object now describe what was written; every
// other header byte stays as the source had it.
bool CutRun::RewriteHeader() {
    const uint64_t packetBytes = m_result.packets * m_packetSize;
    m_result.fileSize = m_out.Size();
    HeaderFields fields =
        DescribeWritten({m_result.packets, packetBytes, m_result.largestSendTime, m_preroll});
    fields.fileSize = m_result.fileSize;
    ErrorOr<void> patched = PatchHeader(m_out, {m_filePropertiesAt, m_header.size()}, fields);
    return patched.has_value() || FailWrite(std::move(patched).error());
}

bool CutRun::Read(uint64_t at, std::span<uint8_t> out) {
    if (m_source.ReadAt(at, out) != out.size()) {
        char text[96];
        std::snprintf(text, sizeof text, "the source ends or cannot be read at byte %" PRIu64, at);
        return Fail(text);
    }
    return true;
}

bool CutRun::Write(std::span<const uint8_t> bytes) {
    ErrorOr<void> written = m_out.Write(bytes);
    return written.has_value() || FailWrite(std::move(written).error());
}

bool CutRun::Fail(std::string message) {
    m_error = Error::FromMessage(std::move(message));
    return false;
}

bool CutRun::FailWrite(Error sinkError) {
    m_writeError = std::move(sinkError);
    return Fail("cannot write the output");
}

}  // namespace

std::optional<CutPackets> RangeToPackets(const FileProperties& fp, int32_t start, int32_t end) {
    // Wraps rather than overflowing on lying files, as the duration does.
    const auto durationMs = static_cast<int64_t>(fp.playDuration / k100nsPerMs - fp.preroll);
    if (fp.maxPacketSize == 0 || durationMs <= 0) {
        return std::nullopt;
    }
    // The average is held in single precision on purpose: its rounding
    // decides the edge packets, so it is part of where every cut begins and
    // ends.
    const float packetSize = static_cast<float>(fp.maxPacketSize);
    const auto bytesPerSecond = static_cast<float>(static_cast<float>(fp.dataPacketsCount) *
                                                   packetSize / (durationMs / 1000.0));
    const float first = static_cast<float>(start) * bytesPerSecond / packetSize;
    const float stop = static_cast<float>(int64_t{end} + 1) * bytesPerSecond / packetSize;
    return CutPackets{TruncateToU64(first), TruncateToU64(stop)};
}

std::filesystem::path CutOutputPath(const std::filesystem::path& source) {
    std::filesystem::path name = source.stem();
    name += kCutSuffix;
    name += source.extension();
    return source.parent_path() / name;
}

ErrorOr<AsfCutter::Result> AsfCutter::Cut(ByteSource& source, const AsfInfo& info, int32_t start,
                                          int32_t end, ByteSink& output) const {
    return CutRun(source, output, m_progress, m_cancel).Run(info, start, end);
}

ErrorOr<AsfCutter::Result> AsfCutter::Cut(const std::filesystem::path& source, const AsfInfo& info,
                                          int32_t start, int32_t end,
                                          const std::filesystem::path& output) const {
    ErrorOr<FileSource> in = FileSource::Open(source);
    if (!in) {
        return Error::FromErrno(in.error().code,
                                "cannot open '" + source.string() + "': " + in.error().message);
    }
    // Writing over the source, by its own name or any other path to it,
    // would lose the recording the cut is taken from.
    std::error_code ignored;
    if (std::filesystem::equivalent(source, output, ignored)) {
        return Error::FromMessage("the output '" + output.string() +
                                  "' is the source file itself; choose another output");
    }
    ErrorOr<std::unique_ptr<FileSink>> out = FileSink::Create(output);
    if (!out) {
        return Error::FromErrno(out.error().code,
                                "cannot create '" + output.string() + "': " + out.error().message);
    }
    CutRun run(*in, **out, m_progress, m_cancel);
    ErrorOr<Result> result = run.Run(info, start, end);
    if (!result) {
        if (const std::optional<Error>& why = run.WriteError()) {
            return Error::FromErrno(why->code, result.error().message + ": " + why->message);
        }
        return result;
    }
    if (ErrorOr<void> committed = (*out)->Commit(); !committed) {
        return Error::FromErrno(committed.error().code, "cannot write '" + output.string() +
                                                            "': " + committed.error().message);
    }
    result->output = output;
    return result;
}

}  // namespace tapewell
