#include "support/MultiStreamClip.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "asf/AsfGuids.h"
#include "asf/AsfObjects.h"
#include "common/LittleEndian.h"

namespace tapewell::test {
namespace {

using guids::kBitrateMutualExclusion;
using guids::kExtendedStreamProperties;
using guids::kStreamPrioritization;

constexpr Guid kMutexBitrate =
    Guid::Make(0xD6E22A01, 0x35DA, 0x11D1, {0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE});

struct Stream {
    uint16_t number;
    uint32_t bitrate;
    uint64_t frameTime;  // 100 ns; 0 for sound
};
constexpr Stream kStreams[] = {{kLowVideoStream, kLowVideoBitrate, 666'667},
                               {kHighVideoStream, kHighVideoBitrate, 666'667},
                               {kAudioStream, kAudioBitrate, 0}};

// An object under construction: its GUID, a size filled in by Done.
class Object {
public:
    explicit Object(const Guid& id) : m_bytes(id.bytes.begin(), id.bytes.end()) { U64(0); }
    Object& U16(uint16_t v) { return Le(v, 2); }
    Object& U32(uint32_t v) { return Le(v, 4); }
    Object& U64(uint64_t v) { return Le(v, 8); }
    Object& Id(const Guid& id) {
        m_bytes.insert(m_bytes.end(), id.bytes.begin(), id.bytes.end());
        return *this;
    }
    std::vector<uint8_t> Done() {
        WriteLe64(&m_bytes[asf::kObjectSizeField], m_bytes.size());
        return m_bytes;
    }

private:
    Object& Le(uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            m_bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
        return *this;
    }
    std::vector<uint8_t> m_bytes;
};

std::vector<uint8_t> ExtendedStreamProperties(const Stream& s) {
    Object o(kExtendedStreamProperties);
    o.U64(0).U64(0);                       // start and end time
    o.U32(s.bitrate).U32(3000).U32(3000);  // data bitrate, buffer size, initial fullness
    o.U32(s.bitrate).U32(3000).U32(3000);  // the same for the alternate values
    o.U32(0).U32(0);                       // maximum object size, flags
    o.U16(s.number).U16(0).U64(s.frameTime);
    o.U16(0).U16(0);  // no names, no payload extension systems
    return o.Done();
}

std::vector<uint8_t> ServerObjects() {
    Object bitrates(guids::kStreamBitrateProperties);
    bitrates.U16(std::size(kStreams));
    for (const Stream& s : kStreams) {
        bitrates.U16(s.number).U32(s.bitrate);
    }
    Object exclusion(kBitrateMutualExclusion);
    exclusion.Id(kMutexBitrate).U16(2).U16(kLowVideoStream).U16(kHighVideoStream);
    std::vector<uint8_t> objects = bitrates.Done();
    const std::vector<uint8_t> more = exclusion.Done();
    objects.insert(objects.end(), more.begin(), more.end());
    return objects;
}

std::vector<uint8_t> ExtensionObjects() {
    std::vector<uint8_t> objects;
    for (const Stream& s : kStreams) {
        const std::vector<uint8_t> esp = ExtendedStreamProperties(s);
        objects.insert(objects.end(), esp.begin(), esp.end());
    }
    Object priorities(kStreamPrioritization);
    priorities.U16(std::size(kStreams));
    for (const Stream& s : kStreams) {
        priorities.U16(s.number).U16(s.number == kAudioStream ? 1 : 0);  // sound is mandatory
    }
    const std::vector<uint8_t> more = priorities.Done();
    objects.insert(objects.end(), more.begin(), more.end());
    return objects;
}

// The file's header with the server's objects added, sizes and counts made
// right; the rest of the file follows unchanged.
std::vector<uint8_t> WithServerObjects(const std::vector<uint8_t>& file) {
    constexpr size_t kFirst = asf::kObjectHeaderSize + asf::kHeaderInfoSize;
    const uint64_t headerSize = ReadLe64(&file[asf::kObjectSizeField]);
    std::vector<uint8_t> out(file.begin(), file.begin() + kFirst);
    uint32_t count = ReadLe32(&file[asf::kObjectHeaderSize]);
    size_t propertiesAt = 0;
    for (size_t at = kFirst; at + asf::kObjectHeaderSize <= headerSize;) {
        const uint64_t size = ReadLe64(&file[at + asf::kObjectSizeField]);
        const Guid id = Guid::FromBytes(std::span(file).subspan(at));
        const size_t start = out.size();
        out.insert(out.end(), file.begin() + at, file.begin() + at + size);
        if (id == guids::kFileProperties) {
            propertiesAt = start;
        } else if (id == guids::kHeaderExtension) {
            const std::vector<uint8_t> added = ExtensionObjects();
            out.insert(out.end(), added.begin(), added.end());
            WriteLe64(&out[start + asf::kObjectSizeField], out.size() - start);
            WriteLe32(&out[start + 42], static_cast<uint32_t>(out.size() - start - 46));
        }
        at += size;
    }
    const std::vector<uint8_t> added = ServerObjects();
    out.insert(out.end(), added.begin(), added.end());
    count += 2;
    WriteLe64(&out[asf::kObjectSizeField], out.size());
    WriteLe32(&out[asf::kObjectHeaderSize], count);
    const uint64_t grown = out.size() - headerSize;
    out.insert(out.end(), file.begin() + headerSize, file.end());
    WriteLe64(&out[propertiesAt + asf::fp::kFileSize],
              ReadLe64(&out[propertiesAt + asf::fp::kFileSize]) + grown);
    return out;
}

}  // namespace

AsfClip MakeMultiStreamClip(const std::filesystem::path& path, double seconds) {
    const std::filesystem::path made = path.string() + ".ffmpeg.asf";
    const CommandResult r = Run({"ffmpeg",
                                 "-hide_banner",
                                 "-loglevel",
                                 "error",
                                 "-y",
                                 "-f",
                                 "lavfi",
                                 "-i",
                                 "testsrc2=size=160x120:rate=15",
                                 "-f",
                                 "lavfi",
                                 "-i",
                                 "sine=frequency=440:sample_rate=22050",
                                 "-map",
                                 "0:v",
                                 "-map",
                                 "0:v",
                                 "-map",
                                 "1:a",
                                 "-t",
                                 std::to_string(seconds),
                                 "-c:v",
                                 "wmv2",
                                 "-b:v:0",
                                 "200k",
                                 "-b:v:1",
                                 "600k",
                                 "-g",
                                 "15",
                                 "-c:a",
                                 "wmav2",
                                 "-b:a",
                                 "64k",
                                 "-ac",
                                 "1",
                                 "-packet_size",
                                 "3200",
                                 "-f",
                                 "asf",
                                 made.string()});
    if (r.exitCode != 0) {
        ADD_FAILURE() << "ffmpeg failed (" << r.exitCode << "): " << r.err;
        return {};
    }
    WriteFileBytes(path, WithServerObjects(ReadFileBytes(made)));
    std::filesystem::remove(made);
    return AsfClip::Read(path);
}

}  // namespace tapewell::test
