// MmsClient against the test server on loopback (and, for the behaviours it
// does not have, a scripted peer); every file written is read by ffprobe.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "ScriptedMmsPeer.h"
#include "asf/AsfGuids.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"
#include "common/OutputFile.h"
#include "engine/EngineEvents.h"
#include "mms/MmsClient.h"
#include "support/AsfClip.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell::test {
namespace {

class Events final : public EngineEvents {
public:
    void OnStreamStart(const std::string&, uint32_t durationMs) override {
        duration = durationMs;
        ++streamStarts;
    }
    void OnProgress(uint32_t, uint32_t, uint32_t) override { ++progress; }
    void OnError(const std::string& text) override { errors.push_back(text); }

    std::atomic<int> streamStarts{0};
    uint32_t duration = 0;
    int progress = 0;
    std::vector<std::string> errors;
};

struct Recording {
    uint64_t written = 0;
    std::string brokeOff;
    std::vector<uint8_t> bytes;
};

uint64_t Written(const EngineResult& result) {
    return result.recording ? result.recording->bytes : 0;
}

// The reason a run ended with, in either shape: nothing kept, or kept but
// cut short.
std::string Ending(const EngineResult& result) {
    return result.recording ? result.recording->brokeOff : result.recording.error().message;
}

class MmsClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        AsfRecipe recipe;
        recipe.seconds = 4;
        s_clip = new AsfClip(AsfClip::Make(*s_dir / "clip.asf", recipe));
        s_fp = s_clip->PropertiesOffset();
    }
    static void TearDownTestSuite() {
        delete s_clip;
        delete s_dir;
    }
    static std::filesystem::path Root() { return s_dir->Path(); }
    static size_t HeaderSize() { return s_clip->DataStart(); }
    static std::vector<uint8_t> Packet(uint64_t n) {
        const std::span<const uint8_t> packet = s_clip->Packet(n);
        return {packet.begin(), packet.end()};
    }
    static std::string Url(const TestServer& server, const std::string& name = "clip.asf") {
        return "mms://127.0.0.1:" + std::to_string(server.MmsPort()) + "/" + name;
    }

    // Records into a file of the test's folder.
    Recording Record(const std::string& url, const EngineOptions& settings, Events& events,
                     const std::string& name = "out.asf") {
        auto out = StdioOutputFile::Open(m_dir / name, "wb");
        MmsClient client(settings, &events);
        Recording r;
        const EngineResult result = client.Record({.output = out.get(), .address = url});
        r.written = Written(result);
        r.brokeOff = result.recording ? result.recording->brokeOff : "";
        out->Close();
        r.bytes = ReadFileBytes(m_dir / name);
        return r;
    }

    // File Size and Flags over whole packets: what every ending of the
    // engine leaves (the job appends the index).
    static void ExpectRepaired(const std::vector<uint8_t>& file) {
        ASSERT_GT(file.size(), HeaderSize());
        EXPECT_EQ(ReadLe64(&file[s_fp + asf::fp::kFileSize]), file.size());
        EXPECT_EQ(ReadLe32(&file[s_fp + asf::fp::kFlags]), asf::kFlagSeekable);
        EXPECT_EQ((file.size() - HeaderSize()) % s_clip->packetSize, 0u);
    }

    // The file is the source up to the end of its Data object but for File
    // Size and Flags, and then the index.
    static void ExpectSourceCopy(std::vector<uint8_t> file, uint64_t packets) {
        ExpectRepaired(file);
        const size_t end = s_clip->RecordingSize(packets);
        ASSERT_EQ(file.size(), end);
        std::vector<uint8_t> source(s_clip->bytes.begin(),
                                    s_clip->bytes.begin() + static_cast<ptrdiff_t>(end));
        for (size_t i = 0; i < 8; ++i) {
            file[s_fp + asf::fp::kFileSize + i] = source[s_fp + asf::fp::kFileSize + i] = 0;
        }
        for (size_t i = 0; i < 4; ++i) {
            file[s_fp + asf::fp::kFlags + i] = source[s_fp + asf::fp::kFlags + i] = 0;
        }
        file.resize(end);
        EXPECT_TRUE(file == source);
    }

    static uint32_t SendTime(const std::vector<uint8_t>& file, size_t packet) {
        const auto p =
            std::span(file).subspan(HeaderSize() + packet * s_clip->packetSize, s_clip->packetSize);
        const int at = AsfPacketTools::SendTimeOffset(p);
        return at > 0 ? ReadLe32(&p[static_cast<size_t>(at)]) : 0;
    }

    static inline TempDir* s_dir = nullptr;
    static inline AsfClip* s_clip = nullptr;
    static inline size_t s_fp = 0;

    TempDir m_dir;
};

