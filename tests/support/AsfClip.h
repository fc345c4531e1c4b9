#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "support/TestSupport.h"

namespace tapewell::test {

// An ASF file made with ffmpeg and read back whole, with what a test needs
// to cut it the way a server sends it: header, then fixed-size packets.
struct AsfClip {
    std::filesystem::path path;
    std::vector<uint8_t> bytes;
    uint64_t headerSize = 0;  // the Header object; the Data object follows
    uint32_t packetSize = 0;
    uint64_t packetCount = 0;

    // Makes the file at `path`; fails the calling test when ffmpeg does.
    static AsfClip Make(const std::filesystem::path& path, const AsfRecipe& recipe);
    // An ASF file made otherwise, read back.
    static AsfClip Read(const std::filesystem::path& path);

    // Where the first packet starts: after the Header object and the 50-byte
    // head of the Data object.
    uint64_t DataStart() const { return headerSize + 50; }
    // The Header object and the head of the Data object, as a server sends
    // them before the packets.
    std::vector<uint8_t> StreamHeader() const;
    std::span<const uint8_t> Packet(uint64_t n) const;
    // Offset of the File Properties object.
    size_t PropertiesOffset() const;
    // The size of a recording that holds the header and the first n packets.
    uint64_t RecordingSize(uint64_t packets) const { return DataStart() + packets * packetSize; }
    // What a whole recording of the clip holds: the file up to the end of
    // its Data object, with File Size set to that length.
    std::vector<uint8_t> WholeRecording() const;
};

}  // namespace tapewell::test
