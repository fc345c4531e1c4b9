#include "mms/MmsFileRepair.h"

#include "asf/AsfHeaderPatch.h"
#include "asf/AsfObjects.h"
#include "common/OutputFile.h"

namespace tapewell {

ErrorOr<void> RepairMmsRecording(OutputFile& output, const MmsRecordingFacts& facts) {
    const std::optional<uint64_t> fileSize = output.SeekEnd();
    if (!fileSize) {
        return Error::FromMessage("cannot find the end of the recording");
    }
    HeaderFields fields;
    if (facts.describeWritten) {
        fields = DescribeWritten(
            {facts.packetCount, facts.dataSize, facts.latestSendTime, facts.preroll});
        fields.totalDataPacketsWidth = PacketCountWidth::kLow32;
    }
    fields.fileSize = *fileSize;
    // An on-demand recording is made seekable too: whatever else the server
    // flagged, the file on disk can be sought in.
    fields.flags = asf::kFlagSeekable;
    if (auto patched =
            PatchHeader(output, {facts.filePropertiesOffset, facts.dataObjectOffset}, fields);
        !patched) {
        return patched;
    }
    if (!output.SeekEnd()) {
        return Error::FromMessage("cannot find the end of the recording");
    }
    return {};
}

}  // namespace tapewell
