#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "AsfBuilder.h"
#include "AsfFiles.h"
#include "asf/AsfCutter.h"
#include "asf/AsfPacketTools.h"
#include "common/Limits.h"

namespace tapewell {
namespace {

using test::AsfFiles;
using test::Bytes;

struct Parsed {
    AsfInfo info;
    Bytes bytes;
    AsfObjectEntry header;
    AsfObjectEntry data;
    int fpAt = -1;  // File Properties object within the file

    explicit Parsed(const std::filesystem::path& path) : bytes(test::ReadFileBytes(path)) {
        EXPECT_TRUE(info.Parse(path));
        info.FindObject(guids::kHeader, &header);
        info.FindObject(guids::kData, &data);
        fpAt = AsfPacketTools::FindFileProperties(bytes);
    }
    uint32_t PacketSize() const { return info.GetFileProperties().maxPacketSize; }
    std::span<const uint8_t> Packet(uint64_t i) const {
        return std::span(bytes).subspan(data.offset + 50 + i * PacketSize(), PacketSize());
    }
    Bytes Object(const AsfObjectEntry& e) const {
        return {bytes.begin() + static_cast<ptrdiff_t>(e.offset),
                bytes.begin() + static_cast<ptrdiff_t>(e.offset + e.size)};
    }
};

uint32_t SendTime(std::span<const uint8_t> packet) {
    return ReadLe32(&packet[static_cast<size_t>(AsfPacketTools::SendTimeOffset(packet))]);
}

double Seconds(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}

// What any reader must see in a cut: the source's streams, about the range's
// duration, and packets a decoder takes to the end without an error.
void ExpectPlayableCut(const std::filesystem::path& source, const std::filesystem::path& cut,
                       int32_t start, int32_t end) {
    const auto before = test::Probe(source);
    const auto after = test::Probe(cut);
    for (int i = 0; i < 3; ++i) {
        const std::string key = "stream" + std::to_string(i) + ".codec_name";
        EXPECT_EQ(after.Get(key), before.Get(key)) << key;
    }
    const Parsed parsed(source);
    const FileProperties& fp = parsed.info.GetFileProperties();
    const double sourceSeconds = (fp.playDuration / 1e4 - fp.preroll) / 1e3;
    const double range = std::min<double>(end + 1, sourceSeconds) - start;
    EXPECT_NEAR(Seconds(after.Get("format.duration")), range, 1.0);
    EXPECT_LT(Seconds(after.Get("format.start_time")), 0.5) << "times start near 0";
    EXPECT_EQ(after.asfPacketsRead, Parsed(cut).info.GetFileProperties().dataPacketsCount);
    // The cut begins on a key frame, so the decoder has nothing to say.
    test::CommandResult decode =
        test::Run({"ffmpeg", "-v", "error", "-i", cut.string(), "-f", "null", "-"});
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.err, "");
}

ErrorOr<AsfCutter::Result> CutFile(const std::filesystem::path& source, int32_t start, int32_t end,
                                   const std::filesystem::path& out) {
    AsfInfo info;
    EXPECT_TRUE(info.Parse(source));
    return AsfCutter().Cut(source, info, start, end, out);
}

TEST(AsfCutter, FullRangeStartsAtTheFirstPacketAndStopsAtTheLast) {
    const auto& files = AsfFiles::Get();
    for (const auto& path : {files.videoAudio, files.audioVideo, files.audioOnly}) {
        SCOPED_TRACE(path.filename().string());
        Parsed source(path);
        const int32_t end = source.info.GetDurationSeconds();
        const FileProperties& fp = source.info.GetFileProperties();
        auto packets = RangeToPackets(fp, 0, end);
        ASSERT_TRUE(packets);
        EXPECT_EQ(packets->first, 0u);
        EXPECT_GT(packets->stop, fp.dataPacketsCount) << "about a second past the last packet";

        const auto out = AsfFiles::Dir() / ("full-" + path.filename().string());
        ErrorOr<AsfCutter::Result> r = CutFile(path, 0, end, out);
        ASSERT_TRUE(r) << r.error().message;
        EXPECT_EQ(r->packets, fp.dataPacketsCount);
        Parsed cut(out);
        EXPECT_EQ(SendTime(cut.Packet(0)), 0u);
        // The whole file keeps its index byte for byte.
        AsfObjectEntry sourceIndex, cutIndex;
        if (source.info.FindObject(guids::kSimpleIndex, &sourceIndex) >= 0) {
            ASSERT_GE(cut.info.FindObject(guids::kSimpleIndex, &cutIndex), 0);
            EXPECT_EQ(cut.Object(cutIndex), source.Object(sourceIndex));
        }
        ExpectPlayableCut(path, out, 0, end);
    }
}

TEST(AsfCutter, MiddleRangeRebasesEveryPacketAndRewritesOnlyFilePropertiesAndData) {
    const auto& files = AsfFiles::Get();
    // ffmpeg indexes files with video only.
    for (const auto& [path, indexed] :
         {std::pair{files.videoAudio, true}, {files.audioOnly, false}}) {
        SCOPED_TRACE(path.filename().string());
        Parsed source(path);
        const FileProperties& fp = source.info.GetFileProperties();
        const auto out = AsfFiles::Dir() / ("middle-" + path.filename().string());
        ErrorOr<AsfCutter::Result> r = CutFile(path, 1, 2, out);
        ASSERT_TRUE(r) << r.error().message;
        Parsed cut(out);
        const CutPackets range = *RangeToPackets(fp, 1, 2);
        // Audio alone begins where the range does; video at a key frame.
        const uint64_t first = r->firstPacket;
        EXPECT_EQ(first == range.first, !indexed);
        ASSERT_GT(first, 0u);
        const uint64_t count = range.stop - first;

        // Each packet is its source packet rebased on the first one's send
        // time: send and presentation times lowered, never below 0.
        const uint32_t base = SendTime(source.Packet(first));
        ASSERT_GT(base, 0u);
        uint32_t largest = 0;
        for (uint64_t i = 0; i < count; ++i) {
            Bytes expected(source.Packet(first + i).begin(), source.Packet(first + i).end());
            AsfPacketTools::RebasePacketTimes(expected, base);
            ASSERT_TRUE(std::ranges::equal(cut.Packet(i), expected)) << "packet " << i;
            largest = std::max(largest, SendTime(cut.Packet(i)));
        }
        EXPECT_EQ(SendTime(cut.Packet(0)), 0u);

        const FileProperties& written = cut.info.GetFileProperties();
        EXPECT_EQ(written.flags, asf::kFlagSeekable);
        EXPECT_EQ(written.dataPacketsCount, count);
        EXPECT_EQ(written.playDuration, (uint64_t{largest} + fp.preroll) * 10000);
        EXPECT_EQ(written.sendDuration, uint64_t{largest} * 10000);
        EXPECT_EQ(written.fileSize, cut.bytes.size());
        EXPECT_EQ(cut.info.GetDataObject().totalDataPackets, count);
        EXPECT_EQ(cut.data.size, 50 + count * source.PacketSize());

        // Every other header byte is the source's.
        Bytes header = source.Object(source.header);
        const auto body = std::span(cut.bytes).subspan(cut.fpAt + 24, 80);
        std::copy(body.begin(), body.end(), header.begin() + source.fpAt + 24);
        EXPECT_EQ(cut.Object(cut.header), header);

        AsfObjectEntry sourceIndex, cutIndex;
        ASSERT_EQ(source.info.FindObject(guids::kSimpleIndex, &sourceIndex) >= 0, indexed);
        ASSERT_GE(cut.info.FindObject(guids::kSimpleIndex, &cutIndex), 0);
        if (indexed) {
            // The source's entries from the cut's start on, moved down by
            // the packets left out and ending at the last packet copied.
            const Bytes index = cut.Object(cutIndex);
            const Bytes from = source.Object(sourceIndex);
            EXPECT_TRUE(std::equal(index.begin() + 24, index.begin() + 52, from.begin() + 24));
            const uint32_t entries = ReadLe32(&index[52]);
            ASSERT_EQ(index.size(), 56 + entries * 6u);
            const uint64_t skipped = uint64_t{base} * 10000 / ReadLe64(&from[40]);
            for (uint32_t k = 0; k < entries; ++k) {
                const uint32_t packet = ReadLe32(&from[56 + (skipped + k) * 6]);
                EXPECT_EQ(ReadLe32(&index[56 + k * 6]), packet > first ? packet - first : 0);
                EXPECT_LT(ReadLe32(&index[56 + k * 6]), count);
            }
            EXPECT_GE(entries, 1u);
        } else {
            EXPECT_EQ(cutIndex.size, 62u);
        }
        ExpectPlayableCut(path, out, 1, 2);
    }
}

TEST(AsfCutter, BroadcastRecordingWithoutIndexGetsSeekableFlagAndA62ByteIndex) {
    Parsed whole(AsfFiles::Get().videoAudio);
    Bytes recording(
        whole.bytes.begin(),
        whole.bytes.begin() + static_cast<ptrdiff_t>(whole.data.offset + whole.data.size));
    WriteLe32(&recording[whole.fpAt + asf::fp::kFlags], asf::kFlagBroadcast);
    const auto source = AsfFiles::Dir() / "broadcast.asf";
    test::WriteFileBytes(source, recording);
    const auto out = AsfFiles::Dir() / "broadcast_cut.asf";
    ASSERT_TRUE(CutFile(source, 1, 3, out));

    Parsed cut(out);
    EXPECT_EQ(cut.info.GetFileProperties().flags, asf::kFlagSeekable);
    AsfObjectEntry index;
    ASSERT_GE(cut.info.FindObject(guids::kSimpleIndex, &index), 0);
    Bytes expected(guids::kSimpleIndex.bytes.begin(), guids::kSimpleIndex.bytes.end());
    test::PutLe(expected, 62, 8);
    expected.insert(expected.end(), {0x43, 0xFC, 0xE6, 0x05, 0xEF, 0xAC, 0x18, 0x4E, 0x8A, 0xCA,
                                     0xBC, 0x82, 0x81, 0x5A, 0x60, 0x4D});
    test::PutLe(expected, 10'000'000, 8);
    test::PutLe(expected, 0, 4);
    test::PutLe(expected, 1, 4);
    test::PutLe(expected, 0, 4);
    test::PutLe(expected, 0, 2);
    EXPECT_EQ(cut.Object(index), expected);
    EXPECT_EQ(index.offset + 62, cut.bytes.size());
    ExpectPlayableCut(source, out, 1, 3);
}

TEST(AsfCutter, OutputNameAppendsCutToTheBaseName) {
    EXPECT_EQ(CutOutputPath("/music/talk.asf"), "/music/talk_cut.asf");
    EXPECT_EQ(CutOutputPath("/music/talk"), "/music/talk_cut");
    EXPECT_EQ(CutOutputPath("rec.2024.wmv"), "rec.2024_cut.wmv");
    EXPECT_EQ(CutOutputPath("/a.folder/talk"), "/a.folder/talk_cut");
}

// Every failure leaves the folder as it was: no output, no temporary file,
// and an existing file under the output name untouched; the message says why.
void ExpectFailureLeavesNoOutput(const std::filesystem::path& source, const AsfInfo& info,
                                 int32_t start, int32_t end, const std::string& why,
                                 const std::atomic<bool>* cancel = nullptr) {
    test::TempDir dir;
    const auto out = dir / "out.asf";
    ErrorOr<AsfCutter::Result> r = AsfCutter({}, cancel).Cut(source, info, start, end, out);
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().message.find(why), std::string::npos) << r.error().message;
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));

    test::WriteFileBytes(out, {'o', 'l', 'd'});
    EXPECT_FALSE(AsfCutter({}, cancel).Cut(source, info, start, end, out));
    EXPECT_EQ(test::ReadFileBytes(out), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(AsfCutter, BadRangesAndBrokenSourcesFailAndLeaveNoOutput) {
    const auto& path = AsfFiles::Get().videoAudio;
    AsfInfo info;
    ASSERT_TRUE(info.Parse(path));
    const std::string badRange = "the start must be at least 0 and not after the end";
    ExpectFailureLeavesNoOutput(path, info, 3, 2, badRange);
    ExpectFailureLeavesNoOutput(path, info, -1, 2, badRange);
    ExpectFailureLeavesNoOutput(path, info, 60, 61, "the range lies outside the file's");

    // The file shrank since it was parsed: the packets run out mid-copy.
    const auto shrunk = test::TruncatedCopy(path, info.GetFileSize() * 7 / 10, "shrunk.asf");
    ExpectFailureLeavesNoOutput(shrunk, info, 0, 3, "the source ends or cannot be read at byte");

    const std::atomic<bool> cancel{true};
    ExpectFailureLeavesNoOutput(path, info, 0, 3, "cancelled", &cancel);

    AsfInfo notAsf;
    EXPECT_FALSE(notAsf.Parse(AsfFiles::Dir() / "missing.asf"));
    ExpectFailureLeavesNoOutput(path, notAsf, 0, 3, "not an ASF file");
    ExpectFailureLeavesNoOutput(AsfFiles::Dir() / "missing.asf", info, 0, 3, "cannot open '");
}

// ffprobe's view of a file's video packets: time, the position of the ASF
// packet the frame begins in, and whether it is a key frame.
struct VideoFrame {
    double time = 0;
    uint64_t pos = 0;
    bool key = false;
};

std::vector<VideoFrame> VideoFrames(const std::filesystem::path& file) {
    test::CommandResult r = test::Run({"ffprobe", "-v", "error", "-show_packets", "-show_entries",
                                       "packet=pts_time,pos,flags", "-select_streams", "v", "-of",
                                       "csv=p=0", file.string()});
    std::vector<VideoFrame> frames;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        VideoFrame f;
        char* rest = nullptr;
        f.time = std::strtod(line.c_str(), &rest);
        f.pos = std::strtoull(rest + 1, &rest, 10);
        f.key = rest[0] == ',' && rest[1] == 'K';
        frames.push_back(f);
    }
    return frames;
}

