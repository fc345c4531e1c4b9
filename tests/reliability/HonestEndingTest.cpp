// On-demand recordings over MMS and HTTP streaming ended every way a
// recording can end before its stream does: the time and size limits,
// SIGINT and SIGTERM, a server that goes away, a disk that fills up. Each
// leaves a file whose header, packets and index tell the truth about what
// it holds, and each such file, resumed, becomes byte for byte the
// uninterrupted recording.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "EndingClips.h"
#include "TmpfsMount.h"
#include "support/TestServer.h"

namespace tapewell::test {
namespace {

namespace fs = std::filesystem;

const std::string kCli = TAPEWELL_CLI_PATH;
constexpr uint64_t kMiB = 1024 * 1024;
// Fast enough that a paced recording of long.asf takes about 3 s, slow
// enough that a signal lands well inside it.
constexpr const char* kPaceKbps = "6000";
// How much of long.asf a signal waits for: past the first 3 s, so that
// the stopped file still holds the range tapewell-cli cut is asked for.
constexpr uintmax_t kSignalAfterBytes = 700'000;
constexpr int kDropAfterPackets = 200;
constexpr int kMaxTimeSeconds = 5;

int ExitCode(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class HonestEndingTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { setenv("XDG_CONFIG_HOME", m_config.Path().c_str(), 1); }

    std::string Scheme() const { return GetParam(); }
    std::vector<std::string> Record(const fs::path& dir,
                                    const std::vector<std::string>& more) const {
        std::vector<std::string> args = {kCli, "record", "--quiet", "--dir", dir.string()};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    // A stopped recording: honest, with the server's totals kept beside it.
    AsfFileLayout ExpectStopped(const fs::path& file) const {
        const AsfFileLayout layout = ExpectHonestRecording(file, m_clips.longClip);
        EXPECT_LT(layout.packets, m_clips.longClip.packetCount);
        EXPECT_TRUE(HasResumeAttribute(file) || HasResumeSidecar(file));
        return layout;
    }

    // Resumed from the fast server, the file becomes the uninterrupted
    // recording. An existing file that cannot be continued is skipped, so a
    // refused resume shows as a mismatch rather than a fresh recording.
    void ExpectResumesToWhole(const fs::path& file) const {
        SCOPED_TRACE("resumed " + file.filename().string());
        const CommandResult run = test::Run(Record(
            file.parent_path(), {"--resume", "yes", "--exists", "skip",
                                 ClipAddress(FastServer(), Scheme()), file.stem().string()}));
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        EXPECT_EQ(run.out.find("skipped"), std::string::npos) << run.out;
        EXPECT_TRUE(ReadFileBytes(file) == ReadFileBytes(WholeRecording(Scheme())));
        EXPECT_FALSE(HasResumeAttribute(file));
        EXPECT_FALSE(HasResumeSidecar(file));
    }

    const EndingClips& m_clips = EndingClips::Get();
    TempDir m_config;
    TempDir m_dir;
};

TEST_P(HonestEndingTest, TimeAndSizeLimits) {
    const CommandResult timed =
        test::Run(Record(m_dir.Path(), {"--max-time", std::to_string(kMaxTimeSeconds),
                                        ClipAddress(FastServer(), Scheme()), "Timed"}));
    EXPECT_EQ(timed.exitCode, 0) << timed.err;
    const AsfFileLayout byTime = ExpectStopped(m_dir / "Timed.asf");
    EXPECT_NEAR(byTime.LastSendTime(), kMaxTimeSeconds * 1000, 500);

    const CommandResult sized = test::Run(
        Record(m_dir.Path(), {"--max-size", "1", ClipAddress(FastServer(), Scheme()), "Sized"}));
    EXPECT_EQ(sized.exitCode, 0) << sized.err;
    const AsfFileLayout bySize = ExpectStopped(m_dir / "Sized.asf");
    const double dataEnd =
        static_cast<double>(bySize.DataStart() + bySize.packets * bySize.packetSize);
    EXPECT_NEAR(dataEnd, kMiB, 2.0 * bySize.packetSize);

    ExpectResumesToWhole(m_dir / "Timed.asf");
    ExpectResumesToWhole(m_dir / "Sized.asf");
}

TEST_P(HonestEndingTest, SigintAndSigterm) {
    TestServer paced(m_clips.Root(), {"--rate", kPaceKbps});
    ASSERT_TRUE(paced.Ready());
    for (const auto& [signal, name] : {std::pair{SIGINT, "ByInt"}, std::pair{SIGTERM, "ByTerm"}}) {
        SCOPED_TRACE(name);
        const fs::path file = m_dir / (std::string(name) + ".asf");
        const pid_t pid = Spawn(Record(m_dir.Path(), {ClipAddress(paced, Scheme()), name}));
        if (!WaitForSize(file, kSignalAfterBytes)) {
            kill(pid, SIGKILL);
            ExitCode(pid);
            FAIL() << "the recording never reached " << kSignalAfterBytes << " bytes";
        }
        kill(pid, signal);
        EXPECT_EQ(ExitCode(pid), 2);
        ExpectStopped(file);
        ExpectResumesToWhole(file);
    }
}

TEST_P(HonestEndingTest, ServerGoneMidStream) {
    // Reconnects off: the first break ends the recording.
    fs::create_directories(m_config / "Tapewell");
    const std::string ini = "[settings]\nReconnect Tries=0\n";
    WriteFileBytes(m_config / "Tapewell/Tapewell.ini", {ini.begin(), ini.end()});
    TestServer dropping(m_clips.Root(), {"--drop-after", std::to_string(kDropAfterPackets)});
    ASSERT_TRUE(dropping.Ready());
    const CommandResult run =
        test::Run(Record(m_dir.Path(), {ClipAddress(dropping, Scheme()), "Gone"}));
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(ExpectStopped(m_dir / "Gone.asf").packets, uint64_t{kDropAfterPackets});
    ExpectResumesToWhole(m_dir / "Gone.asf");
}

TEST_P(HonestEndingTest, FullDisk) {
    const fs::path disk = m_dir / "disk";
    TmpfsMount mount(disk, "size=1m");
    if (!mount.Mounted()) {
        GTEST_SKIP() << mount.Reason();
    }
    const CommandResult run =
        test::Run(Record(disk, {ClipAddress(FastServer(), Scheme()), "Full"}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
    const AsfFileLayout layout = ExpectStopped(disk / "Full.asf");
    EXPECT_LE(layout.fileSize, kMiB);
    // Room again: the same file goes on where it stopped.
    ASSERT_EQ(::mount("tapewell-test", disk.c_str(), "tmpfs", MS_REMOUNT, "size=8m"), 0)
        << std::strerror(errno);
    ExpectResumesToWhole(disk / "Full.asf");
}

// ramfs keeps no user attributes: the totals go into the hidden file, which
// the completed recording takes away again.
TEST_P(HonestEndingTest, ResumeRecordBesideTheFileWithoutAttributes) {
    const fs::path ram = m_dir / "ram";
    TmpfsMount mount(ram, "", 0, "ramfs");  // no user attributes
    if (!mount.Mounted()) {
        GTEST_SKIP() << mount.Reason();
    }
    const CommandResult run = test::Run(Record(ram, {"--max-time", std::to_string(kMaxTimeSeconds),
                                                     ClipAddress(FastServer(), Scheme()), "Ram"}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ExpectStopped(ram / "Ram.asf");
    EXPECT_FALSE(HasResumeAttribute(ram / "Ram.asf"));
    EXPECT_TRUE(HasResumeSidecar(ram / "Ram.asf"));
    ExpectResumesToWhole(ram / "Ram.asf");
    EXPECT_EQ(std::distance(fs::directory_iterator(ram), fs::directory_iterator()), 1);
}

TEST_P(HonestEndingTest, CompletedRecordingIsNotOfferedForResume) {
    const fs::path& whole = WholeRecording(Scheme());
    ExpectWholeRecording(whole, m_clips.longClip);
    fs::copy_file(whole, m_dir / "Done.asf");
    const CommandResult run =
        test::Run(Record(m_dir.Path(), {"--resume", "yes", "--exists", "skip",
                                        ClipAddress(FastServer(), Scheme()), "Done"}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("skipped " + (m_dir / "Done.asf").string()), std::string::npos)
        << run.out;
    EXPECT_TRUE(ReadFileBytes(m_dir / "Done.asf") == ReadFileBytes(whole));
}

INSTANTIATE_TEST_SUITE_P(Engines, HonestEndingTest, ::testing::Values("mms", "http"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

}  // namespace
}  // namespace tapewell::test
