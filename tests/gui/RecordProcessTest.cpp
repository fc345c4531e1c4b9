// Recording from the command line of the desktop program, seen from
// outside: "tapewell /Rec ADDRESS" records into the base folder, a second
// start hands its address over and it is recorded next, and SIGTERM ends
// it all with the automatic list saved.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "GuiTestSupport.h"
#include "app/ListFiles.h"
#include "settings/ProfileStore.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell::gui {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kGui = TAPEWELL_GUI_PATH;
const std::string kCli = TAPEWELL_CLI_PATH;

long ElapsedMs(Clock::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// The exit code, or -1 when the process has not ended within timeoutMs.
int WaitForExit(pid_t pid, int timeoutMs) {
    const Clock::time_point start = Clock::now();
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (ElapsedMs(start) > timeoutMs) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A recording is whole once it holds the clip's packets and its header was
// finished: the file stops growing and ffprobe reads both streams.
bool WaitForRecording(const fs::path& file, int timeoutMs) {
    const Clock::time_point start = Clock::now();
    while (ElapsedMs(start) < timeoutMs) {
        std::error_code error;
        if (fs::file_size(file, error) > 262144 && !error &&
            test::Probe(file).Get("format.nb_streams") == "2") {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// Kills the program when a test ends before it could.
struct Reaper {
    pid_t pid;
    ~Reaper() {
        if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

TEST(RecordProcess, RecAddressRecordsAndAHandedOverAddressFollows) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    test::TempDir clips;
    test::AsfRecipe recipe;
    recipe.seconds = 4.0;
    recipe.videoBitrate = "800k";
    ASSERT_TRUE(test::MakeAsf(clips / "c1.asf", recipe));
    fs::copy_file(clips / "c1.asf", clips / "c2.asf");
    test::TestServer server(clips.Path());
    ASSERT_TRUE(server.Ready());
    const std::string port = std::to_string(server.HttpPort());
    const std::string first = "http://127.0.0.1:" + port + "/c1.asf";
    const std::string second = "mms://127.0.0.1:" + std::to_string(server.MmsPort()) + "/c2.asf";

    const fs::path base = test::TestHome() / "recordings";
    const fs::path ini = ProfileStore::DefaultPath();
    fs::create_directories(ini.parent_path());
    std::ofstream(ini) << "[settings]\nbase dir=" << base.string() << "\nSave Play List=1\n";

    const pid_t running = test::Spawn({kGui, "/Rec", first});
    Reaper reaper{running};
    ASSERT_TRUE(WaitForRecording(base / "c1.asf", 20000));

    const Clock::time_point handOver = Clock::now();
    const test::CommandResult later = test::Run({kGui, "/Rec", second});
    EXPECT_EQ(later.exitCode, 0) << later.err;
    EXPECT_LT(ElapsedMs(handOver), 5000);
    ASSERT_TRUE(WaitForRecording(base / "c2.asf", 20000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the end reaches the row

    ::kill(running, SIGTERM);
    EXPECT_EQ(WaitForExit(running, 5000), 0);
    reaper.pid = -1;

    const test::CommandResult shown =
        test::Run({kCli, "list", "show", AutomaticListPath().string()});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    // The rows in list order: each address with its recording below it.
    size_t at = 0;
    for (const std::string& cell :
         {first, (base / "c1.asf").string(), second, (base / "c2.asf").string()}) {
        at = shown.out.find("\t" + cell + "\t", at);
        ASSERT_NE(at, std::string::npos) << cell << " in\n" << shown.out;
    }
}

}  // namespace
}  // namespace tapewell::gui
