// CHttpRecorder and tapewell-cli http-record against tapewell-testserver on
// loopback, with every recorded file read back by ffprobe.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "HttpClip.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"
#include "common/OutputFile.h"
#include "engine/EngineEvents.h"
#include "engine/JobPrompt.h"
#include "http/CHttpRecorder.h"
#include "recording/EngineSettings.h"
#include "settings/ProfileStore.h"
#include "support/TestServer.h"

namespace tapewell {
namespace {

using test::HttpClip;
using test::TempDir;
using test::TestServer;

const std::string kCli = TAPEWELL_CLI_PATH;

struct RecordedEvents : EngineEvents {
    std::vector<std::string> seen;
    void OnStreamStart(const std::string& a, uint32_t d) override {
        seen.push_back("start " + a + " " + std::to_string(d));
    }
    void OnStreamEnd(uint32_t bytes) override { seen.push_back("end " + std::to_string(bytes)); }
    void OnCredentials(const std::string& u, const std::string& p) override {
        seen.push_back("credentials " + u + ":" + p);
    }
    void OnAuthCancelled() override { seen.push_back("auth-cancelled"); }
};

struct ScriptedPrompt : JobPrompt {
    std::optional<Credentials> answer;
    std::vector<std::string> sites;
    std::optional<Credentials> AskCredentials(const std::string& site, const std::string&,
                                              const std::string&) override {
        sites.push_back(site);
        return answer;
    }
};

// Keeps the messages for the test to look at.
class TestRecorder : public CHttpRecorder {
public:
    TestRecorder(const EngineOptions& s, EngineEvents* e, JobPrompt* p = nullptr,
                 CredentialStore* c = nullptr)
        : CHttpRecorder(s, e, p, c) {
        SetMessageCallback([this](MessageLevel, const std::string& t) { log += t + "\n"; });
    }
    std::string log;
};

std::string Url(uint16_t port, const std::string& path = "/clip.asf") {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

void ExpectProbeMatchesSource(const std::filesystem::path& file) {
    const test::ProbeReport source = test::Probe(HttpClip::Get().path);
    const test::ProbeReport copy = test::Probe(file);
    EXPECT_EQ(copy.Get("format.nb_streams"), source.Get("format.nb_streams"));
    EXPECT_EQ(copy.Get("format.duration"), source.Get("format.duration"));
    EXPECT_EQ(copy.Get("stream0.codec_name"), source.Get("stream0.codec_name"));
}

TEST(HttpRecorderTest, CliRecordsOnDemandByteForByteOverEveryAddressForm) {
    const HttpClip& clip = HttpClip::Get();
    TestServer server(HttpClip::Root().Path(), {"--only", "http"});
    ASSERT_TRUE(server.Ready());
    TempDir dir;
    const std::string port = std::to_string(server.HttpPort());
    const std::vector<std::vector<std::string>> forms = {{Url(server.HttpPort()), "-r"},
                                                         {"-p", port, "mms://127.0.0.1/clip.asf"},
                                                         {"-p", port, "MMST://127.0.0.1/clip.asf"}};
    for (size_t i = 0; i < forms.size(); ++i) {
        const auto out = dir / ("x" + std::to_string(i) + ".asf");
        std::vector<std::string> argv = {kCli, "http-record", "--out", out.string(), "--"};
        argv.insert(argv.end(), forms[i].begin(), forms[i].end());
        const test::CommandResult r = test::Run(argv);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(test::ReadFileBytes(out), clip.WholeRecording()) << forms[i].back();
        EXPECT_NE(r.out.find("stream-start "), std::string::npos);
        EXPECT_NE(r.out.find("progress "), std::string::npos);
        EXPECT_NE(r.out.find("stream-end " + std::to_string(clip.WholeRecording().size())),
                  std::string::npos);
        // Nothing went wrong on the way; "-r" says where its copy goes.
        EXPECT_EQ(r.err.find("ERROR"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("WARNING"), std::string::npos) << r.err;
        ExpectProbeMatchesSource(out);
    }
    const std::vector<uint8_t> raw = test::ReadFileBytes(dir / "x0_raw.asf");
    EXPECT_EQ(std::string(raw.begin(), raw.begin() + 15), "HTTP/1.0 200 OK");
}

TEST(HttpRecorderTest, ResumedRecordingOfAHeaderInThreePartsEqualsAWholeOne) {
    const HttpClip& clip = HttpClip::Get();
    TestServer server(HttpClip::Root().Path(), {"--only", "http", "--header-parts", "3"});
    ASSERT_TRUE(server.Ready());
    TempDir dir;
    std::vector<uint8_t> partial = clip.WholeRecording();
    partial.resize(clip.DataStart() + 10 * clip.packetSize + clip.packetSize / 2);
    test::WriteFileBytes(dir / "part.asf", partial);
    auto file = StdioOutputFile::Open(dir / "part.asf", "rb+");
    ASSERT_TRUE(file);
    RecordedEvents events;
    TestRecorder engine(EngineOptions(), &events);
    const EngineResult result =
        engine.Record({.output = file.get(), .address = Url(server.HttpPort())});
    ASSERT_TRUE(file->Close());
    ASSERT_TRUE(result.recording);
    EXPECT_EQ(result.recording->brokeOff, "");
    EXPECT_TRUE(result.httpAnswered);
    const uint64_t bytes = result.recording->bytes;
    EXPECT_EQ(test::ReadFileBytes(dir / "part.asf"), clip.WholeRecording());
    EXPECT_EQ(bytes, (clip.packetCount - 10) * clip.packetSize);
    EXPECT_NE(engine.log.find("receiving ASF header ("), std::string::npos);
    EXPECT_NE(engine.log.find("Appending to existing file!"), std::string::npos);
    EXPECT_EQ(engine.LastMessage(), "Not saving header since this is a RESUME.");
    EXPECT_NE(server.Log().find("from packet 10"), std::string::npos);
    ExpectProbeMatchesSource(dir / "part.asf");
}

// Send times of the recorded packets, in file order.
std::vector<uint32_t> SendTimes(const std::vector<uint8_t>& file, uint64_t dataStart,
                                uint32_t packetSize) {
    std::vector<uint32_t> times;
    for (uint64_t at = dataStart; at + packetSize <= file.size(); at += packetSize) {
        const auto packet = std::span(file).subspan(at, packetSize);
        const int offset = AsfPacketTools::SendTimeOffset(packet);
        times.push_back(offset < 0 ? UINT32_MAX : ReadLe32(&packet[static_cast<size_t>(offset)]));
    }
    return times;
}

// File Size, the counts and the Data object describe exactly the packets written.
void ExpectLiveHeaderDescribesFile(const std::vector<uint8_t>& file) {
    const HttpClip& clip = HttpClip::Get();
    const size_t fp = clip.PropertiesOffset();
    const uint64_t dataStart = clip.DataStart();
    ASSERT_GT(file.size(), dataStart);
    const uint64_t packets = (file.size() - dataStart) / clip.packetSize;
    EXPECT_EQ((file.size() - dataStart) % clip.packetSize, 0u);
    const std::vector<uint32_t> times = SendTimes(file, dataStart, clip.packetSize);
    ASSERT_FALSE(times.empty());
    EXPECT_EQ(times.front(), 0u);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    EXPECT_EQ(ReadLe64(&file[fp + asf::fp::kFileSize]), file.size());
    EXPECT_EQ(ReadLe64(&file[fp + asf::fp::kDataPacketsCount]), packets);
    const uint32_t preroll = ReadLe32(&file[fp + asf::fp::kPreroll]);
    EXPECT_EQ(ReadLe64(&file[fp + asf::fp::kPlayDuration]),
              (uint64_t{times.back()} + preroll) * 10'000ull);
    EXPECT_EQ(ReadLe64(&file[fp + asf::fp::kSendDuration]), times.back() * 10'000ull);
    EXPECT_EQ(ReadLe32(&file[fp + asf::fp::kFlags]), asf::kFlagSeekable);
    EXPECT_EQ(ReadLe64(&file[clip.headerSize + 16]), packets * clip.packetSize + 50);
    EXPECT_EQ(ReadLe32(&file[clip.headerSize + 40]), packets);
}

TEST(HttpRecorderTest, LiveRecordingEndsAtTheTimeLimitOrAStop) {
    const HttpClip& clip = HttpClip::Get();  // made before the server serves its folder
    TestServer fast(HttpClip::Root().Path(), {"--only", "http", "--live", "--rate", "max"});
    ASSERT_TRUE(fast.Ready());
    TempDir dir;
    const test::CommandResult r =
        test::Run({kCli, "http-record", "--out", (dir / "live.asf").string(), "--", "-m", "1",
                   Url(fast.HttpPort())});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::vector<uint8_t> file = test::ReadFileBytes(dir / "live.asf");
    ExpectLiveHeaderDescribesFile(file);
    const std::vector<uint32_t> times = SendTimes(file, clip.DataStart(), clip.packetSize);
    ASSERT_FALSE(times.empty());
    EXPECT_GE(times.back(), 60'000u);
    EXPECT_LT(times.back(), 61'000u);
    // Players take the preroll off the Play Duration: what is left is the
    // recording's length.
    const test::ProbeReport probe = test::Probe(dir / "live.asf");
    EXPECT_NEAR(std::stod(probe.Get("format.duration")), times.back() / 1000.0, 0.5);
    EXPECT_NEAR(std::stod(probe.Get("format.start_time")), 0.0, 0.01);

    TestServer paced(HttpClip::Root().Path(), {"--only", "http", "--live", "--rate", "realtime"});
    ASSERT_TRUE(paced.Ready());
    auto out = StdioOutputFile::Open(dir / "stopped.asf", "wb");
    RecordedEvents events;
    TestRecorder engine(EngineOptions(), &events);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        engine.Stop();
    });
    (void)engine.Record({.output = out.get(), .address = Url(paced.HttpPort())});
    stopper.join();
    ASSERT_TRUE(out->Close());
    EXPECT_EQ(engine.LastMessage(), "Transfer aborted!");
    ExpectLiveHeaderDescribesFile(test::ReadFileBytes(dir / "stopped.asf"));
    EXPECT_NE(test::Probe(dir / "stopped.asf").Get("format.duration"), "");
}

TEST(HttpRecorderTest, CredentialsComeFromTheStoreThenThePrompt) {
    const HttpClip& clip = HttpClip::Get();
    TestServer server(HttpClip::Root().Path(), {"--only", "http", "--auth", "u:pw"});
    ASSERT_TRUE(server.Ready());
    TempDir dir;
    ProfileStore profile(dir / "Tapewell.ini");
    ProfileCredentials credentials(&profile);
    const std::string url = "http://localhost:" + std::to_string(server.HttpPort()) + "/clip.asf";
    auto record = [&](ScriptedPrompt& prompt, RecordedEvents& events, const char* name) {
        auto out = StdioOutputFile::Open(dir / name, "wb");
        TestRecorder engine(EngineOptions(), &events, &prompt, &credentials);
        (void)engine.Record({.output = out.get(), .address = url});
        out->Close();
        return engine.LastMessage();
    };
    // Nothing stored: the prompt answers, and its answer is kept for the site.
    ScriptedPrompt asked;
    asked.answer = JobPrompt::Credentials{"u", "pw", true};
    RecordedEvents first;
    record(asked, first, "a.asf");
    ASSERT_EQ(asked.sites.size(), 1u);
    const std::string section = "NetPassword\\" + asked.sites[0];
    EXPECT_EQ(profile.GetString(section, "Password", ""), "pw");
    EXPECT_EQ(test::ReadFileBytes(dir / "a.asf"), clip.WholeRecording());
    EXPECT_EQ(first.seen[1], "credentials u:pw");

    // Stored: used silently.
    ScriptedPrompt silent;
    RecordedEvents second;
    record(silent, second, "b.asf");
    EXPECT_TRUE(silent.sites.empty());
    EXPECT_EQ(test::ReadFileBytes(dir / "b.asf"), clip.WholeRecording());
    ExpectProbeMatchesSource(dir / "a.asf");
    ExpectProbeMatchesSource(dir / "b.asf");

    // Stored but wrong: the prompt is asked; cancelling ends the walk.
    ASSERT_TRUE(profile.WriteString(section, "Password", "wrong"));
    ScriptedPrompt cancelling;
    RecordedEvents third;
    EXPECT_EQ(record(cancelling, third, "c.asf"), "Authorization cancelled!");
    EXPECT_EQ(cancelling.sites.size(), 1u);
    EXPECT_EQ(third.seen.back(), "auth-cancelled");
    EXPECT_TRUE(test::ReadFileBytes(dir / "c.asf").empty());

    // The CLI without a terminal: its own wrong credentials are retried once
    // silently, then the question is cancelled.
    const test::CommandResult r = test::Run({kCli, "http-record", "--out", (dir / "d.asf").string(),
                                             "--user", "u", "--password", "bad", "--", url});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("credentials u\nauth-cancelled\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("ERROR: Authorization cancelled!"), std::string::npos) << r.err;
}

TEST(HttpRecorderTest, PlaylistsAndProxies) {
    const HttpClip& clip = HttpClip::Get();
    TempDir dir;
    TestServer server(HttpClip::Root().Path(), {"--only", "http"});
    ASSERT_TRUE(server.Ready());
    {
        // A text/plain body of blanks and an address is a playlist: the
        // address it names is recorded through it.
        const std::string body = " \r\n\t " + Url(server.HttpPort()) + "\n";
        test::WriteFileBytes(HttpClip::Root() / "list.txt",
                             std::vector<uint8_t>(body.begin(), body.end()));
        MemoryOutputFile out;
        RecordedEvents events;
        TestRecorder engine(EngineOptions(), &events);
        (void)engine.Record({.output = &out, .address = Url(server.HttpPort(), "/list.txt")});
        EXPECT_EQ(out.Bytes(), clip.WholeRecording());
    }
    {
        EngineOptions settings;
        settings.useProxy = true;
        settings.proxyServer = "127.0.0.1";
        settings.proxyPort = server.HttpPort();
        MemoryOutputFile out;
        RecordedEvents events;
        TestRecorder engine(settings, &events);
        (void)engine.Record({.output = &out, .address = "http://media.example:81/clip.asf"});
        EXPECT_EQ(out.Bytes(), clip.WholeRecording());
        EXPECT_NE(server.Log().find("GET http://media.example:81/clip.asf"), std::string::npos);
    }
}

TEST(HttpRecorderTest, SilentServerEndsAtOnceByStop) {
    const test::SilentPeer peer;
    const std::string url = Url(peer.Port());

    MemoryOutputFile out;
    TestRecorder engine(EngineOptions(), nullptr);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        engine.Stop();
    });
    const auto start = std::chrono::steady_clock::now();
    (void)engine.Record({.output = &out, .address = url});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    stopper.join();
    EXPECT_TRUE(out.Bytes().empty());
}

}  // namespace
}  // namespace tapewell
