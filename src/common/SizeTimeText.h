#pragma once

#include <cstdint>
#include <string>

namespace tapewell {

// "1023", "1 KB", "1.50 MB", "2.00 GB", "1.000 TB": a byte count as the
// ASF tools and the CLI show it.
std::string FormatSize(uint64_t bytes);

// "1:02:05": whole seconds as hours:minutes:seconds. A negative count (a
// preroll longer than the play time) shows as 0:00:00.
std::string FormatTime(int64_t seconds);

}  // namespace tapewell
