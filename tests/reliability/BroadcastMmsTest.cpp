// The MMS engine against tapewell-testserver behaving like a real broadcast
// server (headers again mid-stream, a change of layout, 32,000-byte
// packets), against peers that do not speak MMS, and stopped at every
// stage of a live recording: each file ends with a header that describes
// it, read by ffprobe from 0 and decoded by ffmpeg without a word.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "asf/AsfGuids.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"
#include "common/OutputFile.h"
#include "engine/EngineEvents.h"
#include "mms/MmsClient.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell::test {
namespace {

using std::chrono::steady_clock;

const std::string kCli = TAPEWELL_CLI_PATH;

// Gives out2.asf, out3.asf, ... in its folder when a new layout comes.
class Host final : public EngineEvents {
public:
    explicit Host(std::filesystem::path dir) : m_dir(std::move(dir)) {}
    void OnStreamStart(const std::string&, uint32_t) override { ++starts; }
    void OnError(const std::string& text) override { errors.push_back(text); }
    OutputFile* OnNextOutputFile() override {
        files.push_back(StdioOutputFile::Open(
            m_dir / ("out" + std::to_string(files.size() + 2) + ".asf"), "wb"));
        return files.back().get();
    }
    std::atomic<int> starts{0};
    std::vector<std::string> errors;
    std::vector<std::unique_ptr<StdioOutputFile>> files;

private:
    std::filesystem::path m_dir;
};

struct Layout {
    size_t filePropertiesAt = 0;
    uint64_t dataStart = 0;  // the first packet
    uint32_t packetSize = 0;
    uint64_t packets = 0;  // whole packets between the header and the index
    uint32_t lastSendTime = 0;
};

// Checks that the file's header describes exactly what it holds, and that
// its packets' send times start at 0 and never go back. A recording that
// joined a broadcast late starts on the packet of a key frame: the decoder
// says nothing beyond kJoinedMidFrameWarning.
Layout ExpectDescribed(const std::filesystem::path& path) {
    SCOPED_TRACE(path.filename().string());
    Layout l;
    const std::vector<uint8_t> file = ReadFileBytes(path);
    const int fp = AsfPacketTools::FindFileProperties(file);
    if (file.size() < 30 || fp < 0) {
        ADD_FAILURE() << "no ASF header";
        return l;
    }
    l.filePropertiesAt = static_cast<size_t>(fp);
    const uint8_t* props = &file[l.filePropertiesAt];
    l.packetSize = ReadLe32(props + asf::fp::kMinPacketSize);
    l.dataStart = ReadLe64(&file[16]) + asf::kDataObjectHeaderSize;
    if (file.size() < l.dataStart || l.packetSize == 0) {
        ADD_FAILURE() << "no Data object";
        return l;
    }
    // Whole packets, then the Simple Index object of the finished file (the
    // engine alone writes none).
    const uint64_t dataEnd =
        l.dataStart - asf::kDataObjectHeaderSize + ReadLe64(&file[l.dataStart - 34]);
    uint64_t indexSize = 0;
    if (dataEnd <= file.size() && file.size() - dataEnd >= 24 &&
        Guid::FromBytes(std::span(file).subspan(dataEnd)) == guids::kSimpleIndex) {
        indexSize = ReadLe64(&file[dataEnd + 16]);
    }
    l.packets = (file.size() - indexSize - l.dataStart) / l.packetSize;
    EXPECT_EQ(l.dataStart + l.packets * l.packetSize + indexSize, file.size());
    EXPECT_EQ(ReadLe64(props + asf::fp::kFileSize), file.size());
    EXPECT_EQ(ReadLe32(props + asf::fp::kFlags), asf::kFlagSeekable);
    EXPECT_EQ(ReadLe64(props + asf::fp::kDataPacketsCount), l.packets);
    EXPECT_EQ(ReadLe64(&file[l.dataStart - asf::kDataObjectHeaderSize + 16]),
              l.packets * l.packetSize + asf::kDataObjectHeaderSize);
    for (uint64_t n = 0; n < l.packets; ++n) {
        const auto p = std::span(file).subspan(l.dataStart + n * l.packetSize, l.packetSize);
        const int at = AsfPacketTools::SendTimeOffset(p);
        const uint32_t t = at > 0 ? ReadLe32(&p[static_cast<size_t>(at)]) : 0;
        EXPECT_TRUE(n > 0 || t == 0) << "first send time " << t;
        EXPECT_GE(t, l.lastSendTime) << "packet " << n;
        l.lastSendTime = std::max(l.lastSendTime, t);
    }
    const uint64_t preroll = ReadLe64(props + asf::fp::kPreroll);
    EXPECT_EQ(ReadLe64(props + asf::fp::kPlayDuration), (l.lastSendTime + preroll) * 10000);
    EXPECT_EQ(ReadLe64(props + asf::fp::kSendDuration), uint64_t{l.lastSendTime} * 10000);
    const ProbeReport probe = Probe(path);
    EXPECT_EQ(probe.asfPacketSize, l.packetSize);
    EXPECT_EQ(probe.asfPacketsRead, l.packets);
    EXPECT_NEAR(std::stod(probe.Get("format.start_time")), 0.0, 0.05);
    EXPECT_NEAR(std::stod(probe.Get("format.duration")), l.lastSendTime / 1000.0, 0.5);
    const CommandResult decode =
        Run({"ffmpeg", "-v", "error", "-i", path.string(), "-f", "null", "-"});
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(test::DropLinesContaining(decode.err, test::kJoinedMidFrameWarning), "");
    const std::vector<uint8_t> video = AsfPacketTools::VideoStreamNumbers(file);
    if (!video.empty() && l.packets > 0) {
        EXPECT_TRUE(AsfPacketTools::StartsKeyFrame(
            std::span(file).subspan(l.dataStart, l.packetSize), video))
            << "the first packet starts no key frame";
    }
    return l;
}

class BroadcastMmsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        AsfRecipe recipe;
        recipe.seconds = 4;
        MakeAsf(*s_dir / "a.asf", recipe);
        recipe.video = false;
        recipe.packetSize = 4000;
        MakeAsf(*s_dir / "b.asf", recipe);
        std::filesystem::create_directory(*s_dir / "big");
        AsfRecipe big;
        big.seconds = 4;
        big.packetSize = 32000;
        big.videoBitrate = "1500k";
        MakeAsf(*s_dir / "big" / "big.asf", big);
    }
    static void TearDownTestSuite() { delete s_dir; }

    static std::string Url(const TestServer& server, uint16_t port, const std::string& name) {
        (void)server;
        return "mms://127.0.0.1:" + std::to_string(port) + "/" + name;
    }

    // Records with the time limit; returns the engine's result.
    uint64_t Record(const std::string& url, Host& host, int seconds,
                    const std::function<void(MmsClient&)>& during = {}) {
        EngineOptions settings;
        settings.timeLimitOn = seconds > 0;
        settings.maxTimeSeconds = seconds;
        auto out = StdioOutputFile::Open(m_dir / "out.asf", "wb");
        MmsClient client(settings, &host);
        std::thread side;
        if (during) {
            side = std::thread([&] { during(client); });
        }
        const EngineResult result = client.Record({.output = out.get(), .address = url});
        const uint64_t written = result.recording ? result.recording->bytes : 0;
        if (side.joinable()) {
            side.join();
        }
        out->Close();
        for (auto& file : host.files) {
            file->Close();
        }
        return written;
    }

    static inline TempDir* s_dir = nullptr;
    TempDir m_dir;
};

