// tapewell-cli record and probe as a user runs them, against
// tapewell-testserver: the result files of each address form, and the
// questions asked on a terminal. Kills, signals and limits are exercised in
// tests/reliability.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "RecordingClip.h"
#include "support/TestServer.h"

namespace tapewell {
namespace {

using test::RecordingClip;
using test::TempDir;
using test::TestServer;
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
    // The file is named once it is sure to stay, after a progress line.
    const size_t found = page.out.find("found " + mms + "\n");
    EXPECT_NE(found, std::string::npos) << page.out;
    EXPECT_NE(page.out.find("file " + Base("clip(1).asf").string() + "\n", found),
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
