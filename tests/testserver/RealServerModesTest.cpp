// The switches that make the test server behave like the Windows Media
// broadcast server met in the field: repeated headers with times that step
// back, a broadcast clock that late joiners meet, loops that start their
// times again, a change of packet layout, and the answer to a plain GET.
// Raw clients check the bytes; FFmpeg's mmsh and mmst clients check that a
// real client still reads every mode.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "MmsMessage.h"
#include "ServerOptions.h"
#include "WireReader.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"
#include "support/AsfClip.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell::test {
namespace {

namespace mms = testserver::mms;

constexpr uint32_t kReportStreamChange = 0x00040020;
constexpr uint32_t kStepBackMs = 500;
constexpr size_t kLiveReadBytes = 1u << 20;
// FFmpeg is stopped after this long: a client that cannot make sense of a
// stream must fail its test, not hang it.
constexpr const char* kFfmpegLimitSeconds = "30";

// A File Properties field of a received header.
uint64_t HeaderField(std::span<const uint8_t> header, size_t field, size_t size) {
    const int at = AsfPacketTools::FindFileProperties(header);
    if (at < 0 || static_cast<size_t>(at) + field + size > header.size()) {
        ADD_FAILURE() << "no File Properties object in the header";
        return 0;
    }
    return size == 8 ? ReadLe64(&header[at + field]) : ReadLe32(&header[at + field]);
}

uint32_t PacketSizeOf(std::span<const uint8_t> header) {
    return static_cast<uint32_t>(HeaderField(header, asf::fp::kMinPacketSize, 4));
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

class RealServerModesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        AsfRecipe recipe;
        recipe.seconds = 4;
        s_clip = new AsfClip(AsfClip::Make(*s_dir / "a.asf", recipe));
        // The next file by name, of another packet size: the layout a
        // --layout-change switches to.
        recipe.seconds = 3;
        recipe.packetSize = 4096;
        s_other = new AsfClip(AsfClip::Make(*s_dir / "b.asf", recipe));
    }
    static void TearDownTestSuite() {
        delete s_other;
        delete s_clip;
        delete s_dir;
    }
    static std::filesystem::path Root() { return s_dir->Path(); }
    static std::vector<uint8_t> StreamHttp(const TestServer& server, size_t maxBytes = SIZE_MAX) {
        return ReadAtMost(server.HttpPort(), Bytes(StreamRequest("/a.asf", 0)), maxBytes);
    }
    static std::vector<uint8_t> StreamMms(const TestServer& server, size_t maxBytes = SIZE_MAX) {
        return ReadMms(server.MmsPort(), MmsPlayRequest("a.asf"), maxBytes);
    }

    static inline TempDir* s_dir = nullptr;
    static inline AsfClip* s_clip = nullptr;
    static inline AsfClip* s_other = nullptr;
};

TEST_F(RealServerModesTest, SwitchesAreCheckedAndDocumented) {
    auto parse = [](std::vector<std::string> args, std::string* error) {
        args.insert(args.begin(), {"--root", "/tmp"});
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        bool help = false;
        return testserver::ParseServerOptions(argv, &help, error);
    };
    std::string error;
    auto options = parse({"--live", "--header-repeat", "185", "--loop-restart", "--layout-change",
                          "20", "--plain-get", "header"},
                         &error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->headerRepeat, 185u);
    EXPECT_EQ(options->layoutChangeAfter, 20u);
    EXPECT_TRUE(options->loopRestart && options->plainGetHeader && options->FieldBroadcast());
    EXPECT_FALSE(parse({"--header-repeat", "1"}, &error)->FieldBroadcast());
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--header-repeat", "0"},
                                                {"--header-repeat", "-1"},
                                                {"--header-repeat", "1000000001"},
                                                {"--layout-change", "0"},
                                                {"--plain-get", "file"},
                                                {"--loop-restart"},
                                                {"--header-repeat"}}) {
        EXPECT_FALSE(parse(bad, &error)) << bad[0];
    }
    for (const char* name :
         {"--header-repeat N", "--loop-restart", "--layout-change N", "--plain-get header"}) {
        EXPECT_NE(std::string(testserver::kServerUsage).find(name), std::string::npos) << name;
    }
}

