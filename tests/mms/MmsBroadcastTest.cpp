// MmsClient against a scripted broadcast that sends its header again while
// media flow: the same layout goes on in the same file on one time line,
// another layout goes on in the next file the host gives. Every file is
// read by ffprobe and decoded by ffmpeg.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "ScriptedMmsPeer.h"
#include "asf/AsfGuids.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"
#include "common/OutputFile.h"
#include "engine/EngineEvents.h"
#include "mms/MmsClient.h"
#include "mms/MmsStreamHeader.h"
#include "support/AsfClip.h"
#include "support/TestSupport.h"

namespace tapewell::test {
namespace {

// Opens out2.asf, out3.asf, ... when asked for a next file, or refuses.
class Host final : public EngineEvents {
public:
    Host(std::filesystem::path dir, bool giveFiles) : m_dir(std::move(dir)), m_give(giveFiles) {}
    void OnError(const std::string& text) override { errors.push_back(text); }
    OutputFile* OnNextOutputFile() override {
        ++asked;
        if (!m_give) {
            return nullptr;
        }
        files.push_back(StdioOutputFile::Open(
            m_dir / ("out" + std::to_string(files.size() + 2) + ".asf"), "wb"));
        return files.back().get();
    }

    std::vector<std::string> errors;
    int asked = 0;
    std::vector<std::unique_ptr<StdioOutputFile>> files;

private:
    std::filesystem::path m_dir;
    bool m_give;
};

// A clip's stream header as a broadcast sends it: no play duration, the
// broadcast flag set.
std::vector<uint8_t> LiveHeader(const AsfClip& clip) {
    std::vector<uint8_t> header = clip.StreamHeader();
    const size_t fp = clip.PropertiesOffset();
    WriteLe64(&header[fp + asf::fp::kPlayDuration], 0);
    WriteLe64(&header[fp + asf::fp::kSendDuration], 0);
    WriteLe32(&header[fp + asf::fp::kFlags], asf::kFlagBroadcast);
    return header;
}

std::vector<std::vector<uint8_t>> Packets(const AsfClip& clip, uint64_t first, uint64_t count) {
    std::vector<std::vector<uint8_t>> packets;
    for (uint64_t n = first; n < first + count && n < clip.packetCount; ++n) {
        const auto p = clip.Packet(n);
        packets.emplace_back(p.begin(), p.end());
    }
    return packets;
}

// What a recording of a clip's layout holds, checked against its own header
// and against ffprobe and ffmpeg: packets from send time 0 that never go
// back, and a header that counts them. A decoder reads it without a word
// unless the source looped in it (the audio sent ahead of its time before
// the loop is then later than the first audio after it).
void ExpectDescribedLiveFile(const std::filesystem::path& path, const AsfClip& clip,
                             uint64_t packets, bool looped = false) {
    SCOPED_TRACE(path.filename().string());
    const std::vector<uint8_t> file = ReadFileBytes(path);
    ASSERT_EQ(file.size(), clip.RecordingSize(packets));
    const size_t fp = clip.PropertiesOffset();
    EXPECT_EQ(ReadLe64(&file[fp + asf::fp::kFileSize]), file.size());
    EXPECT_EQ(ReadLe32(&file[fp + asf::fp::kFlags]), asf::kFlagSeekable);
    EXPECT_EQ(ReadLe64(&file[fp + asf::fp::kDataPacketsCount]), packets);
    EXPECT_EQ(ReadLe64(&file[clip.headerSize + 16]), packets * clip.packetSize + 50);
    uint32_t last = 0;
    for (uint64_t n = 0; n < packets; ++n) {
        const auto p =
            std::span(file).subspan(clip.DataStart() + n * clip.packetSize, clip.packetSize);
        const int at = AsfPacketTools::SendTimeOffset(p);
        ASSERT_GT(at, 0);
        const uint32_t t = ReadLe32(&p[static_cast<size_t>(at)]);
        if (n == 0) {
            EXPECT_EQ(t, 0u);
        }
        ASSERT_GE(t, last) << "packet " << n;
        last = t;
    }
    const uint64_t preroll = ReadLe64(&file[fp + asf::fp::kPreroll]);
    EXPECT_EQ(ReadLe64(&file[fp + asf::fp::kPlayDuration]), (last + preroll) * 10000);
    const ProbeReport probe = Probe(path);
    EXPECT_EQ(probe.asfPacketSize, clip.packetSize);
    EXPECT_EQ(probe.asfPacketsRead, packets);
    EXPECT_NEAR(std::stod(probe.Get("format.start_time")), 0.0, 0.05);
    EXPECT_NEAR(std::stod(probe.Get("format.duration")), last / 1000.0, 0.5);
    const CommandResult decode =
        Run({"ffmpeg", "-v", "error", "-i", path.string(), "-f", "null", "-"});
    EXPECT_EQ(decode.exitCode, 0);
    if (!looped) {
        EXPECT_EQ(decode.err, "");
    }
}

class MmsBroadcastTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        AsfRecipe recipe;
        recipe.seconds = 3;
        s_clip = new AsfClip(AsfClip::Make(*s_dir / "a.asf", recipe));
        recipe.packetSize = 4000;
        recipe.video = false;
        s_other = new AsfClip(AsfClip::Make(*s_dir / "b.asf", recipe));
    }
    static void TearDownTestSuite() {
        delete s_other;
        delete s_clip;
        delete s_dir;
    }

    uint64_t Record(const ScriptedMmsPeer::Script& script, Host& host) {
        ScriptedMmsPeer peer(script);
        auto out = StdioOutputFile::Open(m_dir / "out.asf", "wb");
        MmsClient client(EngineOptions(), &host);
        const EngineResult result =
            client.Record({.output = out.get(),
                           .address = "mms://127.0.0.1:" + std::to_string(peer.Port()) + "/b"});
        const uint64_t written = result.recording ? result.recording->bytes : 0;
        out->Close();
        for (auto& file : host.files) {
            file->Close();
        }
        return written;
    }

