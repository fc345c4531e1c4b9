#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tapewell {

// One caption of a SAMI file: from startMs on (until the next cue) the
// caption band shows `text`, the cue's markup as written in the file (its
// paragraph tags included), in UTF-8.
struct CaptionCue {
    uint64_t startMs = 0;
    std::string text;
};

// Reads the cues of a SAMI caption file, sorted by start time. The bytes may
// be UTF-8 (with or without a byte-order mark), UTF-16LE with a byte-order
// mark, or else code page 949. Only the first caption language is kept: the
// first class the file's style sheet declares (or, without one, the first
// paragraph class of its body); paragraphs without a class belong to every
// language, and a cue with paragraphs of other languages only is left out.
// A cue of just "&nbsp;" is kept: it is how a file clears the caption.
// Bounded by the caption limits: at most kMaxSamiCues cues of at most
// kMaxCaptionTextBytes each; cues with a missing or absurd start are skipped.
std::vector<CaptionCue> ReadSami(std::span<const uint8_t> bytes);

// The caption file of a media address: the address with its file name's
// extension replaced by ".smi", or ".smi" appended when the file name has
// none ("/a/clip.asf" gives "/a/clip.smi").
std::string CaptionPathFor(std::string_view address);

}  // namespace tapewell
