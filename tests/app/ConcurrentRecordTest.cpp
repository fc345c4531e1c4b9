// The record scheduler with "Concurrent Recordings" above 1: slots filled in
// list order, a row recorded by one job only, two rows that lead to one
// file never written at once, a row stopped alone, and planned recordings
// that count against the limit. Real jobs against tapewell-testserver; every
// file is read by ffprobe.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/SchedulerBench.h"
#include "support/TestServer.h"

namespace tapewell {
namespace {

using test::At;
using test::TempDir;
using test::TestServer;
namespace fs = std::filesystem;

// One 1.5 s clip under five names: served paced, each takes its length.
const fs::path& FiveClips() {
    static TempDir root;
    static const bool made = [] {
        test::AsfRecipe recipe;
        recipe.seconds = 1.5;
        test::MakeAsf(root / "r1.asf", recipe);
        for (const char* name : {"r2.asf", "r3.asf", "r4.asf", "r5.asf"}) {
            fs::copy_file(root / "r1.asf", root / name);
        }
        return true;
    }();
    (void)made;
    return root.Path();
}

class ConcurrentRecordTest : public test::SchedulerTest {
protected:
    void SetUp() override {
        SchedulerTest::SetUp();
        m_settings.m_concurrentRecordings = 3;
        m_sink.onNotice = [this](int code, uint16_t job) {
            m_scheduler->HandleNotice(code, job);
            m_mostAtOnce = std::max(m_mostAtOnce, m_scheduler->RunningCount());
        };
    }
    // The addresses of the paths on the server's HTTP port.
    static std::vector<std::string> Http(const TestServer& server,
                                         const std::vector<std::string>& paths) {
        std::vector<std::string> addresses;
        for (const std::string& path : paths) {
            addresses.push_back(At(server.HttpPort(), path));
        }
        return addresses;
    }