    static inline TempDir* s_dir = nullptr;
    static inline AsfClip* s_clip = nullptr;
    static inline AsfClip* s_other = nullptr;
    TempDir m_dir;
};

TEST_F(MmsBroadcastTest, HeaderOfTheSameLayoutIsNotWrittenAgainAndTimesGoOn) {
    // The header comes again announced as the next entry (numbers from 0)
    // while the source goes on, and bare in two header packets (numbers
    // going on).
    ScriptedMmsPeer::Script script;
    script.header = LiveHeader(*s_clip);
    script.packets = Packets(*s_clip, 0, 15);
    ScriptedMmsPeer::Segment announced;
    announced.header = script.header;
    announced.announced = true;
    announced.packets = Packets(*s_clip, 15, 10);
    ScriptedMmsPeer::Segment bare = announced;
    bare.announced = false;
    bare.headerParts = 2;
    bare.packets = Packets(*s_clip, 25, 10);
    script.later = {announced, bare};
    Host host(m_dir.Path(), true);
    EXPECT_EQ(Record(script, host), s_clip->RecordingSize(35));
    EXPECT_TRUE(host.errors.empty()) << host.errors.front();
    EXPECT_EQ(host.asked, 0);
    ExpectDescribedLiveFile(m_dir / "out.asf", *s_clip, 35);

    // The source loops: after the header its times start again from its
    // beginning, and the file's time line goes on from where it was.
    // Its packets are the very bytes written at first, and still kept.
    script.packets = Packets(*s_clip, 0, s_clip->packetCount);
    bare.packets = Packets(*s_clip, 0, 20);
    script.later = {bare};
    Host looping(m_dir.Path(), true);
    const uint64_t total = s_clip->packetCount + 20;
    EXPECT_EQ(Record(script, looping), s_clip->RecordingSize(total));
    EXPECT_TRUE(looping.errors.empty()) << looping.errors.front();
    ExpectDescribedLiveFile(m_dir / "out.asf", *s_clip, total, true);
}

TEST_F(MmsBroadcastTest, HeaderOfAnotherLayoutGoesOnInTheNextFileOrEndsTheRecording) {
    ScriptedMmsPeer::Script script;
    script.header = LiveHeader(*s_clip);
    script.packets = Packets(*s_clip, 0, 12);
    ScriptedMmsPeer::Segment other;
    other.header = LiveHeader(*s_other);
    other.announced = true;
    other.packets = Packets(*s_other, 0, s_other->packetCount);
    script.later = {other};
    {
        Host host(m_dir.Path(), true);
        const uint64_t written = Record(script, host);
        EXPECT_TRUE(host.errors.empty()) << host.errors.front();
        EXPECT_EQ(host.asked, 1);
        EXPECT_EQ(written,
                  s_clip->RecordingSize(12) + s_other->RecordingSize(s_other->packetCount));
        ExpectDescribedLiveFile(m_dir / "out.asf", *s_clip, 12);
        ExpectDescribedLiveFile(m_dir / "out2.asf", *s_other, s_other->packetCount);
    }
    {
        // A host with no next file: the first file is finished, no error.
        Host host(m_dir.Path(), false);
        EXPECT_EQ(Record(script, host), s_clip->RecordingSize(12));
        EXPECT_TRUE(host.errors.empty());
        EXPECT_EQ(host.asked, 1);
        ExpectDescribedLiveFile(m_dir / "out.asf", *s_clip, 12);
    }
}

TEST_F(MmsBroadcastTest, LayoutIsPacketSizeAndStreamsNotTheChangingFields) {
    auto layoutOf = [](std::vector<uint8_t> bytes) {
        MmsStreamHeader header;
        header.Append(bytes);
        header.FindProperties();
        return header;
    };
    const std::vector<uint8_t> base = s_clip->StreamHeader();
    const size_t fp = s_clip->PropertiesOffset();
    const MmsStreamHeader original = layoutOf(base);

    std::vector<uint8_t> later = base;  // what a broadcast changes as it runs
    WriteLe64(&later[fp + asf::fp::kFileSize], 123456);
    WriteLe64(&later[fp + asf::fp::kPlayDuration], 999);
    WriteLe64(&later[fp + asf::fp::kCreationDate], 42);
    EXPECT_TRUE(layoutOf(later).SameLayout(original));

    std::vector<uint8_t> size = base;
    WriteLe32(&size[fp + asf::fp::kMinPacketSize], s_clip->packetSize + 8);
    WriteLe32(&size[fp + asf::fp::kMaxPacketSize], s_clip->packetSize + 8);
    EXPECT_FALSE(layoutOf(size).SameLayout(original));

    // Another stream: one byte of the first Stream Properties object's
    // type-specific data (the codec's format) differs.
    std::vector<uint8_t> codec = base;
    const auto it = std::search(codec.begin(), codec.end(), guids::kStreamProperties.bytes.begin(),
                                guids::kStreamProperties.bytes.end());
    ASSERT_NE(it, codec.end());
    *(it + 24 + 54 + 2) ^= 0xFF;
    EXPECT_FALSE(layoutOf(codec).SameLayout(original));

    // A header whose objects cannot be walked matches only itself.
    std::vector<uint8_t> broken = later;
    WriteLe64(&broken[16], broken.size() * 2);
    EXPECT_FALSE(layoutOf(broken).SameLayout(original));
    EXPECT_TRUE(layoutOf(broken).SameLayout(layoutOf(broken)));
}

}  // namespace
}  // namespace tapewell::test
