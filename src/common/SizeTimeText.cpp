#include "common/SizeTimeText.h"

#include <cstdio>

namespace tapewell {

std::string FormatSize(uint64_t bytes) {
    constexpr uint64_t kKiB = uint64_t{1} << 10;
    constexpr uint64_t kMiB = uint64_t{1} << 20;
    constexpr uint64_t kGiB = uint64_t{1} << 30;
    constexpr uint64_t kTiB = uint64_t{1} << 40;
    const auto n = static_cast<double>(bytes);
    char text[64];
    if (bytes < kKiB) {
        std::snprintf(text, sizeof text, "%.0f", n);
    } else if (bytes < kMiB) {
        std::snprintf(text, sizeof text, "%.0f KB", n / kKiB);
    } else if (bytes < kGiB) {
        std::snprintf(text, sizeof text, "%.2f MB", n / kMiB);
    } else if (bytes < kTiB) {
        std::snprintf(text, sizeof text, "%.2f GB", n / kGiB);
    } else {
        std::snprintf(text, sizeof text, "%.3f TB", n / kTiB);
    }
    return text;
}

std::string FormatTime(int64_t seconds) {
    if (seconds < 0) {
        seconds = 0;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                  static_cast<int>((seconds / 60) % 60), static_cast<int>(seconds % 60));
    return text;
}

}  // namespace tapewell
