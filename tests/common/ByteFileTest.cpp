#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "common/ByteSink.h"
#include "common/ByteSource.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

size_t EntryCount(const fs::path& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

// The old file stays whole until Commit, a sink given up leaves no trace,
// and WriteAt patches what was written and may extend it only at its end.
TEST(FileSink, ReplacesAFileOnlyWhenCommitted) {
    test::TempDir dir;
    const fs::path path = dir / "out.bin";
    test::WriteFileBytes(path, {'o', 'l', 'd'});
    {
        auto sink = FileSink::Create(path);
        ASSERT_TRUE(sink) << sink.error().message;
        ASSERT_TRUE((*sink)->Write(Bytes{1, 2, 3, 4}));
        EXPECT_EQ(EntryCount(dir.Path()), 2u);
    }
    EXPECT_EQ(test::ReadFileBytes(path), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(EntryCount(dir.Path()), 1u);

    auto sink = FileSink::Create(path);
    ASSERT_TRUE(sink);
    FileSink& out = **sink;
    ASSERT_TRUE(out.Write(Bytes{1, 2, 3, 4}));
    ASSERT_TRUE(out.WriteAt(1, Bytes{9, 9}));
    ASSERT_TRUE(out.WriteAt(4, Bytes{5}));
    EXPECT_EQ(out.Size(), 5u);
    ASSERT_TRUE(out.Commit());
    EXPECT_EQ(test::ReadFileBytes(path), (Bytes{1, 9, 9, 4, 5}));
    EXPECT_EQ(EntryCount(dir.Path()), 1u);

    const ErrorOr<void> again = out.Commit();
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().message, "already closed");
    EXPECT_FALSE(out.Write(Bytes{1}));

    MemorySink memory;
    ASSERT_TRUE(memory.Write(Bytes{1, 2}));
    EXPECT_TRUE(memory.WriteAt(2, Bytes{3}));
    EXPECT_FALSE(memory.WriteAt(4, Bytes{4})) << "a gap would have no bytes to show";
    EXPECT_EQ(memory.Bytes(), (Bytes{1, 2, 3}));
}

// The errors carry the errno of the failed call and its strerror text, the
// words the list and playlist writers pass on to the user.
TEST(FileSink, FailuresCarryTheSystemReason) {
    test::TempDir dir;
    const auto missing = FileSink::Create(dir / "no" / "out.bin");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, ENOENT);
    EXPECT_EQ(missing.error().message, "No such file or directory");

    test::WriteFileBytes(dir / "plain", {'x'});
    const ErrorOr<void> underFile = WriteNewFile(dir / "plain" / "out.bin", Bytes{1});
    ASSERT_FALSE(underFile);
    EXPECT_EQ(underFile.error().code, ENOTDIR);
    EXPECT_EQ(test::ReadFileBytes(dir / "plain"), Bytes{'x'});
}

// Only a regular file opens: a folder or a pipe would make a reader block
// or read nonsense.
TEST(FileSource, OpensOnlyRegularFilesAndMovesTheOpenFile) {
    test::TempDir dir;
    const auto missing = FileSource::Open(dir / "none");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, ENOENT);
    EXPECT_EQ(FileSource::Open(dir.Path()).error().message, "Is a directory");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(FileSource::Open(dir / "pipe").error().message, "Not a regular file");

    test::WriteFileBytes(dir / "f", {1, 2, 3});
    ErrorOr<FileSource> opened = FileSource::Open(dir / "f");
    ASSERT_TRUE(opened);
    FileSource moved = std::move(*opened);
    EXPECT_EQ(moved.Size(), 3u);
    Bytes tail(4);
    EXPECT_EQ(moved.ReadAt(1, tail), 2u);
    EXPECT_EQ(tail, (Bytes{2, 3, 0, 0}));
}

}  // namespace
}  // namespace tapewell
