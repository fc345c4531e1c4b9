#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "AsfBuilder.h"
#include "AsfFiles.h"
#include "asf/AsfInfo.h"
#include "common/Limits.h"

namespace tapewell {
namespace {

using test::AsfFiles;
using test::Bytes;

double StreamDuration(const test::ProbeReport& probe) {
    double longest = 0;
    for (int i = 0; i < 4; ++i) {
        auto text = probe.Get("stream" + std::to_string(i) + ".duration");
        if (!text.empty()) {
            longest = std::max(longest, std::strtod(text.c_str(), nullptr));
        }
    }
    return longest;
}

std::string StreamValue(const test::ProbeReport& probe, const std::string& type,
                        const std::string& key) {
    for (int i = 0; i < 4; ++i) {
        std::string prefix = "stream" + std::to_string(i) + ".";
        if (probe.Get(prefix + "codec_type") == type) {
            return probe.Get(prefix + key);
        }
    }
    return {};
}

// The objects the walk met tile the file: the Header's children fill it
// after its 30 fixed bytes, and Header, Data and what follows fill the file.
void ExpectObjectsTileTheFile(const AsfInfo& info) {
    const auto& objects = info.GetObjects();
    ASSERT_FALSE(objects.empty());
    const uint64_t headerSize = objects[0].size;
    uint64_t childPos = 30;
    size_t i = 1;
    for (; i < objects.size() && objects[i].offset < headerSize; ++i) {
        EXPECT_EQ(objects[i].offset, childPos);
        childPos += objects[i].size;
    }
    EXPECT_EQ(childPos, headerSize);
    EXPECT_EQ(info.GetHeaderObjectCount(), i - 1);
    uint64_t topPos = headerSize;
    for (; i < objects.size(); ++i) {
        EXPECT_EQ(objects[i].offset, topPos);
        topPos += objects[i].size;
    }
    EXPECT_EQ(topPos, info.GetFileSize());
}

TEST(AsfInfo, AgreesWithFfprobeOnFfmpegFiles) {
    const auto& files = AsfFiles::Get();
    struct Case {
        std::filesystem::path path;
        uint32_t packetSize;
        bool video;
    };
    for (const Case& c : {Case{files.videoAudio, 3200, true}, Case{files.audioVideo, 2000, true},
                          Case{files.audioOnly, 1500, false}}) {
        SCOPED_TRACE(c.path.filename().string());
        AsfInfo info;
        ASSERT_TRUE(info.Parse(c.path));
        const auto probe = test::Probe(c.path);
        const FileProperties& fp = info.GetFileProperties();

        EXPECT_EQ(fp.minPacketSize, c.packetSize);
        EXPECT_EQ(fp.maxPacketSize, c.packetSize);
        EXPECT_EQ(probe.asfPacketSize, c.packetSize);
        EXPECT_EQ(fp.dataPacketsCount, probe.asfPacketsRead);
        EXPECT_EQ(info.GetDataObject().totalDataPackets, fp.dataPacketsCount);
        AsfObjectEntry data;
        ASSERT_GE(info.FindObject(guids::kData, &data), 0);
        EXPECT_EQ(data.size, 50 + fp.dataPacketsCount * c.packetSize);

        // ffprobe's stream durations are the play duration less the preroll.
        const double duration = (fp.playDuration / 1e4 - fp.preroll) / 1e3;
        EXPECT_NEAR(duration, StreamDuration(probe), 0.01);
        EXPECT_EQ(info.GetDurationSeconds(), static_cast<int32_t>(std::floor(duration)));
        EXPECT_EQ(info.GetFileSize(), std::stoull(probe.Get("format.size")));

        ASSERT_TRUE(info.HasAudioFormat());
        const WaveFormat& audio = info.GetAudioFormat();
        EXPECT_EQ(audio.formatTag,
                  std::stoul(StreamValue(probe, "audio", "codec_tag"), nullptr, 16));
        EXPECT_EQ(std::to_string(audio.channels), StreamValue(probe, "audio", "channels"));
        EXPECT_EQ(std::to_string(audio.samplesPerSecond),
                  StreamValue(probe, "audio", "sample_rate"));
        EXPECT_EQ(info.GetAudioCodecs().size(), 1u);

        EXPECT_EQ(info.HasVideoFormat(), c.video);
        if (c.video) {
            const BitmapInfoHeader& video = info.GetVideoFormat();
            EXPECT_EQ(std::to_string(video.width), StreamValue(probe, "video", "width"));
            EXPECT_EQ(std::to_string(video.height), StreamValue(probe, "video", "height"));
            EXPECT_EQ(video.CompressionText(), StreamValue(probe, "video", "codec_tag_string"));
            ASSERT_EQ(info.GetVideoCodecs().size(), 1u);
            EXPECT_EQ(info.GetVideoCodecs()[0], StreamValue(probe, "video", "codec_name") + "\n");
        }
        ExpectObjectsTileTheFile(info);
    }
}

TEST(AsfInfo, ReadsContentAndStreamOrder) {
    const auto& files = AsfFiles::Get();
    AsfInfo info;
    ASSERT_TRUE(info.Parse(files.videoAudio));
    EXPECT_EQ(info.GetContent().title, "녹화 테스트 제목");
    EXPECT_EQ(info.GetContent().title, test::Probe(files.videoAudio).Get("format.TAG:title"));
    EXPECT_EQ(info.GetContent().author, "Tapewell");
    EXPECT_EQ(info.GetAudioFlag(), 1u) << "video then audio leaves the audio flag set";
    EXPECT_EQ(info.FindObject(guids::kHeader), 0);
    EXPECT_GT(info.FindObject(guids::kSimpleIndex), info.FindObject(guids::kData));

    ASSERT_TRUE(info.Parse(files.audioVideo));
    EXPECT_EQ(info.GetAudioFlag(), 0u) << "audio then video clears it";
    EXPECT_EQ(info.GetContent().title, "") << "nothing of the previous file survives";
}

// Counts what the parser asks for, to show that it reads object headers and
// the objects it keeps, and seeks over packets.
class CountingSource final : public ByteSource {
public:
    explicit CountingSource(ByteSource& inner) : m_inner(inner) {}
    uint64_t Size() const override { return m_inner.Size(); }
    size_t ReadAt(uint64_t offset, std::span<uint8_t> out) override {
        ++reads;
        size_t n = m_inner.ReadAt(offset, out);
        bytes += n;
        return n;
    }
    size_t reads = 0;
    uint64_t bytes = 0;

private:
    ByteSource& m_inner;
};

TEST(AsfInfo, ReadsOnlyTheHeaderAndObjectHeadersNotThePackets) {
    auto file = FileSource::Open(AsfFiles::Get().videoAudio);
    ASSERT_TRUE(file);
    CountingSource counting(*file);
    AsfInfo info;
    ASSERT_TRUE(info.Parse(counting));
    const size_t entries = info.GetObjects().size();
    const uint64_t headerSize = info.GetObjects()[0].size;
    // The first 24 bytes are read twice (the ASF test, then the walk), and
    // the Data object's 26-byte body once.
    EXPECT_LE(counting.bytes, 24 + headerSize + 26 + 24 * 2);
    EXPECT_LE(counting.reads, 2 * entries + 2);
}

TEST(AsfInfo, RecordingCutInItsPacketsKeepsTheHeaderButNoData) {
    const auto& files = AsfFiles::Get();
    AsfInfo whole;
    ASSERT_TRUE(whole.Parse(files.videoAudio));
    auto cut = test::TruncatedCopy(files.videoAudio, whole.GetFileSize() * 6 / 10, "cut60.asf");
    AsfInfo info;
    ASSERT_TRUE(info.Parse(cut));
    EXPECT_EQ(static_cast<int>(info.GetObjects().size()), whole.FindObject(guids::kData));
    EXPECT_EQ(info.FindObject(guids::kData), -1);
    EXPECT_EQ(info.FindObject(guids::kSimpleIndex), -1);
    EXPECT_EQ(info.GetFileProperties().dataPacketsCount,
              whole.GetFileProperties().dataPacketsCount);
    EXPECT_EQ(info.GetVideoFormat().width, 320);
    EXPECT_EQ(info.GetContent().title, whole.GetContent().title);
}

TEST(AsfInfo, RefusesWhatIsNotAnAsfFile) {
    const auto& files = AsfFiles::Get();
    const auto& dir = AsfFiles::Dir();
    AsfInfo info;
    // The texts are what "tapewell-cli info" prints.
    auto why = [&info](const std::filesystem::path& path) {
        const ErrorOr<void> parsed = info.Parse(path);
        return parsed ? std::string("parsed") : parsed.error().message;
    };
    const std::string notHeader =
        "' is not an ASF file: it does not start with an ASF header object";
    const std::string pastEnd =
        "' is not an ASF file: its ASF header runs past the end of the file";
    const auto missing = dir / "missing.asf";
    EXPECT_EQ(why(missing), "cannot open '" + missing.string() + "': No such file or directory");
    EXPECT_EQ(info.Parse(missing).error().code, ENOENT);
    EXPECT_EQ(info.Parse(dir.Path()).error().code, EISDIR);

    test::WriteFileBytes(dir / "empty.asf", {});
    EXPECT_EQ(why(dir / "empty.asf"), "'" + (dir / "empty.asf").string() + notHeader);

    Bytes garbage(5000);
    for (size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<uint8_t>(i * 7919 >> 3);
    }
    test::WriteFileBytes(dir / "garbage.asf", garbage);
    EXPECT_EQ(why(dir / "garbage.asf"), "'" + (dir / "garbage.asf").string() + notHeader);
    EXPECT_TRUE(info.GetObjects().empty());

    // Below 24 bytes there is no object header to read; from 24 on, the
    // Header object claims more than the file holds.
    for (uint64_t n : {23, 24, 100}) {
        auto cut = test::TruncatedCopy(files.videoAudio, n, "head" + std::to_string(n) + ".asf");
        EXPECT_EQ(why(cut), "'" + cut.string() + (n < 24 ? notHeader : pastEnd)) << n;
        EXPECT_TRUE(info.GetObjects().empty()) << n;
    }
}

TEST(AsfInfo, LyingLengthsNeverReadPastTheirObject) {
    Bytes content;
    for (int i = 0; i < 5; ++i) {
        test::PutLe(content, 0xFFFF, 2);  // five lengths far beyond the object
    }
    content.insert(content.end(), {'A', 0, 'B', 0});
    Bytes stream(54, 0);
    std::copy(guids::kVideoMedia.bytes.begin(), guids::kVideoMedia.bytes.end(), stream.begin());
    stream[40] = stream[41] = stream[42] = stream[43] = 0xFF;  // type-specific length
    Bytes codecs(16, 0);
    test::PutLe(codecs, 0xFFFFFFFF, 4);  // entries count
    test::PutLe(codecs, 1, 2);
    test::PutLe(codecs, 2, 2);
    codecs.insert(codecs.end(), {'v', 0, '1', 0});
    test::PutLe(codecs, 0, 2);
    test::PutLe(codecs, 0, 2);
    test::PutLe(codecs, 2, 2);  // second entry: type audio, name cut off
    test::PutLe(codecs, 0x7FFF, 2);
    Bytes file =
        test::Concat({test::HeaderObject({test::FilePropertiesObject(100, 3),
                                          test::Object(guids::kContentDescription, content),
                                          test::Object(guids::kStreamProperties, stream),
                                          test::Object(guids::kCodecList, codecs)}),
                      test::DataObject(3, 100, 3)});
    MemorySource source(file);
    AsfInfo info;
    ASSERT_TRUE(info.Parse(source));
    EXPECT_EQ(info.GetObjects().size(), 6u);
    EXPECT_EQ(info.GetContent().title, "AB");
    EXPECT_EQ(info.GetContent().author, "");
    EXPECT_TRUE(info.HasVideoFormat());
    ASSERT_EQ(info.GetVideoCodecs().size(), 1u);
    EXPECT_EQ(info.GetVideoCodecs()[0], "v1\n");
    EXPECT_TRUE(info.GetAudioCodecs().empty());
    EXPECT_EQ(info.GetFileProperties().minPacketSize, 100u);
    EXPECT_EQ(info.GetHeaderObjectCount(), 4u);
    EXPECT_EQ(info.GetHeaderReserved(), (std::array<uint8_t, 2>{1, 2}));
}

TEST(AsfInfo, ObjectSizesThatCannotBeEndTheWalk) {
    const Bytes header = test::HeaderObject({test::FilePropertiesObject(100, 3)});
    for (uint64_t size :
         {uint64_t{0}, uint64_t{23}, uint64_t{1} << 63, ~uint64_t{0}, uint64_t{1000}}) {
        Bytes file = test::Concat({header, test::ObjectClaiming(guids::kData, size, Bytes(60, 0))});
        MemorySource source(file);
        AsfInfo info;
        ASSERT_TRUE(info.Parse(source)) << size;
        EXPECT_EQ(info.GetObjects().size(), 2u) << size;
        EXPECT_EQ(info.GetFileProperties().minPacketSize, 100u);
    }

    // A File Properties body of 81 bytes or more is not trusted.
    Bytes longBody = test::FilePropertiesObject(100, 3);
    longBody.push_back(0);
    longBody[16] += 1;
    const Bytes file = test::HeaderObject({longBody});
    MemorySource source(file);
    AsfInfo info;
    ASSERT_TRUE(info.Parse(source));
    EXPECT_EQ(info.GetObjects().size(), 2u);
    EXPECT_EQ(info.GetFileProperties().minPacketSize, 0u);
}

TEST(AsfInfo, EndlessTinyObjectsStopAtTheEntryLimit) {
    Bytes file = test::HeaderObject({});
    const Bytes tiny = test::Object(Guid::Make(1, 2, 3, {}), {});
    const size_t count = limits::kMaxAsfObjectEntries + 10;
    file.reserve(file.size() + count * tiny.size());
    for (size_t i = 0; i < count; ++i) {
        file.insert(file.end(), tiny.begin(), tiny.end());
    }
    MemorySource source(file);
    AsfInfo info;
    ASSERT_TRUE(info.Parse(source));
    EXPECT_EQ(info.GetObjects().size(), limits::kMaxAsfObjectEntries);
}

}  // namespace
}  // namespace tapewell
