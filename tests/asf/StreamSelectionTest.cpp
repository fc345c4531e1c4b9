// Choosing streams: the Streams text, the streams a header lists, and the
// header and packets of a recording that keeps only some of them, read back
// by our own readers and by FFmpeg.
#include "asf/StreamSelection.h"

#include <gtest/gtest.h>

#include "asf/AsfInfo.h"
#include "asf/AsfPacketTools.h"
#include "asf/AsfResumeScan.h"
#include "asf/RecordingFinish.h"
#include "common/LittleEndian.h"
#include "support/AsfFileLayout.h"
#include "support/MultiStreamClip.h"

namespace tapewell {
namespace {

using test::kAudioStream;
using test::kHighVideoStream;
using test::kLowVideoStream;
using Kind = StreamChoice::Kind;
using Type = AsfStreamEntry::Type;

TEST(StreamChoice, ReadsEveryFormAndWritesItBack) {
    const struct {
        const char* text;
        Kind kind;
        std::vector<uint16_t> numbers;
        const char* written;
    } cases[] = {
        {"", Kind::All, {}, "all"},           {" ALL ", Kind::All, {}, "all"},
        {"Audio", Kind::Audio, {}, "audio"},  {"video", Kind::Video, {}, "video"},
        {"best", Kind::Best, {}, "best"},     {"3, 1", Kind::Numbers, {3, 1}, "3,1"},
        {"127", Kind::Numbers, {127}, "127"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const ErrorOr<StreamChoice> choice = ParseStreamChoice(c.text);
        ASSERT_TRUE(choice) << choice.error().message;
        EXPECT_EQ(choice->kind, c.kind);
        EXPECT_EQ(choice->numbers, c.numbers);
        EXPECT_EQ(StreamChoiceText(*choice), c.written);
        EXPECT_EQ(ParseStreamChoice(StreamChoiceText(*choice))->numbers, c.numbers);
    }
}

TEST(StreamChoice, RefusesTextsThatAreNoChoiceAndSaysWhy) {
    const struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"0", "out of range"},       {"128", "out of range"}, {"99999999999", "range"},
        {"1,,2", "empty entry"},     {"1,", "empty entry"},   {"2,2", "listed twice"},
        {"1;2", "not a stream"},     {"-1", "not a stream"},  {"audio,1", "not a stream"},
        {"bestest", "not a stream"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const ErrorOr<StreamChoice> choice = ParseStreamChoice(c.text);
        ASSERT_FALSE(choice);
        EXPECT_NE(choice.error().message.find(c.says), std::string::npos) << choice.error().message;
    }
}

class StreamSelectionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempDir;
        s_clip = new test::AsfClip(test::MakeMultiStreamClip(*s_dir / "mbr.asf"));
    }
    static void TearDownTestSuite() {
        delete s_clip;
        delete s_dir;
    }
    static std::vector<uint16_t> Chosen(const char* text) {
        return ChooseStreams(*ParseStreamChoice(text), ListAsfStreams(s_clip->StreamHeader()));
    }

    // What a recorder keeping those streams writes: the header without the
    // others, then every packet with payloads left, finished the way every
    // recording is.
    static std::filesystem::path Record(const std::vector<uint16_t>& keep, uint64_t* dropped) {
        const std::filesystem::path path = *s_dir / ("keep" + std::to_string(keep.size()) + ".asf");
        ErrorOr<std::vector<uint8_t>> header = HeaderWithStreams(s_clip->StreamHeader(), keep);
        EXPECT_TRUE(header) << header.error().message;
        std::vector<uint8_t> file = *header;
        *dropped = 0;
        for (uint64_t n = 0; n < s_clip->packetCount; ++n) {
            std::vector<uint8_t> packet(s_clip->Packet(n).begin(), s_clip->Packet(n).end());
            const std::vector<uint8_t> before = packet;
            if (!KeepStreamsInPacket(packet, keep)) {
                EXPECT_EQ(packet, before) << "a packet not written is left as it was";
                ++*dropped;
                continue;
            }
            const int walked = AsfPacketTools::ForEachPayload(packet, [&](const auto& payload) {
                EXPECT_TRUE(std::find(keep.begin(), keep.end(), payload.stream) != keep.end());
                return true;
            });
            EXPECT_EQ(walked, 0) << "packet " << n;
            const int at = AsfPacketTools::SendTimeOffset(packet);
            EXPECT_EQ(ReadLe32(&packet[at]),
                      ReadLe32(&before[AsfPacketTools::SendTimeOffset(before)]));
            file.insert(file.end(), packet.begin(), packet.end());
        }
        test::WriteFileBytes(path, file);
        const FinishReport finished = FinishRecording(path);
        EXPECT_EQ(finished.packets, s_clip->packetCount - *dropped) << finished.failure;
        return path;
    }

    static inline test::TempDir* s_dir = nullptr;
    static inline test::AsfClip* s_clip = nullptr;
};

