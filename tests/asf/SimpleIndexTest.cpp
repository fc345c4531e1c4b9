#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <sstream>

#include "AsfBuilder.h"
#include "asf/AsfInfo.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "asf/SimpleIndex.h"
#include "common/Limits.h"
#include "support/AsfClip.h"

namespace tapewell {
namespace {

using test::Bytes;
using test::PutLe;

struct Entry {
    uint32_t packet = 0;
    uint16_t packets = 0;
    bool operator==(const Entry&) const = default;
};

// A Simple Index object read back field by field.
struct ReadIndex {
    Guid fileId;
    uint64_t interval = 0;  // 100-ns units
    uint32_t maxPacketCount = 0;
    std::vector<Entry> entries;
};

ReadIndex Read(const Bytes& object) {
    ReadIndex index;
    if (object.size() < 56) {
        ADD_FAILURE() << "an index object of " << object.size() << " bytes";
        return index;
    }
    EXPECT_EQ(Guid::FromBytes(object), guids::kSimpleIndex);
    EXPECT_EQ(ReadLe64(&object[16]), object.size());
    index.fileId = Guid::FromBytes(std::span(object).subspan(24));
    index.interval = ReadLe64(&object[40]);
    index.maxPacketCount = ReadLe32(&object[48]);
    EXPECT_EQ(object.size(), 56 + 6ull * ReadLe32(&object[52]));
    for (size_t at = 56; at + 6 <= object.size(); at += 6) {
        index.entries.push_back({ReadLe32(&object[at]), ReadLe16(&object[at + 4])});
    }
    return index;
}

// One payload of a hand-built packet: 8 bytes of replicated data (object
// size, presentation time) or, compressed, the time in the offset field.
struct Payload {
    uint8_t stream;
    bool key;
    uint8_t object;
    uint32_t offset;
    uint32_t time;
    bool compressed = false;
};

constexpr size_t kPacketSize = 128;
constexpr uint8_t kVideo = 1;
constexpr uint8_t kAudio = 2;
const std::vector<uint8_t> kVideoStreams = {kVideo};

// A multiple-payload packet in the layout ffmpeg and the servers write, 4
// data bytes a payload.
Bytes Packet(const std::vector<Payload>& payloads) {
    Bytes p = {0x82, 0, 0, 0x09, 0x5D, 0};
    PutLe(p, 1000, 4);  // send time
    PutLe(p, 0, 2);     // duration
    p.push_back(static_cast<uint8_t>(0x80 | payloads.size()));
    for (const Payload& pl : payloads) {
        p.push_back(static_cast<uint8_t>(pl.stream | (pl.key ? 0x80 : 0)));
        p.push_back(pl.object);
        PutLe(p, pl.compressed ? pl.time : pl.offset, 4);
        if (pl.compressed) {
            p.push_back(1), p.push_back(0);  // time delta
            PutLe(p, 4, 2);
            p.push_back(3), p.insert(p.end(), 3, 0xAB);  // one whole object
        } else {
            p.push_back(8);
            PutLe(p, 100, 4), PutLe(p, pl.time, 4), PutLe(p, 4, 2);
            p.insert(p.end(), 4, 0xAB);
        }
    }
    p[5] = static_cast<uint8_t>(kPacketSize - p.size());
    p.resize(kPacketSize, 0);
    return p;
}

std::optional<ReadIndex> Index(const std::vector<Bytes>& packets,
                               const std::vector<uint8_t>& video = kVideoStreams,
                               uint32_t intervalMs = 1000) {
    SimpleIndexBuilder builder(video, intervalMs);
    for (size_t i = 0; i < packets.size(); ++i) {
        builder.AddPacket(static_cast<uint32_t>(i), packets[i]);
    }
    const Bytes object = builder.Object(Guid{});
    EXPECT_EQ(object.empty(), !builder.HasEntries());
    return builder.HasEntries() ? std::optional(Read(object)) : std::nullopt;
}

TEST(SimpleIndexBuilder, EntriesNameTheLatestKeyFrameAndThePacketsItSpans) {
    const auto index = Index({
        Packet({{kAudio, true, 1, 0, 3000}, {kVideo, true, 5, 0, 3100}}),
        Packet({{kVideo, true, 5, 4, 3100}, {kAudio, true, 2, 0, 3150}}),
        Packet({{kVideo, true, 5, 8, 3100}}),
        Packet({{kVideo, false, 6, 0, 3140}}),
        Packet({{kVideo, true, 7, 0, 5200}}),
        Packet({{kAudio, true, 3, 0, 5300}}),
        // A fragment after a packet without one is no longer followed.
        Packet({{kVideo, true, 7, 4, 5200}}),
        Packet({{kAudio, true, 4, 0, 7900}}),
    });
    ASSERT_TRUE(index);
    // Entries for 0..5 s: the key frame at 3.1 s, also before it; 6 and 7 s:
    // the one at 5.2 s. Audio at 7.9 s makes eight entries.
    const Entry first{0, 3}, second{4, 1};
    EXPECT_EQ(index->entries,
              (std::vector<Entry>{first, first, first, first, first, first, second, second}));
    EXPECT_EQ(index->maxPacketCount, 3u);
    EXPECT_EQ(index->interval, 10'000'000u);
}

TEST(SimpleIndexBuilder, StartsNoEntryNamesDoNotCountTowardsMaximumPacketCount) {
    const auto index = Index({
        Packet({{kVideo, true, 1, 0, 100}}),
        Packet({{kVideo, true, 2, 0, 1100}}),  // spans three packets, but 1.9 s follows
        Packet({{kVideo, true, 2, 4, 1100}}),
        Packet({{kVideo, true, 2, 8, 1100}}),
        Packet({{kVideo, true, 3, 0, 1900}}),
        Packet({{kVideo, false, 4, 0, 2500}}),
    });
    ASSERT_TRUE(index);
    EXPECT_EQ(index->entries, (std::vector<Entry>{{0, 1}, {0, 1}, {4, 1}}));
    EXPECT_EQ(index->maxPacketCount, 1u);
}

TEST(SimpleIndexBuilder, WhatCountsAsAStartDependsOnTheVideoStreams) {
    const std::vector<Bytes> packets = {
        Packet({{kAudio, false, 1, 0, 0}}),
        Packet({{kAudio, false, 2, 0, 600}, {3, true, 1, 0, 700}}),
        Packet({{kAudio, false, 3, 0, 1200}, {kVideo, false, 9, 0, 1300}}),
        Packet({{kAudio, false, 4, 0, 1900, true}}),
        Packet({{kAudio, false, 5, 4, 2400}}),  // a tail: time, but no start
    };
    // Audio only: every object start counts, compressed ones too.
    auto index = Index(packets, {});
    ASSERT_TRUE(index);
    EXPECT_EQ(index->entries, (std::vector<Entry>{{0, 1}, {1, 1}, {3, 1}}));
    // With a video stream, neither audio, another stream's key frames nor
    // its own P-frames are places to start.
    EXPECT_FALSE(Index(packets));
    EXPECT_FALSE(Index({}));
}

TEST(SimpleIndexBuilder, DamagedPacketsAddNothing) {
    Bytes cut = Packet({{kAudio, true, 8, 0, 0xFFFFFF00}, {kAudio, true, 9, 0, 0xFFFFFF00}});
    // The second payload's length (after a 21-byte payload from byte 13 and
    // its own 15 bytes of header) runs past the packet.
    cut[49] = 0xFF, cut[50] = 0xFF;
    std::vector<Bytes> packets = {
        Packet({{kVideo, true, 1, 0, 3100}}),
        Bytes(kPacketSize, 0),  // a gap: the key frame's span ends here
        Packet({{kVideo, true, 1, 4, 3100}}),
        cut,
        Bytes(kPacketSize, 0xFF),
    };
    const Bytes whole = Packet({{kVideo, true, 2, 0, 0xFFFFFF00}});
    for (size_t n = 0; n < whole.size(); ++n) {
        packets.emplace_back(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(n));
    }
    const auto index = Index(packets);
    ASSERT_TRUE(index);
    EXPECT_EQ(index->entries, std::vector<Entry>(4, Entry{0, 1}));
}

TEST(SimpleIndexBuilder, ObjectFieldsAndTheBoundOnEntries) {
    SimpleIndexBuilder builder({}, 500);
    builder.AddPacket(7, Packet({{kAudio, false, 1, 0, 0}}));
    Guid id;
    id.bytes.fill(0x5A);
    ReadIndex index = Read(builder.Object(id));
    EXPECT_EQ(index.fileId, id);
    EXPECT_EQ(index.interval, 5'000'000u);
    EXPECT_EQ(index.entries, (std::vector<Entry>{Entry{7, 1}}));

    // A time near the end of the 32-bit range at one entry a millisecond:
    // the index stops where the cutter would no longer take it over.
    SimpleIndexBuilder fine({}, 1);
    fine.AddPacket(0, Packet({{kAudio, false, 1, 0, 0xFFFFFFFF}}));
    const Bytes object = fine.Object(id);
    EXPECT_LE(object.size(), limits::kMaxSimpleIndexBytes);
    EXPECT_GT(object.size() + 6, limits::kMaxSimpleIndexBytes);
    index = Read(object);
    EXPECT_EQ(index.entries.back(), (Entry{0, 1}));
}

// Files made by ffmpeg, indexed and checked against what ffprobe reads of
// their packets: where each frame starts and its presentation time.
struct ProbedStart {
    uint32_t timeMs = 0;  // preroll included, as the packets carry it
    uint32_t packet = 0;
    uint32_t size = 0;
};

class SimpleIndexFromFfmpeg : public testing::Test {
protected:
    struct Clip {
        test::AsfClip clip;
        uint64_t preroll = 0;
        std::vector<uint8_t> video;
    };

