#include "app/RecordPlans.h"

#include <ctime>

#include "common/TextFormat.h"

namespace tapewell {
namespace {

// Reads exactly `count` decimal digits at `pos`; nothing for anything else.
std::optional<int> Digits(std::string_view text, size_t pos, size_t count) {
    if (pos + count > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<int64_t> ParseLocalTime(std::string_view text) {
    // "YYYY-MM-DD HH:MM" and nothing else: a typo must not silently become
    // some other moment.
    constexpr std::string_view kShape = "0000-00-00 00:00";
    if (text.size() != kShape.size() || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':') {
        return std::nullopt;
    }
    const auto year = Digits(text, 0, 4);
    const auto month = Digits(text, 5, 2);
    const auto day = Digits(text, 8, 2);
    const auto hour = Digits(text, 11, 2);
    const auto minute = Digits(text, 14, 2);
    if (!year || !month || !day || !hour || !minute || *year < 1970 || *month < 1 || *month > 12 ||
        *day < 1 || *day > DaysInMonth(*year, *month) || *hour > 23 || *minute > 59) {
        return std::nullopt;
    }
    std::tm fields{};
    fields.tm_year = *year - 1900;
    fields.tm_mon = *month - 1;
    fields.tm_mday = *day;
    fields.tm_hour = *hour;
    fields.tm_min = *minute;
    fields.tm_isdst = -1;
    const std::time_t when = std::mktime(&fields);
    if (when == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    // A wall-clock time skipped by the change to summer time (02:30 on the
    // night the clocks jump to 03:00) comes back moved; it never happens.
    if (fields.tm_hour != *hour || fields.tm_min != *minute || fields.tm_mday != *day) {
        return std::nullopt;
    }
    return static_cast<int64_t>(when);
}

std::string FormatLocalTime(int64_t secondsSinceEpoch) {
    const std::time_t when = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm fields{};
    if (localtime_r(&when, &fields) == nullptr) {
        return {};
    }
    return FormatText("%04d-%02d-%02d %02d:%02d", fields.tm_year + 1900, fields.tm_mon + 1,
                      fields.tm_mday, fields.tm_hour, fields.tm_min);
}

}  // namespace tapewell
