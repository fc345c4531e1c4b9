#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ErrorOr.h"

namespace tapewell {

// Local wall-clock times as people type them: "YYYY-MM-DD HH:MM" (seconds
// since the epoch, in the machine's time zone). Nothing for a text that is
// not such a time or names no real moment (2026-02-30, 25:00).
std::optional<int64_t> ParseLocalTime(std::string_view text);
std::string FormatLocalTime(int64_t secondsSinceEpoch);

enum class PlanRepeat { Once, Daily, Weekly };

// When and how a record-list row is to be recorded without anyone pressing
// Record. The address is the row's identity (its Original File cell).
struct RecordPlan {
    std::string address;
    // The next start; none once a one-off plan has started or been missed
    // (the stream choice is still kept).
    std::optional<int64_t> start;
    uint32_t durationSeconds = 0;  // 0: until the stream ends or the limits stop it
    PlanRepeat repeat = PlanRepeat::Once;
    std::string streams;  // the row's stream choice as the user wrote it ("all", "1,3")

    bool operator==(const RecordPlan&) const = default;
};

// The first occurrence of a repeating plan later than `after`: the same local
// wall-clock time as `start`, a whole number of days (Daily) or weeks
// (Weekly) on. Days are counted through the calendar, so 21:00 stays 21:00
// across a change to or from summer time. A Once plan gives start itself.
int64_t NextOccurrence(int64_t start, PlanRepeat repeat, int64_t after);

// The plans, kept in $XDG_DATA_HOME/Tapewell/schedules.ini: one section per
// plan with its Address, Start (seconds since the epoch, absent when none),
// Duration (seconds), Repeat (Once, Daily, Weekly) and Streams.
//
// A file that exists but cannot be read, or does not read as plans, is never
// written over: Load moves it aside (schedules.ini.unreadable, .1, ...) and
// the store starts empty; when it cannot be moved, Save refuses until it is.
//
// Single-threaded: the list's thread.
class RecordPlans {
public:
    explicit RecordPlans(std::filesystem::path path) : m_path(std::move(path)) {}

    // $XDG_DATA_HOME/Tapewell/schedules.ini ($XDG_DATA_HOME: ~/.local/share).
    static std::filesystem::path DefaultPath();

    // The plans in a file's text, or why it does not read as plans. Unknown
    // sections and names are passed over (a later version's additions).
    static ErrorOr<std::vector<RecordPlan>> ParseText(std::string_view text);
    static std::string SerializeText(const std::vector<RecordPlan>& plans);

    // Replaces the plans with the file's; a missing file is an empty store.
    // On failure the store is empty and SetAsideName() tells where the file
    // went ("" when it stayed).
    ErrorOr<void> Load();
    // Writes every plan: a temp file beside the store, synced, renamed over it.
    ErrorOr<void> Save();

    const std::filesystem::path& Path() const { return m_path; }
    const std::string& SetAsideName() const { return m_setAside; }

    const std::vector<RecordPlan>& All() const { return m_plans; }
    const RecordPlan* Find(const std::string& address) const;
    // Adds the plan, or replaces the one with its address.
    void Set(RecordPlan plan);
    // False when no plan has this address.
    bool Remove(const std::string& address);

private:
    void MoveAside();

    std::filesystem::path m_path;
    std::vector<RecordPlan> m_plans;
    std::string m_setAside;
    bool m_untouchable = false;  // an unreadable file that could not be moved aside
};

}  // namespace tapewell
