// MmsClient against tapewell-testserver --mms-fault: each way a server
// breaks ends the session with an error that says which, keeps every whole
// packet that came before, and leaves a repaired file that ffprobe reads.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "MmsClips.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"
#include "common/OutputFile.h"
#include "engine/EngineEvents.h"
#include "mms/MmsClient.h"
#include "support/TestServer.h"

namespace tapewell::test {
namespace {

constexpr uint64_t kPacketsBeforeFault = 10;  // the server's kMmsFaultAfterPackets
constexpr int kIdleMs = 1000;

class Errors final : public EngineEvents {
public:
    void OnError(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

struct Recording {
    uint64_t written = 0;
    std::string ending;  // the result's reason: its error, or its brokeOff
    std::vector<std::string> errors;
    std::vector<uint8_t> bytes;
    std::chrono::steady_clock::duration took{};
};

Recording Record(const TestServer& server, const std::string& file,
                 const std::filesystem::path& out) {
    Errors events;
    MmsClient client(EngineOptions(), &events);
    client.SetIdleTimeoutMs(kIdleMs);
    auto output = StdioOutputFile::Open(out, "wb");
    Recording r;
    const auto start = std::chrono::steady_clock::now();
    const EngineResult result = client.Record(
        {.output = output.get(),
         .address = "mms://127.0.0.1:" + std::to_string(server.MmsPort()) + "/" + file});
    r.written = result.recording ? result.recording->bytes : 0;
    r.ending = result.recording ? result.recording->brokeOff : result.recording.error().message;
    r.took = std::chrono::steady_clock::now() - start;
    output->Close();
    r.errors = events.texts;
    r.bytes = ReadFileBytes(out);
    return r;
}

// The first packets of the clip, whole, then the index; File Size tells the
// truth, and ffprobe walks exactly those packets.
void ExpectRepairedCopy(const Recording& r, const std::filesystem::path& path, bool live) {
    const AsfClip& clip = MmsClips::Get().clip;
    const uint64_t kept = clip.RecordingSize(kPacketsBeforeFault);
    EXPECT_EQ(r.written, kept);
    ASSERT_GE(r.bytes.size(), kept);
    const int fp = AsfPacketTools::FindFileProperties(r.bytes);
    ASSERT_GT(fp, 0);
    EXPECT_EQ(ReadLe64(&r.bytes[static_cast<size_t>(fp) + asf::fp::kFileSize]), r.bytes.size());
    if (!live) {
        // Media bytes as served (the header differs in File Size and Flags).
        const auto start = static_cast<ptrdiff_t>(clip.DataStart());
        EXPECT_TRUE(std::equal(clip.bytes.begin() + start,
                               clip.bytes.begin() + static_cast<ptrdiff_t>(kept),
                               r.bytes.begin() + start));
    }
    const ProbeReport probe = Probe(path);
    EXPECT_EQ(probe.Get("format.nb_streams"), "2");
    // An on-demand header still counts the stream's packets, so the demuxer
    // also tries the index after the last packet as one more.
    EXPECT_GE(probe.asfPacketsRead, kPacketsBeforeFault);
    EXPECT_LE(probe.asfPacketsRead, kPacketsBeforeFault + (live ? 0 : 1));
}

TEST(MmsFaultTest, BrokenServersEndWithTheirErrorAndARepairedFile) {
    const MmsClips& clips = MmsClips::Get();
    ASSERT_GT(clips.clip.packetSize, 0u);
    struct Case {
        std::vector<std::string> options;
        std::string error;
    };
    const Case cases[] = {
        {{"--mms-fault", "silent-data"}, "recv failed: TIMEDOUT"},
        {{"--mms-fault", "silent-data", "--live"}, "recv failed: TIMEDOUT"},
        {{"--mms-fault", "close-in-packet"}, "connection closed inside an MMS data packet"},
        {{"--mms-fault", "close-in-packet", "--live"},
         "connection closed inside an MMS data packet"},
        {{"--mms-fault", "close-in-command"}, "connection closed inside an MMS command"},
        {{"--drop-after", "10"}, "connection closed before the end of the stream"},
        {{"--mms-fault", "command-length-negative"}, "MMS command of 4294967288 bytes refused"},
        {{"--mms-fault", "command-length-huge"}, "MMS command of 2147483640 bytes refused"},
        {{"--mms-fault", "packet-length-tiny"}, "MMS data packet with length 4 refused"},
        {{"--mms-fault", "packet-length-huge"},
         "data packet of 65527 bytes is longer than the packet size " +
             std::to_string(clips.clip.packetSize)},
    };
    TempDir out;
    for (const Case& c : cases) {
        std::vector<std::string> options = {"--only", "mms"};
        options.insert(options.end(), c.options.begin(), c.options.end());
        const bool live = options.back() == "--live";
        SCOPED_TRACE(c.options[1] + (live ? " live" : ""));
        TestServer server(clips.root, options);
        ASSERT_TRUE(server.Ready());
        const Recording r = Record(server, "clip.asf", out / "out.asf");
        EXPECT_EQ(r.errors, std::vector<std::string>{c.error});
        EXPECT_EQ(r.ending, c.error);
        EXPECT_LT(r.took, std::chrono::seconds(10));
        ExpectRepairedCopy(r, out / "out.asf", live);
    }
}

TEST(MmsFaultTest, RecordFailsACutRecordingWithItsReason) {
    const MmsClips& clips = MmsClips::Get();
    TempDir config;
    TempDir base;
    setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
    // Reconnects off: the first break ends the recording.
    std::filesystem::create_directories(config / "Tapewell");
    const std::string ini = "[settings]\nReconnect Tries=0\n";
    WriteFileBytes(config / "Tapewell/Tapewell.ini", {ini.begin(), ini.end()});
    TestServer server(clips.root, {"--only", "mms", "--mms-fault", "close-in-packet"});
    ASSERT_TRUE(server.Ready());
    const std::string address = "mms://127.0.0.1:" + std::to_string(server.MmsPort()) + "/clip.asf";
    const CommandResult run = test::Run(
        {TAPEWELL_CLI_PATH, "record", "--dir", base.Path().string(), "--quiet", address, "Cut"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(address + ": connection closed inside an MMS data packet"),
              std::string::npos)
        << run.err;
}

TEST(MmsFaultTest, AShortLengthFieldLosesTheFramingAndEndsTheSession) {
    // The packet whose length field says half is kept padded (a short
    // payload is normal), and the rest of it, read as further packets,
    // breaks the numbering, runs past the end of the connection, or waits
    // for bytes that never come: an error each time, never a clean end.
    const MmsClips& clips = MmsClips::Get();
    TempDir out;
    TestServer server(clips.root, {"--only", "mms", "--mms-fault", "packet-length-short"});
    ASSERT_TRUE(server.Ready());
    const Recording r = Record(server, "clip.asf", out / "out.asf");
    ASSERT_EQ(r.errors.size(), 1u);
    const std::string& error = r.errors[0];
    EXPECT_TRUE(error.find("out of sequence") != std::string::npos ||
                error == "connection closed inside an MMS data packet" ||
                error == "recv failed: TIMEDOUT")
        << error;
    EXPECT_EQ(r.written, clips.clip.RecordingSize(kPacketsBeforeFault + 1));
    EXPECT_EQ(Probe(out / "out.asf").Get("format.nb_streams"), "2");
}

TEST(MmsFaultTest, AByteAtATimeRecordsTheSameFile) {
    const MmsClips& clips = MmsClips::Get();
    TempDir out;
    TestServer plain(clips.root, {"--only", "mms"});
    TestServer drip(clips.root, {"--only", "mms", "--mms-fault", "drip"});
    ASSERT_TRUE(plain.Ready() && drip.Ready());
    const Recording expected = Record(plain, "tiny.asf", out / "plain.asf");
    const Recording dripped = Record(drip, "tiny.asf", out / "drip.asf");
    EXPECT_TRUE(dripped.errors.empty()) << dripped.errors[0];
    EXPECT_GT(dripped.written, 0u);
    EXPECT_EQ(dripped.bytes, expected.bytes);
    EXPECT_EQ(Probe(out / "drip.asf").Get("stream0.codec_name"), "wmav2");
}

}  // namespace
}  // namespace tapewell::test
