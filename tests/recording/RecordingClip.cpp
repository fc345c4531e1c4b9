#include "RecordingClip.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"

namespace tapewell::test {

const RecordingClip& RecordingClip::Get() {
    static TempDir root;
    static RecordingClip clip = [] {
        RecordingClip made;
        made.path = root / "clip.asf";
        AsfRecipe recipe;
        recipe.seconds = 4.0;
        recipe.videoBitrate = "800k";
        MakeAsf(made.path, recipe);
        made.bytes = ReadFileBytes(made.path);
        return made;
    }();
    return clip;
}

HeaderCheck CheckHeader(const std::vector<uint8_t>& file) {
    HeaderCheck check;
    const int at = AsfPacketTools::FindFileProperties(file);
    if (at < 0 || file.size() < 30) {
        return check;
    }
    const auto base = static_cast<size_t>(at);
    check.fileSizeField = ReadLe64(&file[base + asf::fp::kFileSize]);
    check.packetsField = ReadLe64(&file[base + asf::fp::kDataPacketsCount]);
    check.packetSize = ReadLe32(&file[base + asf::fp::kMinPacketSize]);
    const uint64_t headerSize = ReadLe64(&file[16]);
    if (headerSize + 24 > file.size()) {
        return check;
    }
    // The Data object holds exactly the counted packets; an index may follow.
    const uint64_t dataSize = ReadLe64(&file[headerSize + 16]);
    check.matchesFile = check.fileSizeField == file.size() && check.packetSize != 0 &&
                        dataSize == 50 + check.packetsField * check.packetSize &&
                        headerSize + dataSize <= file.size();
    return check;
}

void ExpectLikeClip(const std::filesystem::path& file) {
    const ProbeReport report = Probe(file);
    EXPECT_EQ(report.Get("format.nb_streams"), "2") << file;
    const double duration = std::atof(report.Get("format.duration").c_str());
    EXPECT_NEAR(duration, 4.0, 0.5) << file;
}

}  // namespace tapewell::test
