#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tapewell {

// The ASF header of an MMS stream, gathered from its header packets in
// order, and what the session needs from its File Properties object.
// Offsets count from the start of the whole header, which is where the file
// has it, so that the repair at the end hits the right bytes however many
// packets the header came in. Used by the session's thread.
class MmsStreamHeader {
public:
    struct Properties {
        uint64_t offset = 0;        // of the File Properties object in the header
        uint64_t playDuration = 0;  // 100 ns; 0 for a live stream
        uint32_t preroll = 0;       // ms, low half of the field
        uint32_t flags = 0;         // broadcast, seekable
        uint32_t minPacketSize = 0;
        uint32_t maxPacketSize = 0;
    };

    void Reset();
    // Adds the payload of the next header packet; false when the header
    // would grow past limits::kMaxMmsHeaderBytes.
    bool Append(std::span<const uint8_t> part);
    // Looks for a whole File Properties object in what has come so far; it
    // may straddle two header packets. The first one found is kept.
    const std::optional<Properties>& FindProperties();
    const std::optional<Properties>& GetProperties() const { return m_properties; }

    uint64_t Size() const { return m_bytes.size(); }
    std::span<const uint8_t> Bytes() const { return m_bytes; }
    // Where the Data object starts: its 50 bytes end the header. Nothing
    // when the header does not end in a Data object.
    std::optional<uint64_t> DataObjectOffset() const;

    // Whether packets of a stream under this header could go on in a file
    // that has the other header: the same packet size and the same Stream
    // Properties objects, byte for byte, in the same order. Fields that
    // change while a broadcast runs (File Size, Play Duration, Creation
    // Date) do not matter. A header whose objects cannot be walked matches
    // only a header of the very same bytes. Both must have their
    // properties found.
    bool SameLayout(const MmsStreamHeader& other) const;

private:
    std::vector<uint8_t> m_bytes;
    std::optional<Properties> m_properties;
};

}  // namespace tapewell
