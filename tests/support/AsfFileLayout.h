#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "asf/AsfObjects.h"

namespace tapewell::test {

// How an ASF file is laid out, read from its bytes rather than taken from
// the code that wrote it: the Header object, the Data object and the
// packets inside it, and the Simple Index object after it. Tests compare
// these against values they compute themselves.
struct AsfFileLayout {
    struct IndexEntry {
        uint32_t packet = 0;
        uint16_t count = 0;
    };

    // The first thing about the layout that does not add up (the Data
    // object runs past the end, a part of a packet, bytes after the last
    // object, ...); empty when the objects tile the file exactly.
    std::string problem;

    uint64_t fileSize = 0;    // on disk
    uint64_t headerSize = 0;  // the Header object; the Data object starts here
    FileProperties properties;
    uint64_t dataObjectSize = 0;
    uint64_t totalDataPackets = 0;  // as the Data object says
    uint32_t packetSize = 0;        // the File Properties' minimum packet size
    // The packets counted from the Data object's size, and each one's Send
    // Time (ms) read from its own payload parsing information.
    uint64_t packets = 0;
    std::vector<uint32_t> sendTimes;

    bool hasIndex = false;
    Guid indexFileId;
    uint64_t indexIntervalMs = 0;
    uint32_t indexMaxPacketCount = 0;
    std::vector<IndexEntry> index;

    uint64_t DataStart() const { return headerSize + asf::kDataObjectHeaderSize; }
    uint32_t LastSendTime() const { return sendTimes.empty() ? 0 : sendTimes.back(); }
    uint64_t PrerollMs() const { return properties.preroll; }
    uint64_t PlayDurationMs() const { return properties.playDuration / 10'000; }
    uint64_t SendDurationMs() const { return properties.sendDuration / 10'000; }
};

AsfFileLayout ReadAsfFileLayout(const std::filesystem::path& file);

}  // namespace tapewell::test
