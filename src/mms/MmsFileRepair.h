#pragma once

#include <cstdint>
#include <optional>

#include "common/ErrorOr.h"

namespace tapewell {

class OutputFile;

// What an MMS session knows at its end about the recording it wrote.
struct MmsRecordingFacts {
    uint64_t filePropertiesOffset = 0;         // in the file
    std::optional<uint64_t> dataObjectOffset;  // in the file; nothing when unknown
    // A live stream: the counts and durations are rewritten to describe
    // what was written (Play Duration counts the preroll in).
    bool describeWritten = false;
    uint32_t preroll = 0;         // ms
    uint32_t latestSendTime = 0;  // ms, on the recording's time line
    uint64_t packetCount = 0;
    uint64_t dataSize = 0;  // packet count times packet size
};

// Makes a recording seekable: writes File Size and Flags (seekable) into
// File Properties and, when asked, the live counts and durations and the
// Data object's size and packet count. (The recording job then cuts a
// partial packet off, makes the header of a stopped recording describe it,
// and appends the index built from the packets.) The error names the field
// that could not be written.
ErrorOr<void> RepairMmsRecording(OutputFile& output, const MmsRecordingFacts& facts);

}  // namespace tapewell
