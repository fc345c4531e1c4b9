#include "player/FrameSnapshot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/LittleEndian.h"
#include "player/BmpFile.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

constexpr int64_t kMs = 1'000'000;

// A 2 × 2 frame whose rows are 8 bytes apart, as GStreamer pads them.
struct SmallFrame {
    std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    VideoFrame At(int64_t timeNs) const { return {timeNs, 2, 2, 8, bytes}; }
};

// Frame times in ms that a capture takes from 25 frames a second for 3 s.
std::vector<int64_t> TakenTimes(int every, int pictures) {
    test::TempDir dir;
    FrameSnapshot::Settings settings{dir.Path(), "clip", every, pictures, true};
    FrameSnapshot snapshot(settings);
    SmallFrame frame;
    std::vector<int64_t> taken;
    for (int64_t ms = 0; ms < 3000; ms += 40) {
        if (snapshot.OnFrame(frame.At(ms * kMs))) {
            taken.push_back(ms);
        }
    }
    return taken;
}

// Intervals of whole seconds are run end to end by SnapshotCliTest; an
// interval of 0 takes every frame, which no clip there shows.
TEST(FrameSnapshot, NoIntervalTakesEveryFrame) {
    EXPECT_EQ(TakenTimes(0, 1).size(), 75u);
}

TEST(FrameSnapshot, NamesLabelsAndLogsSavedPictures) {
    const int64_t t = 3725250 * kMs;  // 1:02:05.250
    EXPECT_EQ(FrameSnapshot::PictureName("/save", "name", t), "/save/name_62_05_250.bmp");
    EXPECT_EQ(FrameSnapshot::TimeLabel(t, true), "1:02:05:250");
    EXPECT_EQ(FrameSnapshot::TimeLabel(t, false), "[1:02:05:250]");

    test::TempDir dir;
    std::vector<std::string> lines;
    std::vector<int> slots;
    FrameSnapshot snapshot(
        {dir.Path(), "name", 0, 1, false}, [&](std::string_view line) { lines.emplace_back(line); },
        [&](const VideoFrame&, const FrameSnapshot::Taken& taken) { slots.push_back(taken.slot); });
    SmallFrame frame;
    for (int i = 0; i < 4; ++i) {
        snapshot.OnFrame(frame.At(t + i * kMs));
    }
    EXPECT_EQ(slots, (std::vector<int>{0, 1, 2, 0}));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Found a sample at time 3725250 ms\t[" +
                            (dir / "name_62_05_250.bmp").string() + "]\r\n");
    snapshot.SetPreviewOnly(true);
    snapshot.OnFrame(frame.At(t + 10 * kMs));
    EXPECT_EQ(lines.size(), 4u);
    EXPECT_FALSE(std::filesystem::exists(dir / "name_62_05_260.bmp"));
}

TEST(BmpBytes, WritesBottomUpRowsPaddedToFourBytes) {
    SmallFrame frame;
    auto bmp = BmpBytes(frame.At(0));
    // The header's other fields are read back by ffmpeg in SnapshotCliTest;
    // the file size is one that decoders let pass.
    ASSERT_EQ(bmp.size(), 54u + 16u);
    EXPECT_EQ(ReadLe32(&bmp[2]), 70u);
    std::vector<uint8_t> pixels(bmp.begin() + 54, bmp.end());
    EXPECT_EQ(pixels, (std::vector<uint8_t>{7, 8, 9, 10, 11, 12, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0}));

    VideoFrame cut = frame.At(0);
    cut.pixels = cut.pixels.first(13);  // the last row one byte short
    EXPECT_TRUE(BmpBytes(cut).empty());
}

TEST(FrameSnapshot, DeleteAllRemovesOnlyThisBasesPictures) {
    test::TempDir dir;
    // Another base name that starts with this one ("clip2") keeps its
    // pictures, and so does a file named like the base alone.
    for (const char* name : {"clip_00_01_000.bmp", "clip_save.bmp", "clip2_00_01_000.bmp",
                             "clip2.bmp", "clip.bmp", "clip_.txt", "other.bmp", "clip.bmp.txt"}) {
        test::WriteFileBytes(dir / name, {1});
    }
    std::filesystem::create_directory(dir / "clip_dir.bmp");
    EXPECT_EQ(FrameSnapshot::FindPictures(dir.Path(), "clip").size(), 2u);
    EXPECT_EQ(FrameSnapshot::DeletePictures(dir.Path(), "clip"), 2u);
    for (const char* kept : {"clip2_00_01_000.bmp", "clip2.bmp", "clip.bmp", "other.bmp"}) {
        EXPECT_TRUE(std::filesystem::exists(dir / kept)) << kept;
    }
    EXPECT_TRUE(std::filesystem::exists(dir / "clip_dir.bmp"));
    EXPECT_EQ(FrameSnapshot::DeletePictures(dir.Path(), "clip"), 0u);
}

}  // namespace
}  // namespace tapewell
