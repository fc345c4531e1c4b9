#include "mms/MmsFileRepair.h"

#include <array>

#include "asf/AsfGuids.h"
#include "asf/AsfObjects.h"
#include "common/LittleEndian.h"
#include "common/OutputFile.h"

namespace tapewell {
namespace {

constexpr size_t kSimpleIndexSize = 62;
// The File ID every recording's index carries.
constexpr std::array<uint8_t, 16> kIndexFileId = {0x43, 0xFC, 0xE6, 0x05, 0xEF, 0xAC, 0x18, 0x4E,
                                                  0x8A, 0xCA, 0xBC, 0x82, 0x81, 0x5A, 0x60, 0x4D};
constexpr uint64_t kIndexIntervalOneSecond = 10'000'000;  // 100 ns
constexpr uint64_t kHundredNsPerMs = 10'000;
constexpr uint64_t kDataObjectHeadSize = 50;
constexpr uint64_t kDataObjectSizeField = 16;
constexpr uint64_t kTotalDataPacketsField = 40;

// One entry: packet 0, count 0 — enough for players to treat the file as
// indexed and seekable.
std::array<uint8_t, kSimpleIndexSize> SimpleIndex() {
    std::array<uint8_t, kSimpleIndexSize> index{};
    std::copy(guids::kSimpleIndex.bytes.begin(), guids::kSimpleIndex.bytes.end(), index.begin());
    WriteLe64(&index[16], kSimpleIndexSize);
    std::copy(kIndexFileId.begin(), kIndexFileId.end(), index.begin() + 24);
    WriteLe64(&index[40], kIndexIntervalOneSecond);
    WriteLe32(&index[48], 0);  // maximum packet count
    WriteLe32(&index[52], 1);  // index entries count
    return index;
}

bool Put32(OutputFile& out, uint64_t at, uint32_t value) {
    uint8_t b[4];
    WriteLe32(b, value);
    return out.Seek(at) && out.Write(b);
}

bool Put64(OutputFile& out, uint64_t at, uint64_t value) {
    uint8_t b[8];
    WriteLe64(b, value);
    return out.Seek(at) && out.Write(b);
}

bool DescribeWritten(OutputFile& out, const MmsRecordingFacts& facts) {
    const uint64_t f = facts.filePropertiesOffset;
    // As the cutter writes them: players take the preroll off Play
    // Duration, so it is counted in; Send Duration is the last send time.
    const uint64_t latest = facts.latestSendTime;
    bool ok = Put64(out, f + asf::fp::kDataPacketsCount, facts.packetCount) &&
              Put64(out, f + asf::fp::kPlayDuration, (latest + facts.preroll) * kHundredNsPerMs) &&
              Put64(out, f + asf::fp::kSendDuration, latest * kHundredNsPerMs);
    if (ok && facts.dataObjectOffset) {
        const uint64_t d = *facts.dataObjectOffset;
        ok = Put64(out, d + kDataObjectSizeField, facts.dataSize + kDataObjectHeadSize) &&
             Put32(out, d + kTotalDataPacketsField, static_cast<uint32_t>(facts.packetCount));
    }
    return ok;
}

}  // namespace

bool RepairMmsRecording(OutputFile& output, const MmsRecordingFacts& facts) {
    const auto index = SimpleIndex();
    if (!output.Write(index)) {
        return false;
    }
    const std::optional<uint64_t> fileSize = output.SeekEnd();
    if (!fileSize) {
        return false;
    }
    const uint64_t f = facts.filePropertiesOffset;
    if (!Put64(output, f + asf::fp::kFileSize, *fileSize) ||
        !Put32(output, f + asf::fp::kFlags, asf::kFlagSeekable)) {
        return false;
    }
    if (facts.describeWritten && !DescribeWritten(output, facts)) {
        return false;
    }
    return output.SeekEnd().has_value();
}

}  // namespace tapewell
