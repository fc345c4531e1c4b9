// Output names and the address classification.
#include <gtest/gtest.h>

#include "recording/OutputPaths.h"
#include "recording/SourceFlags.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

namespace fs = std::filesystem;

TEST(OutputPaths, NamesFromTheItemOrTheAddress) {
    const fs::path base = "/b";
    EXPECT_EQ(MakeOutputPath(base, "http://host/dir/clip.wmv?id=7", "News"), "/b/News.wmv");
    EXPECT_EQ(MakeOutputPath(base, "http://host/dir/clip.wmv?id=7 ", ""), "/b/clip.wmv");
    EXPECT_EQ(MakeOutputPath(base, "mms://host/live", "name"), "/b/name.asf");
    EXPECT_EQ(MakeOutputPath(base, "mms://host/.hidden", "name"), "/b/name.asf");
    EXPECT_EQ(MakeOutputPath(base, "mms://host:8080/", ""), "/b/host.asf");
    // Names from the network never leave the base folder.
    EXPECT_EQ(MakeOutputPath(base, "mms://host/a.asf", "../../x"), "/b/______x.asf");
    EXPECT_EQ(MakeOutputPath(base, "mms://host/a.asf", "Title/with\\slash\x01"),
              "/b/Title_with_slash_.asf");
    EXPECT_EQ(MakeOutputPath(base, "http://host/..", ""), "/b/__");
    EXPECT_EQ(MakeOutputPath(base, "C:\\dir\\clip.asf", ""), "/b/clip.asf");
    EXPECT_EQ(
        MakeOutputPath(base, "mms://host/a.asf", std::string(300, 'n')).filename().string().size(),
        204u);
}

TEST(OutputPaths, UniqueNames) {
    test::TempDir dir;
    EXPECT_EQ(MakeUniquePath(dir / "x.asf"), dir / "x(0).asf");
    test::WriteFileBytes(dir / "x(0).asf", {1});
    EXPECT_EQ(MakeUniquePath(dir / "x.asf"), dir / "x(1).asf");
    for (int n = 1; n < 99; ++n) {
        test::WriteFileBytes(dir / ("x(" + std::to_string(n) + ").asf"), {1});
    }
    EXPECT_EQ(MakeUniquePath(dir / "x.asf"), dir / "x(99).asf");
    test::WriteFileBytes(dir / "x(99).asf", {1});
    EXPECT_EQ(MakeUniquePath(dir / "x.asf"), std::nullopt);
}

TEST(SourceFlagsTest, Classification) {
    // rtsp:// becomes mms:// only for the classification; an .asf address
    // without "mms:" tries CHttpRecorder first.
    EXPECT_EQ(EngineFlags("rtsp://host/a.asf"), kEngineNoMms | kEngineWindowsMedia);
    EXPECT_EQ(EngineFlags("mmsu://host/a.asf"), kEngineNoMms | kEngineWindowsMedia);
    EXPECT_EQ(EngineFlags("MMST://host/a.mp3"), kEngineMms | kEngineOtherMedia);
    EXPECT_EQ(EngineFlags("http://host/live"), kEngineNoMms | kEngineNoMediaType);
    EXPECT_TRUE(IsPlaylistSource(SourceFlags("mms://host/a.ASX")));
    EXPECT_FALSE(IsPlaylistSource(SourceFlags("mms://host/a.asf")));

    test::TempDir dir;
    const std::string text =
        "<Asx version=\"3.0\"><Entry><Ref href=\"mms://h/a\"/></Entry></Asx>\n";
    test::WriteFileBytes(dir / "small.asf", {text.begin(), text.end()});
    EXPECT_TRUE(IsPlaylistSource(SourceFlags((dir / "small.asf").string())));
    std::vector<uint8_t> large(text.begin(), text.end());
    large.resize(3072, ' ');
    test::WriteFileBytes(dir / "large.asf", large);
    EXPECT_FALSE(IsPlaylistSource(SourceFlags((dir / "large.asf").string())));
    large.resize(3071);
    test::WriteFileBytes(dir / "large.asf", large);
    EXPECT_TRUE(IsPlaylistSource(SourceFlags((dir / "large.asf").string())));
}

}  // namespace
}  // namespace tapewell
