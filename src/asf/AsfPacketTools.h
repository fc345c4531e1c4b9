#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <vector>

#include "common/ByteCursor.h"
#include "common/LittleEndian.h"

// Stateless routines for ASF data packets and little-endian fields, shared by
// every writer and reader of ASF. Safe to call from any thread at once.
namespace tapewell::AsfPacketTools {

// The packet layouts SendTimeOffset knows. kAll: every one the recorders
// handle. kWithoutBarePacketLength: all but a Packet Length given without a
// Padding Length (length type flags 0x40, 0x41), which the framed HTTP
// streams do not use; their chunk loop reports such a packet as foreign
// rather than read a time from it.
enum class SendTimeLayouts { kAll, kWithoutBarePacketLength };

// Offset of Send Time within a packet, from its length type flags byte
// (byte 3) alone; -1 for a byte outside the layouts known, or a packet too
// short to have that byte.
int SendTimeOffset(std::span<const uint8_t> packet,
                   SendTimeLayouts layouts = SendTimeLayouts::kAll);

// Moves every time in the packet so that baseTime (ms) becomes 0: the Send
// Time and, for payloads with 8 bytes of replicated data, the presentation
// time; a time at or below the base becomes 0. Padding bytes are zeroed.
// packet is the whole packet (its size is the file's packet size). Returns 0
// when the walk ended cleanly, 1 when the packet was not handled or its
// layout ran out of bounds; bytes before the point of failure may already be
// rewritten. Nothing outside the span is read or written.
int RebasePacketTimes(std::span<uint8_t> packet, uint32_t baseTime);

// The same walk moving every time later by delta ms (modulo 2^32), as a
// stream that repeats its content must do on each new round.
int ShiftPacketTimes(std::span<uint8_t> packet, uint32_t delta);

// The same walk moving every time by delta ms, which may be negative; a
// result below 0 becomes 0 and one above 2^32 - 1 becomes 2^32 - 1.
int MovePacketTimes(std::span<uint8_t> packet, int64_t delta);

// Calls visit with each top-level object inside an ASF Header object, in
// order. An object whose size field runs past the header's end or the
// span's end ends the walk; what follows the Header object is not looked at.
void ForEachHeaderObject(std::span<const uint8_t> header,
                         const std::function<void(std::span<const uint8_t>)>& visit);

// Whether the first media object of the given streams that begins in the
// packet is a key frame: its payload has the key frame bit set and offset
// 0 into its object (a compressed payload holds whole objects); the tails
// of objects begun in earlier packets do not count, a frame that is not a
// key frame before it does. Payloads are looked at only as far as the packet's layout stays
// within the span; a packet the recorders do not handle holds none.
bool StartsKeyFrame(std::span<const uint8_t> packet, std::span<const uint8_t> videoStreamNumbers);

// One payload of a data packet, as ForEachPayload finds it.
struct PayloadInfo {
    uint8_t stream = 0;  // stream number, without the key frame bit
    bool keyFrame = false;
    uint32_t objectNumber = 0;  // media object number
    // Offset into the media object; a compressed payload's presentation time.
    uint32_t objectOffset = 0;
    // Replicated data length 1: the payload holds whole media objects, each
    // with its own size byte, and its offset field is the presentation time.
    bool compressed = false;
    // Whether the payload carries a presentation time: compressed, or with
    // replicated data of at least 8 bytes (media object size, then the time).
    bool hasTime = false;
    uint32_t presentationTime = 0;  // ms, preroll included
};

// Calls visit with each payload of the packet whose header and data lie
// within the packet, in order; visit returning false ends the walk there.
// Returns 0 when the walk ended cleanly (or visit ended it), 1 when the
// packet is not one the recorders handle or its layout runs out of bounds,
// in which case the payloads before the point of failure have already been
// visited. Nothing outside the span is read.
int ForEachPayload(std::span<const uint8_t> packet,
                   const std::function<bool(const PayloadInfo&)>& visit);

// The numbers of the video streams the ASF Header object declares in its
// top-level Stream Properties objects, each once. Objects that run past the
// header's or the span's end end the walk.
std::vector<uint8_t> VideoStreamNumbers(std::span<const uint8_t> header);

// Offset of the first File Properties GUID in the buffer, or -1. Positions 0
// up to size - 17 are tried.
int FindFileProperties(std::span<const uint8_t> buffer);

// A variable-size field whose size is given by a 2-bit length type: 0 absent
// (value 0), 1 one byte, 2 two bytes, 3 four bytes. Other codes read nothing.
uint32_t ReadVarField(ByteCursor& cursor, unsigned lengthType);

using tapewell::ReadLe16;
using tapewell::ReadLe32;
using tapewell::ReadLe64;
using tapewell::WriteLe32;

// The two 32-bit halves of a 64-bit little-endian field.
struct Le64Halves {
    uint32_t high;
    uint32_t low;
};
inline Le64Halves ReadLe64Halves(const uint8_t* p) {
    return {ReadLe32(p + 4), ReadLe32(p)};
}

}  // namespace tapewell::AsfPacketTools
