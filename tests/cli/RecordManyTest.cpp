// tapewell-cli record with several items: parallel live recordings from one
// test server, item names, a stop of them all, the new options' bad values
// and a planned start cancelled while waiting. Every file goes to ffprobe.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

namespace fs = std::filesystem;
using test::CommandResult;
using test::TempDir;
using test::TestServer;

const std::string kCli = TAPEWELL_CLI_PATH;

// One 2 s clip under four names, looped as broadcasts.
const fs::path& LiveClips() {
    static TempDir root;
    static const bool made = [] {
        test::AsfRecipe recipe;
        recipe.seconds = 2;
        test::MakeAsf(root / "a.asf", recipe);
        for (const char* name : {"b.asf", "c.asf", "d.asf"}) {
            fs::copy_file(root / "a.asf", root / name);
        }
        return true;
    }();
    (void)made;
    return root.Path();
}

// record with the profile kept out of the user's settings, into dir/out.
std::vector<std::string> RecordArgs(const TempDir& dir, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"/usr/bin/env", "XDG_CONFIG_HOME=" + (dir / "config").string(),
                                     kCli,           "record",
                                     "--dir",        (dir / "out").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

int ExitStatus(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// ffprobe's reading of a recording: its two streams and its seconds.
void ExpectRecording(const fs::path& file, double seconds, double within) {
    SCOPED_TRACE(file.string());
    const test::ProbeReport probe = test::Probe(file);
    EXPECT_EQ(probe.Get("format.nb_streams"), "2");
    EXPECT_NEAR(std::stod("0" + probe.Get("format.duration")), seconds, within);
}

// Four broadcasts at once, two of them named: each file as long as
// --max-time, each progress line naming its item.
TEST(CliRecordMany, FourLiveStreamsAtOnce) {
    TestServer live(LiveClips(), {"--live", "--rate", "realtime"});
    ASSERT_TRUE(live.Ready());
    TempDir dir;
    const std::string http = "http://127.0.0.1:" + std::to_string(live.HttpPort());
    const std::string mms = "mms://127.0.0.1:" + std::to_string(live.MmsPort());
    const CommandResult r =
        test::Run(RecordArgs(dir, {"--parallel", "4", "--max-time", "3", http + "/a.asf", "first",
                                   mms + "/b.asf", http + "/c.asf", mms + "/d.asf", "fourth"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Side by side: the last item reports before the first one is done.
    EXPECT_LT(r.out.find("progress [4] "), r.out.rfind("progress [1] ")) << r.out;
    for (const char* name : {"first.asf", "b.asf", "c.asf", "fourth.asf"}) {
        SCOPED_TRACE(name);
        const fs::path file = dir / "out" / name;
        EXPECT_NE(r.out.find("file " + file.string() + "\n"), std::string::npos) << r.out;
        ExpectRecording(file, 3, 1);
    }
    for (const char* label : {"progress [1] ", "progress [2] ", "progress [3] ", "progress [4] "}) {
        EXPECT_NE(r.out.find(label), std::string::npos) << label;
    }
    EXPECT_EQ(r.out.find('\r'), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), 4);
}

// A signal stops every job, and each file is finished; two items that lead
// to one file never run together (the second would resume the first one's
// growing file), so the second is renamed after the first ends.
TEST(CliRecordMany, StopEndsEveryJobAndSharedNamesWait) {
    TestServer live(LiveClips(), {"--live", "--rate", "realtime"});
    ASSERT_TRUE(live.Ready());
    const std::string http = "http://127.0.0.1:" + std::to_string(live.HttpPort());
    TempDir dir;
    const pid_t pid = test::Spawn(
        RecordArgs(dir, {"--parallel", "3", http + "/a.asf", http + "/b.asf", http + "/c.asf"}));
    for (const char* name : {"a.asf", "b.asf", "c.asf"}) {
        ASSERT_TRUE(test::WaitForSize(dir / "out" / name, 20'000)) << name;
    }
    kill(pid, SIGTERM);
    EXPECT_EQ(ExitStatus(pid), 2);
    for (const char* name : {"a.asf", "b.asf", "c.asf"}) {
        // Stopped after at least 20,000 bytes, half a second of the clip.
        ExpectRecording(dir / "out" / name, 5, 4.6);
    }

    TempDir shared;
    const CommandResult r = test::Run(RecordArgs(
        shared, {"--parallel", "2", "--max-time", "1", http + "/a.asf", "same",
                 "mms://127.0.0.1:" + std::to_string(live.MmsPort()) + "/b.asf", "same"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectRecording(shared / "out" / "same.asf", 1, 0.6);
    ExpectRecording(shared / "out" / "same(0).asf", 1, 0.6);
}

// A local time "YYYY-MM-DD HH:MM" minutes from now.
std::string LocalTimeIn(int minutes) {
    const std::time_t at = std::time(nullptr) + minutes * 60;
    std::tm local{};
    localtime_r(&at, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

TEST(CliRecordMany, BadValuesAndACancelledPlannedStart) {
    TempDir dir;
    const std::string address = "http://127.0.0.1:1/a.asf";
    const std::vector<std::vector<std::string>> bad = {
        {"--streams", "bogus"},       {"--streams", "0"},    {"--parallel", "9"},
        {"--parallel", "0"},          {"--reconnect", "-1"}, {"--reconnect", "1001"},
        {"--at", "2026-02-30 10:00"}, {"--at", "tomorrow"},  {"--at", LocalTimeIn(-10)},
    };
    for (std::vector<std::string> args : bad) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        args.push_back(address);
        const CommandResult r = test::Run(RecordArgs(dir, args));
        EXPECT_EQ(r.exitCode, 64);
        EXPECT_NE(r.err.find(args[0]), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    const CommandResult name = test::Run(RecordArgs(dir, {address, "one", "two"}));
    EXPECT_EQ(name.exitCode, 64);
    EXPECT_NE(name.err.find("'two'"), std::string::npos) << name.err;
    EXPECT_FALSE(fs::exists(dir / "out"));

    // Waiting for a start two minutes on; Ctrl-C cancels before anything
    // is recorded.
    TestServer server(LiveClips());
    ASSERT_TRUE(server.Ready());
    const pid_t pid = test::Spawn(
        RecordArgs(dir, {"--at", LocalTimeIn(2), "--max-time", "5",
                         "http://127.0.0.1:" + std::to_string(server.HttpPort()) + "/a.asf"}));
    // The base folder is made after the signals are caught, before the wait.
    for (int i = 0; i < 1000 && !fs::exists(dir / "out"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(fs::exists(dir / "out"));
    kill(pid, SIGINT);
    EXPECT_EQ(ExitStatus(pid), 2);
    EXPECT_TRUE(fs::is_empty(dir / "out"));
}

}  // namespace
}  // namespace tapewell
