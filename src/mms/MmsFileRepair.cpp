#include "mms/MmsFileRepair.h"

#include "asf/AsfObjects.h"
#include "common/LittleEndian.h"
#include "common/OutputFile.h"

namespace tapewell {
namespace {

constexpr uint64_t kHundredNsPerMs = 10'000;
constexpr uint64_t kDataObjectHeadSize = 50;
constexpr uint64_t kDataObjectSizeField = 16;
constexpr uint64_t kTotalDataPacketsField = 40;

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
