// What the web fetcher writes: ordinary files byte for byte, a live ASF
// stream with its header repaired, a broadcast server's framing not at all.
#include <gtest/gtest.h>

#include "HttpClip.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"
#include "common/OutputFile.h"
#include "http/DownloadWriter.h"

namespace tapewell {
namespace {

using test::AppendChunk;
using test::HttpClip;

// Feeds the bytes in pieces of the given size, then ends the download.
DownloadWriter::Result Feed(DownloadWriter& writer, std::span<const uint8_t> bytes, size_t piece) {
    for (size_t at = 0; at < bytes.size(); at += piece) {
        const DownloadWriter::Result r =
            writer.Write(bytes.subspan(at, std::min(piece, bytes.size() - at)));
        if (r != DownloadWriter::Result::Ok) {
            return r;
        }
    }
    return writer.Finish();
}

TEST(DownloadWriterTest, OrdinaryFilesAreWrittenByteForByte) {
    const HttpClip& clip = HttpClip::Get();
    for (const size_t piece : {size_t{1}, size_t{7}, size_t{4096}}) {
        MemoryOutputFile out;
        DownloadWriter writer(out);
        EXPECT_EQ(Feed(writer, clip.bytes, piece), DownloadWriter::Result::Ok);
        EXPECT_FALSE(writer.Repaired());
        EXPECT_TRUE(out.Bytes() == clip.bytes) << piece;
    }
    const std::vector<uint8_t> text = {'h', 'i'};  // shorter than any framing
    MemoryOutputFile out;
    DownloadWriter writer(out);
    EXPECT_EQ(Feed(writer, text, 1), DownloadWriter::Result::Ok);
    EXPECT_EQ(out.Bytes(), text);
}

// A resumed download: the reply comes again from its start, and what the
// file already holds is dropped, however the pieces fall.
TEST(DownloadWriterTest, AResumedDownloadWritesOnlyWhatTheFileLacks) {
    const HttpClip& clip = HttpClip::Get();
    for (const size_t skip : {size_t{5}, clip.bytes.size() / 2, clip.bytes.size()}) {
        for (const size_t piece : {size_t{3}, size_t{4096}}) {
            MemoryOutputFile out;
            DownloadWriter writer(out, skip);
            EXPECT_EQ(Feed(writer, clip.bytes, piece), DownloadWriter::Result::Ok);
            EXPECT_TRUE(out.Bytes() ==
                        std::vector<uint8_t>(clip.bytes.begin() + static_cast<ptrdiff_t>(skip),
                                             clip.bytes.end()))
                << skip << " " << piece;
        }
    }
}

TEST(DownloadWriterTest, AnEndlessLiveStreamGetsAHeaderThatDescribesIt) {
    const HttpClip& clip = HttpClip::Get();
    std::vector<uint8_t> body = clip.StreamHeader();
    const size_t fp = clip.PropertiesOffset();
    // As a server sends a live stream: broadcast, no count, an empty Data object.
    WriteLe32(&body[fp + asf::fp::kFlags], asf::kFlagBroadcast);
    WriteLe64(&body[fp + asf::fp::kDataPacketsCount], 0xFFFFFFFF);
    WriteLe64(&body[clip.headerSize + 16], 50);
    // Joined between key frames: what comes before the next one is dropped.
    const std::vector<uint8_t> video = AsfPacketTools::VideoStreamNumbers(body);
    uint64_t key = 10;
    while (key < clip.packetCount && !AsfPacketTools::StartsKeyFrame(clip.Packet(key), video)) {
        ++key;
    }
    ASSERT_LT(key + 8, clip.packetCount);
    for (uint64_t n = 10; n < key + 7; ++n) {
        body.insert(body.end(), clip.Packet(n).begin(), clip.Packet(n).end());
    }
    body.insert(body.end(), clip.Packet(key + 7).begin(), clip.Packet(key + 7).begin() + 100);

    MemoryOutputFile out;
    DownloadWriter writer(out);
    ASSERT_EQ(Feed(writer, body, 1000), DownloadWriter::Result::Ok);
    EXPECT_TRUE(writer.Repaired());
    const std::vector<uint8_t>& file = out.Bytes();
    ASSERT_EQ(file.size(), clip.RecordingSize(7));  // the cut-off packet is dropped
    auto sendTime = [&](uint64_t n) {
        const auto p =
            std::span(file).subspan(clip.DataStart() + n * clip.packetSize, clip.packetSize);
        return ReadLe32(&p[static_cast<size_t>(AsfPacketTools::SendTimeOffset(p))]);
    };
    EXPECT_EQ(sendTime(0), 0u);
    const uint32_t last = sendTime(6);
    const auto props = FileProperties::FromObject(std::span(file).subspan(fp));
    ASSERT_TRUE(props);
    EXPECT_EQ(props->fileSize, file.size());
    EXPECT_EQ(props->dataPacketsCount, 7u);
    EXPECT_EQ(props->flags, asf::kFlagSeekable);
    EXPECT_EQ(props->playDuration, (uint64_t{last} + props->preroll) * 10'000);
    EXPECT_EQ(props->sendDuration, uint64_t{last} * 10'000);
    EXPECT_EQ(ReadLe64(&file[clip.headerSize + 16]), 7 * clip.packetSize + 50);
    EXPECT_EQ(ReadLe64(&file[clip.headerSize + 40]), 7u);
}

TEST(DownloadWriterTest, FramedRepliesLeaveNothing) {
    const HttpClip& clip = HttpClip::Get();
    std::vector<uint8_t> framed;
    AppendChunk(framed, 'H', 0, 0x0C, clip.StreamHeader());
    for (const size_t piece : {size_t{1}, size_t{4096}}) {
        MemoryOutputFile out;
        DownloadWriter writer(out);
        EXPECT_EQ(Feed(writer, framed, piece), DownloadWriter::Result::Framed);
        EXPECT_TRUE(out.Bytes().empty());
    }
    MemoryOutputFile out;
    DownloadWriter writer(out);
    EXPECT_EQ(Feed(writer, std::span(framed).first(5), 5), DownloadWriter::Result::Framed);
    EXPECT_TRUE(out.Bytes().empty());
}

}  // namespace
}  // namespace tapewell
