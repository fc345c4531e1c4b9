#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "PlayerTestMedia.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

namespace fs = std::filesystem;
using test::CommandResult;

const std::string kCli = TAPEWELL_CLI_PATH;

// The "Found a sample" lines' times and files.
std::vector<std::pair<long, std::string>> LoggedPictures(const std::string& out) {
    std::vector<std::pair<long, std::string>> found;
    const std::string head = "Found a sample at time ";
    const std::string middle = " ms\t[";
    std::istringstream lines(out);
    for (std::string text; std::getline(lines, text);) {
        size_t mid = text.find(middle);
        if (text.starts_with(head) && mid != std::string::npos && text.ends_with("]\r")) {
            size_t file = mid + middle.size();
            found.emplace_back(std::stol(text.substr(head.size(), mid - head.size())),
                               text.substr(file, text.size() - 2 - file));
        }
    }
    return found;
}

// The picture as packed BGR rows, decoded by ffmpeg.
std::string RawPixels(const std::vector<std::string>& input) {
    std::vector<std::string> argv = {"ffmpeg", "-v", "error"};
    argv.insert(argv.end(), input.begin(), input.end());
    argv.insert(argv.end(), {"-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "bgr24", "-"});
    CommandResult r = test::Run(argv);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
}

// ffmpeg's own picture of the clip at a frame time.
std::string FfmpegFrameAt(const fs::path& clip, long ms) {
    CommandResult frames =
        test::Run({"ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                   "frame=pts_time", "-of", "csv=p=0", clip.string()});
    std::istringstream times(frames.out);
    int index = 0;
    for (std::string t; std::getline(times, t); ++index) {
        if (std::lround(std::stod(t) * 1000) == ms) {
            return RawPixels(
                {"-i", clip.string(), "-vf", "select=eq(n\\," + std::to_string(index) + ")"});
        }
    }
    ADD_FAILURE() << "ffprobe has no frame at " << ms << " ms";
    return {};
}

double MeanDifference(const std::string& a, const std::string& b) {
    EXPECT_EQ(a.size(), b.size());
    double sum = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        sum += std::abs(static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]));
    }
    return a.empty() ? 255.0 : sum / static_cast<double>(a.size());
}

// The pictures' bytes are compared with ffmpeg's frames below.
TEST(SnapshotCli, SavesOnePicturePerSecondOfTheClip) {
    test::TempDir dir;
    CommandResult r = test::Run({kCli, "snapshot", test::OddWidthClip().string(), "--every", "1",
                                 "--count", "1", "--dir", (dir / "out").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto pictures = LoggedPictures(r.out);
    ASSERT_EQ(pictures.size(), 3u) << r.out;  // a 3 s clip
    for (size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i].first / 1000, static_cast<long>(i));
        EXPECT_TRUE(fs::exists(pictures[i].second)) << pictures[i].second;
    }
    EXPECT_EQ(fs::path(pictures[0].second).filename().string().substr(0, 10), "odd_00_00_");
}

TEST(SnapshotCli, TakesFivePicturesEveryTwoSecondsLikeFfmpegsFrames) {
    test::TempDir dir;
    const fs::path clip = test::OddWidthClip();
    CommandResult r = test::Run({kCli, "snapshot", clip.string(), "--every", "2", "--count", "5",
                                 "--dir", dir.Path().string(), "--name", "name"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto pictures = LoggedPictures(r.out);
    ASSERT_EQ(pictures.size(), 8u) << r.out;  // 0, 400, ... 2800 ms
    for (size_t i = 1; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i].first - pictures[i - 1].first, 400);
    }
    for (size_t i : {size_t{0}, size_t{5}}) {
        auto [ms, file] = pictures[i];
        char name[64];
        std::snprintf(name, sizeof(name), "name_%02ld_%02ld_%03ld.bmp", ms / 60000, ms / 1000 % 60,
                      ms % 1000);
        EXPECT_EQ(fs::path(file).filename(), name);
        EXPECT_LT(MeanDifference(RawPixels({"-i", file}), FfmpegFrameAt(clip, ms)), 2.5) << file;
    }
}

TEST(SnapshotCli, RefusesSoundOnlyMediaAndBadSettings) {
    test::TempDir dir;
    CommandResult none = test::Run({kCli, "snapshot", test::VideoClip().string(), "--every", "1",
                                    "--count", "0", "--dir", dir.Path().string()});
    EXPECT_EQ(none.exitCode, 0) << none.err;
    EXPECT_TRUE(fs::is_empty(dir.Path()));
    EXPECT_EQ(test::Run({kCli, "snapshot", test::SoundClip().string(), "--every", "1", "--count",
                         "1", "--dir", dir.Path().string()})
                  .exitCode,
              1);
    EXPECT_EQ(test::Run({kCli, "snapshot", test::VideoClip().string(), "--every", "101", "--count",
                         "1", "--dir", dir.Path().string()})
                  .exitCode,
              64);
}

TEST(PlayCli, PrintsTicksCaptionsAndTheEndOrStopsAfterTheSeconds) {
    test::TempDir dir;
    fs::copy_file(test::VideoClip(), dir / "clip.asf");
    std::string sami = "<SAMI><BODY><SYNC Start=300><P>first<br>line</BODY></SAMI>";
    test::WriteFileBytes(dir / "clip.smi", {sami.begin(), sami.end()});
    CommandResult r = test::Run({kCli, "play", (dir / "clip.asf").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("video 320x240"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("caption 0:00:00: first | line\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("position 0:00:01 / 0:00:02\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("end of stream\n"), std::string::npos) << r.out;

    r = test::Run({kCli, "play", test::SoundClip().string(), "--seconds", "1"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out.ends_with("stopped after 1 s\n")) << r.out;
}

}  // namespace
}  // namespace tapewell
