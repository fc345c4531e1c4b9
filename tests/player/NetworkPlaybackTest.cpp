// Streams GStreamer cannot read, played through the recording engines: every
// scheme of an on-demand clip to its end, a live stream past its preroll,
// and the command-line player with its stop by signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "app/PlaybackFetch.h"
#include "player/GrowingFileFeed.h"
#include "player/GstPlayer.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class NetworkPlayback : public ::testing::Test {
protected:
    void SetUp() override {
        test::AsfRecipe recipe;
        recipe.seconds = 4.0;
        recipe.size = "160x120";
        ASSERT_TRUE(test::MakeAsf(m_root / "clip.asf", recipe));
        m_cacheBefore = std::getenv("XDG_CACHE_HOME");
        setenv("XDG_CACHE_HOME", m_cache.Path().c_str(), 1);
    }
    void TearDown() override { setenv("XDG_CACHE_HOME", m_cacheBefore.c_str(), 1); }

    bool NoPlayFolders() const {
        std::error_code error;
        return std::filesystem::is_empty(m_cache / "Tapewell", error) || error;
    }

    // Fetches address and plays it until its end, `limit`, or (when
    // `enough` is set) until the pictures span that much media time, noting
    // the media time of each picture; the event that ended it (-1 for the
    // limit or enough).
    int Play(const std::string& address, const GstPlayer::OpenOptions& options,
             std::vector<double>& positions, std::chrono::seconds limit = 20s, double enough = 0) {
        PlaybackFetch fetch(AppSettings(), {address, "", ""});
        EXPECT_TRUE(fetch.Start());
        const auto until = Clock::now() + limit;
        while (fetch.Poll() == PlaybackFetch::State::kFetching && Clock::now() < until) {
            std::this_thread::sleep_for(10ms);
        }
        if (fetch.Poll() != PlaybackFetch::State::kReady) {
            ADD_FAILURE() << address << ": " << fetch.ErrorText();
            return -2;
        }
        GstPlayer player;
        EXPECT_TRUE(player.OpenFeed(fetch.Feed(), options)) << player.LastError();
        std::mutex mutex;
        player.SetFrameCallback([&](const VideoFrame& frame) {
            std::lock_guard lock(mutex);
            positions.push_back(static_cast<double>(frame.timeNs) / 1e9);
        });
        const auto spanned = [&] {
            std::lock_guard lock(mutex);
            return enough > 0 && !positions.empty() &&
                   positions.back() - positions.front() > enough;
        };
        int end = -1;
        while (Clock::now() < until && end == -1 && !spanned()) {
            const int event = player.PollEvent(nullptr, nullptr);
            if (event == GstPlayer::kEventOpened) {
                EXPECT_TRUE(player.Play());
            } else if (event == GstPlayer::kEventComplete || event == GstPlayer::kEventErrorAbort) {
                end = event;
            }
            std::this_thread::sleep_for(20ms);
        }
        m_lastPosition = player.GetPosition();
        player.RemoveFrameCallback();
        if (end == GstPlayer::kEventErrorAbort) {
            ADD_FAILURE() << address << ": " << player.LastError();
        }
        player.Close();
        return end;
    }

    test::TempDir m_root;
    test::TempDir m_cache;
    std::string m_cacheBefore;
    double m_lastPosition = 0;
};

TEST_F(NetworkPlayback, EverySchemeOfAnOnDemandClipPlaysToTheEnd) {
    test::TestServer server(m_root.Path());
    ASSERT_TRUE(server.Ready());
    const std::string mms = "127.0.0.1:" + std::to_string(server.MmsPort()) + "/clip.asf";
    GstPlayer::OpenOptions fast;
    fast.clocked = false;
    for (const std::string& address :
         {"mms://" + mms, "mmst://" + mms, "mmsu://" + mms,
          "http://127.0.0.1:" + std::to_string(server.HttpPort()) + "/clip.asf"}) {
        std::vector<double> positions;
        EXPECT_EQ(Play(address, fast, positions), GstPlayer::kEventComplete) << address;
        ASSERT_GE(positions.size(), 90u) << address;  // 25 a second
        EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end())) << address;
        EXPECT_NEAR(positions.back(), 4.0, 0.1) << address;
        EXPECT_NEAR(m_lastPosition, 4.0, 0.1) << address;
        EXPECT_TRUE(NoPlayFolders());
    }
}

TEST_F(NetworkPlayback, ALiveStreamPlaysOnPastItsPreroll) {
    test::TestServer server(m_root.Path(), {"--live", "--rate", "realtime"});
    ASSERT_TRUE(server.Ready());
    std::vector<double> positions;
    // Generous: a loaded machine may take seconds to preroll; what matters
    // is that the pictures go on past it rather than stalling.
    EXPECT_EQ(Play("mms://127.0.0.1:" + std::to_string(server.MmsPort()) + "/clip.asf",
                   GstPlayer::OpenOptions(), positions, 30s, 3.5),
              -1);
    ASSERT_FALSE(positions.empty());
    EXPECT_GT(positions.back() - positions.front(), 3.0);
    EXPECT_GT(m_lastPosition, 3.0);
    EXPECT_TRUE(NoPlayFolders());
}

// Stopped by a signal while it plays a live stream, whose recording into
// the cache is still under way.
TEST_F(NetworkPlayback, TheCommandLinePlayerShowsTheStreamAndStopsOnASignal) {
    test::TestServer server(m_root.Path(), {"--live", "--rate", "realtime"});
    ASSERT_TRUE(server.Ready());
    const std::string address = "mms://127.0.0.1:" + std::to_string(server.MmsPort()) + "/clip.asf";
    const auto out = m_root / "out.txt";
    const pid_t pid = test::Spawn({"/bin/sh", "-c", "exec \"$@\" > \"$0\"", out.string(), "env",
                                   "XDG_CACHE_HOME=" + m_cache.Path().string(),
                                   "XDG_CONFIG_HOME=" + (m_cache / "config").string(),
                                   TAPEWELL_CLI_PATH, "play", address});
    const auto printed = [&] {
        const auto bytes = test::ReadFileBytes(out);
        return std::string(bytes.begin(), bytes.end());
    };
    const auto until = Clock::now() + 30s;
    while (printed().find("position ") == std::string::npos && Clock::now() < until) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_FALSE(NoPlayFolders());
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
    const std::string text = printed();
    EXPECT_NE(text.find("opened " + address), std::string::npos) << text;
    EXPECT_NE(text.find("position 0:00:00 / "), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with("stopped\n")) << text;
    EXPECT_TRUE(NoPlayFolders());
}

}  // namespace
}  // namespace tapewell
