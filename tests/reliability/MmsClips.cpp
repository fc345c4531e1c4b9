#include "MmsClips.h"

#include <gtest/gtest.h>

#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"

namespace tapewell::test {
namespace {

constexpr uint64_t kDataObjectHeadSize = 50;
constexpr uint64_t kTotalDataPacketsField = 40;  // in the Data object

}  // namespace

const MmsClips& MmsClips::Get() {
    static TempDir folder;
    static MmsClips clips = [] {
        MmsClips made;
        made.root = folder.Path();
        AsfRecipe clip;
        clip.seconds = 2.0;
        clip.videoBitrate = "800k";
        MakeAsf(folder / "clip.asf", clip);
        AsfRecipe tiny;
        tiny.seconds = 1.0;
        tiny.video = false;
        tiny.packetSize = 1000;
        MakeAsf(folder / "tiny.asf", tiny);
        made.clip = ReadFileBytes(folder / "clip.asf");
        if (made.clip.size() > 30 &&
            ReadLe64(&made.clip[16]) + kDataObjectHeadSize <= made.clip.size()) {
            made.headerSize = ReadLe64(&made.clip[16]) + kDataObjectHeadSize;
            made.packetCount = ReadLe64(
                &made.clip[made.headerSize - kDataObjectHeadSize + kTotalDataPacketsField]);
            const int fp = AsfPacketTools::FindFileProperties(made.clip);
            if (fp > 0) {
                made.packetSize =
                    ReadLe32(&made.clip[static_cast<size_t>(fp) + asf::fp::kMinPacketSize]);
            }
        }
        return made;
    }();
    return clips;
}

}  // namespace tapewell::test
