#include "player/GstPlayer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "PlayerTestMedia.h"
#include "player/HtmlToText.h"
#include "player/MediaPlayer.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

using namespace std::chrono_literals;

// Polls until an end or error event, for at most `limit`; -1 on time-out.
int WaitForEnd(GstPlayer& player, std::chrono::seconds limit = 20s) {
    auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        int event = player.PollEvent(nullptr, nullptr);
        if (event == GstPlayer::kEventComplete || event == GstPlayer::kEventErrorAbort) {
            return event;
        }
        std::this_thread::sleep_for(10ms);
    }
    return -1;
}

// Plays to the end, collecting each caption (cleaned) with the position at
// which it came.
std::vector<std::pair<double, std::string>> CaptionsUntilTheEnd(GstPlayer& player) {
    std::vector<std::pair<double, std::string>> captions;
    EXPECT_TRUE(player.Play());
    for (int event = -1; event != GstPlayer::kEventComplete && captions.size() < 10;) {
        std::string text;
        if (player.GetCaptionText(&text)) {
            captions.emplace_back(player.GetPosition(), HtmlToText(text));
        }
        event = player.PollEvent(nullptr, nullptr);
        if (event == GstPlayer::kEventErrorAbort) {
            ADD_FAILURE() << player.LastError();
            break;
        }
    }
    return captions;
}

// Plays as fast as the media decodes: what these tests look at does not
// need real time.
GstPlayer::OpenOptions Unclocked() {
    GstPlayer::OpenOptions options;
    options.clocked = false;
    return options;
}

TEST(GstPlayer, OpensPlaysToTheEndAndReportsTheMedia) {
    GstPlayer player;
    EXPECT_EQ(player.GetState(), GstPlayer::kNothing);
    ASSERT_TRUE(player.Open(test::VideoClip().string(), Unclocked())) << player.LastError();
    EXPECT_EQ(player.GetState(), GstPlayer::kOpened);
    EXPECT_NEAR(player.GetDuration(), 2.0, 0.1);
    EXPECT_FALSE(player.IsAudioOnly());
    EXPECT_EQ(player.GetVideoWidth(), 320);
    EXPECT_EQ(player.GetVideoHeight(), 240);
    EXPECT_FALSE(player.HasCaptionGraph());
    ASSERT_TRUE(player.Play());
    EXPECT_EQ(player.GetState(), GstPlayer::kRunning);
    EXPECT_EQ(WaitForEnd(player), GstPlayer::kEventComplete);
    EXPECT_NEAR(player.GetPosition(), 2.0, 0.2);
    VideoInfo info;
    ASSERT_TRUE(player.GetVideoInfo(&info));
    EXPECT_EQ(info.frameDuration, 400'000);  // 25 frames a second, in 100 ns
    player.Close();
    EXPECT_EQ(player.GetState(), GstPlayer::kClosed);
    EXPECT_EQ(player.PollEvent(nullptr, nullptr), GstPlayer::kNoEvent);
}

TEST(GstPlayer, SeeksWithinTheMediaAndChangesRateByWholeSteps) {
    GstPlayer player;
    ASSERT_TRUE(player.Open(test::VideoClip().string())) << player.LastError();
    ASSERT_TRUE(player.Seek(1.0));
    EXPECT_NEAR(player.GetPosition(), 1.0, 0.05);
    EXPECT_FALSE(player.Seek(player.GetDuration() + 30));
    EXPECT_NEAR(player.GetPosition(), 1.0, 0.05);
    EXPECT_FALSE(player.Seek(-1));

    EXPECT_FALSE(player.RateDown());  // to 0.0, which no pipeline plays
    EXPECT_EQ(player.GetRate(), 1.0);
    EXPECT_TRUE(player.RateUp());
    EXPECT_EQ(player.GetRate(), 2.0);
    EXPECT_TRUE(player.RateDown());
    EXPECT_EQ(player.GetRate(), 1.0);
}

TEST(MediaPlayer, MapsTheVolumeScaleToDecibelsAndMutesWithoutLosingIt) {
    MediaPlayer player;
    ASSERT_TRUE(player.Open(test::VideoClip().string()));
    long level = 1;
    auto backendLevel = [&] {
        player.Backend()->GetVolume(&level);
        return level;
    };
    player.SetVolume(0);
    EXPECT_EQ(backendLevel(), -10000);
    EXPECT_EQ(player.GetVolume(), 0);
    player.SetVolume(5000);
    EXPECT_EQ(backendLevel(), 0);
    EXPECT_EQ(player.GetVolume(), 5000);
    player.SetVolume(1);
    EXPECT_EQ(backendLevel(), -4999);
    EXPECT_EQ(player.GetVolume(), 1);

    player.SetMute(true);
    EXPECT_EQ(backendLevel(), -10000);
    EXPECT_EQ(player.GetVolume(), 1);
    player.SetVolume(2500);  // stored, not applied while muted
    EXPECT_EQ(backendLevel(), -10000);
    player.SetMute(false);
    EXPECT_EQ(backendLevel(), -2500);
}

TEST(MediaPlayer, TellsSoundOnlyMediaFromVideo) {
    MediaPlayer player;
    EXPECT_TRUE(player.IsAudioOnly());  // nothing open
    ASSERT_TRUE(player.Open(test::SoundClip().string()));
    EXPECT_TRUE(player.IsAudioOnly());
    EXPECT_EQ(player.GetVideoWidth(), 0);
    EXPECT_EQ(player.GetDuration(), 2);
    ASSERT_TRUE(player.Open(test::VideoClip().string()));
    EXPECT_FALSE(player.IsAudioOnly());
}

TEST(GstPlayer, RefusesWhatIsNotMediaAndRecovers) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "notes.asf", std::vector<uint8_t>(4000, 'x'));
    GstPlayer player;
    for (auto path : {dir / "missing.asf", dir / "notes.asf", dir.Path()}) {
        EXPECT_FALSE(player.Open(path.string())) << path;
        EXPECT_FALSE(player.IsOpen());
        EXPECT_EQ(player.GetState(), GstPlayer::kOpening);
        EXPECT_FALSE(player.LastError().empty());
        EXPECT_FALSE(player.Play());
        EXPECT_EQ(player.GetDuration(), 0.0);
        EXPECT_EQ(player.PollEvent(nullptr, nullptr), GstPlayer::kNoEvent);
    }
    EXPECT_FALSE(player.Open("mms://127.0.0.1:9/clip.asf"));
    EXPECT_TRUE(player.Open(test::VideoClip().string())) << player.LastError();
}