// Key frames 2 s apart, so that most starts fall between two of them. The
// cut must begin at the ASF packet of the last key frame shown by the start
// second that is the first frame beginning in its packet.
TEST(AsfCutter, BeginsAtTheLastKeyFrameByTheStartSecond) {
    const auto path = AsfFiles::Dir() / "gop50.asf";
    test::AsfRecipe recipe;
    recipe.seconds = 10;
    recipe.gop = 50;
    ASSERT_TRUE(test::MakeAsf(path, recipe));
    Parsed source(path);
    const std::vector<VideoFrame> frames = VideoFrames(path);
    ASSERT_GT(frames.size(), 200u);
    for (int32_t start : {0, 3, 5, 7}) {
        SCOPED_TRACE(start);
        // ffprobe's times are the presentation times less the preroll. The
        // first frame comes a little after 0 s; a cut from 0 begins at packet 0.
        uint64_t expected = 0;
        for (size_t i = 0; i < frames.size() && frames[i].time <= start + 0.0005; ++i) {
            if (frames[i].key && (i == 0 || frames[i - 1].pos != frames[i].pos)) {
                expected = (frames[i].pos - source.data.offset - 50) / source.PacketSize();
            }
        }
        const auto out = AsfFiles::Dir() / ("gop50-" + std::to_string(start) + ".asf");
        // One second each: the end second is included.
        ErrorOr<AsfCutter::Result> r = CutFile(path, start, start, out);
        ASSERT_TRUE(r) << r.error().message;
        EXPECT_EQ(r->firstPacket, expected);
        const std::vector<VideoFrame> cut = VideoFrames(out);
        ASSERT_FALSE(cut.empty());
        EXPECT_TRUE(cut[0].key);
        ExpectPlayableCut(path, out, start, start);
    }
}

