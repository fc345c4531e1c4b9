#include "support/AsfClip.h"

#include <gtest/gtest.h>

#include "asf/AsfInfo.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"

namespace tapewell::test {

AsfClip AsfClip::Make(const std::filesystem::path& path, const AsfRecipe& recipe) {
    EXPECT_TRUE(MakeAsf(path, recipe));
    return Read(path);
}

AsfClip AsfClip::Read(const std::filesystem::path& path) {
    AsfClip clip;
    clip.path = path;
    clip.bytes = ReadFileBytes(path);
    AsfInfo info;
    const ErrorOr<void> parsed = info.Parse(path);
    EXPECT_TRUE(parsed) << parsed.error().message;
    if (!info.GetObjects().empty()) {
        clip.headerSize = info.GetObjects().front().size;
    }
    clip.packetSize = info.GetFileProperties().minPacketSize;
    clip.packetCount = info.GetDataObject().totalDataPackets;
    EXPECT_LE(clip.RecordingSize(clip.packetCount), clip.bytes.size()) << path;
    return clip;
}

std::vector<uint8_t> AsfClip::StreamHeader() const {
    return {bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(DataStart())};
}

std::span<const uint8_t> AsfClip::Packet(uint64_t n) const {
    return std::span(bytes).subspan(DataStart() + n * packetSize, packetSize);
}

std::vector<uint8_t> AsfClip::WholeRecording() const {
    std::vector<uint8_t> recording(
        bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(RecordingSize(packetCount)));
    WriteLe64(&recording[PropertiesOffset() + asf::fp::kFileSize], recording.size());
    return recording;
}

size_t AsfClip::PropertiesOffset() const {
    return static_cast<size_t>(AsfPacketTools::FindFileProperties(bytes));
}

}  // namespace tapewell::test
