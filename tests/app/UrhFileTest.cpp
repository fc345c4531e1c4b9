#include <gtest/gtest.h>

#include <cerrno>

#include "app/ListFiles.h"
#include "app/RecordList.h"
#include "app/UrhFile.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

TEST(UrhFile, ReadsTheNumberedFolderSections) {
    test::TempDir dir;
    const std::string text =
        "\xEF\xBB\xBF[Info]\r\nFiles=3\r\n"
        "[Folder 0]\r\nTitle=  First  \r\nUrl=http://h/a%20b.asf\r\nPath=c:\\x\r\n"
        "[folder 1]\r\nTitle=No address\r\n"
        "[Folder 2]\r\nTITLE=\r\nurl=\"mms://h/v/clip.wmv\"\r\nUrl=mms://h/second\r\n"
        "[Folder 2]\r\nTitle=duplicate section\r\n"
        "[Folder 3]\r\nUrl=http://h/beyond-files\r\n";
    test::WriteFileBytes(dir / "f.urh", {text.begin(), text.end()});
    RecordList list;
    long files = 0;
    ASSERT_TRUE(LoadFolderList(list, dir / "f.urh", &files));
    EXPECT_EQ(files, 3);
    ASSERT_EQ(list.RowCount(), 2);
    EXPECT_EQ(list.GetCellText(0, kColFile), "First");
    EXPECT_EQ(list.GetCellText(0, kColOriginalFile), "http://h/a%20b.asf");
    EXPECT_EQ(list.GetCellText(1, kColFile), "clip");
    EXPECT_EQ(list.GetCellText(1, kColOriginalFile), "mms://h/v/clip.wmv");
    EXPECT_EQ(list.GetCellText(1, kColType), "");
    EXPECT_EQ(list.Row(0).mark, kMarkNetwork);
    EXPECT_EQ(list.Row(1).mark, kMarkNetwork);

    // Values count up to 199 characters; a negative or huge count reads no
    // more than it can.
    UrhFile::Contents long_ =
        UrhFile::Parse("[Info]\nFiles=1\n[Folder 0]\nUrl=" + std::string(300, 'u'));
    ASSERT_EQ(long_.folders.size(), 1u);
    EXPECT_EQ(long_.folders[0].url.size(), 199u);
    EXPECT_TRUE(UrhFile::Parse("[Info]\nFiles=-4\n[Folder 0]\nUrl=x").folders.empty());
    EXPECT_EQ(UrhFile::Parse("[Info]\nFiles=99999999999999999999999\n").files, 10'000);
    EXPECT_EQ(UrhFile::Parse("[Info\nFiles=2").files, 0);
    EXPECT_EQ(LoadFolderList(list, dir / "none.urh").error().code, ENOENT);
}

}  // namespace
}  // namespace tapewell
