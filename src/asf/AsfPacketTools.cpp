#include "asf/AsfPacketTools.h"

#include <algorithm>
#include <climits>

#include "asf/AsfGuids.h"
#include "asf/AsfObjects.h"

namespace tapewell::AsfPacketTools {
namespace {

// Error correction present with two bytes of data that must be zero: the only
// packet start the recorders handle.
constexpr uint8_t kErrorCorrectionFlags = 0x82;

constexpr unsigned kMultiplePayloads = 0x01;
constexpr unsigned kLengthTypeReserved = 0x80;
constexpr unsigned kPayloadCountMask = 0x1F;
constexpr uint8_t kStreamNumberMask = 0x7F;
constexpr uint8_t kKeyFrameBit = 0x80;
// Flags of a Stream Properties object (stream number in the low 7 bits),
// after its stream type, error correction type, time offset and two lengths.
constexpr size_t kStreamFlagsAt = asf::kObjectHeaderSize + 16 + 16 + 8 + 4 + 4;

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

}  // namespace

int SendTimeOffset(std::span<const uint8_t> packet, SendTimeLayouts layouts) {
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
            return 7;
        case 0x40:
        case 0x41:
            return layouts == SendTimeLayouts::kAll ? 7 : -1;
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

// Where the fields of a packet's header lie, as the walk found them.
struct PacketFrame {
    size_t sendTimeAt = 0;
    uint64_t packetLength = 0;  // of the packet without what follows it in the span
    uint64_t padding = 0;
};

// One payload whose header and data lie within the packet.
struct PayloadView {
    uint8_t streamByte = 0;  // stream number and key frame bit
    uint32_t objectNumber = 0;
    uint32_t objectOffset = 0;  // a compressed payload's presentation time instead
    uint32_t replicatedLength = 0;
    size_t replicatedAt = 0;
};

constexpr uint32_t kCompressedReplicated = 1;

// The walk shared by every reader and rewriter of a packet's layout. onFrame
// sees the packet's header once its lengths are checked; onPayload sees each
// payload that lies within the packet, and returning false from it ends the
// walk there. Returns 0 when the walk ended cleanly (or was ended by
// onPayload), 1 when the packet is not one the recorders handle or its layout
// runs out of bounds. Nothing outside the span is read.
template <typename OnFrame, typename OnPayload>
int WalkPacket(std::span<const uint8_t> packet, const OnFrame& onFrame,
               const OnPayload& onPayload) {
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
    PacketFrame frame;
    frame.packetLength = ReadVarField(cursor, LengthType(lengthFlags, kPacketLengthShift));
    ReadVarField(cursor, LengthType(lengthFlags, kSequenceShift));
    frame.padding = ReadVarField(cursor, LengthType(lengthFlags, kPaddingShift));
    frame.sendTimeAt = cursor.Position();
    cursor.Skip(4);
    if (!cursor.Ok()) {
        return 1;
    }
    if (LengthType(lengthFlags, kPacketLengthShift) == 0) {
        frame.packetLength = packet.size();
    }
    if (frame.padding > frame.packetLength || frame.packetLength > packet.size()) {
        return 1;
    }
    onFrame(frame);

    cursor.Skip(2);  // Duration
    const bool multiple = lengthFlags & kMultiplePayloads;
    const uint8_t first = cursor.ReadU8();  // payload flags, or the single stream number
    const unsigned count = multiple ? (first & kPayloadCountMask) : 1;
    const uint64_t payloadEnd = packet.size() - frame.padding;
    for (unsigned i = 0; i < count && cursor.Ok(); ++i) {
        PayloadView payload;
        payload.streamByte = multiple ? static_cast<uint8_t>(ReadVarField(
                                            cursor, LengthType(propertyFlags, kStreamNumberShift)))
                                      : first;
        payload.objectNumber = ReadVarField(cursor, LengthType(propertyFlags, kObjectNumberShift));
        payload.objectOffset = ReadVarField(cursor, LengthType(propertyFlags, kOffsetShift));
        payload.replicatedLength =
            ReadVarField(cursor, LengthType(propertyFlags, kReplicatedShift));
        payload.replicatedAt = cursor.Position();
        cursor.Skip(payload.replicatedLength);
        uint64_t payloadLength;
        if (multiple) {
            payloadLength = cursor.ReadU16();
        } else {
            const uint64_t used = cursor.Position() + frame.padding;
            if (used > frame.packetLength) {
                return 1;
            }
            payloadLength = frame.packetLength - used;
        }
        cursor.Skip(payloadLength);
        if (cursor.Ok() && cursor.Position() > payloadEnd) {
            return 1;
        }
        if (cursor.Ok() && !onPayload(payload)) {
            return 0;
        }
    }
    return cursor.Ok() ? 0 : 1;
}

// Every rewrite of packet times: the Send Time and each payload's
// presentation time go through newTime, and the padding is zeroed.
template <typename NewTime>
int RewritePacketTimes(std::span<uint8_t> packet, const NewTime& newTime) {
    const auto rewrite = [&](size_t at) {
        tapewell::WriteLe32(&packet[at], newTime(ReadLe32(&packet[at])));
    };
    const auto onFrame = [&](const PacketFrame& frame) {
        rewrite(frame.sendTimeAt);
        std::fill(packet.begin() + static_cast<ptrdiff_t>(frame.packetLength - frame.padding),
                  packet.begin() + static_cast<ptrdiff_t>(frame.packetLength), uint8_t{0});
    };
    const auto onPayload = [&](const PayloadView& payload) {
        // Eight bytes of replicated data are the media object size and its
        // presentation time.
        if (payload.replicatedLength == 8) {
            rewrite(payload.replicatedAt + 4);
        }
        return true;
    };
    return WalkPacket(packet, onFrame, onPayload);
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

bool StartsKeyFrame(std::span<const uint8_t> packet, std::span<const uint8_t> videoStreamNumbers) {
    bool key = false;
    const auto onPayload = [&](const PayloadView& payload) {
        const uint8_t stream = payload.streamByte & kStreamNumberMask;
        // A compressed payload holds whole media objects; its offset field
        // is a presentation time.
        const bool starts =
            payload.replicatedLength == kCompressedReplicated || payload.objectOffset == 0;
        if (!starts || std::find(videoStreamNumbers.begin(), videoStreamNumbers.end(), stream) ==
                           videoStreamNumbers.end()) {
            return true;  // audio, or the tail of an object begun in an earlier packet
        }
        // The first video object that begins here decides: a player shown a
        // P-frame before the key frame has nothing to draw it on.
        key = (payload.streamByte & kKeyFrameBit) != 0;
        return false;
    };
    WalkPacket(
        packet, [](const PacketFrame&) {}, onPayload);
    return key;
}

int ForEachPayload(std::span<const uint8_t> packet,
                   const std::function<bool(const PayloadInfo&)>& visit) {
    const auto onPayload = [&](const PayloadView& payload) {
        PayloadInfo info;
        info.stream = payload.streamByte & kStreamNumberMask;
        info.keyFrame = (payload.streamByte & kKeyFrameBit) != 0;
        info.objectNumber = payload.objectNumber;
        info.objectOffset = payload.objectOffset;
        info.compressed = payload.replicatedLength == kCompressedReplicated;
        if (info.compressed) {
            info.hasTime = true;
            info.presentationTime = payload.objectOffset;
        } else if (payload.replicatedLength >= 8) {
            // The walk has checked that the replicated data lies in the packet.
            info.hasTime = true;
            info.presentationTime = ReadLe32(&packet[payload.replicatedAt + 4]);
        }
        return visit(info);
    };
    return WalkPacket(
        packet, [](const PacketFrame&) {}, onPayload);
}

void ForEachHeaderObject(std::span<const uint8_t> header,
                         const std::function<void(std::span<const uint8_t>)>& visit) {
    constexpr size_t kFirstObject = asf::kObjectHeaderSize + asf::kHeaderInfoSize;
    if (header.size() < kFirstObject) {
        return;
    }
    const uint64_t headerSize = std::min<uint64_t>(ReadLe64(&header[16]), header.size());
    uint64_t at = kFirstObject;
    while (at + asf::kObjectHeaderSize <= headerSize) {
        const uint64_t size = ReadLe64(&header[at + 16]);
        if (size < asf::kObjectHeaderSize || size > headerSize - at) {
            break;
        }
        visit(header.subspan(at, size));
        at += size;
    }
}

std::vector<uint8_t> VideoStreamNumbers(std::span<const uint8_t> header) {
    std::vector<uint8_t> numbers;
    ForEachHeaderObject(header, [&numbers](std::span<const uint8_t> object) {
        if (object.size() >= kStreamFlagsAt + 2 &&
            Guid::FromBytes(object) == guids::kStreamProperties &&
            Guid::FromBytes(object.subspan(asf::kObjectHeaderSize)) == guids::kVideoMedia) {
            const uint8_t number = ReadLe16(&object[kStreamFlagsAt]) & kStreamNumberMask;
            if (std::find(numbers.begin(), numbers.end(), number) == numbers.end()) {
                numbers.push_back(number);
            }
        }
    });
    return numbers;
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

}  // namespace tapewell::AsfPacketTools