    static void SetUpTestSuite() {
        s_dir = new test::TempDir;
        test::AsfRecipe av;
        av.seconds = 12;
        av.gop = 25;  // a key frame a second
        s_av = new Clip(Make("av.asf", av));
        test::AsfRecipe audio;
        audio.video = false;
        audio.seconds = 5;
        audio.packetSize = 1500;
        s_audio = new Clip(Make("audio.wma", audio));
    }
    static void TearDownTestSuite() {
        delete s_av;
        delete s_audio;
        delete s_dir;
    }

    static Clip Make(const std::string& name, const test::AsfRecipe& recipe) {
        Clip c;
        c.clip = test::AsfClip::Make(*s_dir / name, recipe);
        AsfInfo info;
        EXPECT_TRUE(info.Parse(c.clip.path));
        c.preroll = info.GetFileProperties().preroll;
        c.video = AsfPacketTools::VideoStreamNumbers(c.clip.StreamHeader());
        return c;
    }

    // The frames ffprobe reads of one kind ("video" or "audio"); keyOnly
    // keeps key frames only. latest gets the latest time of any frame.
    static std::vector<ProbedStart> ProbeFrames(const Clip& c, const std::string& kind,
                                                bool keyOnly, uint32_t* latest) {
        const auto r = test::Run({"ffprobe", "-v", "error", "-show_entries",
                                  "packet=codec_type,pts,pos,size,flags", "-of", "compact=p=0",
                                  c.clip.path.string()});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::vector<ProbedStart> starts;
        std::istringstream lines(r.out);
        std::string line;
        while (std::getline(lines, line)) {
            std::map<std::string, std::string> f;
            std::istringstream fields(line);
            for (std::string kv; std::getline(fields, kv, '|');) {
                const size_t eq = kv.find('=');
                f[kv.substr(0, eq)] = eq == std::string::npos ? "" : kv.substr(eq + 1);
            }
            ProbedStart s;
            s.timeMs = static_cast<uint32_t>(std::stoul(f["pts"]) + c.preroll);
            s.packet = static_cast<uint32_t>((std::stoull(f["pos"]) - c.clip.DataStart()) /
                                             c.clip.packetSize);
            s.size = static_cast<uint32_t>(std::stoul(f["size"]));
            *latest = std::max(*latest, s.timeMs);
            if (f["codec_type"] == kind && (!keyOnly || f["flags"].starts_with("K"))) {
                starts.push_back(s);
            }
        }
        return starts;
    }