// Hand-built sources whose File Properties lie; nothing here is a file a
// player could read, so the cuts go to memory.
ErrorOr<AsfCutter::Result> CutBytes(const Bytes& file, int32_t start, int32_t end,
                                    MemorySink& out) {
    MemorySource source(file);
    AsfInfo info;
    EXPECT_TRUE(info.Parse(source));
    return AsfCutter().Cut(source, info, start, end, out);
}

TEST(AsfCutter, LyingFilePropertiesAreRefused) {
    MemorySink out;
    const Bytes noPacketSize =
        test::Concat({test::HeaderObject({test::FilePropertiesObject(0, 3, 50'000'000)}),
                      test::DataObject(3, 100, 3)});
    const std::string noFileProperties = "the File Properties give no packet size or duration";
    EXPECT_EQ(CutBytes(noPacketSize, 0, 1, out).error().message, noFileProperties);
    // A preroll longer than the play duration leaves no time to divide by.
    const Bytes noDuration =
        test::Concat({test::HeaderObject({test::FilePropertiesObject(100, 3, 50'000'000, 6000)}),
                      test::DataObject(3, 100, 3)});
    EXPECT_EQ(CutBytes(noDuration, 0, 1, out).error().message, noFileProperties);
    const Bytes noProperties = test::Concat({test::HeaderObject({}), test::DataObject(3, 100, 3)});
    EXPECT_EQ(CutBytes(noProperties, 0, 1, out).error().message, noFileProperties);
}

