// SAMI caption reader: any bytes must read without fault, every cue must
// keep its bounds, its cleaned text must be no longer than its markup and
// stay valid UTF-8, and the caption track made from the cues must hold one
// line per cue.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "common/Limits.h"
#include "common/TextCodec.h"
#include "player/HtmlToText.h"
#include "player/LrcTrack.h"
#include "player/SamiReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto cues = tapewell::ReadSami({data, size});
    for (const auto& cue : cues) {
        if (cue.text.size() > tapewell::limits::kMaxCaptionTextBytes ||
            cue.startMs > tapewell::limits::kMaxSamiStartMs) {
            std::abort();
        }
        const std::string text = tapewell::HtmlToText(cue.text);
        if (text.size() > cue.text.size() ||
            (tapewell::IsValidUtf8(cue.text) && !tapewell::IsValidUtf8(text))) {
            std::abort();
        }
    }
    std::string track = tapewell::LrcTrack(cues);
    if (static_cast<size_t>(std::count(track.begin(), track.end(), '\n')) != cues.size() + 1) {
        std::abort();
    }
    return 0;
}
