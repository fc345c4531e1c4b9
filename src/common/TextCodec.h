#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tapewell {

// UTF-16LE bytes (ASF content strings, MMS wire strings) to UTF-8, up to the
// first zero character or the end of the bytes; an odd trailing byte is
// ignored and unpaired surrogates become U+FFFD.
// Appends code point c (at most U+10FFFF, not a surrogate) as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

std::string Utf16LeToUtf8(std::span<const uint8_t> bytes);

// The same, cut to at most maxBytes of UTF-8 on a character boundary, for
// texts kept in bounded fields; only the bytes that can reach the bound are
// decoded.
std::string Utf16LeToUtf8(std::span<const uint8_t> bytes, size_t maxBytes);

// The longest start of text that is at most maxBytes long and does not end
// inside a UTF-8 sequence: a cut in the middle of a character backs up to
// the character's first byte. Every bounded UTF-8 field is cut with it.
std::string_view Utf8Prefix(std::string_view text, size_t maxBytes);

// The text with ASCII letters in lower case and every other byte kept, for
// names and protocol tokens compared without case.
std::string AsciiLower(std::string_view text);

// UTF-8 to UTF-16LE bytes, without a terminator; invalid UTF-8 sequences
// become U+FFFD.
std::vector<uint8_t> Utf8ToUtf16Le(std::string_view text);

// True when the whole text is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

// Korean code page 949 bytes (the code page of older Korean text files) to
// UTF-8; bytes that do not decode become U+FFFD.
std::string Cp949ToUtf8(std::span<const uint8_t> bytes);

// UTF-8 to code page 949, for text files that Korean Windows programs read;
// nullopt when the text is not valid UTF-8 or holds a character that code
// page 949 cannot express.
std::optional<std::vector<uint8_t>> Utf8ToCp949(std::string_view text);

}  // namespace tapewell