TEST_F(RealServerModesTest, HttpRepeatsTheHeaderEveryNPacketsAndStepsTimesBack) {
    TestServer server(Root(), {"--only", "http", "--header-repeat", "10"});
    ASSERT_TRUE(server.Ready());
    const HttpReply reply = SplitReply(StreamHttp(server));
    ASSERT_GE(reply.chunks.size(), 3u);
    ASSERT_EQ(reply.chunks.back().type, 'E');
    size_t run = 0;
    size_t repeats = 0;
    size_t dataChunks = 0;
    std::optional<uint32_t> lastTime;
    std::optional<uint32_t> lastSequence;
    bool afterRepeat = false;
    for (size_t i = 1; i + 1 < reply.chunks.size(); ++i) {
        const Chunk& chunk = reply.chunks[i];
        if (chunk.type == 'H') {
            EXPECT_EQ(run, 10u) << "data chunks before the header at chunk " << i;
            EXPECT_EQ(chunk.body, s_clip->StreamHeader());
            EXPECT_EQ(chunk.flags, 0x0C);
            run = 0;
            ++repeats;
            afterRepeat = true;
            continue;
        }
        ASSERT_EQ(chunk.type, 'D');
        ++run;
        ++dataChunks;
        // Location numbers go on across every header, one by one.
        if (lastSequence) {
            EXPECT_EQ(chunk.sequence, *lastSequence + 1);
        }
        lastSequence = chunk.sequence;
        const std::optional<uint32_t> time = SendTime(chunk.body);
        ASSERT_TRUE(time);
        if (afterRepeat && lastTime) {
            EXPECT_LE(*time, *lastTime) << "chunk " << i;
            EXPECT_LE(*lastTime - *time, kStepBackMs) << "chunk " << i;
        }
        afterRepeat = false;
        lastTime = time;
    }
    EXPECT_EQ(reply.chunks.front().sequence, 0u);
    EXPECT_EQ(repeats, (dataChunks - 1) / 10);
    // The steps back replay packets, so more go out than the file holds,
    // and the stream still reaches the file's last packet.
    EXPECT_GT(dataChunks, s_clip->packetCount);
    EXPECT_EQ(reply.chunks[reply.chunks.size() - 2].body,
              std::vector<uint8_t>(s_clip->Packet(s_clip->packetCount - 1).begin(),
                                   s_clip->Packet(s_clip->packetCount - 1).end()));
}

// Checks an MMS stream of a.asf with a header change every `every` packets
// (or once, for a layout change): each is an end of entry with result 1,
// a stream change report naming the packet and header sizes, then the
// header, and the media goes on with its numbers.
void ExpectMmsStreamChanges(const std::vector<MmsUnit>& units, const AsfClip& first,
                            const AsfClip& second, size_t every, size_t expectedChanges) {
    size_t at = 0;
    while (at < units.size() &&
           !(units[at].command && units[at].code == mms::kReportStartedPlaying)) {
        ++at;
    }
    ASSERT_LT(at, units.size()) << "no started-playing report";
    size_t changes = 0;
    size_t run = 0;
    std::optional<uint32_t> lastLocation;
    uint32_t packetSize = first.packetSize;
    for (++at; at < units.size(); ++at) {
        const MmsUnit& unit = units[at];
        if (unit.command && unit.code == mms::kReportEndOfStream && unit.U32(40) == 0) {
            break;  // the end of the stream
        }
        if (unit.command) {
            ASSERT_EQ(unit.code, mms::kReportEndOfStream) << "unit " << at;
            EXPECT_EQ(unit.U32(40), 1u);
            EXPECT_EQ(run, every);
            ASSERT_LT(at + 2, units.size());
            const MmsUnit& change = units[at + 1];
            const MmsUnit& header = units[at + 2];
            const AsfClip& now = expectedChanges == 1 ? second : first;
            ASSERT_TRUE(change.command);
            EXPECT_EQ(change.code, kReportStreamChange);
            EXPECT_EQ(change.U32(48), now.packetSize);
            EXPECT_EQ(change.U32(52), now.DataStart());
            ASSERT_FALSE(header.command);
            EXPECT_EQ(header.incarnation, mms::kHeaderPacketType);
            EXPECT_EQ(header.flags, mms::kHeaderLast);
            EXPECT_EQ(header.bytes, now.StreamHeader());
            packetSize = now.packetSize;
            at += 2;
            run = 0;
            ++changes;
            continue;
        }
        EXPECT_EQ(unit.incarnation, mms::kMediaPacketType);
        EXPECT_EQ(unit.bytes.size(), packetSize);
        if (lastLocation) {
            EXPECT_EQ(unit.location, *lastLocation + 1);
        }
        lastLocation = unit.location;
        ++run;
    }
    EXPECT_LT(at, units.size()) << "the stream did not end";
    EXPECT_EQ(changes, expectedChanges);
}

