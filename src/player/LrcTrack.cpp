#include "player/LrcTrack.h"

#include <cinttypes>
#include <cstdio>

namespace tapewell {
namespace {

constexpr size_t kTypeFindBytes = 129;

void AppendOneLine(std::string& out, const std::string& text) {
    for (char c : text) {
        out += (c == '\r' || c == '\n' || c == '\0') ? ' ' : c;
    }
}

}  // namespace

std::string LrcTrack(const std::vector<CaptionCue>& cues) {
    std::string out = "[re:tapewell captions";
    out.append(kTypeFindBytes, ' ');
    out += "]\n";
    for (const CaptionCue& cue : cues) {
        // Always three digits of milliseconds: the parser reads two digits
        // as hundredths.
        char stamp[40];
        std::snprintf(stamp, sizeof(stamp), "[%02" PRIu64 ":%02" PRIu64 ".%03" PRIu64 "]",
                      cue.startMs / 60000, cue.startMs / 1000 % 60, cue.startMs % 1000);
        out += stamp;
        AppendOneLine(out, cue.text);
        out += '\n';
    }
    return out;
}

}  // namespace tapewell
