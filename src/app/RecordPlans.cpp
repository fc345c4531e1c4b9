#include "app/RecordPlans.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <ctime>
#include <system_error>

#include "common/Limits.h"
#include "common/SetAside.h"
#include "common/TextFormat.h"
#include "settings/IniDocument.h"
#include "settings/ProfileFile.h"
#include "settings/UserFolders.h"

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

constexpr int64_t kSecondsPerDay = 86'400;
// Further than any calendar reaches: mktime's day field is an int.
constexpr int64_t kMaxOccurrenceDays = 1'000'000;

constexpr std::string_view kAddress = "Address";
constexpr std::string_view kStart = "Start";
constexpr std::string_view kDuration = "Duration";
constexpr std::string_view kRepeat = "Repeat";
constexpr std::string_view kStreams = "Streams";
constexpr std::string_view kPlanSection = "Plan";

constexpr std::string_view kRepeatNames[] = {"Once", "Daily", "Weekly"};

std::string_view RepeatName(PlanRepeat repeat) {
    return kRepeatNames[static_cast<size_t>(repeat)];
}

std::optional<PlanRepeat> ParseRepeat(std::string_view text) {
    for (size_t i = 0; i < std::size(kRepeatNames); ++i) {
        if (text == kRepeatNames[i]) {
            return static_cast<PlanRepeat>(i);
        }
    }
    return std::nullopt;
}

// A whole non-negative decimal number up to max, digits only.
std::optional<uint64_t> ParseCount(std::string_view text, uint64_t max) {
    if (text.empty() || text.front() < '0' || text.front() > '9') {
        return std::nullopt;
    }
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > max) {
        return std::nullopt;
    }
    return value;
}

std::string_view TrimLayout(std::string_view line) {
    constexpr std::string_view kLayout = " \t\r";
    const size_t first = line.find_first_not_of(kLayout);
    if (first == std::string_view::npos) {
        return {};
    }
    return line.substr(first, line.find_last_not_of(kLayout) - first + 1);
}

// The INI reader skips what it cannot read; here every line must be a
// section, a value, a comment or blank. Anything else (binary noise, a
// half-written file from another program) means the file is not ours to
// rewrite. Values carry control characters escaped, so raw ones are noise.
std::optional<size_t> FirstForeignLine(std::string_view text) {
    size_t number = 1;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const bool control = std::any_of(raw.begin(), raw.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return (byte < 0x20 && c != '\t' && c != '\r') || byte == 0x7F;
        });
        const std::string_view line = TrimLayout(raw);
        const bool shaped = line.empty() || line.front() == ';' || line.front() == '#' ||
                            (line.front() == '[' && line.back() == ']') ||
                            (line.find('=') != std::string_view::npos && line.front() != '=');
        if (control || !shaped) {
            return number;
        }
        ++number;
    }
    return std::nullopt;
}

ErrorOr<RecordPlan> ReadPlan(const IniDocument& doc, const std::string& section) {
    const auto bad = [&](std::string_view what) {
        return Error::FromMessage(FormatText("schedule %s: %.*s", section.c_str(),
                                             static_cast<int>(what.size()), what.data()));
    };
    RecordPlan plan;
    const std::string* address = doc.Find(section, kAddress);
    if (address == nullptr || address->empty()) {
        return bad("no address");
    }
    plan.address = *address;
    if (const std::string* start = doc.Find(section, kStart); start && !start->empty()) {
        const auto seconds = ParseCount(*start, INT64_MAX);
        if (!seconds) {
            return bad("the start is not a time");
        }
        plan.start = static_cast<int64_t>(*seconds);
    }
    if (const std::string* duration = doc.Find(section, kDuration)) {
        const auto seconds = ParseCount(*duration, UINT32_MAX);
        if (!seconds) {
            return bad("the duration is not a number of seconds");
        }
        plan.durationSeconds = static_cast<uint32_t>(*seconds);
    }
    if (const std::string* repeat = doc.Find(section, kRepeat)) {
        const auto parsed = ParseRepeat(*repeat);
        if (!parsed) {
            return bad("the repeat is none of Once, Daily, Weekly");
        }
        plan.repeat = *parsed;
    }
    if (const std::string* streams = doc.Find(section, kStreams)) {
        plan.streams = *streams;
    }
    return plan;
}

// Section names in the order the file has them: the INI document keeps that
// order but offers no walk, so they are read off the lines.
std::vector<std::string> PlanSections(std::string_view text) {
    std::vector<std::string> names;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = TrimLayout(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            std::string name(line.substr(1, line.size() - 2));
            const bool isPlan =
                name.size() > kPlanSection.size() && name.starts_with(kPlanSection) &&
                ParseCount(std::string_view(name).substr(kPlanSection.size()), UINT32_MAX);
            if (isPlan && std::find(names.begin(), names.end(), name) == names.end()) {
                names.push_back(std::move(name));
            }
        }
    }
    return names;
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

