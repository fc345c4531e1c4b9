#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "asf/AsfGuids.h"
#include "common/ByteSource.h"

namespace tapewell {

namespace asf {
inline constexpr size_t kObjectHeaderSize = 24;  // Object ID + Object Size
inline constexpr size_t kObjectSizeField = 16;   // Object Size, after the Object ID
inline constexpr size_t kHeaderInfoSize = 6;     // header objects count + 2 reserved bytes
inline constexpr size_t kFilePropertiesObjectSize = 104;
inline constexpr size_t kFilePropertiesBodySize = 80;
// A File Properties body this long or longer is not trusted and not read.
inline constexpr size_t kFilePropertiesUnreadBody = 81;
inline constexpr size_t kStreamPropertiesFixedSize = 54;
inline constexpr size_t kWaveFormatSize = 18;
inline constexpr size_t kVideoImageInfoSize = 11;  // width, height, flags, format data size
inline constexpr size_t kBitmapInfoHeaderSize = 40;
inline constexpr size_t kDataObjectBodySize = 26;    // File ID, Total Data Packets, Reserved
inline constexpr size_t kDataObjectHeaderSize = 50;  // object header + body

// Field offsets from the first byte of the File Properties object; the body
// kept by the parser starts at kObjectHeaderSize.
namespace fp {
inline constexpr size_t kFileId = 24;
inline constexpr size_t kFileSize = 40;
inline constexpr size_t kCreationDate = 48;
inline constexpr size_t kDataPacketsCount = 56;
inline constexpr size_t kPlayDuration = 64;
inline constexpr size_t kSendDuration = 72;
inline constexpr size_t kPreroll = 80;
inline constexpr size_t kFlags = 88;
inline constexpr size_t kMinPacketSize = 92;
inline constexpr size_t kMaxPacketSize = 96;
inline constexpr size_t kMaxBitrate = 100;
}  // namespace fp

// Field offsets from the first byte of the Data object; its packets follow
// the kDataObjectHeaderSize bytes.
namespace data {
inline constexpr size_t kFileId = 24;
inline constexpr size_t kTotalDataPackets = 40;
inline constexpr size_t kReserved = 48;
}  // namespace data

// Field offsets from the first byte of the Simple Index object; its entries
// (Packet Number, Packet Count) start at kEntries.
namespace si {
inline constexpr size_t kFileId = 24;
inline constexpr size_t kEntryTimeInterval = 40;
inline constexpr size_t kMaxPacketCount = 48;
inline constexpr size_t kEntriesCount = 52;
inline constexpr size_t kEntries = 56;
}  // namespace si
inline constexpr size_t kSimpleIndexEntrySize = 6;

inline constexpr uint32_t kFlagBroadcast = 1;
inline constexpr uint32_t kFlagSeekable = 2;
}  // namespace asf

struct ObjectHeader {
    Guid id;
    uint64_t size = 0;  // Object Size, counting the 24 header bytes
};

// The 24-byte object header at `at`, or nothing when fewer bytes are there.
std::optional<ObjectHeader> ReadObjectHeader(ByteSource& source, uint64_t at);

// Whether an object at `at` can be walked: at least as long as its own
// header, a size without the top bit, and not running past the end.
bool ObjectFits(const ObjectHeader& header, uint64_t at, uint64_t sourceSize);

struct FileProperties {
    Guid fileId;
    uint64_t fileSize = 0;
    uint64_t creationDate = 0;
    uint64_t dataPacketsCount = 0;
    uint64_t playDuration = 0;  // 100 ns
    uint64_t sendDuration = 0;  // 100 ns
    uint64_t preroll = 0;       // ms
    uint32_t flags = 0;
    uint32_t minPacketSize = 0;
    uint32_t maxPacketSize = 0;
    uint32_t maxBitrate = 0;

    // From the 80-byte body; missing bytes read as zero.
    static FileProperties FromBody(std::span<const uint8_t> body);
    // From a whole object at the start of the span, or nothing when fewer
    // than 104 bytes are there.
    static std::optional<FileProperties> FromObject(std::span<const uint8_t> object);
};

// WAVEFORMATEX as stored in an audio stream's type-specific data.
struct WaveFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSecond = 0;
    uint32_t averageBytesPerSecond = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t extraSize = 0;

    static WaveFormat FromBytes(std::span<const uint8_t> bytes);
};

// BITMAPINFOHEADER as stored in a video stream's type-specific data.
struct BitmapInfoHeader {
    uint32_t size = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = 0;  // four-character code, first character in the low byte
    uint32_t imageSize = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t colorsUsed = 0;
    uint32_t colorsImportant = 0;

    static BitmapInfoHeader FromBytes(std::span<const uint8_t> bytes);
    // The compression code as text ("WMV2"); non-printable bytes become '?'.
    std::string CompressionText() const;
};

struct DataObjectBody {
    Guid fileId;
    uint64_t totalDataPackets = 0;
    uint16_t reserved = 0;

    static DataObjectBody FromBytes(std::span<const uint8_t> bytes);
};

struct ContentDescription {
    std::string title;
    std::string author;
    std::string copyright;
    std::string description;
    std::string rating;
};

}  // namespace tapewell
