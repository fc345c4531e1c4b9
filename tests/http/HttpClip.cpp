#include "HttpClip.h"

#include "common/LittleEndian.h"

namespace tapewell::test {

const TempDir& HttpClip::Root() {
    static TempDir dir;
    return dir;
}

const HttpClip& HttpClip::Get() {
    static const HttpClip clip = [] {
        AsfRecipe recipe;
        recipe.seconds = 3;
        return HttpClip{AsfClip::Make(Root() / "clip.asf", recipe)};
    }();
    return clip;
}

void AppendChunk(std::vector<uint8_t>& out, char type, uint32_t sequence, uint8_t flags,
                 std::span<const uint8_t> body) {
    const size_t at = out.size();
    out.resize(at + 12);
    out[at] = '$';
    out[at + 1] = static_cast<uint8_t>(type);
    WriteLe16(&out[at + 2], static_cast<uint16_t>(8 + body.size()));
    WriteLe32(&out[at + 4], sequence);
    out[at + 8] = 0;
    out[at + 9] = flags;
    WriteLe16(&out[at + 10], static_cast<uint16_t>(8 + body.size()));
    out.insert(out.end(), body.begin(), body.end());
}

}  // namespace tapewell::test
