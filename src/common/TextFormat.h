#pragma once

#include <string>

namespace tapewell {

// printf-style formatting into a text of at most limits::kMessageTextBytes - 1
// bytes (longer results are cut), as the engines' messages and error texts
// are.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tapewell
