// The HTTP streaming engine and the recording job against a server that
// stalls, dies inside a chunk, drips, or frames its chunks wrongly: each
// recording ends, says why, and keeps a file whose header matches what it
// holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "HttpFaultClip.h"
#include "common/Limits.h"
#include "common/OutputFile.h"
#include "recording/CmmsThread.h"
#include "support/TestServer.h"

namespace tapewell {
namespace {

using test::HttpFaultClip;
using test::TempDir;
using test::TestServer;
namespace fs = std::filesystem;

constexpr int kIdleMs = 1500;
constexpr uint64_t kPacketsBeforeFault = 5;  // the test server's kFaultAfterPackets
// The job deletes a media recording under 256 KiB as an error page: its
// faults come after more packets than that.
constexpr uint64_t kJobPacketsBeforeFault = 100;
const std::string kJobFaultAfter = std::to_string(kJobPacketsBeforeFault);

struct Recording {
    std::vector<uint8_t> bytes;
    std::string log;
    double seconds = 0;
};

Recording RecordWithEngine(uint16_t port, const fs::path& file) {
    test::LoggedRecorder recorder;
    recorder.SetTimeouts(limits::kConnectTimeoutMs, kIdleMs);
    const auto start = std::chrono::steady_clock::now();
    {
        std::unique_ptr<StdioOutputFile> out = StdioOutputFile::Open(file, "wb");
        EXPECT_TRUE(out);
        if (!out) {
            return {};
        }
        (void)recorder.Record({.output = out.get(),
                               .address = test::HttpUrl(port, "/clip.asf"),
                               .playerAgent = "NSPlayer"});
        EXPECT_TRUE(out->Close());
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return {test::ReadFileBytes(file), recorder.log, took.count()};
}

// The header describes the file as it is, and ffprobe reads both streams.
void ExpectValidRecording(const fs::path& file, uint64_t size) {
    const std::vector<uint8_t> bytes = test::ReadFileBytes(file);
    // The engine leaves the packets alone; a job then makes its Data object
    // count them and appends the index built from them.
    EXPECT_EQ(bytes.size() == size ? size : test::DataObjectEnd(bytes), size) << file;
    EXPECT_EQ(test::HeaderFileSize(bytes), bytes.size()) << file;
    const test::ProbeReport probe = test::Probe(file);
    EXPECT_EQ(probe.Get("format.nb_streams"), "2") << file;
    EXPECT_EQ(probe.asfPacketSize, HttpFaultClip::Get().packetSize) << file;
    EXPECT_GE(probe.asfPacketsRead, kPacketsBeforeFault) << file;
}

TEST(HttpStreamFault, SilentPeerEndsByIdleTimeoutWithARepairedFile) {
    const HttpFaultClip& clip = HttpFaultClip::Get();
    TestServer server(HttpFaultClip::Folder(),
                      {"--only", "http", "--http-fault", "stall", "--drop-after", kJobFaultAfter});
    ASSERT_TRUE(server.Ready());
    TempDir dir;
    const Recording r = RecordWithEngine(server.HttpPort(), dir / "engine.asf");
    EXPECT_LT(r.seconds, 20.0);
    EXPECT_NE(r.log.find("recv failed: TIMEDOUT"), std::string::npos) << r.log;
    ExpectValidRecording(dir / "engine.asf", clip.RecordingSize(kJobPacketsBeforeFault));

    // The job above the engine keeps the same file, tries no other engine
    // once packets were written, and says the recording lacks its end.
    AppSettings settings;
    settings.m_baseDirectory = dir.Path().string();
    settings.m_reconnectTries = 0;
    CmmsThread job(nullptr, 1, settings,
                   {test::HttpUrl(server.HttpPort(), "/clip.asf"), "job", "", "", ""});
    job.SetIdleTimeoutMs(kIdleMs);
    job.Run();
    EXPECT_TRUE(job.Error());
    EXPECT_EQ(job.ErrorText(), "recv failed: TIMEDOUT");
    EXPECT_EQ(job.OutputPath(), dir / "job.asf");
    ExpectValidRecording(dir / "job.asf", clip.RecordingSize(kJobPacketsBeforeFault));
}

TEST(HttpStreamFault, PeerClosingInsideAChunkKeepsTheWholePackets) {
    const HttpFaultClip& clip = HttpFaultClip::Get();
    TempDir dir;
    const std::pair<std::string, std::string> cases[] = {
        {"cut-head", "Connection reset"},
        {"cut-body", "Received incomplete chunk... (Chunk is NOT saved)"}};
    for (const auto& [fault, message] : cases) {
        TestServer server(HttpFaultClip::Folder(), {"--only", "http", "--http-fault", fault});
        ASSERT_TRUE(server.Ready());
        const Recording r = RecordWithEngine(server.HttpPort(), dir / (fault + ".asf"));
        EXPECT_NE(r.log.find(message), std::string::npos) << fault << "\n" << r.log;
        ExpectValidRecording(dir / (fault + ".asf"), clip.RecordingSize(kPacketsBeforeFault));
    }
    // The command line's job keeps the packets that came whole, so that the
    // file can be resumed later, and fails with the reason.
    TestServer server(HttpFaultClip::Folder(), {"--only", "http", "--http-fault", "cut-body",
                                                "--drop-after", kJobFaultAfter});
    ASSERT_TRUE(server.Ready());
    // Reconnects off: the first break ends the recording.
    fs::create_directories(dir / "config/Tapewell");
    const std::string ini = "[settings]\nReconnect Tries=0\n";
    test::WriteFileBytes(dir / "config/Tapewell/Tapewell.ini", {ini.begin(), ini.end()});
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    const test::CommandResult cli =
        test::Run({TAPEWELL_CLI_PATH, "record", "--dir", dir.Path().string(), "--quiet",
                   test::HttpUrl(server.HttpPort(), "/clip.asf"), "cli"});
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(cli.exitCode, 1) << cli.err;
    EXPECT_NE(cli.err.find("connection closed before the end of the stream"), std::string::npos)
        << cli.err;
    ExpectValidRecording(dir / "cli.asf", clip.RecordingSize(kJobPacketsBeforeFault));
}

TEST(HttpStreamFault, StreamDrippedByteByByteRecordsTheSameBytes) {
    TempDir dir;
    TestServer whole(HttpFaultClip::Folder(), {"--only", "http", "--drop-after", "5"});
    TestServer drip(HttpFaultClip::Folder(),
                    {"--only", "http", "--drop-after", "5", "--http-fault", "drip"});
    ASSERT_TRUE(whole.Ready() && drip.Ready());
    const Recording expected = RecordWithEngine(whole.HttpPort(), dir / "whole.asf");
    const Recording dripped = RecordWithEngine(drip.HttpPort(), dir / "drip.asf");
    EXPECT_NE(drip.Log().find("dripping"), std::string::npos) << drip.Log();
    EXPECT_EQ(expected.bytes.size(), HttpFaultClip::Get().RecordingSize(5));
    EXPECT_TRUE(dripped.bytes == expected.bytes) << dripped.log;
}

TEST(HttpStreamFault, LyingChunkLengthsAreRefusedNotWritten) {
    const HttpFaultClip& clip = HttpFaultClip::Get();
    TempDir dir;
    {
        // The repeated length no longer confirms the first: the framing is
        // lost, so the recording ends with what came before.
        TestServer server(HttpFaultClip::Folder(),
                          {"--only", "http", "--http-fault", "bad-confirm"});
        ASSERT_TRUE(server.Ready());
        const Recording r = RecordWithEngine(server.HttpPort(), dir / "confirm.asf");
        EXPECT_NE(r.log.find("Length confirmation doesn't match!"), std::string::npos) << r.log;
        ExpectValidRecording(dir / "confirm.asf", clip.RecordingSize(kPacketsBeforeFault));
    }
    // A chunk of 64 KiB where packets are 3,200 bytes: its body is no packet
    // and is not written; the packets after it are.
    TestServer server(HttpFaultClip::Folder(), {"--only", "http", "--http-fault", "oversized"});
    ASSERT_TRUE(server.Ready());
    const Recording r = RecordWithEngine(server.HttpPort(), dir / "oversized.asf");
    EXPECT_NE(r.log.find("Chunk is larger than a data packet"), std::string::npos) << r.log;
    ExpectValidRecording(dir / "oversized.asf", clip.RecordingSize(clip.packetCount));
    const std::vector<uint8_t> filler(64, 0xEE);
    EXPECT_EQ(std::search(r.bytes.begin(), r.bytes.end(), filler.begin(), filler.end()),
              r.bytes.end());
}

}  // namespace
}  // namespace tapewell
