#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "asf/AsfGuids.h"

namespace tapewell {

namespace AsfPacketTools {
struct PayloadInfo;
}

// Builds the Simple Index object of a recording from its packets, fed in
// file order: one entry per interval of presentation time, naming the packet
// where the last key frame at or before that time begins, so that a player
// that seeks by the index starts decoding on a key frame. Audio-only files
// (no video stream given) are indexed by the start of any media object.
class SimpleIndexBuilder {
public:
    static constexpr uint32_t kIntervalMs = 1000;

    // videoStreams: the numbers of the file's video streams
    // (AsfPacketTools::VideoStreamNumbers of its header).
    explicit SimpleIndexBuilder(std::span<const uint8_t> videoStreams,
                                uint32_t intervalMs = kIntervalMs);

    // packet is the whole packet as it lies in the file (the file's packet
    // size), number its place in the Data object counting from 0. A packet
    // the recorders do not handle (zeros left by a gap, a foreign layout)
    // adds nothing.
    void AddPacket(uint32_t number, std::span<const uint8_t> packet);

    // Whether any packet gave a place to index: without one there is no
    // index to write.
    bool HasEntries() const;

    // The whole Simple Index object, carrying fileId (the File Properties'
    // File ID). Empty when HasEntries is false.
    std::vector<uint8_t> Object(const Guid& fileId) const;

private:
    struct KeyStart {
        uint32_t timeMs;  // presentation time, preroll included
        uint32_t packet;
        uint32_t packets;  // how many packets the object spans
    };
    // Whether the payload begins an object a player may start decoding on.
    bool IsIndexStart(const AsfPacketTools::PayloadInfo& payload) const;
    // Counts packet `number` into the open object's span when it follows the
    // packets counted so far; false when the object is no longer followed.
    bool ContinueOpen(uint32_t number);
    // Keeps a start begun in packet `number`, unless one kept before serves
    // the same entries better; whether its object is now followed into
    // later packets.
    bool AddStart(uint32_t number, const AsfPacketTools::PayloadInfo& payload);

    std::vector<uint8_t> m_videoStreams;
    uint32_t m_intervalMs;
    std::vector<KeyStart> m_starts;
    uint32_t m_latestTimeMs = 0;
    // The object the last start belongs to, followed into later packets.
    bool m_open = false;
    uint8_t m_openStream = 0;
    uint32_t m_openObject = 0;
};

}  // namespace tapewell
