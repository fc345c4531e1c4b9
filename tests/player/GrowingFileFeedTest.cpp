// A file that is still being written, read in order by the feed and played
// from it: stalls, the writer's end, cancellation and a file replaced under
// the reader.
#include "player/GrowingFileFeed.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "PlayerTestMedia.h"
#include "common/FileLock.h"
#include "common/Limits.h"
#include "player/GstPlayer.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Appends bytes to path in three parts. After each of the first two it
// stalls until the feed has handed out all that is there and one more
// poll of the feed has passed, so the reader waits at the end of a file
// that is not done (a reader still behind after 10 s is not waited for);
// done() runs once the last part is on disk.
class ThirdsWriter {
public:
    ThirdsWriter(std::filesystem::path path, std::vector<uint8_t> bytes,
                 const GrowingFileFeed& feed, std::function<void()> done = {})
        : m_thread([=, this, &feed] {
              std::ofstream out(path, std::ios::binary | std::ios::app);
              const size_t third = bytes.size() / 3;
              for (size_t part = 0; part < 3; ++part) {
                  const size_t begin = part * third;
                  const size_t end = part == 2 ? bytes.size() : begin + third;
                  out.write(reinterpret_cast<const char*>(bytes.data() + begin),
                            static_cast<std::streamsize>(end - begin));
                  out.flush();
                  if (part < 2) {
                      const auto until = Clock::now() + 10s;
                      while (feed.Offset() < end && Clock::now() < until) {
                          std::this_thread::sleep_for(5ms);
                      }
                      std::this_thread::sleep_for(std::chrono::milliseconds(limits::kFeedPollMs));
                  }
              }
              out.close();
              m_doneAt = Clock::now();
              if (done) {
                  done();
              }
          }) {}
    ~ThirdsWriter() { m_thread.join(); }
    Clock::time_point DoneAt() const { return m_doneAt; }

private:
    std::atomic<Clock::time_point> m_doneAt{};
    std::thread m_thread;
};

// Longer than the 3.1 s preroll ffmpeg writes into the header: the ASF
// demuxer of a stream holds the streams back until it has that much.
const std::filesystem::path& FeedClip() {
    static const auto path = [] {
        test::AsfRecipe recipe;
        recipe.seconds = 5.0;
        recipe.size = "160x120";
        auto made = test::MediaFolder() / "feed.asf";
        test::MakeAsf(made, recipe);
        return made;
    }();
    return path;
}

std::shared_ptr<GrowingFileFeed> OpenFeed(const std::filesystem::path& path,
                                          GrowingFileFeed::Writer writer) {
    auto feed = GrowingFileFeed::Open(path, writer);
    EXPECT_TRUE(feed) << (feed ? "" : feed.error().message);
    return feed ? *feed : nullptr;
}

// Plays to the end, counting frames; the event that ended it.
int CountFrames(GstPlayer& player, std::atomic<int>& frames, std::chrono::seconds limit = 20s) {
    player.SetFrameCallback([&](const VideoFrame&) { ++frames; });
    const auto until = Clock::now() + limit;
    bool playing = false;
    while (Clock::now() < until) {
        const int event = player.PollEvent(nullptr, nullptr);
        if (player.IsOpen() && !playing) {
            playing = player.Play();
        }
        if (event == GstPlayer::kEventComplete || event == GstPlayer::kEventErrorAbort) {
            return event;
        }
        std::this_thread::sleep_for(5ms);
    }
    return -1;
}

TEST(GrowingFileFeed, ReturnsTheWritersBytesAcrossStallsAndEndsWhenItIsDone) {
    test::TempDir dir;
    const auto path = dir / "growing.asf";
    const std::vector<uint8_t> bytes = test::ReadFileBytes(test::VideoClip());
    test::WriteFileBytes(path, {});
    auto feed = OpenFeed(path, GrowingFileFeed::Writer::kOwner);
    ASSERT_TRUE(feed);
    std::vector<uint8_t> read;
    {
        ThirdsWriter writer(path, bytes, *feed, [&] { feed->Finish(); });
        std::vector<uint8_t> chunk(1000);
        for (;;) {
            auto n = feed->Read(chunk);
            ASSERT_TRUE(n) << n.error().message;
            if (*n == 0) {
                break;
            }
            read.insert(read.end(), chunk.begin(), chunk.begin() + static_cast<ptrdiff_t>(*n));
        }
        EXPECT_GE(Clock::now(), writer.DoneAt());
    }
    EXPECT_EQ(read, bytes);
    EXPECT_EQ(feed->Offset(), bytes.size());
}

