#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tapewell {

// The ten columns of the record list, in display order.
enum RecordColumn : int {
    kColFile = 0,           // display name
    kColType = 1,           // type word of the address
    kColTime = 2,           // duration
    kColPlay = 3,           // playback status or position
    kColRecord = 4,         // recording or check status
    kColSize = 5,           // size text
    kColOriginalFile = 6,   // the address: the row's identity
    kColRecordingFile = 7,  // file a recording wrote
    kColInfo = 8,           // free note
    kColNs = 9,             // player agent for this row; empty means the default
    kRecordColumnCount = 10,
};

// Row marks: a local file, a network address, a completed recording.
inline constexpr int32_t kMarkLocal = 0;
inline constexpr int32_t kMarkNetwork = 1;
inline constexpr int32_t kMarkRecorded = 5;

// One row: its cell texts (UTF-8), its mark and the number of the recording
// job working on it (0 when none; a busy row is never deleted).
struct RecordRow {
    std::array<std::string, kRecordColumnCount> cells;
    int32_t mark = kMarkLocal;
    uint32_t jobNumber = 0;
};

}  // namespace tapewell
