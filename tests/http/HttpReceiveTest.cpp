// The receive ring, the reply header reader and the chunk loop, fed from
// bytes in memory.
#include <gtest/gtest.h>

#include "HttpClip.h"
#include "asf/AsfGuids.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/Limits.h"
#include "common/LittleEndian.h"
#include "common/OutputFile.h"
#include "engine/EngineEvents.h"
#include "http/BufferStreamSource.h"
#include "http/ChunkReceiver.h"
#include "http/EngineMessages.h"
#include "http/HttpReply.h"
#include "http/ReadAheadStreamSource.h"
#include "http/StreamReader.h"

namespace tapewell {
namespace {

using test::AppendChunk;
using test::AsfClip;
using test::AsfRecipe;
using test::HttpClip;
using test::TempDir;

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

size_t Count(const std::string& text, const std::string& needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++n;
    }
    return n;
}

// Runs the chunk loop over the bytes as one stream exchange would, into
// job.out when one is given, else into memory.
struct ChunkRun {
    MemoryOutputFile out;
    StreamInfo info;
    std::string log;  // every message, one per line
    uint32_t bytesWritten = 0;
    OutputFile* last = nullptr;  // the file written last (after a change of layout)
    ChunkRun(const std::vector<uint8_t>& stream, ChunkReceiver::Job job, size_t piece = 1000,
             EngineEvents* hostEvents = nullptr) {
        EngineMessages messages;
        messages.SetCallback([this](MessageLevel, const std::string& t) { log += t + "\n"; });
        BufferStreamSource source(stream, piece);
        StreamReader reader(
            source, [] { return false; }, messages);
        std::vector<uint8_t> buffer(limits::kHttpBufferBytes);
        EngineEvents noEvents;
        EngineEvents& events = hostEvents != nullptr ? *hostEvents : noEvents;
        job.out = job.out != nullptr ? job.out : &out;
        ChunkReceiver receiver(
            reader, buffer, messages, events, [] { return false; }, bytesWritten);
        receiver.Run(job, info);
        last = receiver.Output();
        receiver.UpdateHeader(*last, info);
    }
};

TEST(HttpReceiveTest, RingRefillsOnlyWhenMoreThanHalfIsFree) {
    std::vector<uint8_t> input(5000);
    for (size_t i = 0; i < input.size(); ++i) {
        input[i] = static_cast<uint8_t>(i * 7);
    }
    BufferStreamSource source(input);
    EngineMessages messages;
    StreamReader reader(
        source, [] { return false; }, messages);
    MemoryOutputFile raw;
    reader.SetRawFile(&raw);
    std::vector<uint8_t> got(5000);
    // The first receive fills the whole ring; the oldest byte comes first.
    ASSERT_EQ(reader.Read(std::span(got).first(1)), 1u);
    EXPECT_EQ(got[0], input[0]);
    EXPECT_EQ(source.Receives(), 1u);
    ASSERT_EQ(reader.Read(std::span(got).subspan(1, 2048)), 2048u);
    EXPECT_EQ(source.Receives(), 1u);  // the refill test ran with 1 byte free
    ASSERT_EQ(reader.Read(std::span(got).subspan(2049, 1)), 1u);
    EXPECT_EQ(source.Receives(), 2u);  // 2,049 free: one receive before the byte
    EXPECT_EQ(reader.Read(std::span(got).subspan(2050)), 5000u - 2050);
    EXPECT_EQ(got, input);
    EXPECT_EQ(raw.Bytes(), input);
    EXPECT_FALSE(reader.Exhausted());
    uint8_t byte = 0;
    EXPECT_FALSE(reader.ReadByte(byte));
    EXPECT_TRUE(reader.Exhausted());
}

// Hands out its bytes in pieces, then fails the way a reset connection does.
class FailingSource final : public StreamSource {
public:
    FailingSource(std::span<const uint8_t> bytes, size_t piece) : m_inner(bytes, piece) {}
    ssize_t Receive(std::span<uint8_t> buffer) override {
        const ssize_t got = m_inner.Receive(buffer);
        return got == 0 ? -1 : got;
    }
    std::string ErrorName() const override { return "CONNRESET"; }

private:
    BufferStreamSource m_inner;
};

// The read-ahead under the ring changes how often the connection is asked,
// never which bytes the ring gets, where the stream ends or what a failure
// says, whatever sizes the connection's receives come in.
TEST(HttpReceiveTest, ReadAheadKeepsEveryByteAndTheEnd) {
    std::vector<uint8_t> input(3 * limits::kHttpReadAheadBytes + 1234);
    for (size_t i = 0; i < input.size(); ++i) {
        input[i] = static_cast<uint8_t>(i * 13 + i / 251);
    }
    for (const size_t piece : {size_t{7}, size_t{5000}, SIZE_MAX}) {
        for (const bool fails : {false, true}) {
            BufferStreamSource plain(input, piece);
            FailingSource failing(input, piece);
            StreamSource& connection = fails ? static_cast<StreamSource&>(failing) : plain;
            ReadAheadStreamSource source(connection);
            EngineMessages messages;
            StreamReader reader(
                source, [] { return false; }, messages);
            MemoryOutputFile raw;
            reader.SetRawFile(&raw);
            std::vector<uint8_t> got(input.size() + 10);
            size_t at = 0;
            for (size_t size = 1; at < input.size(); size = size * 3 % 9001 + 1) {
                at += reader.Read(std::span(got).subspan(at, std::min(size, got.size() - at)));
            }
            got.resize(at);
            EXPECT_EQ(got, input) << piece;
            EXPECT_EQ(raw.Bytes(), input) << piece;
            uint8_t byte = 0;
            EXPECT_FALSE(reader.ReadByte(byte));
            EXPECT_TRUE(reader.Exhausted());
            EXPECT_EQ(messages.LastMessage().find("recv failed: CONNRESET") != std::string::npos,
                      fails);
        }
    }
    BufferStreamSource whole(input);
    ReadAheadStreamSource source(whole);
    std::vector<uint8_t> ring(limits::kHttpRingBytes);
    while (source.Receive(ring) > 0) {
    }
    EXPECT_EQ(whole.Receives(), 5u);  // four full read-aheads and the end
}

TEST(HttpReceiveTest, RepliesAreClassifiedByCodeAndContent) {
    const std::string ok = "HTTP/1.0 200 OK\r\n";
    const std::string octet = "Content-Type: application/octet-stream\r\n";
    struct Case {
        std::string reply;
        uint32_t status;
    } cases[] = {
        {ok + "Content-Type: text/plain\r\n\r\n \t\r\nhttp://h/a.asf\r\n", kStatusPlaylist},
        {ok + "content-type: TEXT/HTML\r\n\r\n[Reference]\r\nRef1=x", kStatusPlaylist},
        {ok + "Content-Type: text/plain\r\n\r\nsome ordinary words", kStatusUnusable},
        {ok + octet + "Pragma: features=\"broadcast,playlist\"\r\n\r\n", kStatusLive},
        {ok + octet + "Pragma: features=\"seekable\"\r\n\r\n", kStatusOnDemand},
        {ok + octet + "Pragma: features=\"Broadcast\"\r\n\r\n", kStatusOnDemand},
        {ok + "Content-Type: video/x-ms-asf\r\n\r\n<ASX>", kStatusPlaylist},
        {ok + "Content-Type: image/png\r\n\r\n", kStatusUnusable},
        {"HTTP/1.1 302 Found\r\n" + octet + "\r\n", kStatusHttpError},
        {"HTTP/1.0 401 Unauthorized\r\n\r\n", kStatusAuthRequired},
        {"ICY 200 OK\r\n" + octet + "\r\n", kStatusHttpError},
        {ok + "X-Long: " + std::string(3000, 'x') + "\r\n" + octet + "\r\n", kStatusOnDemand},
        {ok + octet, kStatusOnDemand},  // closed inside the header
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes = Bytes(c.reply);
        BufferStreamSource source(bytes, 7);
        EngineMessages messages;
        StreamReader reader(
            source, [] { return false; }, messages);
        std::vector<uint8_t> buffer(limits::kHttpBufferBytes);
        uint32_t bodyLength = 0;
        const ReplyHeader header = ReadReplyHeader(reader, messages);
        EXPECT_LT(header.copy.size(), limits::kHttpReplyCopyBytes);
        EXPECT_EQ(ClassifyReply(header, reader, buffer, &bodyLength, messages), c.status)
            << c.reply;
        if (c.status == kStatusPlaylist) {
            EXPECT_EQ(bodyLength, c.reply.size() - c.reply.find("\r\n\r\n") - 4);
        }
    }
}

TEST(HttpReceiveTest, OnDemandChunksAssembleTheHeaderAndPlacePackets) {
    const HttpClip& clip = HttpClip::Get();
    const std::vector<uint8_t> header = clip.StreamHeader();
    const size_t third = header.size() / 3;
    std::vector<uint8_t> stream;
    AppendChunk(stream, 'H', 0, 0x04, std::span(header).first(third));
    AppendChunk(stream, 'H', 1, 0x00, std::span(header).subspan(third, third));
    AppendChunk(stream, 'H', 2, 0x08, std::span(header).subspan(2 * third));
    AppendChunk(stream, 'D', 0, 0, clip.Packet(0));
    AppendChunk(stream, 'X', 9, 0, clip.Packet(1));  // not ASF: dropped
    AppendChunk(stream, 'D', 7, 0, clip.Packet(7));  // 1 to 6 never came
    AppendChunk(stream, 'D', 8, 0, clip.Packet(8).first(300));
    const std::vector<uint8_t> end = {'$', 'E', 4, 0, 0, 0, 0, 0};
    stream.insert(stream.end(), end.begin(), end.end());

    ChunkRun run(stream, {});
    EXPECT_EQ(Count(run.log, "receiving ASF header ("), 2u);
    EXPECT_NE(run.log.find("Unknown header type: $5824"), std::string::npos);
    EXPECT_NE(run.log.find("Transfer complete."), std::string::npos);
    const std::vector<uint8_t>& file = run.out.Bytes();
    const size_t packets = header.size();
    ASSERT_EQ(file.size(), packets + 9 * clip.packetSize);
    EXPECT_EQ(run.bytesWritten, header.size() + 3 * clip.packetSize);  // gaps are not written
    const size_t sizeField = clip.PropertiesOffset() + asf::fp::kFileSize;
    EXPECT_EQ(ReadLe64(&file[sizeField]), file.size());
    std::vector<uint8_t> expected = header;
    WriteLe64(&expected[sizeField], file.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin()));
    auto at = [&](size_t n) {
        return file.begin() + static_cast<ptrdiff_t>(packets + n * clip.packetSize);
    };
    EXPECT_TRUE(std::equal(clip.Packet(0).begin(), clip.Packet(0).end(), at(0)));
    EXPECT_TRUE(std::all_of(at(1), at(7), [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(clip.Packet(7).begin(), clip.Packet(7).end(), at(7)));
    EXPECT_TRUE(std::equal(at(8), at(8) + 300, clip.Packet(8).begin()));
    EXPECT_TRUE(std::all_of(at(8) + 300, at(9), [](uint8_t b) { return b == 0; }));

    // Resuming: the header is not written again, packets land by number.
    ChunkRun resumed(stream, {false, nullptr, 5000, 0});
    EXPECT_NE(resumed.log.find("Not saving header since this is a RESUME."), std::string::npos);
    EXPECT_EQ(resumed.out.Bytes().size(), packets + 9 * clip.packetSize);
    EXPECT_TRUE(std::all_of(resumed.out.Bytes().begin(), resumed.out.Bytes().begin() + 40,
                            [](uint8_t b) { return b == 0; }));
}

// The first packet from `from` on that starts a key frame of the clip's video.
uint64_t KeyFramePacket(const AsfClip& clip, uint64_t from) {
    const std::vector<uint8_t> video = AsfPacketTools::VideoStreamNumbers(clip.StreamHeader());
    while (from < clip.packetCount && !AsfPacketTools::StartsKeyFrame(clip.Packet(from), video)) {
        ++from;
    }
    return from;
}

TEST(HttpReceiveTest, LivePacketsStartAtZeroAndTheHeaderDescribesThem) {
    const HttpClip& clip = HttpClip::Get();
    std::vector<uint8_t> header = clip.StreamHeader();
    const size_t fp = clip.PropertiesOffset();
    WriteLe64(&header[fp + asf::fp::kPlayDuration], 0);  // a broadcast has no duration
    auto sendTime = [](std::span<const uint8_t> p) {
        return ReadLe32(&p[static_cast<size_t>(AsfPacketTools::SendTimeOffset(p))]);
    };
    const uint64_t k = KeyFramePacket(clip, 5);
    ASSERT_LT(k + 6, clip.packetCount);
    const uint32_t t5 = sendTime(clip.Packet(k));
    const uint32_t t9 = sendTime(clip.Packet(k + 4));
    ASSERT_GT(t9, t5);
    std::vector<uint8_t> late(clip.Packet(k + 5).begin(), clip.Packet(k + 5).end());
    WriteLe32(&late[static_cast<size_t>(AsfPacketTools::SendTimeOffset(late))], t5 + 60'000);
    std::vector<uint8_t> stream;
    AppendChunk(stream, 'H', 0, 0x0C, header);
    AppendChunk(stream, 'D', 1000, 0, clip.Packet(k));
    AppendChunk(stream, 'D', 1004, 0, clip.Packet(k + 4));
    AppendChunk(stream, 'D', 1005, 0, late);
    AppendChunk(stream, 'D', 1006, 0, clip.Packet(k + 6));  // after the time limit

    ChunkRun run(stream, {false, nullptr, 0, 1});
    EXPECT_NE(run.log.find("maxtime reached."), std::string::npos);
    const std::vector<uint8_t>& file = run.out.Bytes();
    // Arrival order: the missing numbers 1001 to 1003 leave no gap.
    ASSERT_EQ(file.size(), header.size() + 3 * clip.packetSize);
    auto packet = [&](size_t n) {
        return std::span(file).subspan(header.size() + n * clip.packetSize, clip.packetSize);
    };
    EXPECT_EQ(sendTime(packet(0)), 0u);
    EXPECT_EQ(sendTime(packet(1)), t9 - t5);
    EXPECT_EQ(sendTime(packet(2)), 60'000u);
    EXPECT_EQ(ReadLe64(&file[fp + asf::fp::kFileSize]), file.size());
    EXPECT_EQ(ReadLe64(&file[fp + asf::fp::kDataPacketsCount]), 3u);
    // Play Duration holds the preroll, as the cutter writes it.
    const uint32_t preroll = ReadLe32(&header[fp + asf::fp::kPreroll]);
    EXPECT_EQ(ReadLe64(&file[fp + asf::fp::kPlayDuration]), (60'000u + preroll) * 10'000ull);
    EXPECT_EQ(ReadLe64(&file[fp + asf::fp::kSendDuration]), 600'000'000u);
    EXPECT_EQ(ReadLe32(&file[fp + asf::fp::kFlags]), asf::kFlagSeekable);
    EXPECT_EQ(ReadLe64(&file[clip.headerSize + 16]), 3u * clip.packetSize + 50);
    EXPECT_EQ(ReadLe32(&file[clip.headerSize + 40]), 3u);
}

// A disk that fills while the last packets wait in the output's buffer: the
// header's update is the first write that reaches the disk, and its failure
// is said rather than passed over. (A resumed file: the header is there
// already, so the packets are the first bytes written.)
TEST(HttpReceiveTest, AHeaderUpdateThatCannotBeWrittenIsReported) {
    const HttpClip& clip = HttpClip::Get();
    std::vector<uint8_t> header = clip.StreamHeader();
    WriteLe64(&header[clip.PropertiesOffset() + asf::fp::kPlayDuration], 0);  // live
    std::vector<uint8_t> stream;
    AppendChunk(stream, 'H', 0, 0x0C, header);
    for (uint32_t n = 0; n < 3; ++n) {
        AppendChunk(stream, 'D', n, 0, clip.Packet(n));
    }
    const auto full = StdioOutputFile::Open("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    ChunkRun run(stream, {false, full.get(), header.size(), 0});
    EXPECT_EQ(run.log.find("Failed to write the output file!"), std::string::npos) << run.log;
    EXPECT_NE(run.log.find("The header of the output file could not be updated"), std::string::npos)
        << run.log;
}

TEST(HttpReceiveTest, DamagedStreamsEndCleanly) {
    const HttpClip& clip = HttpClip::Get();
    const std::vector<uint8_t> header = clip.StreamHeader();
    {
        // Data before any header has no place; a bad length confirmation ends.
        std::vector<uint8_t> stream;
        AppendChunk(stream, 'D', 0, 0, clip.Packet(0));
        AppendChunk(stream, 'H', 0, 0x0C, header);
        AppendChunk(stream, 'D', 0, 0, clip.Packet(0));
        stream[stream.size() - clip.packetSize - 1] ^= 1;
        ChunkRun run(stream, {});
        EXPECT_NE(run.log.find("Length confirmation doesn't match!"), std::string::npos);
        EXPECT_EQ(run.out.Bytes().size(), header.size());
    }
    {
        // Header parts that outgrow the buffer.
        std::vector<uint8_t> stream;
        const std::vector<uint8_t> part(30'000, 0x11);
        AppendChunk(stream, 'H', 0, 0x04, part);
        AppendChunk(stream, 'H', 1, 0x00, part);
        AppendChunk(stream, 'H', 2, 0x08, part);
        ChunkRun run(stream, {});
        EXPECT_NE(run.log.find("Unable to parse this ASF header!"), std::string::npos);
        EXPECT_TRUE(run.out.Bytes().empty());
    }
    {
        // Packets of two sizes cannot be placed by number.
        std::vector<uint8_t> odd = header;
        WriteLe32(&odd[clip.PropertiesOffset() + asf::fp::kMaxPacketSize], clip.packetSize + 1);
        std::vector<uint8_t> stream;
        AppendChunk(stream, 'H', 0, 0x0C, odd);
        ChunkRun run(stream, {});
        EXPECT_EQ(run.info.status, kStatusUnusable);
        EXPECT_NE(run.log.find("not supported"), std::string::npos);
    }
    // A connection that closes before a byte came leaves nothing.
    ChunkRun empty({}, {});
    EXPECT_TRUE(empty.out.Bytes().empty());
}

uint32_t SendTimeOf(std::span<const uint8_t> packet) {
    return ReadLe32(&packet[static_cast<size_t>(AsfPacketTools::SendTimeOffset(packet))]);
}

std::vector<uint8_t> WithSendTime(std::span<const uint8_t> packet, uint32_t time) {
    std::vector<uint8_t> copy(packet.begin(), packet.end());
    WriteLe32(&copy[static_cast<size_t>(AsfPacketTools::SendTimeOffset(copy))], time);
    return copy;
}

size_t CountHeaders(const std::vector<uint8_t>& file) {
    const auto& id = guids::kHeader.bytes;
    size_t n = 0;
    for (auto at = std::search(file.begin(), file.end(), id.begin(), id.end()); at != file.end();
         at = std::search(at + 1, file.end(), id.begin(), id.end())) {
        ++n;
    }
    return n;
}

// A late joiner of a broadcast whose header keeps a play duration (as a real
// server's does) gets location numbers far from 0, and the header again
// every so often, after which the times step back.
TEST(HttpReceiveTest, BroadcastsGoInArrivalOrderAcrossRepeatedHeaders) {
    const HttpClip& clip = HttpClip::Get();
    std::vector<uint8_t> header = clip.StreamHeader();
    const size_t fp = clip.PropertiesOffset();
    WriteLe32(&header[fp + asf::fp::kFlags], asf::kFlagBroadcast);
    const uint32_t base = 95'717;
    // Joined between key frames; a header of the same layout does not make
    // the recording wait for one again.
    const uint64_t k = KeyFramePacket(clip, 5);
    ASSERT_GT(k, 5u);
    ASSERT_LT(k + 4, clip.packetCount);
    std::vector<uint8_t> stream;
    AppendChunk(stream, 'H', 0, 0x0C, header);
    AppendChunk(stream, 'D', 1249, 0, WithSendTime(clip.Packet(k - 1), base - 100));
    AppendChunk(stream, 'D', 1250, 0, WithSendTime(clip.Packet(k), base));
    AppendChunk(stream, 'D', 1251, 0, WithSendTime(clip.Packet(k + 1), base + 900));
    AppendChunk(stream, 'H', 1252, 0x0C, header);
    // Sent again after the header: already written.
    AppendChunk(stream, 'D', 1252, 0, WithSendTime(clip.Packet(k + 1), base + 900));
    AppendChunk(stream, 'D', 1253, 0, WithSendTime(clip.Packet(k + 2), base + 1300));
    // A stream change notice (a status word, no packet header) before it.
    const uint8_t change[] = {'$', 'C', 4, 0, 0, 0, 0, 0};
    stream.insert(stream.end(), std::begin(change), std::end(change));
    AppendChunk(stream, 'H', 1254, 0x0C, header);  // the source starts its times again
    AppendChunk(stream, 'D', 1254, 0, WithSendTime(clip.Packet(k + 3), 100));
    AppendChunk(stream, 'D', 1255, 0, WithSendTime(clip.Packet(k + 4), 600));

    ChunkRun run(stream, {});
    const std::vector<uint8_t>& file = run.out.Bytes();
    ASSERT_EQ(file.size(), header.size() + 5 * clip.packetSize);
    EXPECT_EQ(CountHeaders(file), 1u);
    std::vector<uint32_t> times;
    for (size_t n = 0; n < 5; ++n) {
        const auto packet =
            std::span(file).subspan(header.size() + n * clip.packetSize, clip.packetSize);
        EXPECT_FALSE(std::all_of(packet.begin(), packet.end(), [](uint8_t b) { return b == 0; }));
        times.push_back(SendTimeOf(packet));
    }
    // The restarted segment continues from the last time written.
    EXPECT_EQ(times, (std::vector<uint32_t>{0, 900, 1300, 1300, 1800}));
    const uint32_t preroll = ReadLe32(&header[fp + asf::fp::kPreroll]);
    EXPECT_EQ(ReadLe64(&file[fp + asf::fp::kDataPacketsCount]), 5u);
    EXPECT_EQ(ReadLe64(&file[fp + asf::fp::kPlayDuration]), (1800u + preroll) * 10'000ull);
    EXPECT_EQ(ReadLe32(&file[fp + asf::fp::kFlags]), asf::kFlagSeekable);
    EXPECT_EQ(ReadLe64(&file[fp + asf::fp::kFileSize]), file.size());

    // The same stream recorded with a size limit of two packets' worth: the
    // limit counts what was written.
    ChunkRun limited(stream, {false, nullptr, 0, 0, 0, header.size() + 2 * clip.packetSize});
    EXPECT_EQ(limited.out.Bytes().size(), header.size() + 2 * clip.packetSize);
}

// The host of a recording whose stream changes layout: hands out files.
struct NextFiles : EngineEvents {
    std::vector<std::unique_ptr<MemoryOutputFile>> files;
    bool refuse = false;
    OutputFile* OnNextOutputFile() override {
        if (refuse) {
            return nullptr;
        }
        files.push_back(std::make_unique<MemoryOutputFile>());
        return files.back().get();
    }
};

TEST(HttpReceiveTest, AnotherLayoutContinuesInTheNextFile) {
    const HttpClip& clip = HttpClip::Get();
    static const TempDir otherDir;
    AsfRecipe recipe;
    recipe.seconds = 1;
    recipe.packetSize = 2000;
    const AsfClip other = AsfClip::Make(otherDir / "other.asf", recipe);
    ASSERT_NE(other.packetSize, clip.packetSize);
    std::vector<uint8_t> stream;
    AppendChunk(stream, 'H', 0, 0x0C, clip.StreamHeader());
    AppendChunk(stream, 'D', 0, 0, clip.Packet(0));
    AppendChunk(stream, 'D', 1, 0, clip.Packet(1));
    AppendChunk(stream, 'H', 2, 0x0C, other.StreamHeader());
    AppendChunk(stream, 'D', 2, 0, other.Packet(0));  // the numbers go on
    AppendChunk(stream, 'D', 3, 0, other.Packet(1));
    AppendChunk(stream, 'D', 4, 0, other.Packet(2));

    NextFiles host;
    ChunkRun run(stream, {}, 1000, &host);
    ASSERT_EQ(host.files.size(), 1u);
    EXPECT_EQ(run.last, host.files[0].get());
    const std::vector<uint8_t>& first = run.out.Bytes();
    ASSERT_EQ(first.size(), clip.RecordingSize(2));
    EXPECT_EQ(ReadLe64(&first[clip.PropertiesOffset() + asf::fp::kFileSize]), first.size());
    const std::vector<uint8_t>& second = host.files[0]->Bytes();
    ASSERT_EQ(second.size(), other.RecordingSize(3));
    const size_t fp = other.PropertiesOffset();
    EXPECT_EQ(ReadLe32(&second[fp + asf::fp::kMinPacketSize]), other.packetSize);
    EXPECT_EQ(ReadLe64(&second[fp + asf::fp::kDataPacketsCount]), 3u);
    EXPECT_EQ(ReadLe64(&second[fp + asf::fp::kFileSize]), second.size());
    EXPECT_TRUE(std::equal(
        other.Packet(1).begin() + 16, other.Packet(1).end(),
        second.begin() + static_cast<ptrdiff_t>(other.DataStart() + other.packetSize + 16)));
    EXPECT_EQ(SendTimeOf(std::span(second).subspan(other.DataStart(), other.packetSize)), 0u);

    // A host that has no further file ends the recording with the first.
    NextFiles none;
    none.refuse = true;
    ChunkRun ended(stream, {}, 1000, &none);
    EXPECT_EQ(ended.last, &ended.out);
    EXPECT_EQ(ended.out.Bytes().size(), clip.RecordingSize(2));
}

}  // namespace
}  // namespace tapewell