TEST_F(MmsClientTest, OnDemandCopyEqualsTheSourceHoweverTheHeaderArrives) {
    const ProbeReport source = Probe(Root() / "clip.asf");
    for (const char* parts : {"1", "3"}) {
        SCOPED_TRACE(parts);
        TestServer server(Root(), {"--only", "mms", "--header-parts", parts, "--ping"});
        ASSERT_TRUE(server.Ready());
        Events events;
        const Recording r = Record(Url(server), EngineOptions(), events);
        EXPECT_TRUE(events.errors.empty());
        EXPECT_EQ(events.streamStarts, std::stoi(parts));
        EXPECT_GT(events.duration, 3500u);
        EXPECT_EQ(events.progress, static_cast<int>(s_clip->packetCount));
        EXPECT_EQ(r.written, s_clip->RecordingSize(s_clip->packetCount));
        ExpectSourceCopy(r.bytes, s_clip->packetCount);
        const ProbeReport copy = Probe(m_dir / "out.asf");
        EXPECT_EQ(copy.Get("stream0.codec_name"), source.Get("stream0.codec_name"));
        EXPECT_EQ(copy.Get("stream1.codec_name"), source.Get("stream1.codec_name"));
        EXPECT_NEAR(std::stod(copy.Get("format.duration")),
                    std::stod(source.Get("format.duration")), 0.1);
    }
}

TEST_F(MmsClientTest, LiveRecordingIsRebasedAndDescribedWhenTheSettingIsOn) {
    TestServer server(Root(), {"--only", "mms", "--live", "--header-parts", "3"});
    ASSERT_TRUE(server.Ready());
    EngineOptions settings;
    settings.sizeLimitOn = true;
    settings.maxSizeMiB = 1;
    for (bool saveTimes : {true, false}) {
        SCOPED_TRACE(saveTimes);
        settings.liveSaveTimeInfo = saveTimes;
        Events events;
        const Recording r = Record(Url(server), settings, events);
        EXPECT_EQ(events.duration, 0u);
        // "size policy": ends with the packet that reaches 1 MiB.
        EXPECT_GE(r.written, 1u << 20);
        EXPECT_LT(r.written - s_clip->packetSize, 1u << 20);
        ExpectRepaired(r.bytes);
        const uint64_t packets = (r.bytes.size() - HeaderSize()) / s_clip->packetSize;
        const uint8_t* fp = &r.bytes[s_fp];
        const uint8_t* data = &r.bytes[s_clip->headerSize];
        if (!saveTimes) {
            // Written untouched: the first round is the source's packets.
            for (uint64_t n = 0; n < s_clip->packetCount; ++n) {
                ASSERT_TRUE(std::equal(
                    r.bytes.begin() + static_cast<ptrdiff_t>(HeaderSize() + n * s_clip->packetSize),
                    r.bytes.begin() +
                        static_cast<ptrdiff_t>(HeaderSize() + (n + 1) * s_clip->packetSize),
                    Packet(n).begin()));
            }
            continue;
        }
        // From 0 at the first packet written, never back.
        EXPECT_EQ(SendTime(r.bytes, 0), 0u);
        uint32_t latest = 0;
        for (uint64_t n = 0; n < packets; ++n) {
            ASSERT_GE(SendTime(r.bytes, n), latest) << "packet " << n;
            latest = SendTime(r.bytes, n);
        }
        ASSERT_GT(latest, 0u);
        // Play Duration counts the preroll in, as the cutter writes it.
        const uint64_t preroll = ReadLe64(fp + asf::fp::kPreroll);
        EXPECT_EQ(ReadLe64(fp + asf::fp::kDataPacketsCount), packets);
        EXPECT_EQ(ReadLe64(fp + asf::fp::kPlayDuration), (latest + preroll) * 10000);
        EXPECT_EQ(ReadLe64(fp + asf::fp::kSendDuration), uint64_t{latest} * 10000);
        EXPECT_EQ(ReadLe64(data + 16), packets * s_clip->packetSize + 50);
        EXPECT_EQ(ReadLe64(data + 40), packets);
        const ProbeReport probe = Probe(m_dir / "out.asf");
        EXPECT_EQ(probe.Get("stream0.codec_name"), "wmv2");
        EXPECT_NEAR(std::stod(probe.Get("format.start_time")), 0.0, 0.05);
        EXPECT_NEAR(std::stod(probe.Get("format.duration")), latest / 1000.0, 0.5);
        EXPECT_EQ(probe.asfPacketsRead, packets);
    }
}