TEST_F(BroadcastMmsTest, RepeatedHeadersKeepOneHeaderAndOneTimeLine) {
    TestServer server(s_dir->Path(),
                      {"--only", "mms", "--live", "--rate", "max", "--header-repeat", "150"});
    ASSERT_TRUE(server.Ready());
    Host host(m_dir.Path());
    EXPECT_GT(Record(Url(server, server.MmsPort(), "a.asf"), host, 20), 0u);
    EXPECT_TRUE(host.errors.empty()) << host.errors.front();
    EXPECT_TRUE(host.files.empty());
    const Layout l = ExpectDescribed(m_dir / "out.asf");
    EXPECT_GT(l.packets, 300u);  // past two repeats
    EXPECT_NEAR(l.lastSendTime / 1000.0, 20.0, 1.0);
    const std::vector<uint8_t> file = ReadFileBytes(m_dir / "out.asf");
    EXPECT_EQ(std::search(file.begin() + 16, file.end(), guids::kHeader.bytes.begin(),
                          guids::kHeader.bytes.end()),
              file.end());
    const CommandResult info = test::Run({kCli, "info", (m_dir / "out.asf").string()});
    EXPECT_NE(info.out.find("Packets:        " + std::to_string(l.packets) + "\n"),
              std::string::npos)
        << info.out;
}