TEST(GstPlayer, PlaysAPlainHttpDownload) {
    test::TempDir root;
    // Not an ASF name, so the test server sends the file as a plain download.
    std::filesystem::copy_file(test::VideoClip(), root / "clip.bin");
    test::TestServer server(root.Path(), {"--only", "http"});
    ASSERT_TRUE(server.Ready());
    GstPlayer player;
    ASSERT_TRUE(player.Open("http://127.0.0.1:" + std::to_string(server.HttpPort()) + "/clip.bin",
                            Unclocked()))
        << player.LastError();
    EXPECT_NEAR(player.GetDuration(), 2.0, 0.1);
    long percent = 0;
    int event = player.PollEvent(&percent, nullptr);
    EXPECT_TRUE(event == GstPlayer::kEventOpening || event == GstPlayer::kEventBuffering) << event;
    EXPECT_EQ(percent, 100);
    ASSERT_TRUE(player.Play());
    EXPECT_EQ(WaitForEnd(player), GstPlayer::kEventComplete);
}

TEST(GstPlayer, HandsOverFramesWithTheirTimesAndStopsWhenRemoved) {
    GstPlayer player;
    ASSERT_TRUE(player.Open(test::OddWidthClip().string(), Unclocked()));
    test::TempDir dir;
    ASSERT_TRUE(player.SaveCurrentImage(dir / "first.bmp"));
    test::ProbeReport probe = test::Probe(dir / "first.bmp");
    EXPECT_EQ(probe.Get("stream0.codec_name"), "bmp");
    EXPECT_EQ(probe.Get("stream0.width"), "318");

    std::atomic<int> frames = 0;
    std::atomic<bool> ordered = true;
    int64_t last = -1;
    player.SetFrameCallback([&](const VideoFrame& frame) {
        ordered = ordered && frame.timeNs > last && frame.stride == 956 && frame.width == 318;
        last = frame.timeNs;
        std::this_thread::sleep_for(1ms);
        ++frames;
    });
    ASSERT_TRUE(player.Play());
    for (int waited = 0; frames < 10 && waited < 10'000; ++waited) {
        std::this_thread::sleep_for(1ms);
    }
    player.RemoveFrameCallback();
    int seen = frames;
    EXPECT_GE(seen, 10);
    EXPECT_EQ(WaitForEnd(player), GstPlayer::kEventComplete);
    EXPECT_EQ(frames, seen);
    EXPECT_TRUE(ordered);
}

