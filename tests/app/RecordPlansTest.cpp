// Planned recordings: local times as typed, the schedule file, and the
// runner that starts rows at their time through a fake target on a clock
// the test sets (Europe/Berlin, so that summer time changes are known);
// last, one plan recorded by the real scheduler from tapewell-testserver.
#include <gtest/gtest.h>

#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>

#include "app/PlanRunner.h"
#include "app/RecordList.h"
#include "app/RecordPlans.h"
#include "app/SchedulerBench.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// An environment variable set for one test (TZ is read again at once).
class EnvScope {
public:
    EnvScope(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        setenv(name, value.c_str(), 1);
        tzset();
    }
    ~EnvScope() {
        if (m_old) {
            setenv(m_name, m_old->c_str(), 1);
        } else {
            unsetenv(m_name);
        }
        tzset();
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

int64_t Local(const char* text) {
    const std::optional<int64_t> when = ParseLocalTime(text);
    EXPECT_TRUE(when) << text;
    return when.value_or(0);
}

// Recording slots that the test opens and closes; a started row records
// until StopRow or the test ends it.
struct FakeTarget final : PlanTarget {
    int freeSlots = 1;
    std::vector<std::pair<int, uint32_t>> started;  // row, time limit
    std::vector<int> stopped;
    std::set<int> recording;

    int RecordScheduledRow(int row, uint32_t maxSeconds) override {
        if (freeSlots == 0) {
            return 0;
        }
        --freeSlots;
        started.emplace_back(row, maxSeconds);
        recording.insert(row);
        return 1;
    }
    void StopRow(int row) override {
        stopped.push_back(row);
        recording.erase(row);
    }
    bool RowRecording(int row) override { return recording.contains(row); }
};

TEST(LocalTime, ReadsOnlyRealWallClockTimes) {
    EnvScope zone("TZ", "Europe/Berlin");
    for (const char* good : {"2026-05-04 21:00", "2024-02-29 00:00", "2026-12-31 23:59",
                             "2026-10-25 02:30" /* happens twice: one of them */}) {
        const std::optional<int64_t> when = ParseLocalTime(good);
        ASSERT_TRUE(when) << good;
        EXPECT_EQ(FormatLocalTime(*when), good);
    }
    EXPECT_EQ(ParseLocalTime("2026-05-04 21:00"), 1'777'921'200);
    for (const char* bad :
         {"2026-02-30 10:00", "2025-02-29 10:00", "2026-01-01 24:00", "2026-01-01 10:60",
          "2026-13-01 10:00", "2026-00-01 10:00", "2026-01-00 10:00", "2026-01-01 10:00x",
          "2026-01-01 10:00 ", " 2026-01-01 10:00", "2026-1-01 10:00", "2026-01-01T10:00",
          "+026-01-01 10:00", "2026-01-01 1:00", "", "2026-03-29 02:30" /* skipped hour */}) {
        EXPECT_FALSE(ParseLocalTime(bad)) << bad;
    }
}

TEST(LocalTime, RepeatsFollowTheCalendarNotTheSeconds) {
    EnvScope zone("TZ", "Europe/Berlin");
    const int64_t spring = Local("2026-03-28 21:00");
    EXPECT_EQ(NextOccurrence(spring, PlanRepeat::Daily, spring), Local("2026-03-29 21:00"));
    EXPECT_EQ(Local("2026-03-29 21:00") - spring, 23 * 3600);
    const int64_t autumn = Local("2026-10-24 21:00");
    EXPECT_EQ(NextOccurrence(autumn, PlanRepeat::Daily, autumn) - autumn, 25 * 3600);
    EXPECT_EQ(NextOccurrence(spring, PlanRepeat::Weekly, spring), Local("2026-04-04 21:00"));
    // Far behind: the first occurrence after `after`, not one day on.
    EXPECT_EQ(NextOccurrence(spring, PlanRepeat::Daily, Local("2026-11-02 21:00")),
              Local("2026-11-03 21:00"));
    EXPECT_EQ(NextOccurrence(spring, PlanRepeat::Once, spring + 10), spring);
}

TEST(RecordPlansStore, SurvivesARestartAndNeverWritesOverAnUnreadableFile) {
    TempDir dir;
    const fs::path path = dir / "Tapewell" / "schedules.ini";
    RecordPlans plans(path);
    ASSERT_TRUE(plans.Load());  // no file yet
    plans.Set({"mms://h/a b%20=[x];y", 1'777'921'200, 3600, PlanRepeat::Daily, " 1,3 "});
    plans.Set({"http://h/second", std::nullopt, 0, PlanRepeat::Weekly, "best"});
    ASSERT_TRUE(plans.Save());
    EXPECT_EQ(std::distance(fs::directory_iterator(path.parent_path()), {}), 1);  // no temp file
    RecordPlans reread(path);
    ASSERT_TRUE(reread.Load());
    EXPECT_EQ(reread.All(), plans.All());

    const std::vector<uint8_t> garbled = {'[', 'P', 'l', 'a', 'n', '1', ']', '\n', 0, 1, 2, '\n'};
    test::WriteFileBytes(path, garbled);
    const ErrorOr<void> loaded = reread.Load();
    ASSERT_FALSE(loaded);
    EXPECT_NE(loaded.error().message.find("line 2"), std::string::npos) << loaded.error().message;
    EXPECT_TRUE(reread.All().empty());
    EXPECT_EQ(reread.SetAsideName(), path.string() + ".unreadable");
    ASSERT_TRUE(reread.Save());
    EXPECT_EQ(test::ReadFileBytes(path.string() + ".unreadable"), garbled);

    // Nowhere left to set it aside: the file stays and is not saved over.
    test::WriteFileBytes(path, garbled);
    for (int i = 1; i < 100; ++i) {
        test::WriteFileBytes(path.string() + ".unreadable." + std::to_string(i), {});
    }
    EXPECT_FALSE(reread.Load());
    EXPECT_EQ(reread.SetAsideName(), "");
    EXPECT_FALSE(reread.Save());
    EXPECT_EQ(test::ReadFileBytes(path), garbled);
}

TEST(RecordPlansStore, RefusesTextsThatAreNotPlans) {
    for (const char* bad :
         {"just some words\n", "[Plan1]\nStart=5\n", "[Plan1]\nAddress=x\nStart=soon\n",
          "[Plan1]\nAddress=x\nStart=-5\n", "[Plan1]\nAddress=x\nRepeat=Hourly\n",
          "[Plan1]\nAddress=x\nDuration=4294967296\n", "[Plan1]\nAddress=x\n[Plan2]\nAddress=x\n",
          "[Plan1]\n=x\n"}) {
        EXPECT_FALSE(RecordPlans::ParseText(bad)) << bad;
    }
    // A later version's additions are passed over.
    const auto plans = RecordPlans::ParseText(
        "; note\n[Options]\nX=1\n\n[Plan7]\r\nAddress=x\r\nDuration=4294967295\r\nColour=red\r\n");
    ASSERT_TRUE(plans);
    ASSERT_EQ(plans->size(), 1u);
    EXPECT_EQ((*plans)[0].durationSeconds, UINT32_MAX);
    EXPECT_FALSE((*plans)[0].start);
}

class PlanRunnerTest : public ::testing::Test {
protected:
    PlanRunnerTest() {
        for (const char* address : {"mms://h/a", "mms://h/b", "mms://h/c"}) {
            m_list.AddItem(address, "", "", "");
        }
    }
    std::unique_ptr<PlanRunner> Runner() {
        return std::make_unique<PlanRunner>(m_list, m_plans, m_target, [this] { return m_now; });
    }
    void Plan(const std::string& address, const char* start, uint32_t duration,
              PlanRepeat repeat = PlanRepeat::Once) {
        m_plans.Set({address, Local(start), duration, repeat, "audio"});
    }
    std::string Cell(int row) const { return m_list.GetCellText(row, kColRecord); }
    std::vector<RecordPlan> Saved() const {
        RecordPlans saved(m_plans.Path());
        EXPECT_TRUE(saved.Load());
        return saved.All();
    }

    EnvScope m_zone{"TZ", "Europe/Berlin"};
    TempDir m_dir;
    RecordList m_list;
    RecordPlans m_plans{m_dir / "schedules.ini"};
    FakeTarget m_target;
    int64_t m_now = Local("2026-03-28 20:00");
};

TEST_F(PlanRunnerTest, StartsAtItsTimeThenAgainNextDayAndStopsLateOnes) {
    Plan("mms://h/a", "2026-03-28 21:00", 120, PlanRepeat::Daily);
    auto runner = Runner();
    EXPECT_EQ(Cell(0), "Scheduled 2026-03-28 21:00");
    m_now = Local("2026-03-28 21:00") - 1;
    runner->Tick();
    EXPECT_TRUE(m_target.started.empty());
    m_now += 1;
    runner->Tick();
    runner->Tick();
    EXPECT_EQ(m_target.started, (std::vector<std::pair<int, uint32_t>>{{0, 120}}));
    // The next start is saved at once, at 21:00 local after summer time began.
    EXPECT_EQ(Saved(), m_plans.All());
    EXPECT_EQ(m_plans.Find("mms://h/a")->start, Local("2026-03-29 21:00"));

    // The job's time limit should have ended it; a minute later it is stopped.
    m_now += 120 + PlanRunner::kStopGraceSeconds - 1;
    runner->Tick();
    EXPECT_TRUE(m_target.stopped.empty());
    m_now += 1;
    runner->Tick();
    EXPECT_EQ(m_target.stopped, std::vector<int>{0});

    m_target.freeSlots = 1;
    m_now = Local("2026-03-29 21:00") - 1;
    runner->Tick();
    EXPECT_EQ(Cell(0), "Scheduled 2026-03-29 21:00");
    m_now += 1;
    runner->Tick();
    EXPECT_EQ(m_target.started.size(), 2u);
}

TEST_F(PlanRunnerTest, StartsThatPassedWhileClosedAreReportedNotRecorded) {
    m_now = Local("2026-05-04 12:00") + 30;
    Plan("mms://h/a", "2026-05-04 09:00", 600);
    Plan("mms://h/b", "2026-05-03 21:00", 3600, PlanRepeat::Daily);
    Plan("mms://h/c", "2026-05-04 11:55", 0);  // its open window lasts till 12:05
    Plan("mms://h/d", "2026-05-04 12:00", 0);  // the program opened for it
    m_list.AddItem("mms://h/d", "", "", "");
    auto runner = Runner();
    EXPECT_EQ(Cell(0), "Missed 2026-05-04 09:00");
    EXPECT_EQ(Cell(1), "Missed 2026-05-03 21:00");
    EXPECT_EQ(Cell(2), "Missed 2026-05-04 11:55");
    EXPECT_EQ(Cell(3), "");
    EXPECT_TRUE(m_target.started.empty());
    EXPECT_FALSE(m_plans.Find("mms://h/a")->start);
    EXPECT_EQ(m_plans.Find("mms://h/b")->start, Local("2026-05-04 21:00"));
    EXPECT_EQ(Saved(), m_plans.All());

    runner->Tick();
    EXPECT_EQ(m_target.started, (std::vector<std::pair<int, uint32_t>>{{3, 0}}));
    // The miss stays visible until the next start.
    EXPECT_EQ(Cell(1), "Missed 2026-05-03 21:00");
}

TEST_F(PlanRunnerTest, WaitsForAFreeSlotOnlyWhileTheWindowLasts) {
    m_now = Local("2026-05-04 21:00");
    Plan("mms://h/a", "2026-05-04 21:00", 60);
    Plan("mms://h/b", "2026-05-04 21:00", 0);
    m_target.freeSlots = 0;
    auto runner = Runner();
    runner->Tick();
    m_now += 30;
    m_target.freeSlots = 1;
    runner->Tick();
    // The first gets the slot, with what is left of its window as the limit.
    EXPECT_EQ(m_target.started, (std::vector<std::pair<int, uint32_t>>{{0, 30}}));
    m_now = Local("2026-05-04 21:00") + PlanRunner::kOpenWindowSeconds - 1;
    runner->Tick();
    m_now += 1;
    m_target.freeSlots = 1;
    runner->Tick();
    EXPECT_EQ(m_target.started.size(), 1u);
    EXPECT_EQ(Cell(1), "Missed 2026-05-04 21:00");
    EXPECT_FALSE(m_plans.Find("mms://h/b")->start);
}

TEST_F(PlanRunnerTest, PlansFollowTheirRowsAndLeaveOtherStatusesAlone) {
    Plan("mms://h/gone", "2026-03-28 19:00", 60);  // past, but no row: kept as it is
    Plan("mms://h/a", "2026-03-28 22:00", 60);
    m_list.SetCellText(0, kColRecord, "Completed");
    m_list.SetCellText(2, kColRecord, "Scheduled 2026-01-01 10:00");  // a list saved earlier
    auto runner = Runner();
    runner->Tick();
    EXPECT_EQ(m_plans.Find("mms://h/gone")->start, Local("2026-03-28 19:00"));
    EXPECT_EQ(Cell(0), "Completed");  // the last recording's end stays in view
    EXPECT_EQ(Cell(2), "");
    runner->PlanChanged("mms://h/a");
    EXPECT_EQ(Cell(0), "Scheduled 2026-03-28 22:00");
    m_plans.Remove("mms://h/a");
    runner->PlanChanged("mms://h/a");
    EXPECT_EQ(Cell(0), "");

    // Its row comes back: now it is due, and long gone.
    m_list.AddItem("mms://h/gone", "", "", "");
    runner->Tick();
    EXPECT_EQ(Cell(3), "Missed 2026-03-28 19:00");
    EXPECT_TRUE(m_target.started.empty());
}

using PlanRunnerRecording = test::SchedulerTest;

TEST_F(PlanRunnerRecording, APlannedRowIsRecordedForItsDuration) {
    test::TestServer live(test::ShortClips(), {"--live", "--rate", "realtime"});
    ASSERT_TRUE(live.Ready());
    const std::string address = test::At(live.HttpPort(), "/c1.asf");
    Add({address});

    TempDir data;
    RecordPlans plans(data / "schedules.ini");
    const int64_t start = PlanRunner::SystemNow() + 1;
    plans.Set({address, start, 2, PlanRepeat::Once, ""});
    SchedulerPlanTarget target(*m_scheduler);
    PlanRunner runner(*m_list, plans, target);
    EXPECT_EQ(Cell(0, kColRecord), "Scheduled " + FormatLocalTime(start));
    bool started = false;
    ASSERT_TRUE(m_sink.RunUntil([&] {
        runner.Tick();
        if (!started && m_scheduler->RowRecording(0)) {
            started = true;
            EXPECT_GE(PlanRunner::SystemNow(), start);
        }
        return started && !m_scheduler->RowRecording(0);
    }));
    ExpectRecorded(address, 2);
    EXPECT_FALSE(plans.Find(address)->start);
}

}  // namespace
}  // namespace tapewell
