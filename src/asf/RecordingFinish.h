#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace tapewell {

// How a recording was left by FinishRecording.
struct FinishReport {
    enum class Kind {
        NotAsf,    // not an ASF recording with fixed-size packets: untouched
        NoPacket,  // an ASF header without one whole packet: untouched
        Whole,     // every packet the header announces is there
        Partial,   // stopped early: the header describes what was written
        Failed,    // a read or write failed; failure says which
    };
    Kind kind = Kind::NotAsf;
    uint64_t packets = 0;  // whole packets in the file
    std::string failure;
};

// Makes a closed recording tell the truth, whatever ended it: a part of a
// packet at the end is cut off; a recording that stopped before the end of
// an on-demand stream gets a header describing exactly the packets written
// (the server's totals go into its resume record); a recording that holds
// the whole stream gets the server's totals back; and a Simple Index built
// from the packets is appended unless the file already has one. A file that
// already ends with its own index after a complete Data object (a verbatim
// download) is left as it is.
FinishReport FinishRecording(const std::filesystem::path& path);

}  // namespace tapewell
