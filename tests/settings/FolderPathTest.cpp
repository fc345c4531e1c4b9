#include "settings/FolderPath.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/Limits.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

namespace fs = std::filesystem;

// Every missing level is made, a dotted last part is a file name and not a
// folder, and a level that is a file stops the walk.
TEST(CreateFolderPath, CreatesEveryMissingFolderLevel) {
    test::TempDir dir;
    EXPECT_TRUE(CreateFolderPath((dir / "a" / "b" / "c").string()));
    EXPECT_TRUE(fs::is_directory(dir / "a" / "b" / "c"));
    EXPECT_TRUE(CreateFolderPath((dir / "a" / "b" / "c").string()));  // already there
    EXPECT_TRUE(CreateFolderPath(dir.Path().string() + "//d//e/"));
    EXPECT_TRUE(fs::is_directory(dir / "d" / "e"));
    EXPECT_TRUE(CreateFolderPath("/"));
    EXPECT_FALSE(CreateFolderPath(""));

    EXPECT_TRUE(CreateFolderPath((dir / "x" / "y" / "clip.asf").string()));
    EXPECT_TRUE(fs::is_directory(dir / "x" / "y"));
    EXPECT_FALSE(fs::exists(dir / "x" / "y" / "clip.asf"));
    EXPECT_TRUE(CreateFolderPath((dir / "v1.0" / "z").string()));
    EXPECT_TRUE(fs::is_directory(dir / "v1.0" / "z"));

    test::WriteFileBytes(dir / "file", {'x'});
    EXPECT_FALSE(CreateFolderPath((dir / "file").string()));
    EXPECT_FALSE(CreateFolderPath((dir / "file" / "sub" / "deeper").string()));
    EXPECT_FALSE(fs::exists(dir / "file" / "sub"));
    EXPECT_FALSE(CreateFolderPath("/proc/no-such-thing/here"));
}

// The path must fit the folder buffer with its terminator.
TEST(CreateFolderPath, LongestPathFitsTheBuffer) {
    test::TempDir dir;
    std::string path = dir.Path().string();
    while (path.size() + 201 < limits::kFolderPathBuffer - 1) {
        path += "/" + std::string(200, 'd');
    }
    path += "/" + std::string(limits::kFolderPathBuffer - 2 - path.size(), 'e');
    ASSERT_EQ(path.size(), limits::kFolderPathBuffer - 1);
    EXPECT_TRUE(CreateFolderPath(path));
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_FALSE(CreateFolderPath(path + "f"));
    EXPECT_FALSE(fs::exists(path + "f"));
}

}  // namespace
}  // namespace tapewell