    static Bytes Build(const Clip& c, std::optional<uint32_t> zeroed = std::nullopt) {
        SimpleIndexBuilder builder(c.video);
        const Bytes zeros(c.clip.packetSize, 0);
        for (uint32_t n = 0; n < c.clip.packetCount; ++n) {
            builder.AddPacket(n, n == zeroed ? zeros : c.clip.Packet(n));
        }
        return builder.Object(Guid{});
    }

    // Each entry names the packet of the latest start at or before its time
    // (the first start before that), spanning as many packets as its size
    // needs; the count follows the latest time of any frame.
    static void ExpectLatestStarts(const Clip& c, const ReadIndex& index,
                                   const std::vector<ProbedStart>& starts, uint32_t latest) {
        ASSERT_FALSE(starts.empty());
        EXPECT_EQ(index.entries.size(), latest / 1000 + 1);
        uint32_t maxCount = 0;
        for (size_t i = 0; i < index.entries.size(); ++i) {
            const uint32_t time = static_cast<uint32_t>(i * 1000);
            const ProbedStart* want = &starts.front();
            for (const ProbedStart& s : starts) {
                want = s.timeMs <= time ? &s : want;
            }
            const Entry& e = index.entries[i];
            EXPECT_EQ(e.packet, want->packet) << "entry " << i;
            EXPECT_GE(uint64_t{e.packets} * c.clip.packetSize, want->size) << "entry " << i;
            // Packets between the first and the last are the object's alone.
            const uint32_t middle = e.packets > 2 ? e.packets - 2 : 0;
            EXPECT_LE(middle * (c.clip.packetSize / 2), want->size) << "entry " << i;
            const auto packet = c.clip.Packet(e.packet);
            if (time >= starts.front().timeMs) {
                EXPECT_LE(ReadLe32(&packet[AsfPacketTools::SendTimeOffset(packet)]), time);
            }
            maxCount = std::max<uint32_t>(maxCount, e.packets);
        }
        EXPECT_EQ(index.maxPacketCount, maxCount);
    }