TEST_F(BroadcastMmsTest, AnotherLayoutGoesOnInTheNextFile) {
    TestServer server(s_dir->Path(),
                      {"--only", "mms", "--live", "--rate", "max", "--layout-change", "40"});
    ASSERT_TRUE(server.Ready());
    Host host(m_dir.Path());
    EXPECT_GT(Record(Url(server, server.MmsPort(), "a.asf"), host, 6), 0u);
    EXPECT_TRUE(host.errors.empty()) << host.errors.front();
    ASSERT_EQ(host.files.size(), 1u);
    const Layout first = ExpectDescribed(m_dir / "out.asf");
    const Layout second = ExpectDescribed(m_dir / "out2.asf");
    EXPECT_EQ(first.packetSize, 3200u);
    EXPECT_EQ(first.packets, 40u);
    EXPECT_EQ(second.packetSize, 4000u);
    // The time limit counts both files.
    EXPECT_NEAR((first.lastSendTime + second.lastSendTime) / 1000.0, 6.0, 1.0);
}

TEST_F(BroadcastMmsTest, LivePacketsOf32000BytesStartAtZeroAndNeverGoBack) {
    TestServer server(s_dir->Path() / "big", {"--only", "mms", "--live", "--rate", "max"});
    ASSERT_TRUE(server.Ready());
    Host host(m_dir.Path());
    EXPECT_GT(Record(Url(server, server.MmsPort(), "big.asf"), host, 5), 0u);
    const Layout l = ExpectDescribed(m_dir / "out.asf");
    EXPECT_EQ(l.packetSize, 32000u);
}

TEST_F(BroadcastMmsTest, PeersThatDoNotSpeakMmsAreGivenUpQuickly) {
    TestServer server(s_dir->Path(), {"--only", "http"});
    ASSERT_TRUE(server.Ready());
    SilentPeer silent;
    for (const uint16_t port : {server.HttpPort(), silent.Port()}) {
        SCOPED_TRACE(port);
        Host host(m_dir.Path());
        const auto start = steady_clock::now();
        EXPECT_EQ(Record(Url(server, port, "a.asf"), host, 0), 0u);
        EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(6));
        ASSERT_EQ(host.errors.size(), 1u);
        EXPECT_TRUE(host.errors[0].find("not an MMS server") != std::string::npos ||
                    host.errors[0].find("without an MMS reply") != std::string::npos)
            << host.errors[0];
        EXPECT_EQ(ReadFileBytes(m_dir / "out.asf").size(), 0u);
    }
}

TEST_F(BroadcastMmsTest, EveryEndOfALiveRecordingLeavesADescribingHeader) {
    {
        SCOPED_TRACE("stop");
        TestServer server(s_dir->Path(), {"--only", "mms", "--live", "--rate", "realtime"});
        Host host(m_dir.Path());
        Record(Url(server, server.MmsPort(), "a.asf"), host, 0, [&](MmsClient& client) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            client.Stop();
        });
        EXPECT_TRUE(host.errors.empty()) << host.errors.front();
        EXPECT_GT(ExpectDescribed(m_dir / "out.asf").packets, 5u);
    }
    {
        SCOPED_TRACE("server close");
        TestServer server(s_dir->Path(), {"--only", "mms", "--live", "--drop-after", "60"});
        Host host(m_dir.Path());
        Record(Url(server, server.MmsPort(), "a.asf"), host, 0);
        EXPECT_EQ(host.errors,
                  std::vector<std::string>{"connection closed before the end of the stream"});
        EXPECT_EQ(ExpectDescribed(m_dir / "out.asf").packets, 60u);
    }
    TestServer server(s_dir->Path(), {"--only", "mms", "--live", "--rate", "realtime"});
    ::setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
    for (const int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig);
        const auto path = m_dir / ("cli" + std::to_string(sig) + ".asf");
        const pid_t pid = Spawn(
            {kCli, "mms-record", "--out", path.string(), Url(server, server.MmsPort(), "a.asf")});
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        ::kill(pid, sig);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status)) << status;
        EXPECT_GT(ExpectDescribed(path).packets, 5u);
    }
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace tapewell::test
