#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "common/ErrorOr.h"

namespace tapewell {

class ByteSink;
class OutputFile;

// Where a recording's header lies in its file.
struct HeaderPlaces {
    uint64_t fileProperties = 0;         // the File Properties object's first byte
    std::optional<uint64_t> dataObject;  // the Data object's first byte; nothing when unknown
};

// How much of the Data object's Total Data Packets a patch writes. The
// streaming engines (MMS and the HTTP chunk loop) write its low 32 bits
// alone, leaving the high half as the server's header had it; the finish,
// the cutter and the web fetcher write all 64.
enum class PacketCountWidth { kFull, kLow32 };

// The File Properties and Data object fields a recording's header is made
// to carry once its packets are written. A field left empty keeps what the
// file holds.
struct HeaderFields {
    std::optional<uint64_t> fileSize;
    std::optional<uint64_t> dataPacketsCount;
    std::optional<uint64_t> playDuration;  // 100 ns
    std::optional<uint64_t> sendDuration;  // 100 ns
    std::optional<uint32_t> flags;
    std::optional<uint64_t> dataObjectSize;
    std::optional<uint64_t> totalDataPackets;
    PacketCountWidth totalDataPacketsWidth = PacketCountWidth::kFull;
};

// What a writer of a recording or a cut knows at its end about the packets
// it wrote.
struct WrittenPackets {
    uint64_t count = 0;
    uint64_t dataBytes = 0;       // the packets' bytes: count times the packet size
    uint32_t latestSendTime = 0;  // ms, on the time line as written
    uint64_t preroll = 0;         // ms, as the header gives it
};

// The fields that make a header describe the packets written rather than
// what the server announced: their count; Play Duration with the preroll
// counted in (players take the preroll off it), at most 2^64 - 1 for a
// preroll no stream has; Send Duration the latest send time; a Data object
// exactly as long as the packets; Flags seekable and no longer broadcast.
// otherFlags are the flag bits kept beside those two (the finish keeps the
// server's; the engines and the cutter write seekable alone). File Size is
// left empty: only the caller knows what follows the packets.
HeaderFields DescribeWritten(const WrittenPackets& written, uint32_t otherFlags = 0);

// Writes bytes at offset `at` of the file; the error says why not.
using HeaderFieldWriter = std::function<ErrorOr<void>(uint64_t at, std::span<const uint8_t> bytes)>;

// Writes each field that is set through write, File Properties first, and
// stops at the first failure, naming the field. Data object fields are left
// out when places gives no Data object.
ErrorOr<void> PatchHeader(const HeaderPlaces& places, const HeaderFields& fields,
                          const HeaderFieldWriter& write);
// The same on an output file, seeking to each field; the position is then
// after the last field written.
ErrorOr<void> PatchHeader(OutputFile& out, const HeaderPlaces& places, const HeaderFields& fields);
// The same on bytes already written to a sink.
ErrorOr<void> PatchHeader(ByteSink& out, const HeaderPlaces& places, const HeaderFields& fields);

}  // namespace tapewell
