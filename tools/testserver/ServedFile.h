#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/ByteSource.h"

namespace tapewell::testserver {

// One ASF file opened for streaming: the header the clients receive and
// random access to its fixed-size data packets.
class ServedFile {
public:
    // Nothing when the file cannot be read, is not ASF, or has packets the
    // streaming protocols cannot frame (variable size, or more than 64 KiB);
    // *error says which. With live set the header is the one of a broadcast:
    // Play Duration 0 and only the broadcast flag; keepDuration leaves the
    // Play Duration as it is, as the broadcast server met in the field did.
    static std::unique_ptr<ServedFile> Open(const std::filesystem::path& path, bool live,
                                            std::string* error, bool keepDuration = false);

    const std::filesystem::path& Path() const { return m_path; }

    // The Header object followed by the first 50 bytes of the Data object.
    std::span<const uint8_t> Header() const { return m_header; }
    uint32_t PacketSize() const { return m_packetSize; }
    uint64_t PacketCount() const { return m_packetCount; }
    bool Live() const { return m_live; }
    // Play Duration in seconds as the header of the source file gives it.
    double DurationSeconds() const { return m_durationSeconds; }
    uint32_t Bitrate() const { return m_bitrate; }
    // How much later (ms) each repeat of a live loop runs than the one before.
    uint32_t LoopSpanMs() const { return m_loopSpanMs; }

    // The whole packets [first, first + count) of the source, appended to out;
    // false on a short read.
    bool ReadPackets(uint64_t first, size_t count, std::vector<uint8_t>& out) const;
    // The first packet whose send time is at least ms (by bisection, send
    // times being in stream order), or nothing when every packet is earlier
    // or the file cannot be read.
    std::optional<uint64_t> PacketAtTime(uint32_t ms) const;

private:
    ServedFile() = default;
    bool Load(bool live, bool keepDuration, std::string* error);
    void MakeBroadcastHeader(size_t propertiesOffset, bool keepDuration);
    std::optional<uint32_t> SendTimeOf(uint64_t packet) const;

    std::filesystem::path m_path;
    std::unique_ptr<FileSource> m_source;
    std::vector<uint8_t> m_header;
    uint64_t m_packetsStart = 0;
    uint32_t m_packetSize = 0;
    uint64_t m_packetCount = 0;
    bool m_live = false;
    double m_durationSeconds = 0;
    uint32_t m_bitrate = 0;
    uint32_t m_loopSpanMs = 0;
};

}  // namespace tapewell::testserver
