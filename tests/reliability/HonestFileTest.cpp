// Recordings that end honestly without being stopped early: short ones
// that are whole (kept however small), a live one ended by its time limit,
// and a plain download ended by its size limit.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

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

}  // namespace
}  // namespace tapewell::test