// A window's frame callback may wait for the window's thread while that
// thread installs another callback: the player must not hold a lock across
// the call that the setter needs. Every wait is bounded, so a deadlock shows
// as a failure, not a hang. Removal then waits for a call in flight.
TEST(GstPlayer, CallsBackWithNoLockHeldAndRemovalWaitsForACallInFlight) {
    GstPlayer player;
    ASSERT_TRUE(player.Open(test::OddWidthClip().string(), Unclocked()));

    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool replaced = false;
    bool sawReplacement = false;
    std::atomic<int> laterFrames = 0;
    player.SetFrameCallback([&](const VideoFrame&) {
        std::unique_lock lock(mutex);
        if (entered) {
            return;
        }
        entered = true;
        changed.notify_all();
        sawReplacement = changed.wait_for(lock, 5s, [&] { return replaced; });
    });
    ASSERT_TRUE(player.Play());
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 5s, [&] { return entered; }));
    }
    player.SetFrameCallback([&](const VideoFrame&) { ++laterFrames; });
    {
        std::lock_guard lock(mutex);
        replaced = true;
        changed.notify_all();
    }
    for (int waited = 0; laterFrames < 3 && waited < 5'000; ++waited) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_GE(laterFrames, 3);
    {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(sawReplacement);
    }

    std::atomic<bool> inCall = false;
    std::atomic<bool> returned = false;
    player.SetFrameCallback([&](const VideoFrame&) {
        if (!inCall.exchange(true)) {
            std::this_thread::sleep_for(200ms);
            returned = true;
        }
    });
    for (int waited = 0; !inCall && waited < 5'000; ++waited) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_TRUE(inCall);
    player.RemoveFrameCallback();
    EXPECT_TRUE(returned);
}

TEST(GstPlayer, DeliversTheSamiCaptionsBesideTheMediaAtTheirTimes) {
    test::TempDir dir;
    auto media = dir / "talk.asf";
    std::filesystem::copy_file(test::VideoClip(), media);
    // Code page 949 text, two cues on one line, a second language, a cue
    // that only clears the band.
    std::string sami =
        "<SAMI><HEAD><STYLE><!-- .KRCC { lang: ko-KR; } .ENCC { lang: en-US; } --></STYLE>"
        "</HEAD><BODY>\n"
        "<SYNC Start=300><P Class=KRCC>Hello&nbsp;world<P Class=ENCC>English\n"
        "<SYNC Start=700><P Class=KRCC><font color=\"red\">Line1<br>\nLine2</font>\n"
        "<SYNC Start=1100><P Class=KRCC>&nbsp;<SYNC Start=1500><P Class=KRCC>\xBE\xC8\xB3\xE7\n"
        "</BODY></SAMI>\n";
    test::WriteFileBytes(dir / "talk.smi", {sami.begin(), sami.end()});

    GstPlayer player;
    std::atomic<int> notices = 0;
    player.SetCaptionNotice([&] { ++notices; });
    ASSERT_TRUE(player.Open(media.string())) << player.LastError();
    EXPECT_TRUE(player.HasCaptionGraph());
    auto captions = CaptionsUntilTheEnd(player);
    const std::vector<std::pair<double, std::string>> expected = {
        {0.3, "Hello world"}, {0.7, "Line1\nLine2"}, {1.1, " "}, {1.5, "안녕"}};
    ASSERT_EQ(captions.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(captions[i].second, expected[i].second);
        EXPECT_NEAR(captions[i].first, expected[i].first, 0.25) << captions[i].second;
    }
    EXPECT_EQ(notices, 4);
}

TEST(GstPlayer, TakesCaptionsFromTheMediasOwnSubtitleTrack) {
    test::TempDir dir;
    std::string srt =
        "1\n00:00:00,300 --> 00:00:00,900\nfrom the file\n\n"
        "2\n00:00:01,000 --> 00:00:01,300\nsecond\n\n";
    test::WriteFileBytes(dir / "subs.srt", {srt.begin(), srt.end()});
    auto media = dir / "subtitled.mkv";
    std::vector<std::string> argv = {
        "ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25"};
    argv.insert(argv.end(), {"-i", (dir / "subs.srt").string(), "-t", "1.5", "-map", "0:v", "-map",
                             "1:s", "-c:v", "mpeg4", "-c:s", "srt", media.string()});
    test::CommandResult made = test::Run(argv);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    GstPlayer player;
    ASSERT_TRUE(player.Open(media.string())) << player.LastError();
    EXPECT_TRUE(player.HasCaptionGraph());
    auto captions = CaptionsUntilTheEnd(player);
    ASSERT_EQ(captions.size(), 2u);
    EXPECT_EQ(captions[0].second, "from the file");
    EXPECT_NEAR(captions[0].first, 0.3, 0.25);
    EXPECT_EQ(captions[1].second, "second");
    EXPECT_NEAR(captions[1].first, 1.0, 0.25);
}

// Polls until the outcome of an open, for at most `limit`; -1 on time-out.
// *opened counts kEventOpened, so that a second one shows.
template <class Player>
int WaitForOpen(Player& player, std::chrono::milliseconds limit, int* opened = nullptr) {
    auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        int event = player.PollEvent(nullptr, nullptr);
        if (event == GstPlayer::kEventOpened && opened) {
            ++*opened;
        }
        if (event == GstPlayer::kEventOpened || event == GstPlayer::kEventErrorAbort) {
            return event;
        }
        std::this_thread::sleep_for(10ms);
    }
    return -1;
}

