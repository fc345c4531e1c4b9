#pragma once

#include <string>
#include <string_view>

namespace tapewell {

// Cleans a caption's markup for the caption band: tags are dropped with
// their attributes, a "br" tag becomes a line break when text follows it
// before the next tag, the text is trimmed around every tag and at its end,
// and the non-breaking-space entity becomes a plain space (also without its
// ";" when no "&nbsp;" is written in full). A "<" without a closing ">" is
// kept as text. Character references ("&amp;", "&lt;", "&#xD55C;", ...; see
// DecodeEntities with EntityNames::Html) are decoded last, so "&lt;b&gt;"
// is shown as "<b>" and never taken for a tag.
std::string HtmlToText(std::string_view input);

}  // namespace tapewell