TEST_F(MmsClientTest, TimePolicyEndsAtTheFirstPacketAtMaxTime) {
    TestServer server(Root(), {"--only", "mms"});
    ASSERT_TRUE(server.Ready());
    EngineOptions settings;
    settings.timeLimitOn = true;
    settings.maxTimeSeconds = 1;
    Events events;
    const Recording r = Record(Url(server), settings, events);
    ExpectRepaired(r.bytes);
    const size_t packets = (r.bytes.size() - HeaderSize()) / s_clip->packetSize;
    ASSERT_GE(packets, 2u);
    ASSERT_LT(packets, s_clip->packetCount);
    EXPECT_GE(SendTime(r.bytes, packets - 1), 1000u);
    for (size_t n = 0; n + 1 < packets; ++n) {
        EXPECT_LT(SendTime(r.bytes, n), 1000u);
    }
    EXPECT_EQ(Probe(m_dir / "out.asf").Get("stream1.codec_name"), "wmav2");
}

TEST_F(MmsClientTest, ResumeAppendsFromTheStartPacketWithoutAHeader) {
    TestServer server(Root(), {"--only", "mms"});
    ASSERT_TRUE(server.Ready());
    constexpr uint32_t kHave = 7;
    std::vector<uint8_t> partial(
        s_clip->bytes.begin(),
        s_clip->bytes.begin() + static_cast<ptrdiff_t>(s_clip->RecordingSize(kHave)));
    WriteFileBytes(m_dir / "part.asf", partial);
    auto out = StdioOutputFile::Open(m_dir / "part.asf", "rb+");
    ASSERT_TRUE(out && out->SeekEnd());
    Events events;
    MmsClient client(EngineOptions(), &events);
    const uint64_t written = Written(
        client.Record({.output = out.get(), .address = Url(server), .resumePackets = kHave}));
    out->Close();
    EXPECT_EQ(written, (s_clip->packetCount - kHave) * s_clip->packetSize);
    EXPECT_NE(server.Log().find("play from packet 7"), std::string::npos);
    ExpectSourceCopy(ReadFileBytes(m_dir / "part.asf"), s_clip->packetCount);
}

TEST_F(MmsClientTest, EndingsWithoutAFullStream) {
    TestServer server(Root(), {"--only", "mms"});
    ASSERT_TRUE(server.Ready());
    {
        Events events;
        MemoryOutputFile out;
        MmsClient client(EngineOptions(), &events);
        const EngineResult result =
            client.Record({.output = &out, .address = Url(server, "missing.asf")});
        ASSERT_FALSE(result.recording);
        EXPECT_EQ(result.recording.error().message, "Url not found");
        EXPECT_EQ(events.errors, std::vector<std::string>{"Url not found"});
        EXPECT_TRUE(out.Bytes().empty());
    }
    {
        // A check without a file: the header length once media flows.
        MmsClient client(EngineOptions(), nullptr);
        EXPECT_EQ(Written(client.Record({.address = Url(server)})), HeaderSize());
    }
    {
        Events events;
        MmsClient client(EngineOptions(), &events);
        const EngineResult result = client.Record({.address = "mms://127.0.0.1:1/clip.asf"});
        EXPECT_EQ(Written(result), 0u);
        EXPECT_EQ(Ending(result), "connect failed !!");
        EXPECT_EQ(events.errors, std::vector<std::string>{"connect failed !!"});
    }
}

