#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/ErrorOr.h"

namespace tapewell {

// A numbered series of addresses, as the URL Open dialog builds it from a
// start and an end address that differ only in a number
// (".../clip08.asf" to ".../clip12.asf"). Pure functions; any thread.

// The longest address line the URL Open dialog and series accept.
inline constexpr size_t kMaxAddressLineBytes = 4096;
// The most lines one Expand gives: the start plus 500 generated.
inline constexpr size_t kMaxSeriesLines = 501;

// The next name of a series: the last digit of name goes up by one, carrying
// to the left ("clip09.asf" gives "clip10.asf", "99.asf" gives "100.asf"),
// then blanks around the result are removed.
//
// The digits of the extension (from the last "." after the first character
// up to a "?" or the end) are not the number of the series: "clip01.mp3"
// gives "clip02.mp3", while a query's number still counts ("play.php?id=7"
// gives "play.php?id=8"). A name whose only digits are in its extension
// counts as a name without digits.
//
// The last digit is looked for from the end down to the second character;
// when none is there, the first character is the one to raise. A carry that
// runs into a character that is not a digit, or past the start, puts a "1"
// right after that character: "a9" gives "a10", and a name without digits
// gets a "1" after its first character ("abc" gives "a1bc", "a.mp3" gives
// "a1.mp3"). An empty name gives "1".
std::string Increment(std::string_view name);

// The series from start to end (one line [start] when end is empty): start,
// then the names that Increment gives after start's last "/", each with
// start's part up to that "/" in front, until a name as long as end's last
// piece that does not sort before it (byte-wise), and at most
// kMaxSeriesLines lines in all. A start whose own name already meets that
// test is a series of one.
// Fails (message names the limit) when start, end or any line is longer than
// kMaxAddressLineBytes, and when start or end holds a line break (each line
// of the result is one address); never cuts.
ErrorOr<std::vector<std::string>> Expand(const std::string& start, const std::string& end);

}  // namespace tapewell
