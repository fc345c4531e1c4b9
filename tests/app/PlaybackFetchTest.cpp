// Playing through the engines without a player: the cache folder, the
// feed's bytes, stop, credentials, failures, the stale-folder sweep, the
// route by address, and the recording's flush and lock that time-shift
// relies on.
#include "app/PlaybackFetch.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <functional>
#include <thread>

#include "app/PlaybackRoute.h"
#include "app/SchedulerBench.h"
#include "common/FileLock.h"
#include "player/GrowingFileFeed.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto until = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// A 3 s clip to serve, made once for the program.
const std::filesystem::path& ClipFolder() {
    static test::TempDir root;
    static const bool made = [] {
        test::AsfRecipe recipe;
        recipe.seconds = 3.0;
        recipe.size = "160x120";
        return test::MakeAsf(root / "clip.asf", recipe);
    }();
    EXPECT_TRUE(made);
    return root.Path();
}

// A fresh cache folder for each test.
class PlaybackFetchTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_CACHE_HOME", m_cache.Path().c_str(), 1); }

    std::vector<std::filesystem::path> PlayFolders() const {
        std::vector<std::filesystem::path> folders;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(m_cache / "Tapewell", error)) {
            folders.push_back(entry.path());
        }
        return folders;
    }

    // Reads the feed to its end.
    static std::vector<uint8_t> ReadAll(GrowingFileFeed& feed) {
        std::vector<uint8_t> bytes;
        std::vector<uint8_t> chunk(8192);
        for (;;) {
            auto n = feed.Read(chunk);
            EXPECT_TRUE(n) << n.error().message;
            if (!n || *n == 0) {
                return bytes;
            }
            bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<ptrdiff_t>(*n));
        }
    }

    test::TempDir m_cache;
    const std::filesystem::path& m_root = ClipFolder();
    AppSettings m_settings;
};

