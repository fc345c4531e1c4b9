// A client that chooses some streams of a multiple-bitrate clip: the
// selection messages our recorder sends, and the test server leaving the
// other streams' payloads out over both protocols.
#include <gtest/gtest.h>

#include "MmsMessage.h"
#include "WireReader.h"
#include "asf/AsfPacketTools.h"
#include "asf/StreamSelection.h"
#include "common/LittleEndian.h"
#include "http/StreamRequest.h"
#include "mms/MmsMessages.h"
#include "support/MultiStreamClip.h"
#include "support/TestServer.h"

namespace tapewell::test {
namespace {

namespace mms = testserver::mms;

const std::vector<StreamSwitch> kAudioOnly = {
    {kLowVideoStream, false}, {kHighVideoStream, false}, {kAudioStream, true}};

TEST(StreamSelectionMessages, CarryEveryStreamOnOrOffAndKeepTheOldFormWhenAllAreOn) {
    MmsMessages messages;
    const std::vector<uint8_t> fixed = messages.StreamSelection();
    ASSERT_EQ(fixed.size(), 64u);
    const uint32_t fixedBody[] = {2, 0x0001FFFF, 0xFFFF0000, 2, 0xFFFFFFFF, 0x006B0065};
    for (size_t i = 0; i < std::size(fixedBody); ++i) {
        EXPECT_EQ(ReadLe32(&fixed[40 + 4 * i]), fixedBody[i]) << "the message always sent";
    }
    messages.Reset();
    const std::vector<StreamSwitch> allOn = {{1, true}, {2, true}, {3, true}};
    EXPECT_EQ(messages.StreamSelection(allOn), fixed);

    messages.Reset();
    const std::vector<uint8_t> m = messages.StreamSelection(kAudioOnly);
    ASSERT_EQ(m.size(), 64u) << "44 bytes and three 6-byte entries, in whole 8-byte chunks";
    EXPECT_EQ(ReadLe32(&m[8]), m.size() - 16);
    EXPECT_EQ(ReadLe32(&m[mms::kCommandCodeOffset]), mms::kStreamSwitch);
    EXPECT_EQ(ReadLe32(&m[40]), 3u);
    const uint16_t entries[] = {0xFFFF, 1, 2, 0xFFFF, 2, 2, 0xFFFF, 3, 0};
    for (size_t i = 0; i < std::size(entries); ++i) {
        EXPECT_EQ(ReadLe16(&m[44 + 2 * i]), entries[i]) << "field " << i;
    }

    const RequestFields fields{"/a.asf", "h", "", "{G}"};
    EXPECT_EQ(BuildLiveRequest(fields, allOn), BuildLiveRequest(fields));
    const std::string request = BuildOnDemandRequest(fields, 0, 0, 0, kAudioOnly);
    EXPECT_NE(request.find("\r\nPragma: stream-switch-count=3\r\n"
                           "Pragma: stream-switch-entry=ffff:1:2 ffff:2:2 ffff:3:0\r\n"),
              std::string::npos)
        << request;
}

// Stream numbers of every payload of the packets, and whether each packet
// walked cleanly.
std::vector<uint8_t> PayloadStreams(const std::vector<std::vector<uint8_t>>& packets) {
    std::vector<uint8_t> streams;
    for (const std::vector<uint8_t>& packet : packets) {
        const int walked =
            AsfPacketTools::ForEachPayload(packet, [&](const AsfPacketTools::PayloadInfo& p) {
                streams.push_back(p.stream);
                return true;
            });
        EXPECT_EQ(walked, 0);
    }
    return streams;
}

TEST(StreamSelectionServer, AClientAskingForAudioOnlyGetsNoVideoOverEitherProtocol) {
    TempDir dir;
    const AsfClip clip = MakeMultiStreamClip(dir / "mbr.asf", 2.0);
    std::vector<std::vector<uint8_t>> source;
    for (uint64_t n = 0; n < clip.packetCount; ++n) {
        source.emplace_back(clip.Packet(n).begin(), clip.Packet(n).end());
    }
    const std::vector<uint8_t> sourceStreams = PayloadStreams(source);
    const auto audioPayloads = std::count(sourceStreams.begin(), sourceStreams.end(), kAudioStream);

    TestServer server(dir.Path());
    ASSERT_TRUE(server.Ready());
    std::vector<uint8_t> header;
    std::vector<std::vector<uint8_t>> mmsPackets;
    std::vector<uint32_t> numbers;
    MmsMessages messages;
    for (const MmsUnit& unit : SplitMms(ReadMms(
             server.MmsPort(), MmsPlayRequest("mbr.asf", messages.StreamSelection(kAudioOnly))))) {
        if (!unit.command && unit.incarnation == mms::kHeaderPacketType) {
            header.insert(header.end(), unit.bytes.begin(), unit.bytes.end());
        } else if (!unit.command) {
            mmsPackets.push_back(unit.bytes);
            numbers.push_back(unit.location);
        }
    }
    EXPECT_EQ(header, clip.StreamHeader()) << "the header lists every stream, as served";

    const std::string request = BuildOnDemandRequest(
        {"/mbr.asf", "127.0.0.1", "", "{3300AD50-2C39-46C0-AE0A-60D0E0F0A0B0}"}, 0xFFFFFFFF,
        0xFFFFFFFF, 0, kAudioOnly);
    const HttpReply reply = SplitReply(ReadAtMost(
        server.HttpPort(), std::vector<uint8_t>(request.begin(), request.end()), SIZE_MAX));
    std::vector<std::vector<uint8_t>> httpPackets;
    for (const Chunk& chunk : reply.chunks) {
        if (chunk.type == 'D') {
            EXPECT_EQ(chunk.sequence, httpPackets.size());
            httpPackets.push_back(chunk.body);
        }
    }

    for (const auto* packets : {&mmsPackets, &httpPackets}) {
        SCOPED_TRACE(packets == &mmsPackets ? "MMS" : "HTTP");
        EXPECT_LT(packets->size(), source.size()) << "packets of video alone are not sent";
        const std::vector<uint8_t> streams = PayloadStreams(*packets);
        EXPECT_EQ(std::count(streams.begin(), streams.end(), kAudioStream), audioPayloads);
        EXPECT_EQ(streams.size(), static_cast<size_t>(audioPayloads)) << "only audio payloads";
        for (const std::vector<uint8_t>& packet : *packets) {
            EXPECT_EQ(packet.size(), clip.packetSize);
        }
    }
    for (size_t i = 0; i < numbers.size(); ++i) {
        EXPECT_EQ(numbers[i], i) << "location numbers stay consecutive";
    }
    EXPECT_NE(server.Log().find("streams off: 1,2"), std::string::npos) << server.Log();
}

}  // namespace
}  // namespace tapewell::test
