// tapewell-cli record killed (SIGKILL) at random points of an on-demand
// recording, then run again with --resume yes into the same folder: the
// file ends up byte for byte the uninterrupted recording, every time.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "MmsClips.h"
#include "support/TestServer.h"

namespace tapewell::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kCli = TAPEWELL_CLI_PATH;
// The kill delays come from this seed unless TAPEWELL_KILL_SEED gives one;
// a failure names the seed, so that the same kill points can be replayed.
constexpr uint32_t kDefaultSeed = 20261206;
// Fast enough for 20 rounds in a few seconds, slow enough that each
// recording lasts long enough to be killed anywhere in it.
constexpr const char* kPace = "3000";

uint32_t Seed() {
    const char* text = std::getenv("TAPEWELL_KILL_SEED");
    return text ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : kDefaultSeed;
}

class KillResumeTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_CONFIG_HOME", m_config.Path().c_str(), 1); }

    // A recording into the test's folder; an existing file that cannot be
    // continued is recorded again from the start.
    std::vector<std::string> Record(const std::string& address, const std::string& name,
                                    bool resume) const {
        return {kCli,       "record",    "--dir",    m_base.Path().string(), "--quiet",
                "--exists", "overwrite", "--resume", resume ? "yes" : "no",  address,
                name};
    }

    // rounds times: a paced recording killed after a random delay within
    // its usual length, then resumed from the fast server; the result must
    // equal `whole`.
    void KillAndResume(const std::string& paced, const std::string& fast,
                       const std::vector<uint8_t>& whole, int rounds) {
        // How long an uninterrupted paced recording takes, and that it gives
        // the same bytes as the fast one.
        const Clock::time_point start = Clock::now();
        ASSERT_EQ(test::Run(Record(paced, "Paced", false)).exitCode, 0);
        const auto length =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        ASSERT_EQ(ReadFileBytes(m_base / "Paced.asf"), whole);
        // Two kill points the random ones rarely hit: a file cut inside its
        // first packet (what the first 4 KiB flush of the output leaves: no
        // whole packet to keep), and one cut halfway.
        for (const size_t cut : {size_t{4096}, whole.size() / 2}) {
            SCOPED_TRACE("cut at " + std::to_string(cut));
            WriteFileBytes(m_base / "Cut.asf",
                           {whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut)});
            const CommandResult resumed = test::Run(Record(fast, "Cut", true));
            ASSERT_EQ(resumed.exitCode, 0) << resumed.err;
            EXPECT_TRUE(ReadFileBytes(m_base / "Cut.asf") == whole);
        }
        const uint32_t seed = Seed();
        SCOPED_TRACE("kill seed " + std::to_string(seed) + " (TAPEWELL_KILL_SEED)");
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> delayMs(0, static_cast<int>(length.count()));
        for (int round = 0; round < rounds; ++round) {
            const int delay = delayMs(random);
            SCOPED_TRACE("round " + std::to_string(round) + ", killed after " +
                         std::to_string(delay) + " ms");
            const std::string name = "K" + std::to_string(round);
            const pid_t pid = test::Spawn(Record(paced, name, false));
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            const CommandResult resumed = test::Run(Record(fast, name, true));
            ASSERT_EQ(resumed.exitCode, 0) << resumed.err;
            ASSERT_TRUE(ReadFileBytes(m_base / (name + ".asf")) == whole);
            fs::remove(m_base / (name + ".asf"));
        }
    }

    const MmsClips& m_clips = MmsClips::Get();
    TempDir m_config;
    TempDir m_base;
};

TEST_F(KillResumeTest, MmsTwentyTimes) {
    TestServer fast(m_clips.root, {"--only", "mms"});
    TestServer paced(m_clips.root, {"--only", "mms", "--rate", kPace});
    ASSERT_TRUE(fast.Ready() && paced.Ready());
    const std::string path = "/clip.asf";
    const std::string fastAddress = "mms://127.0.0.1:" + std::to_string(fast.MmsPort()) + path;
    ASSERT_EQ(test::Run(Record(fastAddress, "Whole", false)).exitCode, 0);
    KillAndResume("mms://127.0.0.1:" + std::to_string(paced.MmsPort()) + path, fastAddress,
                  ReadFileBytes(m_base / "Whole.asf"), 20);
}

TEST_F(KillResumeTest, HttpStreamingFiveTimes) {
    TestServer fast(m_clips.root, {"--only", "http"});
    TestServer paced(m_clips.root, {"--only", "http", "--rate", kPace});
    ASSERT_TRUE(fast.Ready() && paced.Ready());
    const std::string path = "/clip.asf";
    const std::string fastAddress = "http://127.0.0.1:" + std::to_string(fast.HttpPort()) + path;
    ASSERT_EQ(test::Run(Record(fastAddress, "Whole", false)).exitCode, 0);
    KillAndResume("http://127.0.0.1:" + std::to_string(paced.HttpPort()) + path, fastAddress,
                  ReadFileBytes(m_base / "Whole.asf"), 5);
}

}  // namespace
}  // namespace tapewell::test