template <class Fn>
std::chrono::milliseconds TimeOf(Fn&& fn) {
    auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
}

std::string SilentAddress(const test::SilentPeer& peer) {
    return "http://127.0.0.1:" + std::to_string(peer.Port()) + "/live.asf";
}

TEST(GstPlayerOpenAsync, ReportsOpenedOnceAndOnlyThenTakesCommands) {
    GstPlayer player;
    ASSERT_TRUE(player.OpenAsync(test::VideoClip().string(), Unclocked())) << player.LastError();
    EXPECT_EQ(player.GetState(), GstPlayer::kOpening);
    EXPECT_FALSE(player.IsOpen());
    EXPECT_FALSE(player.Play());
    EXPECT_FALSE(player.Seek(1.0));
    EXPECT_FALSE(player.SetRate(2.0));

    int opened = 0;
    ASSERT_EQ(WaitForOpen(player, 5s, &opened), GstPlayer::kEventOpened) << player.LastError();
    EXPECT_EQ(player.GetState(), GstPlayer::kOpened);
    EXPECT_TRUE(player.IsOpen());
    EXPECT_NEAR(player.GetDuration(), 2.0, 0.1);
    EXPECT_EQ(player.GetVideoWidth(), 320);
    ASSERT_TRUE(player.Play());
    // A seek prerolls again, which must not read as a second open.
    ASSERT_TRUE(player.Seek(1.0));
    ASSERT_TRUE(player.Play());
    for (int event = 0; event != GstPlayer::kEventComplete && event != -1;) {
        event = WaitForEnd(player);
        EXPECT_EQ(event, GstPlayer::kEventComplete);
    }
    EXPECT_EQ(WaitForOpen(player, 200ms, &opened), -1);
    EXPECT_EQ(opened, 1);
}