TEST_F(StreamSelectionTest, ListsTheStreamsWithTheServersBitratesAndChoosesAmongThem) {
    const std::vector<AsfStreamEntry> streams = ListAsfStreams(s_clip->StreamHeader());
    ASSERT_EQ(streams.size(), 3u);
    EXPECT_EQ(streams[0].number, kLowVideoStream);
    EXPECT_EQ(streams[0].type, Type::Video);
    EXPECT_EQ(streams[0].bitrate, test::kLowVideoBitrate);
    EXPECT_EQ(streams[1].bitrate, test::kHighVideoBitrate);
    EXPECT_EQ(streams[2].type, Type::Audio);
    EXPECT_EQ(streams[2].bitrate, test::kAudioBitrate);

    EXPECT_EQ(Chosen("all"), (std::vector<uint16_t>{1, 2, 3}));
    EXPECT_EQ(Chosen("audio"), std::vector<uint16_t>{kAudioStream});
    EXPECT_EQ(Chosen("video"), (std::vector<uint16_t>{1, 2}));
    EXPECT_EQ(Chosen("best"), (std::vector<uint16_t>{kHighVideoStream, kAudioStream}));
    EXPECT_EQ(Chosen("3,1"), (std::vector<uint16_t>{1, 3})) << "header order";
    EXPECT_EQ(Chosen("9"), std::vector<uint16_t>{}) << "a stream the header lacks";

    const std::vector<StreamSwitch> switches = StreamSwitches(streams, Chosen("best"));
    ASSERT_EQ(switches.size(), 3u);
    EXPECT_FALSE(switches[0].on);
    EXPECT_TRUE(switches[1].on && switches[2].on);
}

