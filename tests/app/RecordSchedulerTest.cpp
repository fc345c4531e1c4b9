// The record scheduler on the test's thread as the list's thread, recording
// rows from tapewell-testserver with real jobs: the chain from row to row,
// stops, failures, credentials and existing files. Recorded files are
// compared with tapewell-cli's recording of the same address and read by
// ffprobe.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "app/AddressText.h"
#include "app/SchedulerBench.h"
#include "support/TestServer.h"

namespace tapewell {
namespace {

using test::At;
using test::TempDir;
using test::TestServer;
namespace fs = std::filesystem;

const std::string kCli = TAPEWELL_CLI_PATH;

// Whether text has the shape of pattern, where '#' stands for one or more
// digits and every other character for itself. (std::regex trips GCC 12's
// maybe-uninitialized warning in the sanitizer build.)
bool Shaped(std::string_view text, std::string_view pattern) {
    size_t at = 0;
    for (const char want : pattern) {
        const size_t start = at;
        while (want == '#' && at < text.size() && text[at] >= '0' && text[at] <= '9') {
            ++at;
        }
        if (want == '#' ? at == start : (at >= text.size() || text[at++] != want)) {
            return false;
        }
    }
    return at == text.size();
}

class RecordSchedulerTest : public test::SchedulerTest {
protected:
    void SetUp() override {
        SchedulerTest::SetUp();
        // Relative, as a user may give it: the rows must still be absolute.
        m_settings.m_baseDirectory = fs::relative(m_base.Path()).string();
    }
    std::vector<std::string> Addresses() const {
        std::vector<std::string> out;
        for (int row = 0; row < m_list->RowCount(); ++row) {
            out.push_back(Cell(row, kColOriginalFile));
        }
        return out;
    }
};

TEST(RecordStatusText, ProgressAndSize) {
    EXPECT_EQ(ProgressText(3'725'000, 4'250), "1:2:5(42 %)");
    EXPECT_EQ(ProgressText(65'000, 4'250), "1:5(42 %)");
    EXPECT_EQ(ProgressText(3'599'999, 10'000), "59:59(100 %)");
    EXPECT_EQ(RecordedSizeText(1'023), "0K");
    EXPECT_EQ(RecordedSizeText(1'024), "1K");
    EXPECT_EQ(RecordedSizeText(UINT32_MAX), "4194303K");
}

TEST(RecordSchedulerStatic, JobNumbersAndSearchUrl) {
    EXPECT_EQ(RecordScheduler::NextJobNumber(1), 2);
    EXPECT_EQ(RecordScheduler::NextJobNumber(65'534), 65'535);
    EXPECT_EQ(RecordScheduler::NextJobNumber(65'535), 1);
    EXPECT_EQ(RecordScheduler::NextJobNumber(0), 1);
    EXPECT_EQ(
        RecordScheduler::SearchUrl("a b&c=d/é~"),
        "https://www.google.com/search?q=a%20b%26c%3Dd%2F%C3%A9~&ie=UTF-8&oe=UTF-8&hl=ko&lr=");
}

TEST_F(RecordSchedulerTest, RowsThatAreNeverRecorded) {
    m_list->AddItem("/no/such/file.asf", "", "x", "");
    m_list->AddItem("some words", "<G>some words", "x", "");
    m_list->AddItem("/local/page.html", "[E]local", "x", "");
    m_list->AddItem("mms://host/x.asf", "[E]player", "x", "");
    m_list->AddItem("http://host/page", "<E>page", "x", "");
    for (int row = 0; row < m_list->RowCount(); ++row) {
        EXPECT_EQ(m_scheduler->RecordRow(row), 0) << row;
    }
    EXPECT_EQ(m_scheduler->RecordRow(5), 0);
    EXPECT_EQ(m_scheduler->RecordRow(-1), 0);
    EXPECT_EQ(m_opener.opened, (std::vector<std::string>{RecordScheduler::SearchUrl("some words"),
                                                         "http://host/page"}));
    // The chain passes over them all, opening nothing.
    m_scheduler->RecordNextFrom(0);
    m_list->SelectRow(1);
    m_scheduler->RecordStart();
    EXPECT_EQ(m_opener.opened.size(), 3u);
    EXPECT_FALSE(m_scheduler->Recording());
    EXPECT_EQ(m_captureOffs, 0);
    // Notices of no job, and of "job 0" (what every idle row carries).
    m_scheduler->HandleNotice(JobSink::kFinished, 42);
    m_scheduler->HandleNotice(JobSink::kFinished, 0);
    EXPECT_EQ(Cell(0, kColRecord), "");
}

TEST_F(RecordSchedulerTest, RowsRecordOneAfterAnother) {
    TestServer server(test::ShortClips());
    ASSERT_TRUE(server.Ready());
    const std::vector<std::string> rows = {At(server.HttpPort(), "/c1.asf"),
                                           At(server.MmsPort(), "/c2.asf", "mms"),
                                           At(server.HttpPort(), "/c3.asf")};
    Add(rows);
    int changes = 0;
    m_scheduler->SetButtonsChanged([&] { ++changes; });
    EXPECT_EQ(m_scheduler->RecordRow(0), 1);
    EXPECT_TRUE(m_scheduler->Recording());
    EXPECT_EQ(m_scheduler->RecordRow(2), 0);  // one at a time
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(m_captureOffs, 3);
    EXPECT_GE(changes, 6);

    const std::string base = fs::absolute(m_base.Path()).string();
    const std::vector<std::string> expected = {rows[0], base + "/c1.asf", rows[1], base + "/c2.asf",
                                               rows[2], base + "/c3.asf"};
    ASSERT_EQ(Addresses(), expected);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(rows[i]);
        const int row = 2 * i;
        EXPECT_EQ(Cell(row, kColRecord), "Completed");
        EXPECT_EQ(m_list->Row(row).mark, kMarkRecorded);
        EXPECT_EQ(m_list->Row(row).jobNumber, 0u);
        EXPECT_EQ(Cell(row, kColRecordingFile), expected[row + 1]);
        EXPECT_TRUE(Shaped(Cell(row, kColTime), "0:00:0#")) << Cell(row, kColTime);
        EXPECT_EQ(m_list->Row(row + 1).mark, kMarkLocal);
        EXPECT_EQ(Cell(row + 1, kColSize), SizeText(fs::file_size(expected[row + 1])));
        // The same bytes as the command line makes of the address.
        TempDir cli;
        const test::CommandResult run =
            test::Run({kCli, "record", "--quiet", "--dir", cli.Path().string(), rows[i], "same"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(test::ReadFileBytes(expected[row + 1]), test::ReadFileBytes(cli / "same.asf"));
        EXPECT_EQ(test::Probe(expected[row + 1]).Get("format.nb_streams"), "2");
    }
}

TEST_F(RecordSchedulerTest, StopEndsTheRunningJobAndTheChain) {
    TestServer paced(test::ShortClips(), {"--rate", "realtime"});
    ASSERT_TRUE(paced.Ready());
    Add({At(paced.MmsPort(), "/c1.asf", "mms"), At(paced.HttpPort(), "/c2.asf")});
    ASSERT_EQ(m_scheduler->RecordRow(0), 1);
    ASSERT_TRUE(m_sink.RunUntil([&] { return Shaped(Cell(0, kColRecord), "#:#(# %)"); }));
    EXPECT_TRUE(Shaped(Cell(0, kColSize), "#K")) << Cell(0, kColSize);
    m_scheduler->RecordStop();
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(Cell(0, kColRecord), "Cancelled");
    EXPECT_EQ(m_list->Row(0).mark, kMarkNetwork);
    EXPECT_EQ(Cell(2, kColRecord), "");  // row 1 is the file row
    EXPECT_EQ(test::Probe(Cell(1, kColOriginalFile)).Get("format.nb_streams"), "2");

    // A job waiting on the file-exists question is ended by Record Stop,
    // and the file stays as it was.
    const std::vector<uint8_t> junk = {'j', 'u', 'n', 'k'};
    test::WriteFileBytes(m_base / "c2.asf", junk);
    m_script->holdExists = true;
    ASSERT_EQ(m_scheduler->RecordRow(2), 1);
    ASSERT_TRUE(m_sink.RunUntil([&] { return m_script->holding.load(); }, 200));
    m_scheduler->RecordStop();
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(Cell(2, kColRecord), "Cancelled");
    EXPECT_EQ(test::ReadFileBytes(m_base / "c2.asf"), junk);

    // Stopped before the first packet: cancelled too, not an error of the
    // cut connection.
    const int row = m_list->AddItem(At(paced.HttpPort(), "/c3.asf"), "", "", "");
    ASSERT_EQ(m_scheduler->RecordRow(row), 1);
    ASSERT_TRUE(m_sink.RunUntil([&] { return Cell(row, kColRecord) == "Received Head"; }));
    m_scheduler->RecordStop();
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(Cell(row, kColRecord), "Cancelled");
    EXPECT_EQ(Cell(row, kColSize), "");
}

TEST_F(RecordSchedulerTest, FailedRowThenTheNextCompletes) {
    TestServer server(test::ShortClips());
    ASSERT_TRUE(server.Ready());
    const std::string good = At(server.HttpPort(), "/c2.asf");
    Add({At(test::ClosedPort(), "/c1.asf"), good});
    ASSERT_EQ(m_scheduler->RecordRow(0), 1);
    ASSERT_TRUE(RunToEnd());
    for (const char* status : {"", "Received Head", "Completed", "Cancelled"}) {
        EXPECT_NE(Cell(0, kColRecord), status);  // the job's error text
    }
    EXPECT_EQ(Cell(0, kColSize), "Error");
    EXPECT_EQ(Cell(0, kColRecordingFile), "");
    EXPECT_EQ(m_list->Row(0).mark, kMarkNetwork);
    // The HTTP engine names its file before it connects; the failed job
    // leaves no file, and no row for one.
    EXPECT_EQ(Cell(1, kColOriginalFile), good);
    EXPECT_EQ(Cell(1, kColRecord), "Completed");
}

TEST_F(RecordSchedulerTest, CredentialsAnsweredOnceServeTheNextRow) {
    TestServer locked(test::ShortClips(), {"--auth", "u:p"});
    ASSERT_TRUE(locked.Ready());
    m_script->credentials = JobPrompt::Credentials{"u", "p", false};
    Add({At(locked.HttpPort(), "/c1.asf"), At(locked.HttpPort(), "/c2.asf")});
    ASSERT_EQ(m_scheduler->RecordRow(0), 1);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(m_list->UserName(), "u");
    EXPECT_EQ(m_list->Password(), "p");
    EXPECT_EQ(m_script->credentialAsks.load(), 1);
    EXPECT_EQ(Cell(0, kColRecord), "Completed");
    EXPECT_EQ(Cell(2, kColRecord), "Completed");
}

TEST_F(RecordSchedulerTest, ExistingFilesPassPassAllAndQuit) {
    TestServer server(test::ShortClips());
    ASSERT_TRUE(server.Ready());
    const std::vector<std::string> rows = {At(server.HttpPort(), "/c1.asf"),
                                           At(server.HttpPort(), "/c2.asf"),
                                           At(server.HttpPort(), "/c3.asf")};
    const std::vector<uint8_t> junk = {'j', 'u', 'n', 'k'};
    const std::string base = fs::absolute(m_base.Path()).string();
    auto run = [&](JobPrompt::ExistsAnswer answer, bool all) {
        Renew();
        for (const char* name : {"c1.asf", "c2.asf"}) {
            test::WriteFileBytes(m_base / name, junk);
        }
        fs::remove(m_base / "c3.asf");
        m_script->exists = {answer, all};
        Add(rows);
        EXPECT_EQ(m_scheduler->RecordRow(0), 1);
        EXPECT_TRUE(RunToEnd());
    };
    // Pass: the existing file is listed below its row, and the chain goes on.
    run(JobPrompt::ExistsAnswer::Pass, false);
    EXPECT_EQ(Addresses(), (std::vector<std::string>{rows[0], base + "/c1.asf", rows[1],
                                                     base + "/c2.asf", rows[2], base + "/c3.asf"}));
    EXPECT_EQ(m_script->existsAsks.load(), 2);
    EXPECT_EQ(Cell(0, kColRecord), "Cancelled");
    EXPECT_EQ(Cell(4, kColRecord), "Completed");
    EXPECT_EQ(test::ReadFileBytes(m_base / "c1.asf"), junk);

    // Pass with All: asked once, the later existing file is passed unasked.
    run(JobPrompt::ExistsAnswer::Pass, true);
    EXPECT_EQ(m_script->existsAsks.load(), 1);
    EXPECT_EQ(Cell(2, kColRecord), "Cancelled");
    EXPECT_EQ(Cell(4, kColRecord), "Completed");
    EXPECT_EQ(test::ReadFileBytes(m_base / "c2.asf"), junk);
    CmmsThread::PassAll().store(false);

    // Quit: nothing follows.
    run(JobPrompt::ExistsAnswer::Quit, false);
    EXPECT_EQ(Addresses(), rows);
    EXPECT_EQ(Cell(0, kColRecord), "Cancelled");
    EXPECT_EQ(Cell(1, kColRecord), "");
    EXPECT_FALSE(fs::exists(m_base / "c3.asf"));
}

// Exit while a job records: its end is on the row at once, and what the
// job still sends is ignored.
TEST_F(RecordSchedulerTest, StopAllAppliesTheEndsAtOnce) {
    TestServer paced(test::ShortClips(), {"--rate", "realtime"});
    ASSERT_TRUE(paced.Ready());
    Add({At(paced.HttpPort(), "/c1.asf"), At(paced.HttpPort(), "/c2.asf")});
    ASSERT_EQ(m_scheduler->RecordRow(0), 1);
    ASSERT_TRUE(m_sink.RunUntil([&] { return Cell(0, kColSize) != ""; }));
    m_scheduler->StopAll();
    EXPECT_FALSE(m_scheduler->Recording());
    EXPECT_EQ(Cell(0, kColRecord), "Cancelled");
    EXPECT_EQ(m_list->Row(0).jobNumber, 0u);
    m_sink.RunQueued();  // what the joined job sent before it ended
    EXPECT_EQ(Cell(0, kColRecord), "Cancelled");
    EXPECT_EQ(Cell(2, kColRecord), "");
    EXPECT_EQ(m_scheduler->RecordRow(2), 0);
}

}  // namespace
}  // namespace tapewell