TEST_F(RealServerModesTest, MmsAnnouncesRepeatedHeadersAndNewLayoutsAsStreamChanges) {
    {
        TestServer server(Root(), {"--only", "mms", "--header-repeat", "10"});
        ASSERT_TRUE(server.Ready());
        const std::vector<MmsUnit> units = SplitMms(StreamMms(server));
        size_t media = 0;
        for (const MmsUnit& unit : units) {
            media += !unit.command && unit.incarnation == mms::kMediaPacketType;
        }
        SCOPED_TRACE("header repeat");
        ExpectMmsStreamChanges(units, *s_clip, *s_clip, 10, (media - 1) / 10);
    }
    TestServer server(Root(), {"--only", "mms", "--layout-change", "7"});
    ASSERT_TRUE(server.Ready());
    SCOPED_TRACE("layout change");
    ExpectMmsStreamChanges(SplitMms(StreamMms(server)), *s_clip, *s_other, 7, 1);
}

TEST_F(RealServerModesTest, LateJoinerMeetsTheLiveBroadcastWhereItIs) {
    TestServer field(Root(), {"--live", "--header-repeat", "1000"});
    TestServer plain(Root(), {"--live"});
    ASSERT_TRUE(field.Ready() && plain.Ready());
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const HttpReply joined = SplitReply(StreamHttp(field, 64 * 1024));
    ASSERT_GE(joined.chunks.size(), 2u);
    ASSERT_EQ(joined.chunks[1].type, 'D');
    // The clock ran for 1.5 s: the first packet is the broadcast's of then.
    EXPECT_GT(joined.chunks[1].sequence, 0u);
    const uint32_t time = SendTime(joined.chunks[1].body).value_or(0);
    EXPECT_GE(time, 1000u);
    EXPECT_LE(time, 4000u);
    // The header says broadcast and still gives a play duration and a size.
    const std::vector<uint8_t>& header = joined.chunks[0].body;
    EXPECT_EQ(HeaderField(header, asf::fp::kFlags, 4) & asf::kFlagBroadcast, asf::kFlagBroadcast);
    EXPECT_GT(HeaderField(header, asf::fp::kPlayDuration, 8), 0u);
    EXPECT_GT(HeaderField(header, asf::fp::kFileSize, 8), 0u);

    const std::vector<MmsUnit> units = SplitMms(StreamMms(field, 64 * 1024));
    const auto media = std::find_if(units.begin(), units.end(), [](const MmsUnit& u) {
        return !u.command && u.incarnation == mms::kMediaPacketType;
    });
    ASSERT_NE(media, units.end());
    EXPECT_GT(media->location, 0u);
    EXPECT_GE(SendTime(media->bytes).value_or(0), 1000u);

    // Without the field server's habits a live stream starts at 0, as before.
    const HttpReply fresh = SplitReply(StreamHttp(plain, 64 * 1024));
    ASSERT_GE(fresh.chunks.size(), 2u);
    EXPECT_EQ(fresh.chunks[1].sequence, 0u);
    EXPECT_EQ(HeaderField(fresh.chunks[0].body, asf::fp::kPlayDuration, 8), 0u);
}

