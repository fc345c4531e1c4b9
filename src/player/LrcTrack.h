#pragma once

#include <string>
#include <vector>

#include "player/SamiReader.h"

namespace tapewell {

// The cues as an LRC timed-text track ("[mm:ss.mmm]text" lines), the one
// subtitle format that GStreamer's subtitle parser hands on verbatim: its
// SAMI reader turns entities into characters, drops text it cannot parse
// and joins cues that share a line, while captions must reach the caption
// band as their markup so that HtmlToText cleans them. A cue's line breaks
// become spaces (the format has one line per cue, and in markup a line break
// is a space anyway). The track opens with a tag line, which the parser
// skips, long enough for GStreamer's type detection, which needs 129 bytes
// to recognise a subtitle file.
std::string LrcTrack(const std::vector<CaptionCue>& cues);

}  // namespace tapewell