TEST(GstPlayerOpenAsync, AFailedOpenEndsInErrorAbortWithNothingOpen) {
    test::TempDir dir;
    GstPlayer player;
    ASSERT_TRUE(player.OpenAsync((dir / "missing.asf").string()));
    EXPECT_EQ(WaitForOpen(player, 5s), GstPlayer::kEventErrorAbort);
    EXPECT_FALSE(player.LastError().empty());
    EXPECT_FALSE(player.IsOpen());
    EXPECT_FALSE(player.IsOpening());
    EXPECT_EQ(player.GetState(), GstPlayer::kOpening);
    EXPECT_EQ(player.PollEvent(nullptr, nullptr), GstPlayer::kNoEvent);

    // What nothing can read fails before anything starts.
    EXPECT_FALSE(player.OpenAsync("nosuchscheme://127.0.0.1/clip.asf"));
    EXPECT_NE(player.LastError().find("nosuchscheme"), std::string::npos) << player.LastError();
    EXPECT_FALSE(player.IsOpening());
    EXPECT_FALSE(player.OpenAsync(""));
    EXPECT_FALSE(player.LastError().empty());

    MediaPlayer front;
    ASSERT_TRUE(front.OpenAsync((dir / "missing.asf").string()));
    EXPECT_EQ(WaitForOpen(front, 5s), GstPlayer::kEventErrorAbort);
    EXPECT_FALSE(front.Backend()->LastError().empty());
    EXPECT_FALSE(front.IsOpen());
}

TEST(GstPlayerOpenAsync, APendingOpenNeverBlocksAndCloseOrStopCancelsIt) {
    // The peer never answers: blocking would mean waiting for the network's
    // time-out, tens of seconds. The bound leaves room for a loaded machine
    // under AddressSanitizer, where tearing a pipeline down takes a second.
    constexpr auto kPrompt = 3s;
    test::SilentPeer peer;
    GstPlayer player;
    bool started = false;
    EXPECT_LT(TimeOf([&] { started = player.OpenAsync(SilentAddress(peer)); }), kPrompt);
    ASSERT_TRUE(started) << player.LastError();
    EXPECT_EQ(WaitForOpen(player, 500ms), -1);
    EXPECT_TRUE(player.IsOpening());
    EXPECT_FALSE(player.Play());
    EXPECT_FALSE(player.Pause());
    EXPECT_LT(TimeOf([&] { player.Close(); }), kPrompt);
    EXPECT_EQ(player.GetState(), GstPlayer::kClosed);
    EXPECT_FALSE(player.IsOpening());
    EXPECT_EQ(WaitForOpen(player, 300ms), -1);

    MediaPlayer front;
    ASSERT_TRUE(front.OpenAsync(SilentAddress(peer)));
    EXPECT_FALSE(front.Play());
    EXPECT_EQ(WaitForOpen(front, 500ms), -1);
    bool stopped = false;
    EXPECT_LT(TimeOf([&] { stopped = front.Stop(); }), kPrompt);
    EXPECT_TRUE(stopped);
    EXPECT_FALSE(front.Backend()->IsOpening());
    EXPECT_EQ(WaitForOpen(front, 300ms), -1);
}

TEST(GstPlayerOpenAsync, ASecondOpenReplacesThePendingOne) {
    test::SilentPeer peer;
    GstPlayer player;
    ASSERT_TRUE(player.OpenAsync(SilentAddress(peer)));
    // Replaced while its first pictures may already be on their way: the
    // first open must not be reported for the second.
    ASSERT_TRUE(player.OpenAsync(test::VideoClip().string()));
    ASSERT_TRUE(player.OpenAsync(test::SoundClip().string()));
    int opened = 0;
    ASSERT_EQ(WaitForOpen(player, 5s, &opened), GstPlayer::kEventOpened) << player.LastError();
    EXPECT_TRUE(player.IsAudioOnly());
    EXPECT_EQ(WaitForOpen(player, 500ms, &opened), -1);
    EXPECT_EQ(opened, 1);

    // The synchronous open leaves no event of its own behind.
    ASSERT_TRUE(player.Open(test::VideoClip().string()));
    EXPECT_EQ(WaitForOpen(player, 200ms), -1);
    EXPECT_EQ(player.GetState(), GstPlayer::kOpened);
}

}  // namespace
}  // namespace tapewell
