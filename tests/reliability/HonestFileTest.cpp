// Recordings that end honestly without being stopped early: short ones
// that are whole (kept however small), a live one ended by its time limit,
// a plain download ended by its size limit, and the Simple Index a player
// seeks by.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "EndingClips.h"
#include "support/TestServer.h"

namespace tapewell::test {
namespace {

namespace fs = std::filesystem;

const std::string kCli = TAPEWELL_CLI_PATH;
constexpr uint64_t kMiB = 1024 * 1024;
constexpr int kLiveSeconds = 10;

class HonestFileTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_CONFIG_HOME", m_config.Path().c_str(), 1); }

    std::vector<std::string> Record(const std::vector<std::string>& more) const {
        std::vector<std::string> args = {kCli, "record", "--quiet", "--dir", m_dir.Path().string()};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    const EndingClips& m_clips = EndingClips::Get();
    TempDir m_config;
    TempDir m_dir;
};

// A short recording that holds its whole stream is kept, whatever its size:
// only a web download that is not valid media is too small to keep.
TEST_F(HonestFileTest, ShortWholeRecordingsAreKept) {
    struct Clip {
        const AsfClip& clip;
        const char* file;
        double seconds;
    };
    for (const Clip& c :
         {Clip{m_clips.shortClip, "short.asf", 1.0}, Clip{m_clips.voice, "voice.wma", 20.0}}) {
        ASSERT_LT(c.clip.bytes.size(), 256u * 1024);
        for (const std::string scheme : {"mms", "http"}) {
            SCOPED_TRACE(std::string(c.file) + " over " + scheme);
            const std::string name = fs::path(c.file).stem().string() + "-" + scheme;
            const CommandResult run =
                test::Run(Record({ClipAddress(FastServer(), scheme, c.file), name}));
            EXPECT_EQ(run.exitCode, 0) << run.err;
            const fs::path file = m_dir / (name + fs::path(c.file).extension().string());
            ASSERT_TRUE(fs::exists(file));
            ExpectWholeRecording(file, c.clip);
            EXPECT_NEAR(ProbeDuration(file), c.seconds, 0.5);
        }
    }
}

// Ten seconds of a broadcast: about 80 KB of audio, kept, its header
// telling what it holds. Both engines record at once.
TEST_F(HonestFileTest, ShortLiveRecordingIsKept) {
    TestServer live(m_clips.Root(), {"--live", "--rate", "realtime"});
    ASSERT_TRUE(live.Ready());
    const std::vector<std::string> schemes = {"mms", "http"};
    std::vector<pid_t> pids;
    for (const std::string& scheme : schemes) {
        pids.push_back(Spawn(Record({"--max-time", std::to_string(kLiveSeconds),
                                     ClipAddress(live, scheme, "voice.wma"), "Live-" + scheme})));
    }
    for (size_t i = 0; i < schemes.size(); ++i) {
        SCOPED_TRACE(schemes[i]);
        int status = 0;
        waitpid(pids[i], &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        const fs::path file = m_dir / ("Live-" + schemes[i] + ".wma");
        ASSERT_TRUE(fs::exists(file));
        const AsfFileLayout layout = ReadAsfFileLayout(file);
        EXPECT_EQ(layout.problem, "");
        EXPECT_EQ(layout.properties.fileSize, layout.fileSize);
        EXPECT_EQ(layout.properties.dataPacketsCount, layout.packets);
        EXPECT_NEAR(ProbeDuration(file), kLiveSeconds, 1.5);
    }
}

// The web fetcher downloads the file the server root publishes, byte for
// byte; stopped at 1 MiB it keeps the whole packets below the limit and
// makes the header say so.
TEST_F(HonestFileTest, PlainDownloadStopsOnAWholePacket) {
    TestServer server(m_clips.Root(), {"--only", "http"});
    ASSERT_TRUE(server.Ready());
    const std::string root = "http://127.0.0.1:" + std::to_string(server.HttpPort()) + "/";
    const CommandResult run = test::Run(Record({"--max-size", "1", root, "Download"}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(server.Log().find("GET / -> 200 download"), std::string::npos) << server.Log();
    const fs::path file = m_dir / "Download.asf";
    const AsfFileLayout layout = ExpectHonestRecording(file, m_clips.longClip);
    const uint64_t dataEnd = layout.DataStart() + layout.packets * layout.packetSize;
    EXPECT_LE(dataEnd, kMiB);
    EXPECT_GT(dataEnd + 2 * layout.packetSize, kMiB);  // not far below it either
    EXPECT_EQ(DecodeErrors(file), "");
}

// Video key frames as ffprobe reads them from the file: presentation time
// (ms, preroll left out) and the packet the frame begins in.
struct KeyFrame {
    int64_t timeMs;
    uint64_t packet;
};

std::vector<KeyFrame> KeyFrames(const fs::path& file, const AsfFileLayout& layout) {
    const CommandResult run =
        test::Run({"ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                   "packet=pts_time,pos,flags", "-of", "csv=p=0", file.string()});
    std::vector<KeyFrame> keys;
    std::istringstream lines(run.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string pts, pos, flags;
        if (std::getline(fields, pts, ',') && std::getline(fields, pos, ',') &&
            std::getline(fields, flags) && flags.find('K') != std::string::npos) {
            const uint64_t at = std::strtoull(pos.c_str(), nullptr, 10);
            keys.push_back({std::llround(std::strtod(pts.c_str(), nullptr) * 1000),
                            (at - layout.DataStart()) / layout.packetSize});
        }
    }
    return keys;
}

// The first video frame ffprobe decodes after seeking to `seconds`.
std::pair<bool, double> FirstFrameAfterSeek(const fs::path& file, int seconds) {
    const CommandResult run =
        test::Run({"ffprobe", "-v", "error", "-read_intervals", std::to_string(seconds) + "%+#1",
                   "-select_streams", "v", "-show_entries", "frame=pts_time,key_frame", "-of",
                   "default=noprint_wrappers=1", file.string()});
    bool key = false;
    double time = -1;
    std::istringstream lines(run.out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.starts_with("key_frame=")) {
            key = line == "key_frame=1";
        } else if (line.starts_with("pts_time=")) {
            time = std::strtod(line.c_str() + 9, nullptr);
        }
    }
    return {key, time};
}

// Each entry of a whole recording's index names the packet where the last
// key frame at or before its time begins, as FFmpeg's own muxer does, and a
// seek into the middle starts on the key frame before the point sought.
TEST_F(HonestFileTest, IndexNamesTheKeyFrameBeforeEachEntry) {
    const fs::path& file = WholeRecording("mms");
    ExpectWholeRecording(file, m_clips.longClip);
    const AsfFileLayout layout = ReadAsfFileLayout(file);
    ASSERT_TRUE(layout.hasIndex);
    const std::vector<KeyFrame> keys = KeyFrames(file, layout);
    ASSERT_GE(keys.size(), 15u);
    for (size_t i = 0; i < layout.index.size(); ++i) {
        const int64_t timeMs = static_cast<int64_t>(i * layout.indexIntervalMs) -
                               static_cast<int64_t>(layout.PrerollMs());
        const KeyFrame* before = nullptr;
        for (const KeyFrame& key : keys) {
            before = key.timeMs <= timeMs ? &key : before;
        }
        if (before != nullptr) {
            ASSERT_EQ(layout.index[i].packet, before->packet)
                << "entry " << i << " (" << timeMs << " ms): key frame at " << before->timeMs
                << " ms";
        }
    }

    const CommandResult seek = test::Run({"ffmpeg", "-v", "error", "-ss", "10", "-i", file.string(),
                                          "-frames:v", "1", "-f", "null", "-"});
    EXPECT_EQ(seek.exitCode, 0);
    EXPECT_EQ(seek.err, "");
    const auto [key, time] = FirstFrameAfterSeek(file, 10);
    EXPECT_TRUE(key);
    EXPECT_GE(time, 9.0);
    EXPECT_LE(time, 10.0);
}

}  // namespace
}  // namespace tapewell::test
