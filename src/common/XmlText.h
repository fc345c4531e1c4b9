#pragma once

#include <string>
#include <string_view>

namespace tapewell {

// The named character references a kind of text may use. Xml knows the five
// of XML (amp, lt, gt, quot, apos); Html also knows the Latin-1 names of
// HTML 4 and a few punctuation names captions use (hellip, mdash, ldquo,
// ...), and reads "&nbsp;" as a plain space, as the caption band shows it.
enum class EntityNames { Xml, Html };

// Replaces each character reference (&name;, &#NNN; and &#xHH;) by the
// character it stands for, in one pass: "&amp;lt;" gives "&lt;". Whatever
// is not a whole, known reference stays as it is, so a bare "&" in an
// address query is kept: a missing ";", an unknown name, more than seven
// decimal or six hexadecimal digits, and a number that is not a character
// XML allows (0, most control codes, surrogates, U+FFFE, U+FFFF, past
// U+10FFFF). The result is never longer than text.
std::string DecodeEntities(std::string_view text, EntityNames names);

// Escapes &, <, >, " and ' so that text reads back the same from XML
// element content and from an attribute value in either kind of quotes.
std::string EscapeXml(std::string_view text);

}  // namespace tapewell