TEST_F(StreamSelectionTest, RecordingsOfSomeStreamsPlayWithExactlyThoseStreams) {
    const struct {
        const char* choice;
        std::vector<const char*> codecs;
    } cases[] = {{"audio", {"wmav2"}}, {"best", {"wmv2", "wmav2"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.choice);
        const std::vector<uint16_t> keep = Chosen(c.choice);
        uint64_t dropped = 0;
        const std::filesystem::path path = Record(keep, &dropped);
        if (keep.size() == 1) {
            EXPECT_GT(dropped, 0u) << "packets of video alone are not written";
        }
        const test::ProbeReport probe = test::Probe(path);
        for (size_t i = 0; i < c.codecs.size(); ++i) {
            EXPECT_EQ(probe.Get("stream" + std::to_string(i) + ".codec_name"), c.codecs[i]);
        }
        EXPECT_EQ(probe.Get("stream" + std::to_string(c.codecs.size()) + ".codec_name"), "");
        EXPECT_EQ(probe.asfPacketsRead, s_clip->packetCount - dropped);
        const test::CommandResult decoded =
            test::Run({"ffmpeg", "-v", "error", "-i", path.string(), "-f", "null", "-"});
        EXPECT_EQ(decoded.exitCode, 0);
        EXPECT_EQ(decoded.err, "");
        EXPECT_EQ(test::ReadAsfFileLayout(path).problem, "");
        AsfInfo info;
        ASSERT_TRUE(info.Parse(path));
        EXPECT_EQ(info.GetFileProperties().dataPacketsCount, s_clip->packetCount - dropped);

        // Only the kept streams' entries are left in the header.
        const std::vector<uint8_t> written = test::ReadFileBytes(path);
        std::vector<uint16_t> listed;
        for (const AsfStreamEntry& s : ListAsfStreams(written)) {
            listed.push_back(s.number);
        }
        EXPECT_EQ(listed, keep);
        AsfResumeScan scan;
        EXPECT_FALSE(scan.ScanPartialFile(path)) << "no resume by the server's packet numbers";
    }
}

TEST_F(StreamSelectionTest, HeadersKeepingEveryStreamOrNoneOrUnreadableAreNotRewritten) {
    const std::vector<uint8_t> header = s_clip->StreamHeader();
    const std::vector<uint16_t> all = {1, 2, 3};
    EXPECT_EQ(*HeaderWithStreams(header, all), header);
    EXPECT_FALSE(HeaderWithStreams(header, std::vector<uint16_t>{9}));

    std::vector<uint8_t> longer = header;  // the Header object claims a byte it does not hold
    WriteLe64(&longer[16], ReadLe64(&longer[16]) + 1);
    EXPECT_FALSE(HeaderWithStreams(longer, std::vector<uint16_t>{3}));
    EXPECT_FALSE(HeaderWithStreams(std::span(header).first(29), std::vector<uint16_t>{3}));
}

// Packets built field by field: error correction, the length type flags
// given, property flags 0x5D (stream, object number and replicated length
// one byte each, offset four bytes), then payloads of 8 bytes replicated
// data and `size` bytes of data filled with their stream number.
struct Payload {
    uint8_t stream;
    size_t size;
};

size_t FieldWidth(uint8_t lengthFlags, unsigned shift) {
    constexpr size_t kWidths[4] = {0, 1, 2, 4};
    return kWidths[(lengthFlags >> shift) & 3];
}

// The bytes up to the end of the last payload.
size_t UsedBytes(uint8_t lengthFlags, const std::vector<Payload>& payloads) {
    size_t used = 12 + FieldWidth(lengthFlags, 5) + FieldWidth(lengthFlags, 3);
    for (const Payload& p : payloads) {
        used += 17 + p.size;
    }
    return used;
}

// packetLength 0: the Packet Length (when the layout has one) is the size.
std::vector<uint8_t> MakePacket(uint8_t lengthFlags, const std::vector<Payload>& payloads,
                                size_t packetSize, size_t packetLength = 0) {
    std::vector<uint8_t> p = {0x82, 0, 0, lengthFlags, 0x5D};
    const auto le = [&p](uint64_t v, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            p.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    };
    const size_t end = packetLength ? packetLength : packetSize;
    le(end, FieldWidth(lengthFlags, 5));
    const size_t padding = end - UsedBytes(lengthFlags, payloads);
    le(padding, FieldWidth(lengthFlags, 3));
    le(4321, 4);  // send time
    le(40, 2);
    p.push_back(static_cast<uint8_t>(0x80 | payloads.size()));
    for (const Payload& payload : payloads) {
        p.push_back(payload.stream);
        p.push_back(7), le(0, 4), p.push_back(8), le(payload.size, 4), le(1000, 4);
        le(payload.size, 2);
        p.insert(p.end(), payload.size, payload.stream);
    }
    p.resize(packetSize, 0);
    return p;
}

TEST(KeepStreamsInPacket, FreedBytesBecomePaddingInAFieldWideEnoughForThem) {
    const std::vector<uint16_t> keep = {2};
    const struct {
        const char* what;
        uint8_t inFlags;
        std::vector<Payload> in;
        bool cutShort;  // Packet Length where the payloads end, zeros after it
        uint8_t outFlags;
    } cases[] = {
        {"byte padding that fits", 0x09, {{1, 20}, {2, 30}, {3, 20}}, false, 0x09},
        {"no padding field", 0x01, {{1, 10}, {2, 30}}, false, 0x09},
        {"byte padding too narrow", 0x09, {{1, 400}, {2, 30}}, false, 0x11},
        {"no padding field, much freed", 0x01, {{2, 30}, {3, 500}}, false, 0x11},
        {"packet length, no padding", 0x41, {{3, 50}, {2, 30}}, false, 0x49},
        {"packet length cut short", 0x41, {{1, 300}, {2, 30}}, true, 0x51},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t used = UsedBytes(c.inFlags, c.in);
        const size_t size = c.cutShort ? used + 100 : used;
        const size_t length = c.cutShort ? used : 0;
        std::vector<uint8_t> packet = MakePacket(c.inFlags, c.in, size, length);
        ASSERT_TRUE(KeepStreamsInPacket(packet, keep));
        EXPECT_EQ(packet, MakePacket(c.outFlags, {{2, 30}}, size, length));
        EXPECT_EQ(ReadLe32(&packet[AsfPacketTools::SendTimeOffset(packet)]), 4321u);
    }
}

TEST(KeepStreamsInPacket, PacketsWithNothingKeptOrNoWalkableLayoutAreLeftAsTheyWere) {
    const std::vector<uint16_t> keep = {2};
    std::vector<std::vector<uint8_t>> packets = {
        MakePacket(0x09, {{1, 30}, {3, 30}}, 200),  // none of several kept
    };
    std::vector<uint8_t> overrun = MakePacket(0x09, {{1, 30}, {2, 30}}, 200);
    WriteLe16(&overrun[28], 300);  // the first payload's length runs past the packet
    packets.push_back(overrun);
    std::vector<uint8_t> reserved = MakePacket(0x09, {{1, 30}, {2, 30}}, 200);
    reserved[3] |= 0x80;
    packets.push_back(reserved);
    packets.push_back({0x82, 0, 0, 0x09});
    for (std::vector<uint8_t>& packet : packets) {
        const std::vector<uint8_t> before = packet;
        EXPECT_FALSE(KeepStreamsInPacket(packet, keep));
        EXPECT_EQ(packet, before);
    }
    // A single payload: the packet is written as it is, or not at all.
    std::vector<uint8_t> single = {0x82, 0, 0, 0x08, 0x5D, 10, 0, 0, 0, 0,
                                   0,    0, 2, 7,    0,    0,  0, 0, 0};
    single.resize(60, 0xAB);
    const std::vector<uint8_t> before = single;
    EXPECT_TRUE(KeepStreamsInPacket(single, keep));
    EXPECT_EQ(single, before);
    single[12] = 3;
    EXPECT_FALSE(KeepStreamsInPacket(single, keep));
}

}  // namespace
}  // namespace tapewell