TEST_F(PlaybackFetchTest, EveryStreamingAddressFillsAPrivateFolderThatStopRemoves) {
    test::TestServer server(m_root);
    ASSERT_TRUE(server.Ready());
    const std::string mms = "127.0.0.1:" + std::to_string(server.MmsPort()) + "/clip.asf";
    const std::string http = "127.0.0.1:" + std::to_string(server.HttpPort()) + "/clip.asf";
    for (const std::string& address :
         {"mms://" + mms, "mmst://" + mms, "mmsu://" + mms, "rtsp://" + mms, "http://" + http}) {
        EXPECT_EQ(RoutePlayback(address), PlaybackRoute::kEngines) << address;
        PlaybackFetch fetch(m_settings, {address, "", ""});
        ASSERT_TRUE(fetch.Start());
        struct stat info {};
        ASSERT_EQ(stat(fetch.Folder().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        EXPECT_TRUE(IsLockedForWriting(fetch.Folder()));
        ASSERT_TRUE(WaitUntil([&] { return fetch.Poll() != PlaybackFetch::State::kFetching; }));
        ASSERT_EQ(fetch.Poll(), PlaybackFetch::State::kReady) << address << fetch.ErrorText();
        auto feed = fetch.Feed();
        EXPECT_EQ(feed->Path().parent_path(), fetch.Folder());
        const std::vector<uint8_t> bytes = ReadAll(*feed);
        // The feed may end when the job lets go of the file, a moment before
        // the job's end notice.
        EXPECT_TRUE(WaitUntil([&] { return fetch.JobEnded(); }));
        EXPECT_GT(bytes.size(), 30'000u) << address;
        EXPECT_EQ(bytes.size(), std::filesystem::file_size(feed->Path()));
        const std::filesystem::path folder = fetch.Folder();
        fetch.Stop();
        EXPECT_FALSE(std::filesystem::exists(folder));
    }
    EXPECT_TRUE(PlayFolders().empty());
}

TEST_F(PlaybackFetchTest, StopEndsALiveSessionAtOnce) {
    test::TestServer server(m_root, {"--live", "--rate", "realtime"});
    ASSERT_TRUE(server.Ready());
    PlaybackFetch fetch(
        m_settings, {"mms://127.0.0.1:" + std::to_string(server.MmsPort()) + "/clip.asf", "", ""});
    ASSERT_TRUE(fetch.Start());
    ASSERT_TRUE(WaitUntil([&] { return fetch.Poll() == PlaybackFetch::State::kReady; }))
        << fetch.ErrorText() << " " << int(fetch.Poll());
    EXPECT_EQ(test::ConnectionsTo(server.MmsPort()), 1);
    std::vector<uint8_t> chunk(1 << 16);
    ASSERT_TRUE(fetch.Feed()->Read(chunk));
    const auto start = Clock::now();
    fetch.Stop();
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_EQ(test::ConnectionsTo(server.MmsPort()), 0);
    EXPECT_TRUE(PlayFolders().empty());
    // The feed of a stopped fetch ends instead of waiting for more.
    EXPECT_TRUE(WaitUntil([&] {
        auto n = fetch.Feed()->Read(chunk);
        return n && *n == 0;
    }));
}

TEST_F(PlaybackFetchTest, CredentialsGoToTheServerAndAFailureCarriesTheJobsText) {
    test::TestServer server(m_root, {"--only", "http", "--auth", "u:p"});
    ASSERT_TRUE(server.Ready());
    const std::string address =
        "http://127.0.0.1:" + std::to_string(server.HttpPort()) + "/clip.asf";
    {
        PlaybackFetch fetch(m_settings, {address, "u", "p"});
        ASSERT_TRUE(fetch.Start());
        ASSERT_TRUE(WaitUntil([&] { return fetch.Poll() != PlaybackFetch::State::kFetching; }));
        EXPECT_EQ(fetch.Poll(), PlaybackFetch::State::kReady) << fetch.ErrorText();
    }
    {
        PlaybackFetch fetch(m_settings, {address, "", ""});
        ASSERT_TRUE(fetch.Start());
        ASSERT_TRUE(WaitUntil([&] { return fetch.Poll() != PlaybackFetch::State::kFetching; }));
        EXPECT_EQ(fetch.Poll(), PlaybackFetch::State::kFailed);
        EXPECT_EQ(fetch.ErrorText(), "Authorization cancelled!");
        EXPECT_TRUE(WaitUntil([&] { return fetch.JobEnded(); }));
    }
    // Nothing listens here: the job's connection error is the open's.
    PlaybackFetch fetch(m_settings, {"mms://127.0.0.1:1/clip.asf", "", ""});
    ASSERT_TRUE(fetch.Start());
    ASSERT_TRUE(WaitUntil([&] { return fetch.Poll() != PlaybackFetch::State::kFetching; }, 30s));
    EXPECT_EQ(fetch.Poll(), PlaybackFetch::State::kFailed);
    EXPECT_EQ(fetch.ErrorText(), "connect failed !!");
}

TEST_F(PlaybackFetchTest, TheSweepRemovesOnlyFoldersNoInstanceHolds) {
    const auto root = m_cache / "Tapewell";
    for (const char* name : {"play-stale1", "play-held00", "keep-me"}) {
        std::filesystem::create_directories(root / name / "sub");
        test::WriteFileBytes(root / name / "sub" / "play.asf", {1, 2, 3});
    }
    auto held = FileLock::Exclusive(root / "play-held00");
    ASSERT_TRUE(held);
    RemoveStalePlaybackFolders(root);
    EXPECT_FALSE(std::filesystem::exists(root / "play-stale1"));
    EXPECT_TRUE(std::filesystem::exists(root / "play-held00" / "sub" / "play.asf"));
    EXPECT_TRUE(std::filesystem::exists(root / "keep-me"));
    EXPECT_EQ(PlaybackCacheRoot(), root);
}

TEST_F(PlaybackFetchTest, RoutesByAddressAndByTheWritersLock) {
    const auto file = m_root / "clip.asf";
    EXPECT_EQ(RoutePlayback(file.string()), PlaybackRoute::kDirect);
    EXPECT_EQ(RoutePlayback("  " + file.string()), PlaybackRoute::kDirect);
    {
        auto lock = FileLock::Exclusive(file);
        ASSERT_TRUE(lock);
        EXPECT_EQ(RoutePlayback(file.string()), PlaybackRoute::kGrowingFile);
    }
    EXPECT_EQ(RoutePlayback(file.string()), PlaybackRoute::kDirect);
    EXPECT_EQ(RoutePlayback("MMS://host/a"), PlaybackRoute::kEngines);
    EXPECT_EQ(RoutePlayback("http://host/live"), PlaybackRoute::kEngines);
    EXPECT_EQ(RoutePlayback("http://host/list.asx"), PlaybackRoute::kEngines);
    EXPECT_EQ(RoutePlayback("http://host/song.mp3"), PlaybackRoute::kDirect);
    EXPECT_EQ(RoutePlayback("https://host/a.asf"), PlaybackRoute::kDirect);
}

// A live recording by the command-line program, paced as the server sends
// it: the file on disk keeps up within about a second, and reads as being
// written until the program ends.
TEST_F(PlaybackFetchTest, ARecordingInProgressIsOnDiskWithinASecondAndLocked) {
    test::TestServer server(m_root, {"--live", "--rate", "realtime"});
    ASSERT_TRUE(server.Ready());
    const auto out = m_cache / "out";
    const pid_t pid =
        test::Spawn({TAPEWELL_CLI_PATH, "record", "--quiet", "--dir", out.string(),
                     "mms://127.0.0.1:" + std::to_string(server.MmsPort()) + "/clip.asf", "live"});
    const auto file = out / "live.asf";
    ASSERT_TRUE(WaitUntil([&] {
        std::error_code error;
        return std::filesystem::file_size(file, error) > 0 && !error;
    }));
    uintmax_t size = std::filesystem::file_size(file);
    auto grew = Clock::now();
    std::chrono::milliseconds longestWait{0};
    bool alwaysLocked = true;
    for (auto until = Clock::now() + 3s; Clock::now() < until;) {
        std::this_thread::sleep_for(50ms);
        alwaysLocked = alwaysLocked && IsLockedForWriting(file);
        const uintmax_t now = std::filesystem::file_size(file);
        if (now != size) {
            longestWait = std::max(
                longestWait,
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - grew));
            size = now;
            grew = Clock::now();
        }
    }
    EXPECT_LE(longestWait, 1500ms);
    EXPECT_LE(Clock::now() - grew, 1500ms);
    EXPECT_TRUE(alwaysLocked);
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_FALSE(IsLockedForWriting(file));
}

}  // namespace
}  // namespace tapewell