// The writer of another process is known only by its lock on the file.
TEST(GrowingFileFeed, PlaysEveryFrameOfAFileUnderItsWritersLockAndEndsAfterIt) {
    test::TempDir dir;
    GstPlayer::OpenOptions fast;
    fast.clocked = false;
    std::atomic<int> expected = 0;
    {
        GstPlayer whole;
        ASSERT_TRUE(whole.Open(FeedClip().string(), fast));
        ASSERT_EQ(CountFrames(whole, expected), GstPlayer::kEventComplete);
        ASSERT_GT(expected, 0);
    }
    const auto path = dir / "recording.asf";
    test::WriteFileBytes(path, {});
    auto lock = FileLock::Exclusive(path);
    ASSERT_TRUE(lock);
    EXPECT_TRUE(IsLockedForWriting(path));
    auto feed = OpenFeed(path, GrowingFileFeed::Writer::kLock);
    ThirdsWriter writer(path, test::ReadFileBytes(FeedClip()), *feed, [&] { lock->Release(); });
    GstPlayer player;
    ASSERT_TRUE(player.OpenFeed(feed, fast)) << player.LastError();
    std::atomic<int> frames = 0;
    EXPECT_EQ(CountFrames(player, frames), GstPlayer::kEventComplete) << player.LastError();
    EXPECT_GE(Clock::now(), writer.DoneAt());
    EXPECT_EQ(frames, expected);
    EXPECT_NEAR(player.GetDuration(), 5.0, 0.1);
    EXPECT_FALSE(player.Seek(0.5));
    EXPECT_FALSE(player.SetRate(2.0));
    EXPECT_FALSE(IsLockedForWriting(path));
}

TEST(GrowingFileFeed, CancelEndsAWaitingReadAtOnce) {
    test::TempDir dir;
    const auto path = dir / "stalled.asf";
    test::WriteFileBytes(path, {1, 2, 3});
    auto feed = OpenFeed(path, GrowingFileFeed::Writer::kOwner);
    std::vector<uint8_t> chunk(10);
    ASSERT_EQ(*feed->Read(chunk), 3u);
    Clock::time_point returned;
    std::thread reader([&] {
        auto n = feed->Read(chunk);
        returned = Clock::now();
        EXPECT_TRUE(n && *n == 0);
    });
    std::this_thread::sleep_for(150ms);  // into its wait, most likely
    const auto cancelled = Clock::now();
    feed->Cancel();
    reader.join();
    EXPECT_LT(returned - cancelled, 200ms);
    EXPECT_EQ(*feed->Read(chunk), 0u);
}

TEST(GrowingFileFeed, AFileReplacedOrCutShortUnderTheReaderIsAnError) {
    test::TempDir dir;
    const auto path = dir / "replaced.asf";
    for (bool replace : {true, false}) {
        test::WriteFileBytes(path, std::vector<uint8_t>(100, 7));
        auto feed = OpenFeed(path, GrowingFileFeed::Writer::kOwner);
        std::vector<uint8_t> chunk(200);
        ASSERT_EQ(*feed->Read(chunk), 100u);
        if (replace) {
            test::WriteFileBytes(dir / "other.asf", std::vector<uint8_t>(300, 9));
            std::filesystem::rename(dir / "other.asf", path);
        } else {
            std::filesystem::resize_file(path, 50);
        }
        auto n = feed->Read(chunk);
        ASSERT_FALSE(n) << "read " << *n;
        EXPECT_NE(n.error().message.find(replace ? "replaced" : "cut short"), std::string::npos)
            << n.error().message;
    }
}

// The pump waits in the feed, or on a full queue, when the player closes.
TEST(GrowingFileFeed, ClosingThePlayerInAStallLetsEverythingGo) {
    test::TempDir dir;
    const auto path = dir / "half.asf";
    const std::vector<uint8_t> bytes = test::ReadFileBytes(FeedClip());
    test::WriteFileBytes(
        path, {bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(bytes.size() * 4 / 5)});
    for (bool waitForOpen : {false, true}) {
        auto feed = OpenFeed(path, GrowingFileFeed::Writer::kOwner);
        GstPlayer player;
        ASSERT_TRUE(player.OpenFeed(feed)) << player.LastError();
        const auto until = Clock::now() + 10s;
        while (waitForOpen && !player.IsOpen() && Clock::now() < until) {
            player.PollEvent(nullptr, nullptr);
            std::this_thread::sleep_for(5ms);
        }
        EXPECT_EQ(player.IsOpen(), waitForOpen);
        if (waitForOpen) {
            EXPECT_TRUE(player.Play());
            std::this_thread::sleep_for(300ms);
        }
        const auto start = Clock::now();
        player.Close();
        EXPECT_LT(Clock::now() - start, 1s);
        EXPECT_FALSE(player.IsFeed());
    }
}

}  // namespace
}  // namespace tapewell