int64_t NextOccurrence(int64_t start, PlanRepeat repeat, int64_t after) {
    if (repeat == PlanRepeat::Once || start > after) {
        return start;
    }
    const int64_t stepDays = repeat == PlanRepeat::Daily ? 1 : 7;
    const std::time_t startTime = static_cast<std::time_t>(start);
    std::tm base{};
    if (localtime_r(&startTime, &base) == nullptr) {
        return after + stepDays * kSecondsPerDay;
    }
    // Jump to just before `after`; one step less leaves room for the hour a
    // change of summer time adds or takes.
    int64_t steps = std::max<int64_t>((after - start) / (stepDays * kSecondsPerDay) - 1, 0);
    for (;; ++steps) {
        if (steps * stepDays > kMaxOccurrenceDays) {
            return after + stepDays * kSecondsPerDay;
        }
        std::tm fields = base;
        fields.tm_mday += static_cast<int>(steps * stepDays);
        fields.tm_isdst = -1;
        const std::time_t when = std::mktime(&fields);
        if (when != static_cast<std::time_t>(-1) && when > after) {
            return static_cast<int64_t>(when);
        }
    }
}

std::filesystem::path RecordPlans::DefaultPath() {
    return user_folders::DataHome() / "Tapewell" / "schedules.ini";
}

ErrorOr<std::vector<RecordPlan>> RecordPlans::ParseText(std::string_view text) {
    if (const auto line = FirstForeignLine(text)) {
        return Error::FromMessage(FormatText("line %zu is not part of a schedule", *line));
    }
    const IniDocument doc = IniDocument::Parse(text);
    std::vector<RecordPlan> plans;
    for (const std::string& section : PlanSections(text)) {
        ErrorOr<RecordPlan> plan = ReadPlan(doc, section);
        if (!plan) {
            return plan.error();
        }
        const bool twice = std::any_of(plans.begin(), plans.end(), [&](const RecordPlan& known) {
            return known.address == plan->address;
        });
        if (twice) {
            return Error::FromMessage(
                FormatText("schedule %s: its address has a schedule before it", section.c_str()));
        }
        plans.push_back(std::move(*plan));
    }
    return plans;
}

std::string RecordPlans::SerializeText(const std::vector<RecordPlan>& plans) {
    IniDocument doc;
    for (size_t i = 0; i < plans.size(); ++i) {
        const RecordPlan& plan = plans[i];
        const std::string section = std::string(kPlanSection) + std::to_string(i + 1);
        doc.Set(section, kAddress, plan.address);
        if (plan.start) {
            doc.Set(section, kStart, std::to_string(*plan.start));
        }
        doc.Set(section, kDuration, std::to_string(plan.durationSeconds));
        doc.Set(section, kRepeat, RepeatName(plan.repeat));
        doc.Set(section, kStreams, plan.streams);
    }
    return doc.Serialize();
}

ErrorOr<void> RecordPlans::Load() {
    m_plans.clear();
    m_setAside.clear();
    ErrorOr<profile_file::ReadResult> file =
        profile_file::ReadBounded(m_path, limits::kMaxProfileFileBytes);
    Error why;
    if (!file) {
        why = file.error();
    } else if (file->truncated) {
        why = Error::FromErrno(
            EFBIG, "larger than " + std::to_string(limits::kMaxProfileFileBytes) + " bytes");
    } else {
        ErrorOr<std::vector<RecordPlan>> plans = ParseText(file->bytes);
        if (plans) {
            m_plans = std::move(*plans);
            m_untouchable = false;
            return {};
        }
        why = plans.error();
    }
    MoveAside();
    why.message = m_path.string() + ": " + why.message;
    return why;
}

void RecordPlans::MoveAside() {
    const std::optional<std::filesystem::path> aside =
        SetFileAside(m_path, ".unreadable", SetAsideBy::kMove);
    if (aside) {
        m_setAside = aside->string();
    }
    m_untouchable = !aside;
}

ErrorOr<void> RecordPlans::Save() {
    if (m_untouchable) {
        return Error::FromMessage(m_path.string() +
                                  ": not saved over a schedule file that could not be read");
    }
    if (auto folders = profile_file::MakePrivateFolders(m_path.parent_path()); !folders) {
        return folders.error();
    }
    return profile_file::ReplaceAtomically(m_path, SerializeText(m_plans));
}

const RecordPlan* RecordPlans::Find(const std::string& address) const {
    const auto it = std::find_if(m_plans.begin(), m_plans.end(),
                                 [&](const RecordPlan& plan) { return plan.address == address; });
    return it == m_plans.end() ? nullptr : &*it;
}

void RecordPlans::Set(RecordPlan plan) {
    const auto it = std::find_if(m_plans.begin(), m_plans.end(), [&](const RecordPlan& known) {
        return known.address == plan.address;
    });
    if (it == m_plans.end()) {
        m_plans.push_back(std::move(plan));
    } else {
        *it = std::move(plan);
    }
}

bool RecordPlans::Remove(const std::string& address) {
    return std::erase_if(m_plans,
                         [&](const RecordPlan& plan) { return plan.address == address; }) != 0;
}

}  // namespace tapewell
