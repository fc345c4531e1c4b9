#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "asf/AsfInfo.h"
#include "asf/AsfObjects.h"
#include "common/ByteSink.h"
#include "common/ByteSource.h"
#include "common/ErrorOr.h"

namespace tapewell {

// The data packets that hold a range of whole seconds: first up to, not
// including, stop.
struct CutPackets {
    uint64_t first = 0;
    uint64_t stop = 0;
};

// Maps start and end seconds (end included) to packets through the file's
// average bytes per second: packets × Maximum Data Packet Size over the play
// time less the preroll. Nothing when the File Properties give no packet
// size or no play time. The stop packet may lie past the last packet.
std::optional<CutPackets> RangeToPackets(const FileProperties& fp, int32_t start, int32_t end);

// The default output of a cut: "_cut" appended to the base name, in the
// same folder, with the source's extension (none when it has none):
// talk.asf becomes talk_cut.asf.
std::filesystem::path CutOutputPath(const std::filesystem::path& source);

// Writes a time range of an ASF file to a new ASF file without decoding:
// the header as it is, the packets that cover the range with their send and
// presentation times moved so that the cut starts at 0, and a Simple Index;
// then the File Properties and the Data object are rewritten for what was
// written. Blocking; the caller runs it on a worker thread.
class AsfCutter {
public:
    // A whole cut.
    struct Result {
        std::filesystem::path output;  // empty for a cut into a sink
        uint64_t firstPacket = 0;      // the source's packet the cut begins at
        uint64_t packets = 0;          // data packets written
        uint64_t fileSize = 0;         // bytes of the output
        uint32_t largestSendTime = 0;  // ms, after rebasing
    };

    // Called on the cutting thread at the start and after each batch of
    // packets: packets done of the total.
    using Progress = std::function<void(uint64_t done, uint64_t total)>;

    // cancel, when given, may be set from any thread; the cut then stops
    // before its next batch and fails with the message "cancelled".
    explicit AsfCutter(Progress progress = {}, const std::atomic<bool>* cancel = nullptr)
        : m_progress(std::move(progress)), m_cancel(cancel) {}

    // Cuts the file info was parsed from into output. A failed cut leaves no
    // output behind; an existing output file is replaced only by a whole cut,
    // and never when it is the source itself (the same file by any path).
    // The copy begins at the last packet at or before the range whose first
    // new video object is a key frame, so that the cut's first picture is
    // whole. The error's message says why for the user: a bad range (start
    // negative or after end), the output being the source, no Header and Data objects, no File
    // Properties (or no packet size or play time), a range outside the
    // file's packets, a header beyond limits::kMaxAsfHeaderBytes, a source
    // that cannot be opened or read, an output that cannot be created or
    // written, or a cancel.
    ErrorOr<Result> Cut(const std::filesystem::path& source, const AsfInfo& info, int32_t start,
                        int32_t end, const std::filesystem::path& output) const;

    // The same cut from any byte source into any sink; on failure the sink
    // holds whatever was written before it.
    ErrorOr<Result> Cut(ByteSource& source, const AsfInfo& info, int32_t start, int32_t end,
                        ByteSink& output) const;

private:
    Progress m_progress;
    const std::atomic<bool>* m_cancel;
};

}  // namespace tapewell
