// Recordings over HTTP of a server that behaves like a real Windows Media
// broadcast server: the header again in the middle of the stream, late
// joiners, a change of layout, a header-only answer to a plain GET, and
// every way a live recording can end. Each file is checked by our own
// reader and by FFmpeg.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "asf/AsfGuids.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"
#include "support/AsfClip.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

using test::AsfClip;
using test::TempDir;
using test::TestServer;
namespace fs = std::filesystem;

// Two clips of different packet sizes in a folder of their own.
struct Clips {
    TempDir dir;
    AsfClip main;
    AsfClip other;
};

const Clips& GetClips() {
    static const Clips* clips = [] {
        auto* c = new Clips;
        test::AsfRecipe recipe;
        recipe.seconds = 4;
        // Enough bytes a second that a 3-second recording is not taken for
        // an error page (the job deletes media files under 256 KiB).
        recipe.videoBitrate = "1000k";
        c->main = AsfClip::Make(c->dir / "a.asf", recipe);
        recipe.seconds = 2;
        recipe.packetSize = 2000;
        c->other = AsfClip::Make(c->dir / "b.asf", recipe);
        return c;
    }();
    return *clips;
}

std::string Url(uint16_t port, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

struct FileFacts {
    std::vector<uint8_t> bytes;
    size_t headers = 0;    // ASF Header objects found in the file
    uint64_t packets = 0;  // whole packets after the header
    uint64_t zeroPackets = 0;
    std::vector<uint32_t> sendTimes;
};

FileFacts Inspect(const fs::path& file) {
    FileFacts f;
    f.bytes = test::ReadFileBytes(file);
    const auto& id = guids::kHeader.bytes;
    for (auto at = std::search(f.bytes.begin(), f.bytes.end(), id.begin(), id.end());
         at != f.bytes.end(); at = std::search(at + 1, f.bytes.end(), id.begin(), id.end())) {
        ++f.headers;
    }
    if (f.bytes.size() < 30) {
        return f;
    }
    const uint64_t dataStart = ReadLe64(&f.bytes[16]) + 50;
    const int fp = AsfPacketTools::FindFileProperties(f.bytes);
    if (fp < 0 || dataStart > f.bytes.size()) {
        return f;
    }
    const uint32_t size = ReadLe32(&f.bytes[static_cast<size_t>(fp) + asf::fp::kMinPacketSize]);
    for (uint64_t at = dataStart; size != 0 && at + size <= f.bytes.size(); at += size) {
        const auto packet = std::span(f.bytes).subspan(at, size);
        ++f.packets;
        f.zeroPackets +=
            std::all_of(packet.begin(), packet.end(), [](uint8_t b) { return b == 0; });
        const int t = AsfPacketTools::SendTimeOffset(packet);
        f.sendTimes.push_back(t < 0 ? UINT32_MAX : ReadLe32(&packet[static_cast<size_t>(t)]));
    }
    return f;
}

// The header of a finished live recording describes the file: sizes,
// counts, seekable and not broadcast; ffprobe starts it at 0 and gives the
// length of what is in it; FFmpeg decodes it without a complaint.
void ExpectDescribedLiveFile(const fs::path& file) {
    SCOPED_TRACE(file.string());
    const FileFacts f = Inspect(file);
    ASSERT_GT(f.packets, 0u);
    EXPECT_EQ(f.headers, 1u);
    EXPECT_EQ(f.zeroPackets, 0u);
    EXPECT_EQ(f.sendTimes.front(), 0u);
    EXPECT_TRUE(std::is_sorted(f.sendTimes.begin(), f.sendTimes.end()));
    const size_t fp = static_cast<size_t>(AsfPacketTools::FindFileProperties(f.bytes));
    const auto props = FileProperties::FromObject(std::span(f.bytes).subspan(fp));
    ASSERT_TRUE(props);
    EXPECT_EQ(props->fileSize, f.bytes.size());
    EXPECT_EQ(props->dataPacketsCount, f.packets);
    EXPECT_EQ(props->flags, asf::kFlagSeekable);
    EXPECT_EQ(props->playDuration, (uint64_t{f.sendTimes.back()} + props->preroll) * 10'000);
    const test::ProbeReport probe = test::Probe(file);
    // The first payload may be presented a few ms after its packet is sent.
    EXPECT_NEAR(std::stod(probe.Get("format.start_time") + "0"), 0.0, 0.05);
    EXPECT_NEAR(std::stod(probe.Get("format.duration") + "0"), f.sendTimes.back() / 1000.0, 0.5);
    const test::CommandResult decode =
        test::Run({"ffmpeg", "-v", "error", "-i", file.string(), "-f", "null", "-"});
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(test::DropLinesContaining(decode.err, test::kJoinedMidFrameWarning), "");
    const std::vector<uint8_t> video = AsfPacketTools::VideoStreamNumbers(f.bytes);
    if (!video.empty()) {
        const uint64_t dataStart = ReadLe64(&f.bytes[16]) + 50;
        EXPECT_TRUE(AsfPacketTools::StartsKeyFrame(
            std::span(f.bytes).subspan(dataStart, props->minPacketSize), video))
            << "the first packet starts no key frame";
    }
    const test::CommandResult info = test::Run({TAPEWELL_CLI_PATH, "info", file.string()});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    const size_t at = info.out.find("Packets:");
    ASSERT_NE(at, std::string::npos) << info.out;
    EXPECT_EQ(std::stoull(info.out.substr(at + 8)), f.packets);
}

test::CommandResult Record(const TempDir& dir, const std::string& address, const std::string& name,
                           const std::vector<std::string>& more = {}) {
    std::vector<std::string> argv = {TAPEWELL_CLI_PATH, "record", "--dir", dir.Path().string(),
                                     "--quiet"};
    argv.insert(argv.end(), more.begin(), more.end());
    argv.push_back(address);
    argv.push_back(name);
    return test::Run(argv);
}

TEST(BroadcastHttp, RepeatedHeadersLeaveOneHeaderAndTheLimitCountsWhatWasWritten) {
    const Clips& clips = GetClips();
    TestServer server(clips.dir.Path(),
                      {"--only", "http", "--live", "--rate", "max", "--header-repeat", "30"});
    ASSERT_TRUE(server.Ready());
    TempDir dir;
    const test::CommandResult r =
        Record(dir, Url(server.HttpPort(), "/a.asf"), "rep", {"--max-time", "5"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ExpectDescribedLiveFile(dir / "rep.asf");
    const double seconds = std::stod(test::Probe(dir / "rep.asf").Get("format.duration") + "0");
    EXPECT_NEAR(seconds, 5.0, 1.0);
}

TEST(BroadcastHttp, LateJoinerGetsNoZeroPacketsAndStartsAtZero) {
    const Clips& clips = GetClips();
    TestServer server(clips.dir.Path(),
                      {"--only", "http", "--live", "--rate", "realtime", "--header-repeat", "20"});
    ASSERT_TRUE(server.Ready());
    // Two repeats of the header have gone by on the broadcast's clock.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    TempDir dir;
    const test::CommandResult r =
        Record(dir, Url(server.HttpPort(), "/a.asf"), "late", {"--max-time", "3"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ExpectDescribedLiveFile(dir / "late.asf");
}

TEST(BroadcastHttp, AnotherLayoutGoesIntoASecondValidFile) {
    const Clips& clips = GetClips();
    TestServer server(clips.dir.Path(),
                      {"--only", "http", "--rate", "max", "--layout-change", "20"});
    ASSERT_TRUE(server.Ready());
    TempDir dir;
    const test::CommandResult r = Record(dir, Url(server.HttpPort(), "/a.asf"), "lay");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // The job's notice of the further file reaches the command's output.
    EXPECT_NE(r.out.find("file " + (dir / "lay(0).asf").string()), std::string::npos) << r.out;
    const test::ProbeReport first = test::Probe(dir / "lay.asf");
    const test::ProbeReport second = test::Probe(dir / "lay(0).asf");
    EXPECT_EQ(first.asfPacketSize, clips.main.packetSize);
    EXPECT_EQ(second.asfPacketSize, clips.other.packetSize);
    EXPECT_EQ(first.Get("format.nb_streams"), "2");
    EXPECT_EQ(second.Get("format.nb_streams"), "2");
    EXPECT_EQ(Inspect(dir / "lay.asf").packets, 20u);
    const FileFacts next = Inspect(dir / "lay(0).asf");
    EXPECT_EQ(next.headers, 1u);
    EXPECT_EQ(next.zeroPackets, 0u);
    EXPECT_EQ(next.packets, clips.other.packetCount);
}

// A plain GET of the stream gets the header chunk alone, with the headers
// of a broadcast server: the web fetcher saves nothing, and the job records
// the address over HTTP streaming.
TEST(BroadcastHttp, HeaderOnlyPlainGetIsNoDownload) {
    const Clips& clips = GetClips();
    TestServer server(clips.dir.Path(),
                      {"--only", "http", "--live", "--rate", "max", "--plain-get", "header"});
    ASSERT_TRUE(server.Ready());
    TempDir dir;
    const test::CommandResult fetch =
        test::Run({TAPEWELL_CLI_PATH, "web-fetch", "--out", (dir / "fetched.asf").string(),
                   Url(server.HttpPort(), "/a.asf")});
    EXPECT_EQ(fetch.exitCode, 1);
    EXPECT_NE(fetch.err.find("Windows Media server"), std::string::npos) << fetch.err;
    EXPECT_FALSE(fs::exists(dir / "fetched.asf"));

    const test::CommandResult r =
        Record(dir, Url(server.HttpPort(), "/a.asf"), "name", {"--max-time", "3"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ExpectDescribedLiveFile(dir / "name.asf");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(BroadcastHttp, NotFoundEndsQuicklyWithTheReplysText) {
    TestServer server(GetClips().dir.Path(), {"--only", "http"});
    ASSERT_TRUE(server.Ready());
    TempDir dir;
    const auto start = std::chrono::steady_clock::now();
    const test::CommandResult r = Record(dir, Url(server.HttpPort(), "/missing.asf"), "gone");
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("404"), std::string::npos) << r.err;
    EXPECT_LT(took.count(), 2.0);
    EXPECT_FALSE(fs::exists(dir / "gone.asf"));
}

// SIGINT and SIGTERM of the command, and the server closing the
// connection: each end leaves the described header.
TEST(BroadcastHttp, EveryEndOfALiveRecordingLeavesADescribedHeader) {
    const Clips& clips = GetClips();
    TempDir dir;
    for (const int signal : {SIGINT, SIGTERM}) {
        TestServer server(clips.dir.Path(), {"--only", "http", "--live", "--rate", "realtime",
                                             "--header-repeat", "20"});
        ASSERT_TRUE(server.Ready());
        const std::string name = "sig" + std::to_string(signal);
        const pid_t pid = test::Spawn({TAPEWELL_CLI_PATH, "record", "--dir", dir.Path().string(),
                                       "--quiet", Url(server.HttpPort(), "/a.asf"), name});
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
        ExpectDescribedLiveFile(dir / (name + ".asf"));
    }
    TestServer closing(clips.dir.Path(),
                       {"--only", "http", "--live", "--rate", "max", "--drop-after", "90"});
    ASSERT_TRUE(closing.Ready());
    // Reconnects off: the first break ends the recording.
    fs::create_directories(dir / "config/Tapewell");
    const std::string ini = "[settings]\nReconnect Tries=0\n";
    test::WriteFileBytes(dir / "config/Tapewell/Tapewell.ini", {ini.begin(), ini.end()});
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    Record(dir, Url(closing.HttpPort(), "/a.asf"), "closed");
    unsetenv("XDG_CONFIG_HOME");
    ExpectDescribedLiveFile(dir / "closed.asf");
    EXPECT_EQ(Inspect(dir / "closed.asf").packets, 90u);
}

// A broadcast published at the server's root, as real servers do: the web
// fetcher refuses the header-only reply to its plain GET, and the job
// records "/" over HTTP streaming.
TEST(BroadcastHttp, BroadcastAtTheServerRootIsRecorded) {
    const Clips& clips = GetClips();
    TestServer server(clips.dir.Path(), {"--only", "http", "--live", "--rate", "max",
                                         "--header-repeat", "30", "--plain-get", "header"});
    ASSERT_TRUE(server.Ready());
    TempDir dir;
    const test::CommandResult r =
        Record(dir, Url(server.HttpPort(), "/"), "root", {"--max-time", "3"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ExpectDescribedLiveFile(dir / "root.asf");
    EXPECT_EQ(test::Probe(dir / "root.asf").asfPacketSize, clips.main.packetSize);
    const std::string log = server.Log();
    const size_t plainGet = log.find("GET / -> 200 header for a plain GET");
    EXPECT_NE(plainGet, std::string::npos) << log;
    EXPECT_NE(log.find("GET / -> 200 stream", plainGet), std::string::npos) << log;
}

}  // namespace
}  // namespace tapewell
