#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/ErrorOr.h"

namespace tapewell {

class RecordList;
class RecordPlans;

// The texts the runner writes into a row's Record cell, each with one %s for
// the start (FormatLocalTime). English here; the desktop program passes its
// translations.
struct PlanStatusTexts {
    std::string scheduled = "Scheduled %s";
    std::string missed = "Missed %s";
};

// What planned rows are recorded through: the record list's scheduler in the
// desktop program (SchedulerPlanTarget), a fake in tests. Rows are indexes
// into the record list at the time of the call.
class PlanTarget {
public:
    virtual ~PlanTarget() = default;
    // 1 when a recording of row started with maxSeconds (0: none) as its time
    // limit; 0 when it did not (no free slot for another recording).
    virtual int RecordScheduledRow(int row, uint32_t maxSeconds) = 0;
    virtual void StopRow(int row) = 0;
    virtual bool RowRecording(int row) = 0;
};

template <typename Scheduler>
class SchedulerPlanTarget final : public PlanTarget {
public:
    explicit SchedulerPlanTarget(Scheduler& scheduler) : m_scheduler(scheduler) {}
    int RecordScheduledRow(int row, uint32_t maxSeconds) override {
        return m_scheduler.RecordScheduledRow(row, maxSeconds);
    }
    void StopRow(int row) override { m_scheduler.StopRow(row); }
    bool RowRecording(int row) override { return m_scheduler.RowRecording(row); }

private:
    Scheduler& m_scheduler;
};

// Starts planned rows at their time while the program runs.
//
// A plan's start opens a window: its duration, or kOpenWindowSeconds for a
// plan without one. Within it the row is started at the first tick with a
// free recording slot, its time limit the rest of the window; a start that
// finds no slot before the window closes, or that passed while the program
// was closed, is reported "Missed" in the row and never recorded late. After
// a start or a miss a Once plan loses its start, a Daily or Weekly one moves
// to its next occurrence after now, and the store is saved.
//
// A row waiting for its start shows "Scheduled <time>" in its Record cell,
// which also keeps "record the next row" from taking it. The runner writes
// that text only over an empty cell or an older one of its own, so the end
// of the last recording or a miss stays visible until the next start;
// PlanChanged, the user's own edit, writes it over anything.
//
// A plan whose address has no row waits, untouched, for one.
//
// Threads: every call comes from the list's thread; the clock is called on it.
class PlanRunner {
public:
    using Clock = std::function<int64_t()>;  // seconds since the epoch

    static constexpr int64_t kOpenWindowSeconds = 600;
    // The job's time limit ends a recording at the window's end; one still
    // running this long after it is stopped.
    static constexpr int64_t kStopGraceSeconds = 60;
    // A start that passed while the program was closed is missed, not
    // recorded late; one this recent counts as the program opening for it
    // (started at login, or by the user who knows the time has come).
    static constexpr int64_t kOpeningGraceSeconds = 60;

    // Reports the starts that passed while the program was closed.
    PlanRunner(RecordList& list, RecordPlans& plans, PlanTarget& target, Clock clock = SystemNow,
               PlanStatusTexts texts = {});
    PlanRunner(const PlanRunner&) = delete;
    PlanRunner& operator=(const PlanRunner&) = delete;

    static int64_t SystemNow();

    // Once a second.
    void Tick();
    // The user set or removed the plan for address (the store is already
    // changed); its row shows the new start at once.
    void PlanChanged(const std::string& address);
    // A save of the store failed; the plans in memory are still right and
    // the next change saves them again.
    void SetSaveFailed(std::function<void(const Error&)> saveFailed) {
        m_saveFailed = std::move(saveFailed);
    }

private:
    // A recording this runner started, by address (rows move).
    struct Started {
        std::string address;
        std::optional<int64_t> stopAt;
    };

    void Pass(int64_t now, bool mayStart);
    bool HandleDue(const std::string& address, int row, int64_t now, bool mayStart);
    void WatchStarted(int64_t now);
    void ShowPending(int64_t now);
    std::string Fill(const std::string& text, int64_t start) const;
    bool IsOurs(const std::string& cell) const;
    void Save();

    RecordList& m_list;
    RecordPlans& m_plans;
    PlanTarget& m_target;
    Clock m_clock;
    PlanStatusTexts m_texts;
    std::function<void(const Error&)> m_saveFailed;
    std::vector<Started> m_started;
    int64_t m_openedAt;  // the clock when the runner was made
};

}  // namespace tapewell
