#pragma once

#include <string>
#include <string_view>

namespace tapewell {

// Cleans a caption's markup for the caption band: tags are dropped with
// their attributes, a "br" tag becomes a line break when text follows it
// before the next tag, the text is trimmed around every tag and at its end,
// and the non-breaking-space entity becomes a plain space. A "<" without a
// closing ">" is kept as text.
std::string HtmlToText(std::string_view input);

}  // namespace tapewell
