#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tapewell {

// Local wall-clock times as people type them: "YYYY-MM-DD HH:MM" (seconds
// since the epoch, in the machine's time zone). Nothing for a text that is
// not such a time or names no real moment (2026-02-30, 25:00).
std::optional<int64_t> ParseLocalTime(std::string_view text);
std::string FormatLocalTime(int64_t secondsSinceEpoch);

}  // namespace tapewell
