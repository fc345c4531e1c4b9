#include "asf/AsfPacketTools.h"

#include <algorithm>
#include <climits>

#include "asf/AsfGuids.h"

namespace tapewell::AsfPacketTools {
namespace {

// Error correction present with two bytes of data that must be zero: the only
// packet start the recorders handle.
constexpr uint8_t kErrorCorrectionFlags = 0x82;

constexpr unsigned kMultiplePayloads = 0x01;
constexpr unsigned kLengthTypeReserved = 0x80;
constexpr unsigned kPayloadCountMask = 0x1F;

// Where each 2-bit length type sits: the first four in the length type
// flags byte, the rest in the property flags byte.
enum LengthTypeShift : unsigned {
    kSequenceShift = 1,
    kPaddingShift = 3,
    kPacketLengthShift = 5,
    kReplicatedShift = 0,
    kOffsetShift = 2,
    kObjectNumberShift = 4,
    kStreamNumberShift = 6,
};

unsigned LengthType(uint8_t flags, LengthTypeShift shift) {
    return (flags >> shift) & 3;
}

// Rewrites the 32-bit time at the cursor through newTime and steps over it.
template <typename NewTime>
bool RewriteTimeAt(std::span<uint8_t> packet, ByteCursor& cursor, const NewTime& newTime) {
    size_t at = cursor.Position();
    uint32_t time = cursor.ReadU32();
    if (!cursor.Ok()) {
        return false;
    }
    tapewell::WriteLe32(&packet[at], newTime(time));
    return true;
}

bool WriteBytes(std::FILE* out, const uint8_t* bytes, size_t n) {
    return std::fwrite(bytes, 1, n, out) == n;
}

}  // namespace

int SendTimeOffset(std::span<const uint8_t> packet) {
    if (packet.size() < 4) {
        return -1;
    }
    switch (packet[3]) {
        case 0x00:
        case 0x01:
            return 5;
        case 0x08:
        case 0x09:
            return 6;
        case 0x10:
        case 0x11:
        case 0x40:
        case 0x41:
            return 7;
        case 0x48:
        case 0x49:
            return 8;
        case 0x50:
        case 0x51:
            return 9;
        default:
            return -1;
    }
}

uint32_t ReadVarField(ByteCursor& cursor, unsigned lengthType) {
    switch (lengthType) {
        case 1:
            return cursor.ReadU8();
        case 2:
            return cursor.ReadU16();
        case 3:
            return cursor.ReadU32();
        default:
            return 0;
    }
}

namespace {

// The walk shared by every rewrite of packet times: the Send Time and each
// payload's presentation time go through newTime.
template <typename NewTime>
int RewritePacketTimes(std::span<uint8_t> packet, const NewTime& newTime) {
    if (packet.size() < 5 || packet[0] != kErrorCorrectionFlags || packet[1] != 0 ||
        packet[2] != 0) {
        return 1;
    }
    const uint8_t lengthFlags = packet[3];
    const uint8_t propertyFlags = packet[4];
    if (lengthFlags & kLengthTypeReserved) {
        return 1;
    }
    ByteCursor cursor(packet);
    cursor.Skip(5);
    uint64_t packetLength = ReadVarField(cursor, LengthType(lengthFlags, kPacketLengthShift));
    ReadVarField(cursor, LengthType(lengthFlags, kSequenceShift));
    const uint64_t padding = ReadVarField(cursor, LengthType(lengthFlags, kPaddingShift));
    if (!RewriteTimeAt(packet, cursor, newTime)) {
        return 1;
    }
    if (LengthType(lengthFlags, kPacketLengthShift) == 0) {
        packetLength = packet.size();
    }
    if (padding > packetLength || packetLength > packet.size()) {
        return 1;
    }
    std::fill(packet.begin() + static_cast<ptrdiff_t>(packetLength - padding),
              packet.begin() + static_cast<ptrdiff_t>(packetLength), uint8_t{0});

    cursor.Skip(2);  // Duration
    const bool multiple = lengthFlags & kMultiplePayloads;
    const uint8_t first = cursor.ReadU8();  // payload flags, or the single stream number
    const unsigned count = multiple ? (first & kPayloadCountMask) : 1;
    const uint64_t payloadEnd = packet.size() - std::min<uint64_t>(padding, packet.size());
    for (unsigned i = 0; i < count && cursor.Ok(); ++i) {
        if (multiple) {
            ReadVarField(cursor, LengthType(propertyFlags, kStreamNumberShift));
        }
        ReadVarField(cursor, LengthType(propertyFlags, kObjectNumberShift));
        ReadVarField(cursor, LengthType(propertyFlags, kOffsetShift));
        const uint32_t replicated =
            ReadVarField(cursor, LengthType(propertyFlags, kReplicatedShift));
        // Eight bytes of replicated data are the media object size and its
        // presentation time.
        if (replicated == 8 && cursor.Has(8)) {
            cursor.Skip(4);
            RewriteTimeAt(packet, cursor, newTime);
        } else {
            cursor.Skip(replicated);
        }
        uint64_t payloadLength;
        if (multiple) {
            payloadLength = cursor.ReadU16();
        } else {
            const uint64_t used = cursor.Position() + padding;
            if (used > packetLength) {
                return 1;
            }
            payloadLength = packetLength - used;
        }
        cursor.Skip(payloadLength);
        if (cursor.Ok() && cursor.Position() > payloadEnd) {
            return 1;
        }
    }
    return cursor.Ok() ? 0 : 1;
}

}  // namespace

int RebasePacketTimes(std::span<uint8_t> packet, uint32_t baseTime) {
    return RewritePacketTimes(packet,
                              [baseTime](uint32_t t) { return t > baseTime ? t - baseTime : 0; });
}

int ShiftPacketTimes(std::span<uint8_t> packet, uint32_t delta) {
    return RewritePacketTimes(packet, [delta](uint32_t t) { return t + delta; });
}

int MovePacketTimes(std::span<uint8_t> packet, int64_t delta) {
    return RewritePacketTimes(packet, [delta](uint32_t t) {
        const int64_t moved = static_cast<int64_t>(t) + delta;
        return static_cast<uint32_t>(std::clamp<int64_t>(moved, 0, UINT32_MAX));
    });
}

int FindFileProperties(std::span<const uint8_t> buffer) {
    const size_t size = std::min<size_t>(buffer.size(), INT_MAX);
    const auto& id = guids::kFileProperties.bytes;
    for (size_t i = 0; i + 17 <= size; ++i) {
        if (std::equal(id.begin(), id.end(), buffer.begin() + static_cast<ptrdiff_t>(i))) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool WriteLe16(std::FILE* out, uint16_t value) {
    uint8_t b[2];
    tapewell::WriteLe16(b, value);
    return WriteBytes(out, b, sizeof b);
}

bool WriteLe32(std::FILE* out, uint32_t value) {
    uint8_t b[4];
    tapewell::WriteLe32(b, value);
    return WriteBytes(out, b, sizeof b);
}

bool WriteLe64(std::FILE* out, uint64_t value) {
    uint8_t b[8];
    tapewell::WriteLe64(b, value);
    return WriteBytes(out, b, sizeof b);
}

}  // namespace tapewell::AsfPacketTools