    static inline test::TempDir* s_dir = nullptr;
    static inline Clip* s_av = nullptr;
    static inline Clip* s_audio = nullptr;
};

TEST_F(SimpleIndexFromFfmpeg, VideoEntriesNameTheLatestKeyFrameAtOrBeforeTheirTime) {
    uint32_t latest = 0;
    const auto keys = ProbeFrames(*s_av, "video", true, &latest);
    ASSERT_GE(keys.size(), 12u);
    ExpectLatestStarts(*s_av, Read(Build(*s_av)), keys, latest);
}

TEST_F(SimpleIndexFromFfmpeg, AudioOnlyEntriesNameTheLatestObjectStart) {
    uint32_t latest = 0;
    const auto objects = ProbeFrames(*s_audio, "audio", false, &latest);
    ExpectLatestStarts(*s_audio, Read(Build(*s_audio)), objects, latest);
}

TEST_F(SimpleIndexFromFfmpeg, AKeyFrameLostInAGapFallsBackToTheOneBefore) {
    uint32_t latest = 0;
    auto keys = ProbeFrames(*s_av, "video", true, &latest);
    ASSERT_GE(keys.size(), 6u);
    const uint32_t zeroed = keys[5].packet;
    keys.erase(keys.begin() + 5);
    ExpectLatestStarts(*s_av, Read(Build(*s_av, zeroed)), keys, latest);
}

// A player seeking by the index starts on the key frame before the time
// asked for: ffmpeg decodes from 10 s without a word, and ffprobe's first
// frame there is a key frame within a second before it. An index naming
// the first packet throughout shows the index is what they follow.
TEST_F(SimpleIndexFromFfmpeg, PlayersSeekByTheIndexToAKeyFrame) {
    const auto firstFrameAfterSeek = [](const std::filesystem::path& file) {
        const auto r = test::Run({"ffprobe", "-v", "error", "-read_intervals", "10%+1",
                                  "-select_streams", "v:0", "-show_entries",
                                  "frame=key_frame,pts_time", "-of", "compact=p=0", file.string()});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out.substr(0, r.out.find('\n'));
    };
    const auto write = [&](const std::string& name, const Bytes& index) {
        Bytes file = s_av->clip.WholeRecording();
        file.insert(file.end(), index.begin(), index.end());
        WriteLe64(&file[s_av->clip.PropertiesOffset() + asf::fp::kFileSize], file.size());
        const auto path = *s_dir / name;
        test::WriteFileBytes(path, file);
        return path;
    };
    Bytes index = Build(*s_av);
    const auto indexed = write("indexed.asf", index);
    const auto r = test::Run(
        {"ffmpeg", "-v", "error", "-ss", "10", "-i", indexed.string(), "-f", "null", "-"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    const std::string first = firstFrameAfterSeek(indexed);
    EXPECT_TRUE(first.starts_with("key_frame=1|pts_time=9.")) << first;

    for (size_t at = 56 + 6; at + 6 <= index.size(); at += 6) {
        std::copy_n(index.begin() + 56, 6, index.begin() + static_cast<ptrdiff_t>(at));
    }
    const std::string start = firstFrameAfterSeek(write("start.asf", index));
    EXPECT_TRUE(start.starts_with("key_frame=1|pts_time=0.")) << start;
}

}  // namespace
}  // namespace tapewell