TEST(AsfCutter, PacketsLargerThanTheCopyBufferGoThroughInPieces) {
    const uint32_t size = limits::kCutCopyBufferBytes + 1000;
    Bytes file =
        test::Concat({test::HeaderObject({test::FilePropertiesObject(size, 4, 30'000'000)}),
                      test::DataObject(4, size, 4)});
    const size_t packetsAt = file.size() - 4 * size;
    for (uint32_t i = 0; i < 4; ++i) {
        WriteLe32(&file[packetsAt + i * size + 5], 5000 + 500 * i);  // Send Time
        file[packetsAt + i * size + size - 1] = static_cast<uint8_t>(i + 1);
    }
    MemorySink out;
    ErrorOr<AsfCutter::Result> r = CutBytes(file, 1, 2, out);
    ASSERT_TRUE(r) << r.error().message;
    MemorySource source(file);
    AsfInfo info;
    ASSERT_TRUE(info.Parse(source));
    const CutPackets range = *RangeToPackets(info.GetFileProperties(), 1, 2);
    ASSERT_EQ(r->packets, range.stop - range.first);
    const size_t cutAt = out.Size() - 62 - r->packets * size;
    for (uint64_t i = 0; i < r->packets; ++i) {
        EXPECT_EQ(ReadLe32(&out.Bytes()[cutAt + i * size + 5]), 500 * i);
        EXPECT_EQ(out.Bytes()[cutAt + i * size + size - 1], range.first + i + 1);
    }
}

}  // namespace
}  // namespace tapewell
