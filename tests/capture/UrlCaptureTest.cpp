// Live capture on the loopback device, which needs root or cap_net_raw:
// without them each test skips and says why.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "capture/RecordingSink.h"
#include "capture/UrlCapture.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

using namespace std::chrono_literals;

class UrlCaptureLive : public ::testing::Test {
protected:
    void SetUp() override {
        SnifferSettings settings;
        settings.fileTypes = {".wmv", ".asf"};
        const ErrorOr<void> started = m_capture.StartLive("lo", settings);
        if (!started && started.error().message.find("cap_net_raw") != std::string::npos) {
            GTEST_SKIP() << "capture on lo is not permitted here: " << started.error().message;
        }
        ASSERT_TRUE(started) << started.error().message;
    }

    test::RecordingSink m_sink;
    UrlCapture m_capture{m_sink};
};

TEST_F(UrlCaptureLive, StopReturnsAtOnceAndTheThreadEndsWithinASecond) {
    std::this_thread::sleep_for(300ms);  // into its wait on an idle device
    ASSERT_TRUE(m_capture.IsRunning());
    const auto before = std::chrono::steady_clock::now();
    m_capture.Stop();
    // Stop only wakes the receive thread. "At once" is given a second, what
    // a loaded machine running the sanitizers may take.
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    EXPECT_TRUE(m_sink.WaitFor("end ", 1200ms));
    EXPECT_EQ(m_sink.Calls().back(), "end ");
    EXPECT_FALSE(m_capture.IsRunning());
}

// curl as the browser and FFmpeg's mmst and mmsh clients as the players,
// against the test server on the ports the sniffer watches.
TEST_F(UrlCaptureLive, FindsHttpAndMmsAddressesAndTheirTitles) {
    test::TempDir root;
    std::filesystem::create_directories(root / "video");
    test::AsfRecipe recipe;
    recipe.seconds = 3;
    recipe.title = "Loopback Clip";
    ASSERT_TRUE(test::MakeAsf(root / "clip.asf", recipe));
    std::filesystem::copy_file(root / "clip.asf", root / "video" / "clip.wmv");
    test::TestServer server(root.Path(), {"--mms-port", "1755", "--http-port", "8080"});
    ASSERT_TRUE(server.Ready()) << server.Log();

    test::TempDir out;
    test::CommandResult curl = test::Run(
        {"curl", "-sS", "-o", (out / "clip.wmv").string(), "http://127.0.0.1:8080/video/clip.wmv"});
    ASSERT_EQ(curl.exitCode, 0) << curl.err << server.Log();
    test::CommandResult ffmpeg =
        test::Run({"ffmpeg", "-v", "error", "-i", "mmst://127.0.0.1:1755/clip.asf", "-c", "copy",
                   "-f", "asf", "-t", "2", "-y", (out / "out.asf").string()});
    ASSERT_EQ(ffmpeg.exitCode, 0) << ffmpeg.err << server.Log();
    test::CommandResult mmsh =
        test::Run({"ffmpeg", "-v", "error", "-i", "mmsh://127.0.0.1:8080/clip.asf", "-c", "copy",
                   "-f", "asf", "-t", "2", "-y", (out / "http.asf").string()});
    ASSERT_EQ(mmsh.exitCode, 0) << mmsh.err << server.Log();

    // Frames wait in the kernel's buffer block for up to the 1 s time-out.
    EXPECT_TRUE(m_sink.WaitFor("add http://127.0.0.1:8080/video/clip.wmv|", 5s));
    EXPECT_TRUE(m_sink.WaitFor("add mms://127.0.0.1/clip.asf|NSPlayer/", 5s));
    EXPECT_TRUE(m_sink.WaitFor("rename mms://127.0.0.1/clip.asf|Loopback Clip", 5s));
    // A plain download's reply and a streaming one's "$H" chunk.
    EXPECT_TRUE(m_sink.WaitFor("rename http://127.0.0.1:8080/video/clip.wmv|Loopback Clip", 5s));
    EXPECT_TRUE(m_sink.WaitFor("rename http://127.0.0.1:8080/clip.asf|Loopback Clip", 5s));
}

}  // namespace
}  // namespace tapewell
