#include "MmsClips.h"

namespace tapewell::test {

const MmsClips& MmsClips::Get() {
    static TempDir folder;
    static const MmsClips clips = [] {
        AsfRecipe clip;
        clip.seconds = 2.0;
        clip.videoBitrate = "800k";
        AsfRecipe tiny;
        tiny.seconds = 1.0;
        tiny.video = false;
        tiny.packetSize = 1000;
        MakeAsf(folder / "tiny.asf", tiny);
        return MmsClips{folder.Path(), AsfClip::Make(folder / "clip.asf", clip)};
    }();
    return clips;
}

}  // namespace tapewell::test