TEST_F(RealServerModesTest, LoopRestartStartsTimesAgainBehindARepeatedHeader) {
    TestServer server(Root(), {"--only", "http", "--live", "--loop-restart"});
    ASSERT_TRUE(server.Ready());
    const HttpReply reply = SplitReply(StreamHttp(server, kLiveReadBytes));
    const uint32_t firstTime = SendTime(s_clip->Packet(0)).value_or(0);
    std::vector<size_t> headers;
    // The last chunk may be cut short by the hang-up.
    for (size_t i = 1; i + 2 < reply.chunks.size(); ++i) {
        const Chunk& chunk = reply.chunks[i];
        if (chunk.type == 'H') {
            headers.push_back(i);
            const Chunk& next = reply.chunks[i + 1];
            ASSERT_EQ(next.type, 'D');
            // The loop begins again with the file's own first packet and
            // times, under the next location number.
            EXPECT_EQ(next.body,
                      std::vector<uint8_t>(s_clip->Packet(0).begin(), s_clip->Packet(0).end()));
            EXPECT_EQ(SendTime(next.body), firstTime);
            EXPECT_GT(SendTime(reply.chunks[i - 1].body).value_or(0), firstTime);
            EXPECT_EQ(next.sequence, reply.chunks[i - 1].sequence + 1);
        }
    }
    ASSERT_GE(headers.size(), 2u);
    EXPECT_EQ(headers[1] - headers[0] - 1, s_clip->packetCount);
}

TEST_F(RealServerModesTest, LayoutChangeBringsTheHeaderOfAnotherPacketSize) {
    TestServer server(Root(), {"--only", "http", "--layout-change", "5"});
    ASSERT_TRUE(server.Ready());
    // SplitReply reads the 4-byte "$C" as a cut chunk; the stream change
    // comes after the five packets, the rest is checked from the bytes.
    const std::vector<uint8_t> bytes = StreamHttp(server);
    const HttpReply head = SplitReply(bytes);
    ASSERT_EQ(head.chunks.size(), 1 + 5 + 1u);
    EXPECT_EQ(head.chunks[6].type, 'C');
    size_t at = head.head.size();
    for (size_t i = 0; i < 6; ++i) {
        at += 4 + ReadLe16(&bytes[at + 2]);
    }
    ASSERT_LT(at + 8, bytes.size());
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + at, bytes.begin() + at + 8),
              (std::vector<uint8_t>{'$', 'C', 4, 0, 0, 0, 0, 0}));
    std::vector<uint8_t> withoutChange(bytes.begin(), bytes.begin() + at);
    withoutChange.insert(withoutChange.end(), bytes.begin() + at + 8, bytes.end());
    const HttpReply reply = SplitReply(withoutChange);
    ASSERT_EQ(reply.chunks.size(), 1 + 5 + 1 + s_other->packetCount + 1);
    EXPECT_EQ(PacketSizeOf(reply.chunks[0].body), s_clip->packetSize);
    for (size_t i = 1; i <= 5; ++i) {
        EXPECT_EQ(reply.chunks[i].body.size(), s_clip->packetSize);
    }
    const Chunk& header = reply.chunks[6];
    ASSERT_EQ(header.type, 'H');
    EXPECT_EQ(header.flags, 0x0C);
    EXPECT_EQ(header.body, s_other->StreamHeader());
    EXPECT_EQ(PacketSizeOf(header.body), 4096u);
    for (size_t i = 7; i + 1 < reply.chunks.size(); ++i) {
        EXPECT_EQ(reply.chunks[i].type, 'D');
        EXPECT_EQ(reply.chunks[i].body.size(), s_other->packetSize);
        EXPECT_EQ(reply.chunks[i].sequence, i - 2);
    }
    EXPECT_EQ(reply.chunks[7].body,
              std::vector<uint8_t>(s_other->Packet(0).begin(), s_other->Packet(0).end()));
    EXPECT_EQ(reply.chunks.back().type, 'E');
}

