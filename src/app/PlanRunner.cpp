#include "app/PlanRunner.h"

#include <algorithm>
#include <chrono>
#include <string_view>
#include <unordered_set>

#include "app/RecordList.h"
#include "app/RecordPlans.h"

namespace tapewell {
namespace {

constexpr std::string_view kPlaceholder = "%s";

// Whether cell is text with something in place of its %s.
bool MatchesPattern(std::string_view cell, std::string_view text) {
    const size_t at = text.find(kPlaceholder);
    if (at == std::string_view::npos) {
        return cell == text;
    }
    const std::string_view before = text.substr(0, at);
    const std::string_view after = text.substr(at + kPlaceholder.size());
    return cell.size() >= before.size() + after.size() && cell.starts_with(before) &&
           cell.ends_with(after);
}

int64_t WindowEnd(const RecordPlan& plan) {
    return *plan.start + (plan.durationSeconds != 0 ? int64_t{plan.durationSeconds}
                                                    : PlanRunner::kOpenWindowSeconds);
}

// The plan after its start was used or missed at now.
RecordPlan MovedOn(RecordPlan plan, int64_t now) {
    if (plan.repeat == PlanRepeat::Once) {
        plan.start.reset();
    } else {
        plan.start = NextOccurrence(*plan.start, plan.repeat, now);
    }
    return plan;
}

}  // namespace

PlanRunner::PlanRunner(RecordList& list, RecordPlans& plans, PlanTarget& target, Clock clock,
                       PlanStatusTexts texts)
    : m_list(list),
      m_plans(plans),
      m_target(target),
      m_clock(std::move(clock)),
      m_texts(std::move(texts)),
      m_openedAt(m_clock()) {
    Pass(m_openedAt, false);
}

int64_t PlanRunner::SystemNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void PlanRunner::Tick() {
    Pass(m_clock(), true);
}

void PlanRunner::PlanChanged(const std::string& address) {
    const int64_t now = m_clock();
    const int row = m_list.FindAddress(address);
    const RecordPlan* plan = m_plans.Find(address);
    if (row != RecordList::kNoRow && !m_target.RowRecording(row)) {
        if (plan != nullptr && plan->start && *plan->start > now) {
            m_list.SetCellText(row, kColRecord, Fill(m_texts.scheduled, *plan->start));
        } else if (const std::string cell = m_list.GetCellText(row, kColRecord);
                   IsOurs(cell) || MatchesPattern(cell, m_texts.missed)) {
            // Without a plan the row is an ordinary one again, free for
            // "record the next row".
            m_list.SetCellText(row, kColRecord, "");
        }
    }
    Pass(now, false);
}

void PlanRunner::Pass(int64_t now, bool mayStart) {
    if (mayStart) {
        WatchStarted(now);
    }
    bool changed = false;
    // HandleDue replaces plans in the store, so walk the addresses.
    std::vector<std::string> addresses;
    for (const RecordPlan& plan : m_plans.All()) {
        if (plan.start && *plan.start <= now) {
            addresses.push_back(plan.address);
        }
    }
    for (const std::string& address : addresses) {
        const int row = m_list.FindAddress(address);
        if (row != RecordList::kNoRow) {
            changed = HandleDue(address, row, now, mayStart) || changed;
        }
    }
    if (changed) {
        Save();
    }
    ShowPending(now);
}

// A plan whose start has come: started, reported missed, or left to wait
// for a free slot. True when the plan moved on.
bool PlanRunner::HandleDue(const std::string& address, int row, int64_t now, bool mayStart) {
    const RecordPlan* found = m_plans.Find(address);
    if (found == nullptr || !found->start) {
        return false;
    }
    const RecordPlan plan = *found;
    const int64_t windowEnd = WindowEnd(plan);
    const bool passedWhileClosed = *plan.start < m_openedAt - kOpeningGraceSeconds;
    if (now < windowEnd && !passedWhileClosed) {
        if (!mayStart) {
            return false;
        }
        const uint32_t limit =
            plan.durationSeconds != 0 ? static_cast<uint32_t>(windowEnd - now) : 0;
        if (m_target.RecordScheduledRow(row, limit) != 1) {
            return false;
        }
        std::erase_if(m_started,
                      [&](const Started& started) { return started.address == address; });
        m_started.push_back(
            Started{address, plan.durationSeconds != 0
                                 ? std::optional<int64_t>(windowEnd + kStopGraceSeconds)
                                 : std::nullopt});
    } else {
        m_list.SetCellText(row, kColRecord, Fill(m_texts.missed, *plan.start));
    }
    m_plans.Set(MovedOn(plan, now));
    return true;
}

void PlanRunner::WatchStarted(int64_t now) {
    std::erase_if(m_started, [&](const Started& started) {
        const int row = m_list.FindAddress(started.address);
        if (row == RecordList::kNoRow || !m_target.RowRecording(row)) {
            return true;
        }
        if (started.stopAt && now >= *started.stopAt) {
            m_target.StopRow(row);
            return true;
        }
        return false;
    });
}

// "Scheduled <time>" on every row waiting for a start, and off every row
// that no longer waits (a plan removed, a list file saved while it waited).
void PlanRunner::ShowPending(int64_t now) {
    std::unordered_set<std::string_view> waiting;
    for (const RecordPlan& plan : m_plans.All()) {
        if (!plan.start || *plan.start <= now) {
            continue;
        }
        const int row = m_list.FindAddress(plan.address);
        if (row == RecordList::kNoRow) {
            continue;
        }
        waiting.insert(plan.address);
        // A recording row's cell is the job's until it ends.
        if (m_target.RowRecording(row)) {
            continue;
        }
        const std::string cell = m_list.GetCellText(row, kColRecord);
        const std::string text = Fill(m_texts.scheduled, *plan.start);
        if (cell != text && (cell.empty() || IsOurs(cell))) {
            m_list.SetCellText(row, kColRecord, text);
        }
    }
    for (int row = 0; row < m_list.RowCount(); ++row) {
        const RecordRow& item = m_list.Row(row);
        if (IsOurs(item.cells[kColRecord]) && !waiting.contains(item.cells[kColOriginalFile]) &&
            !m_target.RowRecording(row)) {
            m_list.SetCellText(row, kColRecord, "");
        }
    }
}

std::string PlanRunner::Fill(const std::string& text, int64_t start) const {
    std::string out = text;
    if (const size_t at = out.find(kPlaceholder); at != std::string::npos) {
        out.replace(at, kPlaceholder.size(), FormatLocalTime(start));
    }
    return out;
}

bool PlanRunner::IsOurs(const std::string& cell) const {
    return !cell.empty() && MatchesPattern(cell, m_texts.scheduled);
}

void PlanRunner::Save() {
    if (auto saved = m_plans.Save(); !saved && m_saveFailed) {
        m_saveFailed(saved.error());
    }
}

}  // namespace tapewell
