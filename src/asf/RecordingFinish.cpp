#include "asf/RecordingFinish.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "asf/AsfGuids.h"
#include "asf/AsfHeaderPatch.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "asf/ResumeRecord.h"
#include "asf/SimpleIndex.h"
#include "common/Limits.h"
#include "common/LittleEndian.h"

namespace tapewell {
namespace {

using Kind = FinishReport::Kind;

// The packets are read back in blocks of about this many bytes.
constexpr size_t kReadBlockBytes = 1u << 20;

// The recording, opened for reading and writing; closed when it goes.
class RecordingFile {
public:
    explicit RecordingFile(const std::filesystem::path& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_CLOEXEC)) {}
    ~RecordingFile() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    std::optional<uint64_t> Size() const {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            return std::nullopt;
        }
        return static_cast<uint64_t>(st.st_size);
    }
    // All of out, or false.
    bool ReadAt(uint64_t at, std::span<uint8_t> out) const {
        size_t done = 0;
        while (done < out.size()) {
            const ssize_t n =
                ::pread(m_fd, out.data() + done, out.size() - done, static_cast<off_t>(at + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }
    bool WriteAt(uint64_t at, std::span<const uint8_t> bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pwrite(m_fd, bytes.data() + done, bytes.size() - done,
                                       static_cast<off_t>(at + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                Fail();
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }
    bool Truncate(uint64_t size) {
        if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0) {
            Fail();
            return false;
        }
        return true;
    }
    // The header must be on the disk before the recording counts as done.
    bool Sync() {
        if (::fsync(m_fd) != 0) {
            Fail();
            return false;
        }
        return true;
    }
    std::string FailureText() const { return m_failure; }

private:
    void Fail() {
        if (m_failure.empty()) {
            m_failure = std::strerror(errno == 0 ? EIO : errno);
        }
    }
    int m_fd;
    std::string m_failure;
};

// What the finish needs of a recording's header.
struct Layout {
    uint64_t headerSize = 0;  // the Header object; the Data object follows it
    uint64_t propertiesAt = 0;
    FileProperties properties;
    uint64_t dataObjectSize = 0;
    uint64_t totalDataPackets = 0;
    std::vector<uint8_t> videoStreams;

    uint64_t DataStart() const { return headerSize + asf::kDataObjectHeaderSize; }
    uint32_t PacketSize() const { return properties.minPacketSize; }
};

std::optional<Layout> ReadLayout(const RecordingFile& file, uint64_t fileSize) {
    uint8_t head[asf::kObjectHeaderSize];
    if (fileSize < sizeof head || !file.ReadAt(0, head) ||
        Guid::FromBytes(head) != guids::kHeader) {
        return std::nullopt;
    }
    Layout layout;
    layout.headerSize = ReadLe64(&head[16]);
    if (layout.headerSize < asf::kObjectHeaderSize + asf::kHeaderInfoSize ||
        layout.headerSize > limits::kMaxAsfHeaderBytes || layout.DataStart() > fileSize) {
        return std::nullopt;
    }
    std::vector<uint8_t> header(layout.DataStart());
    if (!file.ReadAt(0, header)) {
        return std::nullopt;
    }
    const std::span<const uint8_t> data = std::span(header).subspan(layout.headerSize);
    if (Guid::FromBytes(data) != guids::kData) {
        return std::nullopt;
    }
    layout.dataObjectSize = ReadLe64(&data[asf::kObjectSizeField]);
    layout.totalDataPackets = ReadLe64(&data[asf::data::kTotalDataPackets]);
    const std::span<const uint8_t> headerObject = std::span(header).first(layout.headerSize);
    bool found = false;
    AsfPacketTools::ForEachHeaderObject(headerObject, [&](std::span<const uint8_t> object) {
        if (found || Guid::FromBytes(object) != guids::kFileProperties) {
            return;
        }
        if (const std::optional<FileProperties> fp = FileProperties::FromObject(object)) {
            found = true;
            layout.properties = *fp;
            layout.propertiesAt = static_cast<uint64_t>(object.data() - header.data());
        }
    });
    // Only recordings of fixed-size packets can be counted and indexed.
    const uint32_t packetSize = layout.PacketSize();
    if (!found || packetSize == 0 || packetSize != layout.properties.maxPacketSize ||
        packetSize > limits::kMaxAsfPacketBytes) {
        return std::nullopt;
    }
    layout.videoStreams = AsfPacketTools::VideoStreamNumbers(headerObject);
    return layout;
}

// What the header says of the whole stream: the server's values, kept in the
// resume record once the header itself was made to describe a part.
ResumeRecord HeaderTotals(const Layout& layout) {
    const FileProperties& fp = layout.properties;
    return {fp.fileId,       fp.fileSize, fp.dataPacketsCount,   fp.playDuration,
            fp.sendDuration, fp.flags,    layout.dataObjectSize, layout.totalDataPackets};
}

HeaderFields FieldsOf(const ResumeRecord& totals) {
    HeaderFields fields;
    fields.fileSize = totals.fileSize;
    fields.dataPacketsCount = totals.dataPacketsCount;
    fields.playDuration = totals.playDuration;
    fields.sendDuration = totals.sendDuration;
    fields.flags = totals.flags;
    fields.dataObjectSize = totals.dataObjectSize;
    fields.totalDataPackets = totals.totalDataPackets;
    return fields;
}

// False on a failed write; the file keeps its reason, which Failed reports.
bool WriteFields(RecordingFile& file, const Layout& layout, const HeaderFields& fields) {
    const auto write = [&file](uint64_t at, std::span<const uint8_t> bytes) -> ErrorOr<void> {
        if (!file.WriteAt(at, bytes)) {
            return Error::FromMessage(file.FailureText());
        }
        return {};
    };
    return PatchHeader({layout.propertiesAt, layout.headerSize}, fields, write).has_value();
}

// Whether an object that fits in the file starts at `at`: the index (or
// whatever the server put there) of a file that came whole.
bool ObjectAt(const RecordingFile& file, uint64_t at, uint64_t fileSize) {
    uint8_t head[asf::kObjectHeaderSize];
    if (at > fileSize || fileSize - at < sizeof head || !file.ReadAt(at, head)) {
        return false;
    }
    const uint64_t size = ReadLe64(&head[16]);
    return size >= sizeof head && size <= fileSize - at;
}

struct PacketWalk {
    uint32_t latestSendTime = 0;  // ms
    bool ok = true;
};

// Reads the packets back in file order: the latest send time for the
// durations, and every packet for the index.
PacketWalk WalkPackets(const RecordingFile& file, const Layout& layout, uint64_t packets,
                       SimpleIndexBuilder& index) {
    PacketWalk walk;
    const uint32_t packetSize = layout.PacketSize();
    const uint64_t perBlock = std::max<uint64_t>(1, kReadBlockBytes / packetSize);
    std::vector<uint8_t> block;
    for (uint64_t first = 0; first < packets; first += perBlock) {
        const uint64_t count = std::min(perBlock, packets - first);
        block.resize(count * packetSize);
        if (!file.ReadAt(layout.DataStart() + first * packetSize, block)) {
            walk.ok = false;
            return walk;
        }
        for (uint64_t i = 0; i < count; ++i) {
            const std::span<const uint8_t> packet =
                std::span<const uint8_t>(block).subspan(i * packetSize, packetSize);
            const int at = AsfPacketTools::SendTimeOffset(packet);
            // Zeros left by a gap in the stream have no send time.
            if (at > 0 && packet[0] != 0 && static_cast<size_t>(at) + 4 <= packet.size()) {
                walk.latestSendTime = std::max(walk.latestSendTime, ReadLe32(&packet[at]));
            }
            index.AddPacket(static_cast<uint32_t>(first + i), packet);
        }
    }
    return walk;
}

FinishReport Failed(const RecordingFile& file, const char* what) {
    FinishReport report;
    report.kind = Kind::Failed;
    report.failure = std::string(what) + ": " +
                     (file.FailureText().empty() ? std::strerror(EIO) : file.FailureText());
    return report;
}

}  // namespace

FinishReport FinishRecording(const std::filesystem::path& path) {
    RecordingFile file(path);
    FinishReport report;
    if (!file.IsOpen()) {
        report.kind = Kind::Failed;
        report.failure = std::string("cannot open the recording: ") + std::strerror(errno);
        return report;
    }
    const std::optional<uint64_t> size = file.Size();
    const std::optional<Layout> layout = size ? ReadLayout(file, *size) : std::nullopt;
    if (!layout) {
        return report;  // not ASF: a download of another kind, left as it came
    }
    const FileProperties& fp = layout->properties;
    const uint32_t packetSize = layout->PacketSize();
    const std::optional<ResumeRecord> record = LoadResumeRecord(path, fp.fileId);
    const ResumeRecord server = record ? *record : HeaderTotals(*layout);
    // An on-demand stream's header announces its packets, and its Data
    // object holds exactly them; a broadcast announces nothing.
    const bool announced =
        (server.flags & asf::kFlagBroadcast) == 0 && server.dataPacketsCount != 0 &&
        server.dataObjectSize == asf::kDataObjectHeaderSize + server.dataPacketsCount * packetSize;
    const uint64_t announcedEnd = layout->headerSize + server.dataObjectSize;
    if (announced && announcedEnd < *size && ObjectAt(file, announcedEnd, *size)) {
        // The whole file as the server has it, index and all (a download).
        report.kind = Kind::Whole;
        report.packets = server.dataPacketsCount;
        if (record) {
            if (!WriteFields(file, *layout, FieldsOf(*record)) || !file.Sync()) {
                return Failed(file, "the recording's header could not be written");
            }
            ForgetResumeRecord(path);
        }
        return report;
    }
    uint64_t packets = (*size - layout->DataStart()) / packetSize;
    if (announced) {
        packets = std::min(packets, server.dataPacketsCount);
    }
    report.packets = packets;
    if (packets == 0) {
        report.kind = Kind::NoPacket;
        return report;
    }
    const uint64_t dataEnd = layout->DataStart() + packets * packetSize;
    // A packet begun but not finished (or an index of an earlier ending) is
    // no part of what the header will describe.
    if (*size > dataEnd && !file.Truncate(dataEnd)) {
        return Failed(file, "the recording could not be cut to its whole packets");
    }
    SimpleIndexBuilder index(layout->videoStreams);
    const PacketWalk walk = WalkPackets(file, *layout, packets, index);
    if (!walk.ok) {
        return Failed(file, "the recording could not be read back");
    }
    const bool whole = announced && packets == server.dataPacketsCount;
    HeaderFields fields = FieldsOf(server);
    if (!whole) {
        // Kept for a resume before the header stops saying it: the totals of
        // a broadcast say nothing worth keeping.
        if (announced && !record && !SaveResumeRecord(path, server)) {
            report.failure =
                "the stream's totals could not be kept: the recording cannot be "
                "resumed";
        }
        // As the cutter writes them, but keeping the server's other flags.
        fields = DescribeWritten({packets, packets * packetSize, walk.latestSendTime, fp.preroll},
                                 server.flags);
    }
    uint64_t end = dataEnd;
    if (index.HasEntries()) {
        const std::vector<uint8_t> object = index.Object(fp.fileId);
        if (file.WriteAt(dataEnd, object)) {
            end += object.size();
        } else if (!file.Truncate(dataEnd)) {  // a full disk: no index, but no half of one
            return Failed(file, "the recording's index could not be written");
        }
    }
    fields.fileSize = end;
    if (!WriteFields(file, *layout, fields) || !file.Sync()) {
        return Failed(file, "the recording's header could not be written");
    }
    if (whole && record) {
        ForgetResumeRecord(path);
    }
    report.kind = whole ? Kind::Whole : Kind::Partial;
    return report;
}

}  // namespace tapewell