TEST_F(RealServerModesTest, PlainGetGetsOneHeaderChunkThenTheClose) {
    TestServer server(Root(), {"--only", "http", "--plain-get", "header"});
    ASSERT_TRUE(server.Ready());
    const std::string plain = "GET /a.asf HTTP/1.0\r\nUser-Agent: Wget/1.21\r\nHost: x\r\n\r\n";
    bool closed = false;
    const std::vector<uint8_t> bytes = Exchange(server.HttpPort(), plain, 5000, &closed);
    EXPECT_TRUE(closed);
    const HttpReply reply = SplitReply(bytes);
    EXPECT_EQ(reply.head,
              "HTTP/1.0 200 OK\r\nContent-type: application/octet-stream\r\n"
              "Server: Cougar 4.1.0.3921\r\nPragma: features=\"broadcast\"\r\n"
              "Connection: close\r\n\r\n");
    ASSERT_EQ(reply.chunks.size(), 1u);
    EXPECT_EQ(reply.chunks[0].type, 'H');
    EXPECT_EQ(reply.chunks[0].flags, 0x0C);
    EXPECT_EQ(reply.chunks[0].body, s_clip->StreamHeader());
    // Nothing follows the one chunk.
    EXPECT_EQ(bytes.size(), reply.head.size() + 12 + s_clip->StreamHeader().size());

    // A player, named by its agent or only by its client GUID, is answered
    // as before.
    const std::string guidOnly =
        "GET /a.asf HTTP/1.0\r\nPragma: xClientGUID={3300AD50-2C39-46C0-AE0A-60D0E0F0A0B0}\r\n\r\n";
    for (const std::string& request : {ProbeRequest("/a.asf"), guidOnly}) {
        const HttpReply player = SplitReply(Exchange(server.HttpPort(), request));
        EXPECT_NE(player.head.find("Server: tapewell-testserver"), std::string::npos) << request;
        EXPECT_EQ(player.chunks.size(), 1u);
    }
    // The root is the folder's first stream file, in this mode too.
    const HttpReply root =
        SplitReply(Exchange(server.HttpPort(), "GET / HTTP/1.0\r\nHost: x\r\n\r\n"));
    EXPECT_NE(root.head.find("Server: Cougar"), std::string::npos) << root.head;
    ASSERT_EQ(root.chunks.size(), 1u);
    EXPECT_EQ(root.chunks[0].body, s_clip->StreamHeader());
    // Other files are still downloads.
    WriteFileBytes(Root() / "notes.txt", {'h', 'i'});
    const auto text = Exchange(server.HttpPort(), "GET /notes.txt HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(std::string(text.begin(), text.end()).ends_with("\r\n\r\nhi"));
}

struct FfmpegMode {
    std::vector<std::string> switches;
    std::vector<std::string> limit;
    std::string path;
    double duration = 0;  // the recording's, when the client reads the whole stream
};

// FFmpeg's mmst and mmsh clients record a path from a server in each mode
// into a file ffprobe reads.
void ExpectFfmpegRecords(const std::filesystem::path& root, std::span<const FfmpegMode> modes) {
    for (const FfmpegMode& mode : modes) {
        TestServer server(root, mode.switches);
        ASSERT_TRUE(server.Ready());
        const std::string urls[] = {
            "mmst://127.0.0.1:" + std::to_string(server.MmsPort()) + mode.path,
            "mmsh://127.0.0.1:" + std::to_string(server.HttpPort()) + mode.path};
        for (const std::string& url : urls) {
            SCOPED_TRACE(testing::PrintToString(mode.switches) + " " + url);
            TempDir out;
            std::vector<std::string> command = {
                "timeout", kFfmpegLimitSeconds, "ffmpeg", "-v", "error", "-y", "-i", url, "-c",
                "copy"};
            command.insert(command.end(), mode.limit.begin(), mode.limit.end());
            command.insert(command.end(), {"-f", "asf", (out / "out.asf").string()});
            const CommandResult r = test::Run(command);
            ASSERT_EQ(r.exitCode, 0) << r.err << server.Log();
            const ProbeReport copy = Probe(out / "out.asf");
            EXPECT_EQ(copy.Get("stream0.codec_name"), "wmv2");
            EXPECT_EQ(copy.Get("stream1.codec_name"), "wmav2");
            // FFmpeg's mmsh client stops, without an error, at a bare "$H"
            // in the middle of a stream, so there only a readable start is asked.
            if (mode.duration > 0) {
                EXPECT_NEAR(std::stod(copy.Get("format.duration")), mode.duration, 0.5);
            } else {
                EXPECT_GT(std::stod(copy.Get("format.duration")), 0.0) << r.err;
            }
        }
    }
}

// The plain broadcast loops the four-second file two and a half times. Two
// of the modes are asked for the root, the publishing point, which serves
// the folder's first stream file in every mode.
TEST_F(RealServerModesTest, FfmpegClientsRecordFromEveryMode) {
    // Times that start again with every loop never reach a time limit, so
    // that mode's recording stops at a size of about two loops instead.
    const std::string twoLoops = std::to_string(2 * s_clip->RecordingSize(s_clip->packetCount));
    const FfmpegMode modes[] = {
        {{"--live"}, {"-t", "10"}, "/a.asf", 10.0},
        {{"--header-repeat", "10"}, {"-t", "5"}, "/a.asf"},
        {{"--live", "--header-repeat", "10"}, {"-t", "5"}, "/"},
        {{"--live", "--loop-restart"}, {"-fs", twoLoops}, "/a.asf"},
        {{"--layout-change", "20"}, {"-t", "5"}, "/"},
    };
    ExpectFfmpegRecords(Root(), modes);
}

// The root of a broadcast server is a publishing point: "/" over HTTP and
// an empty path over MMS name the folder's first stream file by name.
TEST(RootPublishingPoint, IsTheFirstStreamFileByName) {
    TempDir dir;
    std::filesystem::create_directory(dir / "a.asf");  // a folder, not a stream
    for (const char* name : {"0.txt", "d.wma", "c.asf", "B.WMV", "e.wmv.txt"}) {
        WriteFileBytes(dir / name, {'x'});
    }
    for (const char* path : {"/", "", "/./", "//"}) {
        EXPECT_EQ(testserver::ResolveServedPath(dir.Path(), path), dir / "B.WMV") << path;
    }
    std::filesystem::remove(dir / "B.WMV");
    EXPECT_EQ(testserver::ResolveServedPath(dir.Path(), "/"), dir / "c.asf");
    EXPECT_EQ(testserver::ResolveServedPath(dir.Path(), "/d.wma"), dir / "d.wma");
    EXPECT_FALSE(testserver::ResolveServedPath(dir.Path(), "/a.asf"));
    EXPECT_FALSE(testserver::ResolveServedPath(dir.Path(), "/../"));
    for (const char* name : {"c.asf", "d.wma"}) {
        std::filesystem::remove(dir / name);
    }
    EXPECT_FALSE(testserver::ResolveServedPath(dir.Path(), "/"));

    // With no stream file the root stays a 404, whatever the mode.
    TestServer server(dir.Path(), {"--only", "http", "--plain-get", "header"});
    ASSERT_TRUE(server.Ready());
    const auto reply = Exchange(server.HttpPort(), "GET / HTTP/1.0\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(std::string(reply.begin(), reply.end()).starts_with("HTTP/1.0 404"))
        << server.Log();
}

}  // namespace
}  // namespace tapewell::test
