#include "common/TextFormat.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "common/Limits.h"

namespace tapewell {

std::string FormatText(const char* format, ...) {
    char text[limits::kMessageTextBytes];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0)
        return {};
    return std::string(text, std::min<size_t>(static_cast<size_t>(n), sizeof text - 1));
}

}  // namespace tapewell
