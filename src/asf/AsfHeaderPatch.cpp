#include "asf/AsfHeaderPatch.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "asf/AsfObjects.h"
#include "common/ByteSink.h"
#include "common/LittleEndian.h"
#include "common/OutputFile.h"

namespace tapewell {
namespace {

constexpr uint64_t kHundredNsPerMs = 10'000;

// (latestMs + prerollMs) in 100 ns, held at the top of the field where a
// lying header's preroll would carry past it.
uint64_t PlayDuration(uint64_t latestMs, uint64_t prerollMs) {
    constexpr uint64_t kMaxMs = UINT64_MAX / kHundredNsPerMs;
    if (prerollMs > kMaxMs || latestMs > kMaxMs - prerollMs) {
        return UINT64_MAX;
    }
    return (latestMs + prerollMs) * kHundredNsPerMs;
}

ErrorOr<void> PutField(const HeaderFieldWriter& write, uint64_t at, std::span<const uint8_t> bytes,
                       const char* name) {
    if (auto written = write(at, bytes); !written) {
        return Error{written.error().code, std::string("cannot write the header's ") + name + ": " +
                                               written.error().message};
    }
    return {};
}

ErrorOr<void> Put64(const HeaderFieldWriter& write, uint64_t at, uint64_t value, const char* name) {
    uint8_t b[8];
    WriteLe64(b, value);
    return PutField(write, at, b, name);
}

ErrorOr<void> Put32(const HeaderFieldWriter& write, uint64_t at, uint32_t value, const char* name) {
    uint8_t b[4];
    WriteLe32(b, value);
    return PutField(write, at, b, name);
}

// The reason a write just failed: errno when the call set one.
Error WriteFailure(int savedErrno) {
    const int code = savedErrno != 0 ? savedErrno : EIO;
    return Error::FromErrno(code, std::strerror(code));
}

}  // namespace

HeaderFields DescribeWritten(const WrittenPackets& written, uint32_t otherFlags) {
    HeaderFields fields;
    fields.dataPacketsCount = written.count;
    fields.playDuration = PlayDuration(written.latestSendTime, written.preroll);
    fields.sendDuration = uint64_t{written.latestSendTime} * kHundredNsPerMs;
    fields.flags = (otherFlags & ~asf::kFlagBroadcast) | asf::kFlagSeekable;
    fields.dataObjectSize = written.dataBytes + asf::kDataObjectHeaderSize;
    fields.totalDataPackets = written.count;
    return fields;
}

ErrorOr<void> PatchHeader(const HeaderPlaces& places, const HeaderFields& fields,
                          const HeaderFieldWriter& write) {
    const uint64_t f = places.fileProperties;
    struct Field64 {
        const std::optional<uint64_t>& value;
        size_t at;
        const char* name;
    };
    for (const Field64& field :
         {Field64{fields.fileSize, asf::fp::kFileSize, "File Size"},
          Field64{fields.dataPacketsCount, asf::fp::kDataPacketsCount, "Data Packets Count"},
          Field64{fields.playDuration, asf::fp::kPlayDuration, "Play Duration"},
          Field64{fields.sendDuration, asf::fp::kSendDuration, "Send Duration"}}) {
        if (field.value) {
            if (auto put = Put64(write, f + field.at, *field.value, field.name); !put) {
                return put;
            }
        }
    }
    if (fields.flags) {
        if (auto put = Put32(write, f + asf::fp::kFlags, *fields.flags, "Flags"); !put) {
            return put;
        }
    }
    if (!places.dataObject) {
        return {};
    }
    const uint64_t d = *places.dataObject;
    if (fields.dataObjectSize) {
        if (auto put =
                Put64(write, d + asf::kObjectSizeField, *fields.dataObjectSize, "Data object size");
            !put) {
            return put;
        }
    }
    if (!fields.totalDataPackets) {
        return {};
    }
    const uint64_t at = d + asf::data::kTotalDataPackets;
    if (fields.totalDataPacketsWidth == PacketCountWidth::kLow32) {
        return Put32(write, at, static_cast<uint32_t>(*fields.totalDataPackets),
                     "Total Data Packets");
    }
    return Put64(write, at, *fields.totalDataPackets, "Total Data Packets");
}

ErrorOr<void> PatchHeader(OutputFile& out, const HeaderPlaces& places, const HeaderFields& fields) {
    return PatchHeader(places, fields, [&out](uint64_t at, std::span<const uint8_t> bytes) {
        errno = 0;
        if (!out.Seek(at) || !out.Write(bytes)) {
            return ErrorOr<void>(WriteFailure(errno));
        }
        return ErrorOr<void>();
    });
}

ErrorOr<void> PatchHeader(ByteSink& out, const HeaderPlaces& places, const HeaderFields& fields) {
    return PatchHeader(places, fields, [&out](uint64_t at, std::span<const uint8_t> bytes) {
        return out.WriteAt(at, bytes);
    });
}

}  // namespace tapewell
