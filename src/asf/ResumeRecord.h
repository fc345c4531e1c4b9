#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "asf/AsfGuids.h"

namespace tapewell {

// What the server's header said of a whole on-demand recording, kept beside
// a file whose header was made to describe only the packets written when
// the recording stopped early. A resume reads the totals from here (the
// header no longer has them), and the recording that completes puts them
// back and forgets the record.
//
// Stored in the file's extended attribute "user.tapewell.resume"; where the
// file system has no user attributes, in a hidden file beside it
// (".NAME.tapewell-resume"). The record names the File ID of the header it
// belongs to, so a record left behind for another file is not believed.
struct ResumeRecord {
    Guid fileId;
    uint64_t fileSize = 0;
    uint64_t dataPacketsCount = 0;
    uint64_t playDuration = 0;  // 100 ns
    uint64_t sendDuration = 0;  // 100 ns
    uint32_t flags = 0;
    uint64_t dataObjectSize = 0;
    uint64_t totalDataPackets = 0;  // of the Data object
};

// False when neither the attribute nor the hidden file could be written.
bool SaveResumeRecord(const std::filesystem::path& recording, const ResumeRecord& record);
// The record for the file, when there is one for this File ID.
std::optional<ResumeRecord> LoadResumeRecord(const std::filesystem::path& recording,
                                             const Guid& fileId);
void ForgetResumeRecord(const std::filesystem::path& recording);
std::filesystem::path ResumeRecordSidecar(const std::filesystem::path& recording);

}  // namespace tapewell
