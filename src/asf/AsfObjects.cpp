#include "asf/AsfObjects.h"

#include <algorithm>
#include <array>

#include "common/LittleEndian.h"

namespace tapewell {
namespace {

// The fixed-size record at the start of bytes, zero-filled where the input
// is shorter: a file that ends inside an object leaves the rest zero.
template <size_t N>
std::array<uint8_t, N> Padded(std::span<const uint8_t> bytes) {
    std::array<uint8_t, N> out{};
    std::copy_n(bytes.begin(), std::min(N, bytes.size()), out.begin());
    return out;
}

}  // namespace

std::optional<ObjectHeader> ReadObjectHeader(ByteSource& source, uint64_t at) {
    std::array<uint8_t, asf::kObjectHeaderSize> raw{};
    if (source.ReadAt(at, raw) != raw.size()) {
        return std::nullopt;
    }
    return ObjectHeader{Guid::FromBytes(raw), ReadLe64(&raw[16])};
}

bool ObjectFits(const ObjectHeader& header, uint64_t at, uint64_t sourceSize) {
    constexpr uint64_t kTopBit = uint64_t{1} << 63;
    return header.size >= asf::kObjectHeaderSize && !(header.size & kTopBit) && at <= sourceSize &&
           header.size <= sourceSize - at;
}

FileProperties FileProperties::FromBody(std::span<const uint8_t> body) {
    auto b = Padded<asf::kFilePropertiesBodySize>(body);
    auto at = [&](size_t objectOffset) { return &b[objectOffset - asf::kObjectHeaderSize]; };
    FileProperties fp;
    fp.fileId = Guid::FromBytes({at(asf::fp::kFileId), 16});
    fp.fileSize = ReadLe64(at(asf::fp::kFileSize));
    fp.creationDate = ReadLe64(at(asf::fp::kCreationDate));
    fp.dataPacketsCount = ReadLe64(at(asf::fp::kDataPacketsCount));
    fp.playDuration = ReadLe64(at(asf::fp::kPlayDuration));
    fp.sendDuration = ReadLe64(at(asf::fp::kSendDuration));
    fp.preroll = ReadLe64(at(asf::fp::kPreroll));
    fp.flags = ReadLe32(at(asf::fp::kFlags));
    fp.minPacketSize = ReadLe32(at(asf::fp::kMinPacketSize));
    fp.maxPacketSize = ReadLe32(at(asf::fp::kMaxPacketSize));
    fp.maxBitrate = ReadLe32(at(asf::fp::kMaxBitrate));
    return fp;
}

std::optional<FileProperties> FileProperties::FromObject(std::span<const uint8_t> object) {
    if (object.size() < asf::kFilePropertiesObjectSize) {
        return std::nullopt;
    }
    return FromBody(object.subspan(asf::kObjectHeaderSize, asf::kFilePropertiesBodySize));
}

WaveFormat WaveFormat::FromBytes(std::span<const uint8_t> bytes) {
    auto b = Padded<asf::kWaveFormatSize>(bytes);
    WaveFormat w;
    w.formatTag = ReadLe16(&b[0]);
    w.channels = ReadLe16(&b[2]);
    w.samplesPerSecond = ReadLe32(&b[4]);
    w.averageBytesPerSecond = ReadLe32(&b[8]);
    w.blockAlign = ReadLe16(&b[12]);
    w.bitsPerSample = ReadLe16(&b[14]);
    w.extraSize = ReadLe16(&b[16]);
    return w;
}

BitmapInfoHeader BitmapInfoHeader::FromBytes(std::span<const uint8_t> bytes) {
    auto b = Padded<asf::kBitmapInfoHeaderSize>(bytes);
    BitmapInfoHeader h;
    h.size = ReadLe32(&b[0]);
    h.width = static_cast<int32_t>(ReadLe32(&b[4]));
    h.height = static_cast<int32_t>(ReadLe32(&b[8]));
    h.planes = ReadLe16(&b[12]);
    h.bitCount = ReadLe16(&b[14]);
    h.compression = ReadLe32(&b[16]);
    h.imageSize = ReadLe32(&b[20]);
    h.xPelsPerMeter = static_cast<int32_t>(ReadLe32(&b[24]));
    h.yPelsPerMeter = static_cast<int32_t>(ReadLe32(&b[28]));
    h.colorsUsed = ReadLe32(&b[32]);
    h.colorsImportant = ReadLe32(&b[36]);
    return h;
}

std::string BitmapInfoHeader::CompressionText() const {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        auto c = static_cast<char>(compression >> (8 * i));
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

DataObjectBody DataObjectBody::FromBytes(std::span<const uint8_t> bytes) {
    auto b = Padded<asf::kDataObjectBodySize>(bytes);
    DataObjectBody d;
    d.fileId = Guid::FromBytes({b.data(), 16});
    d.totalDataPackets = ReadLe64(&b[16]);
    d.reserved = ReadLe16(&b[24]);
    return d;
}

}  // namespace tapewell