    int m_mostAtOnce = 0;
};

// Record Start fills the three slots in list order, each end hands its slot
// to the next row, and every row is recorded once, whole.
TEST_F(ConcurrentRecordTest, FiveRowsThreeAtATime) {
    TestServer paced(FiveClips(), {"--rate", "realtime"});
    ASSERT_TRUE(paced.Ready());
    std::vector<std::string> addresses = Http(paced, {"/r1.asf", "/r3.asf", "/r4.asf", "/r5.asf"});
    addresses.insert(addresses.begin() + 1, At(paced.MmsPort(), "/r2.asf", "mms"));
    Add(addresses);
    std::vector<std::string> streamsAskedFor;
    m_scheduler->SetStreamsLookup([&](const std::string& address) {
        streamsAskedFor.push_back(address);
        return std::string();
    });
    m_list->SelectRow(0);
    m_scheduler->RecordStart();
    EXPECT_EQ(m_scheduler->RunningCount(), 3);
    EXPECT_TRUE(m_scheduler->RowRecording(2));
    EXPECT_FALSE(m_scheduler->RowRecording(3));
    // A row that is being recorded, and a fourth at once, are refused.
    EXPECT_EQ(m_scheduler->RecordRow(1), 0);
    EXPECT_EQ(m_scheduler->RecordRow(3), 0);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(m_mostAtOnce, 3);
    EXPECT_EQ(streamsAskedFor, addresses);
    for (const std::string& address : addresses) {
        ExpectRecorded(address, 1.5);
    }
    // Each recorded row has its one file row: no row was recorded twice.
    EXPECT_EQ(m_list->RowCount(), 10);
}

// Stopping one row leaves the others running, and its slot stays free;
// a reconnect shows in the row, with a broken translation replaced.
TEST_F(ConcurrentRecordTest, StopRowEndsThatRowOnly) {
    TestServer paced(FiveClips(), {"--rate", "realtime"});
    ASSERT_TRUE(paced.Ready());
    Add(Http(paced, {"/r1.asf", "/r2.asf", "/r3.asf", "/r4.asf"}));
    const std::string second = At(paced.HttpPort(), "/r2.asf");
    const std::string fourth = At(paced.HttpPort(), "/r4.asf");
    EXPECT_FALSE(m_scheduler->StopRow(0));
    m_list->SelectRow(0);
    m_scheduler->RecordStart();
    ASSERT_TRUE(m_sink.RunUntil([&] { return !Cell(RowOf(second), kColSize).empty(); }));

    const uint32_t job = m_list->Row(RowOf(second)).jobNumber;
    m_scheduler->HandleNotice(JobSink::kReconnecting, static_cast<uint16_t>(job));
    EXPECT_EQ(Cell(RowOf(second), kColRecord), "Reconnecting (0)");

    // The stopped job's end starts nothing: the slot stays free.
    int starts = 0;
    int startsOnItsEnd = -1;
    m_scheduler->SetCaptureOff([&] { ++starts; });
    m_sink.onNotice = [&](int code, uint16_t number) {
        const int before = starts;
        m_scheduler->HandleNotice(code, number);
        if (code == JobSink::kFinished && number == job) {
            startsOnItsEnd = starts - before;
        }
    };
    ASSERT_TRUE(m_scheduler->StopRow(RowOf(second)));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(startsOnItsEnd, 0);
    EXPECT_EQ(Cell(RowOf(second), kColRecord), "Cancelled");
    EXPECT_EQ(test::Probe(Cell(RowOf(second) + 1, kColOriginalFile)).Get("format.nb_streams"), "2");
    // The fourth row took the slot of a row that completed.
    ExpectRecorded(fourth, 1.5);

    m_texts.reconnecting = "Reconnect %s";  // would read the number as a text
    RecordScheduler other(*m_list, m_settings, m_sink, nullptr, m_opener, m_texts);
    m_sink.onNotice = [&](int code, uint16_t number) { other.HandleNotice(code, number); };
    const int row = m_list->AddItem(At(paced.HttpPort(), "/r5.asf"), "", "", "");
    ASSERT_EQ(other.RecordRow(row), 1);
    other.HandleNotice(JobSink::kReconnecting, static_cast<uint16_t>(m_list->Row(row).jobNumber));
    EXPECT_EQ(Cell(row, kColRecord), "Reconnecting (0)");
    other.StopAll();
}

// Planned recordings take a slot like any other, end after their time and
// start no next row; two rows that lead to the same file never run at once.
TEST_F(ConcurrentRecordTest, PlannedRowsAndSharedFiles) {
    TestServer live(FiveClips(), {"--live", "--rate", "realtime"});
    ASSERT_TRUE(live.Ready());
    m_settings.m_concurrentRecordings = 2;
    const std::vector<int> rows = Add(Http(live, {"/r1.asf", "/r2.asf", "/r3.asf"}));
    const int local = m_list->AddItem("/no/such/file.asf", "", "x", "");
    ASSERT_EQ(m_scheduler->RecordScheduledRow(rows[0], 1), 1);
    EXPECT_EQ(m_scheduler->RecordScheduledRow(rows[0], 2), 0);  // busy
    EXPECT_EQ(m_scheduler->RecordScheduledRow(local, 2), 0);
    EXPECT_EQ(m_scheduler->RecordScheduledRow(rows.back() + 9, 2), 0);
    ASSERT_EQ(m_scheduler->RecordScheduledRow(rows[1], 2), 1);
    EXPECT_EQ(m_scheduler->RecordScheduledRow(rows[2], 2), 0);  // no free slot
    EXPECT_EQ(m_scheduler->RecordRow(rows[2]), 0);
    ASSERT_TRUE(RunToEnd());
    ExpectRecorded(At(live.HttpPort(), "/r1.asf"), 1);
    ExpectRecorded(At(live.HttpPort(), "/r2.asf"), 2);
    EXPECT_EQ(Cell(RowOf(At(live.HttpPort(), "/r3.asf")), kColRecord), "");

    // The same file name over MMS: the second row waits for the first,
    // then finds its file there and is asked (the script cancels).
    m_settings.m_timeLimitOn = true;
    m_settings.m_maxTimeSeconds = 1;
    const int again = m_list->AddItem(At(live.MmsPort(), "/r3.asf", "mms"), "", "", "");
    m_list->SelectRow(RowOf(At(live.HttpPort(), "/r3.asf")));
    m_scheduler->RecordStart();
    EXPECT_EQ(m_scheduler->RunningCount(), 1);
    EXPECT_FALSE(m_scheduler->RowRecording(again));
    ASSERT_TRUE(RunToEnd());
    ExpectRecorded(At(live.HttpPort(), "/r3.asf"), 1);
    EXPECT_EQ(Cell(RowOf(At(live.MmsPort(), "/r3.asf", "mms")), kColRecord), "Cancelled");
    EXPECT_EQ(m_script->existsAsks.load(), 1);
}

}  // namespace
}  // namespace tapewell