// What the scripted peer sends: the source's header and packets with their
// zero padding cut off, so the client has to put it back.
ScriptedMmsPeer::Script SourceScript(const std::vector<uint8_t>& header,
                                     const std::vector<std::vector<uint8_t>>& packets) {
    ScriptedMmsPeer::Script script;
    script.header = header;
    for (auto packet : packets) {
        while (packet.size() > 20 && packet.back() == 0) {
            packet.pop_back();
        }
        script.packets.push_back(packet);
    }
    return script;
}

TEST_F(MmsClientTest, OddServersArePaddedIgnoredRefusedOrStopped) {
    const std::vector<uint8_t> header(s_clip->bytes.begin(),
                                      s_clip->bytes.begin() + static_cast<ptrdiff_t>(HeaderSize()));
    std::vector<std::vector<uint8_t>> packets;
    for (uint64_t n = 0; n < s_clip->packetCount; ++n) {
        packets.push_back(Packet(n));
    }
    {
        // An unknown reply, a packet of type 3 and short payloads.
        auto script = SourceScript(header, packets);
        script.unknownReply = true;
        script.typeThreePacket = true;
        ASSERT_TRUE(std::any_of(script.packets.begin(), script.packets.end(),
                                [](const auto& p) { return p.size() < s_clip->packetSize; }));
        ScriptedMmsPeer peer(script);
        Events events;
        const Recording r = Record("mms://127.0.0.1:" + std::to_string(peer.Port()) + "/x.asf",
                                   EngineOptions(), events);
        EXPECT_TRUE(events.errors.empty());
        ExpectSourceCopy(r.bytes, s_clip->packetCount);
        EXPECT_EQ(Probe(m_dir / "out.asf").Get("stream0.codec_name"), "wmv2");
    }
    {
        auto variable = header;
        WriteLe32(&variable[s_fp + asf::fp::kMaxPacketSize], s_clip->packetSize + 1000);
        ScriptedMmsPeer peer(SourceScript(variable, packets));
        Events events;
        const Recording r = Record("mms://127.0.0.1:" + std::to_string(peer.Port()) + "/x.asf",
                                   EngineOptions(), events);
        EXPECT_EQ(r.written, 0u);
        EXPECT_EQ(events.errors, std::vector<std::string>{"not supported"});
    }
    {
        // A server that falls silent after the header: Stop ends the wait.
        auto script = SourceScript(header, packets);
        script.silentAfterHeader = true;
        ScriptedMmsPeer peer(script);
        Events events;
        auto out = StdioOutputFile::Open(m_dir / "silent.asf", "wb");
        MmsClient client(EngineOptions(), &events);
        std::atomic<bool> done{false};
        std::chrono::steady_clock::time_point stoppedAt;
        std::thread stopper([&] {
            for (int i = 0; i < 500 && events.streamStarts == 0; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            stoppedAt = std::chrono::steady_clock::now();
            client.Stop();
        });
        const EngineResult result =
            client.Record({.output = out.get(),
                           .address = "mms://127.0.0.1:" + std::to_string(peer.Port()) + "/x.asf"});
        const uint64_t written = Written(result);
        const auto returnedAt = std::chrono::steady_clock::now();
        stopper.join();
        out->Close();
        EXPECT_LT(returnedAt - stoppedAt, std::chrono::seconds(1));
        EXPECT_EQ(written, HeaderSize());
        EXPECT_EQ(Ending(result), "");  // a stop is no failure to tell
        const auto file = ReadFileBytes(m_dir / "silent.asf");
        ASSERT_EQ(file.size(), HeaderSize());
        EXPECT_EQ(ReadLe64(&file[s_fp + asf::fp::kFileSize]), file.size());
    }
}

}  // namespace
}  // namespace tapewell::test
