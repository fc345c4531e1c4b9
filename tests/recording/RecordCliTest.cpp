// tapewell-cli record and probe as a user runs them, against
// tapewell-testserver: the result files, the resume after a kill, and the
// stop by SIGINT.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "RecordingClip.h"
#include "support/TestServer.h"

namespace tapewell {
namespace {

using test::RecordingClip;
using test::TempDir;
using test::TestServer;
using test::WaitForSize;
namespace fs = std::filesystem;

const std::string kCli = TAPEWELL_CLI_PATH;

int ExitCode(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class RecordCliTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_CONFIG_HOME", m_config.Path().c_str(), 1); }

    std::vector<std::string> Record(const std::vector<std::string>& more) const {
        std::vector<std::string> args = {kCli, "record", "--dir", m_base.Path().string()};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    fs::path Base(const std::string& name) const { return m_base / name; }

    const RecordingClip& m_clip = RecordingClip::Get();
    TempDir m_config;
    TempDir m_base;
};

std::string At(uint16_t port, const std::string& path, const std::string& scheme = "http") {
    return scheme + "://127.0.0.1:" + std::to_string(port) + path;
}

TEST_F(RecordCliTest, RecordsMmsHttpAndPlaylistAddresses) {
    TempDir served;
    fs::copy_file(m_clip.path, served / "clip.asf");
    TestServer server(served.Path());
    ASSERT_TRUE(server.Ready());
    std::ofstream(served / "two.asx")
        << "<ASX><Entry><Ref href=\"" << At(server.HttpPort(), "/clip.asf")
        << "\"/></Entry><Entry><Ref href=\"" << At(server.MmsPort(), "/clip.asf", "mms")
        << "\"/></Entry></ASX>";
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {At(server.MmsPort(), "/clip.asf", "mms"), {"clip.asf"}},
        {At(server.HttpPort(), "/clip.asf"), {"clip(0).asf"}},  // unattended: renamed
        {At(server.HttpPort(), "/two.asx"), {"Two0.asf", "Two1.asf"}},
    };
    for (const auto& [address, files] : cases) {
        const test::CommandResult run = test::Run(Record({address, files.size() > 1 ? "Two" : ""}));
        EXPECT_EQ(run.exitCode, 0) << address << run.err;
        for (const std::string& file : files) {
            test::ExpectLikeClip(Base(file));
        }
    }
    // A page that names a stream: the stream is recorded next.
    const std::string mms = At(server.MmsPort(), "/clip.asf", "mms");
    std::ofstream(served / "page.html") << "<a href=\"" << mms << "\">live</a>";
    const test::CommandResult page = test::Run(Record({At(server.HttpPort(), "/page.html")}));
    EXPECT_EQ(page.exitCode, 0) << page.err;
    EXPECT_NE(page.out.find("found " + mms + "\nfile " + Base("clip(1).asf").string()),
              std::string::npos)
        << page.out;
    test::ExpectLikeClip(Base("clip(1).asf"));

    EXPECT_EQ(test::Run({kCli, "probe", mms}).out, "ok\n");
    const test::CommandResult bad = test::Run({kCli, "probe", At(1, "/clip.asf", "mms")});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.out.rfind("error ", 0), 0u) << bad.out;
    // A failed job: exit 1 with its error text.
    const test::CommandResult failed = test::Run(Record({At(1, "/clip.asf", "mms"), "F"}));
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(failed.err.find("mms://127.0.0.1:1/clip.asf: "), std::string::npos) << failed.err;
}

TEST_F(RecordCliTest, KilledRecordingResumesToTheSameBytes) {
    TestServer fast(m_clip.Root());
    TestServer slow(m_clip.Root(), {"--rate", "400"});
    ASSERT_TRUE(fast.Ready() && slow.Ready());
    ASSERT_EQ(test::Run(Record({At(fast.MmsPort(), "/clip.asf", "mms"), "Whole"})).exitCode, 0);
    const std::vector<uint8_t> whole = test::ReadFileBytes(Base("Whole.asf"));
    for (const char* scheme : {"mms", "http"}) {
        SCOPED_TRACE(scheme);
        const uint16_t port = std::string(scheme) == "mms" ? slow.MmsPort() : slow.HttpPort();
        const std::string address = At(port, "/clip.asf", scheme);
        const std::string name = std::string("Cut") + scheme;
        const pid_t pid = test::Spawn(Record({"--quiet", address, name}));
        ASSERT_TRUE(WaitForSize(Base(name + ".asf"), whole.size() / 2));
        kill(pid, SIGKILL);
        ExitCode(pid);
        ASSERT_LT(fs::file_size(Base(name + ".asf")), whole.size());
        const test::CommandResult resumed =
            test::Run(Record({"--resume", "yes",
                              At(std::string(scheme) == "mms" ? fast.MmsPort() : fast.HttpPort(),
                                 "/clip.asf", scheme),
                              name}));
        EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
        const std::vector<uint8_t> done = test::ReadFileBytes(Base(name + ".asf"));
        if (std::string(scheme) == "mms") {
            EXPECT_EQ(done, whole);
        } else {
            ASSERT_TRUE(test::Run(Record({"--exists", "overwrite", At(fast.HttpPort(), "/clip.asf"),
                                          "WholeHttp"}))
                            .exitCode == 0);
            EXPECT_EQ(done, test::ReadFileBytes(Base("WholeHttp.asf")));
        }
    }
}

TEST_F(RecordCliTest, SigintStopsWithARepairedFile) {
    TestServer live(m_clip.Root(), {"--live", "--rate", "400"});
    ASSERT_TRUE(live.Ready());
    for (const char* scheme : {"mms", "http"}) {
        SCOPED_TRACE(scheme);
        const uint16_t port = std::string(scheme) == "mms" ? live.MmsPort() : live.HttpPort();
        const std::string name = std::string("Live") + scheme;
        const pid_t pid = test::Spawn(Record({"--quiet", At(port, "/clip.asf", scheme), name}));
        ASSERT_TRUE(WaitForSize(Base(name + ".asf"), 100'000));
        kill(pid, SIGINT);
        EXPECT_EQ(ExitCode(pid), 2);
        const std::vector<uint8_t> file = test::ReadFileBytes(Base(name + ".asf"));
        const test::HeaderCheck header = test::CheckHeader(file);
        EXPECT_TRUE(header.matchesFile) << header.fileSizeField << " " << file.size();
        const test::ProbeReport report = test::Probe(Base(name + ".asf"));
        EXPECT_EQ(report.Get("format.nb_streams"), "2");
        EXPECT_EQ(report.asfPacketsRead, header.packetsField);
    }
}

TEST_F(RecordCliTest, LiveRecordingEndsAtTheTimeLimit) {
    TestServer live(m_clip.Root(), {"--live", "--rate", "realtime"});
    ASSERT_TRUE(live.Ready());
    const auto start = std::chrono::steady_clock::now();
    const test::CommandResult run = test::Run(
        Record({"--quiet", "--max-time", "2", At(live.HttpPort(), "/clip.asf"), "Limit"}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    EXPECT_TRUE(test::CheckHeader(test::ReadFileBytes(Base("Limit.asf"))).matchesFile);
}

// What a terminal shows (and takes) for the command line's questions: the
// answers are typed ahead, one line each; what the program wrote comes
// back once it has ended.
struct TerminalRun {
    int exitCode = -1;
    std::string shown;
};

TerminalRun RunOnTerminal(const std::vector<std::string>& argv, const std::string& typed) {
    TerminalRun result;
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    if (pid < 0) {
        ADD_FAILURE() << "forkpty failed";
        return result;
    }
    EXPECT_EQ(write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    char buffer[4096];
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 20'000) != 1) {
            kill(pid, SIGKILL);
            break;
        }
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) {
            break;  // EIO once the program and its terminal are gone
        }
        result.shown.append(buffer, static_cast<size_t>(n));
    }
    close(master);
    result.exitCode = ExitCode(pid);
    return result;
}

// Declining to continue a partial recording writes nothing to it: the
// answer to the existing-file question decides, and "skip" (or "pass" on a
// terminal) leaves the file as it was.
TEST_F(RecordCliTest, DeclinedResumeLeavesThePartialFileAlone) {
    TestServer server(m_clip.Root());
    ASSERT_TRUE(server.Ready());
    const std::string address = At(server.MmsPort(), "/clip.asf", "mms");
    ASSERT_EQ(test::Run(Record({"--quiet", address, "Whole"})).exitCode, 0);
    const std::vector<uint8_t> whole = test::ReadFileBytes(Base("Whole.asf"));
    const std::vector<uint8_t> partial(whole.begin(),
                                       whole.begin() + static_cast<ptrdiff_t>(whole.size() / 2));
    test::WriteFileBytes(Base("Part.asf"), partial);
    ASSERT_EQ(test::Run({kCli, "resume-scan", Base("Part.asf").string()}).out.rfind("resumable", 0),
              0u);

    const test::CommandResult run =
        test::Run(Record({"--resume", "no", "--exists", "skip", address, "Part"}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("skipped " + Base("Part.asf").string()), std::string::npos) << run.out;
    EXPECT_EQ(test::ReadFileBytes(Base("Part.asf")), partial);

    const TerminalRun asked = RunOnTerminal(Record({"--quiet", address, "Part"}), "c\np\n");
    EXPECT_EQ(asked.exitCode, 0) << asked.shown;
    const size_t resume = asked.shown.find("File exist. Resumable?");
    const size_t exists = asked.shown.find("File exist. Overwrite?");
    EXPECT_NE(resume, std::string::npos) << asked.shown;
    EXPECT_NE(exists, std::string::npos) << asked.shown;
    EXPECT_LT(resume, exists) << asked.shown;
    EXPECT_EQ(test::ReadFileBytes(Base("Part.asf")), partial);
}

}  // namespace
}  // namespace tapewell
