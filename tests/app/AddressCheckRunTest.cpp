// "URL Check" against tapewell-testserver and a silent peer, the test's
// thread being the list's thread: which rows are probed, how results are
// marked, Stop, rows deleted while a probe runs, and exit during a probe.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "app/AddressCheckRun.h"
#include "app/RecordList.h"
#include "app/SchedulerBench.h"
#include "app/ScriptedListPrompt.h"
#include "support/TestServer.h"

namespace tapewell {
namespace {

using test::At;
using test::TestServer;

constexpr int kSilentMs = 400;  // how long a probe waits on a peer that says nothing

class AddressCheckRunTest : public ::testing::Test {
protected:
    AddressCheckRunTest() : m_list(&m_prompt) {
        m_check.SetIdleTimeoutMs(kSilentMs);
        m_check.SetBusyChanged([this] { ++m_busyChanges; });
    }
    void Add(const std::string& address, const std::string& name) {
        m_list.AddItem(address, name, "x", "");
    }
    bool RunToEnd() {
        return m_queue.RunUntil([this] { return !m_check.Busy(); });
    }
    // Deletes one row through the list's own command, as the user would.
    void Delete(int row) {
        m_list.SelectRow(row);
        m_list.DeleteSelected();
    }
    std::string Cell(int row, int column) const { return m_list.GetCellText(row, column); }

    test::ScriptedListPrompt m_prompt;
    RecordList m_list;
    AppSettings m_settings;
    test::ListThreadQueue m_queue;
    AddressCheckRun m_check{m_list, m_settings,
                            [this](std::function<void()> work) { m_queue.Push(std::move(work)); }};
    int m_busyChanges = 0;
};

TEST_F(AddressCheckRunTest, MarksNetworkRowsOnly) {
    TestServer server(test::ShortClips());
    ASSERT_TRUE(server.Ready());
    Add(At(server.HttpPort(), "/c1.asf"), "good");
    Add("/no/such/file.asf", "local");
    Add(At(test::ClosedPort(), "/c1.asf"), "closed");
    Add(At(server.MmsPort(), "/c2.asf", "mms"), "recorded");
    m_list.SetMark(3, kMarkRecorded);

    m_check.Start();
    EXPECT_TRUE(m_check.Busy());
    EXPECT_EQ(Cell(0, kColRecord), "Checking");
    m_check.Start();  // busy: nothing
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(m_busyChanges, 2);
    EXPECT_EQ(Cell(0, kColRecord), "Ok");
    EXPECT_EQ(Cell(1, kColRecord), "");
    EXPECT_EQ(Cell(2, kColFile), "(x)closed");
    EXPECT_EQ(Cell(2, kColRecord), "Error");
    EXPECT_EQ(Cell(3, kColRecord), "");
    EXPECT_TRUE(m_list.IsSelected(3));  // the walk went to the end

    // Again from the selected row: the prefix is not doubled, rows above
    // are not visited.
    m_list.SetCellText(0, kColRecord, "");
    m_list.SelectRow(2);
    m_check.Start();
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(Cell(0, kColRecord), "");
    EXPECT_EQ(Cell(2, kColFile), "(x)closed");
    EXPECT_EQ(Cell(2, kColRecord), "Error");
}

TEST_F(AddressCheckRunTest, StopActsAfterTheProbeUnderWay) {
    TestServer server(test::ShortClips());
    ASSERT_TRUE(server.Ready());
    test::SilentPeer silent;
    Add(At(silent.Port(), "/x.asf", "mms"), "silent");
    Add(At(server.HttpPort(), "/c1.asf"), "good");
    m_check.Start();
    m_check.Stop();
    EXPECT_TRUE(m_check.Busy());
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(Cell(0, kColRecord), "Error");
    EXPECT_EQ(Cell(1, kColRecord), "");
}

TEST_F(AddressCheckRunTest, ResultsFollowTheirAddressesThroughDeletions) {
    TestServer server(test::ShortClips());
    ASSERT_TRUE(server.Ready());
    test::SilentPeer silent;
    Add("/local/above.asf", "above");
    Add(At(silent.Port(), "/x.asf", "mms"), "silent");
    Add(At(server.HttpPort(), "/c1.asf"), "good");
    Add(At(silent.Port(), "/y.asf", "mms"), "gone");
    Add(At(server.HttpPort(), "/c2.asf"), "last");
    m_check.Start();
    ASSERT_EQ(Cell(1, kColRecord), "Checking");
    // The row above goes while "silent" is probed: its result still lands
    // on "silent", not on the row that took its index.
    Delete(0);
    ASSERT_TRUE(m_queue.RunUntil([&] { return Cell(2, kColRecord) == "Checking"; }));
    EXPECT_EQ(Cell(0, kColFile), "(x)silent");
    EXPECT_EQ(Cell(1, kColRecord), "Ok");
    // The row being probed goes: its result is dropped, the walk goes on.
    Delete(2);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(m_list.RowCount(), 3);
    EXPECT_EQ(Cell(1, kColFile), "good");
    EXPECT_EQ(Cell(2, kColFile), "last");
    EXPECT_EQ(Cell(2, kColRecord), "Ok");
}

// Exit while a probe waits on a silent peer: the probe is stopped, not
// waited out.
TEST(AddressCheckRunExit, StopsTheProbeUnderWay) {
    test::SilentPeer silent;
    RecordList list;
    list.AddItem(At(silent.Port(), "/x.asf", "mms"), "", "x", "");
    AppSettings settings;
    test::ListThreadQueue queue;
    auto check = std::make_unique<AddressCheckRun>(
        list, settings, [&](std::function<void()> work) { queue.Push(std::move(work)); });
    check->SetIdleTimeoutMs(20'000);
    check->Start();
    const auto connected = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (test::ConnectionsTo(silent.Port()) == 0 &&
           std::chrono::steady_clock::now() < connected) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(test::ConnectionsTo(silent.Port()), 1) << "the probe never connected";
    const auto begin = std::chrono::steady_clock::now();
    check.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(3));
    queue.RunQueued();  // a result posted late is dropped
    EXPECT_EQ(list.GetCellText(0, kColRecord), "Checking");

    // Exit at any moment of a probe's start, before or after the job is
    // made: the one stop given is never lost to the probe starting up.
    for (const int delayMs : {0, 1, 3, 10}) {
        SCOPED_TRACE(delayMs);
        auto early = std::make_unique<AddressCheckRun>(
            list, settings, [&](std::function<void()> work) { queue.Push(std::move(work)); });
        early->SetIdleTimeoutMs(20'000);
        early->Start();
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        const auto start = std::chrono::steady_clock::now();
        early.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    }
}

}  // namespace
}  // namespace tapewell
