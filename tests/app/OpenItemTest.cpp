#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/IbhFile.h"
#include "app/OpenItem.h"
#include "app/RecentUrls.h"
#include "app/RecordList.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

void WriteText(const std::filesystem::path& path, const std::string& text) {
    test::WriteFileBytes(path, {text.begin(), text.end()});
}

std::string Asx(int entries) {
    std::string text = "<asx version=\"3.0\">\r\n";
    for (int i = 0; i < entries; ++i) {
        text += "<entry><ref href=\"mms://h/clip" + std::to_string(i) + ".asf\"/></entry>\r\n";
    }
    return text + "</asx>\r\n";
}

class OpenItemTest : public ::testing::Test {
protected:
    int Open(const std::string& path, const std::string& name = "",
             const std::string& option = "") {
        return OpenItem(list, recent, path, name, option, nullptr).value();
    }
    test::TempDir dir;
    RecordList list;
    RecentUrls recent;
};

TEST_F(OpenItemTest, ListFilesLoadButNameNoRow) {
    IbhList file;
    file.title = "Radio";
    file.records.push_back({"One", "mms://h/1.asf", "", "", ""});
    file.records.push_back({"Two", "http://h/2.wma", "", "", ""});
    ASSERT_TRUE(IbhFile::Save(dir / "x.ibh", file));
    list.AddItem("http://h/before.asf", "", "x", "");

    // A list has no one row: "/Rec x.ibh" must not record row 0 or any other.
    EXPECT_EQ(Open((dir / "x.ibh").string()), -1);
    ASSERT_EQ(list.RowCount(), 3);
    EXPECT_EQ(list.GetCellText(1, kColFile), "One");
    EXPECT_EQ(list.Title(), "Radio");
    EXPECT_TRUE(recent.Entries().empty());

    WriteText(dir / "f.urh", "[Info]\nFiles=1\n[Folder 0]\nUrl=mms://h/f.asf\nTitle=Folder\n");
    EXPECT_EQ(Open((dir / "f.urh").string()), -1);
    EXPECT_EQ(list.RowCount(), 4);

    WriteText(dir / "bad.ibh", "not a list");
    const ErrorOr<int> bad = OpenItem(list, recent, (dir / "bad.ibh").string(), "", "", nullptr);
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().message, "not a list file");
    EXPECT_EQ(list.RowCount(), 4);

    // A list file name that does not exist is an ordinary row.
    const int missing = Open((dir / "missing.ibh").string());
    EXPECT_EQ(missing, 4);
    EXPECT_EQ(list.GetCellText(missing, kColType), "ibh");

    // A list cut inside its second row adds the first and says what is lost;
    // a whole one leaves the warning empty.
    auto cut = test::ReadFileBytes(dir / "x.ibh");
    cut.resize(cut.size() - 1);
    test::WriteFileBytes(dir / "cut.ibh", cut);
    std::string warning = "stale";
    EXPECT_EQ(OpenItem(list, recent, (dir / "cut.ibh").string(), "", "", nullptr, &warning).value(),
              -1);
    EXPECT_EQ(warning, "list file is truncated: 1 of 2 rows");
    EXPECT_EQ(list.RowCount(), 6);
    EXPECT_EQ(OpenItem(list, recent, (dir / "x.ibh").string(), "", "", nullptr, &warning).value(),
              -1);
    EXPECT_EQ(warning, "");
}

TEST_F(OpenItemTest, PlaylistsBecomeOneRowPerAddress) {
    WriteText(dir / "clip.asx", Asx(3));
    EXPECT_EQ(Open((dir / "clip.asx").string()), 0);
    ASSERT_EQ(list.RowCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list.GetCellText(i, kColFile), "clip" + std::to_string(i));
        EXPECT_EQ(list.Row(i).mark, kMarkNetwork);
    }

    // One address keeps the playlist's own name.
    WriteText(dir / "single.wvx", "<asx><entry><ref href=\"mms://h/one.wmv\"/></entry></asx>");
    const int single = Open((dir / "single.wvx").string());
    EXPECT_EQ(list.GetCellText(single, kColFile), "single");

    // ASX text hiding under a small ".asf" name is read as a playlist.
    std::string disguised = Asx(1);
    disguised.resize(2048, ' ');
    WriteText(dir / "x.asf", disguised);
    const int fromAsf = Open((dir / "x.asf").string());
    EXPECT_EQ(list.GetCellText(fromAsf, kColOriginalFile), "mms://h/clip0.asf");
}

TEST_F(OpenItemTest, APlaylistOfTheSizeLimitIsARowOfItsOwn) {
    std::string text = Asx(2);
    text.resize(102'399, ' ');
    WriteText(dir / "under.asx", text);
    text.resize(102'400, ' ');
    WriteText(dir / "limit.asx", text);

    Open((dir / "under.asx").string());
    EXPECT_EQ(list.RowCount(), 2);  // parsed
    const int row = Open((dir / "limit.asx").string());
    ASSERT_EQ(list.RowCount(), 3);
    EXPECT_EQ(list.GetCellText(row, kColOriginalFile), (dir / "limit.asx").string());
    EXPECT_EQ(list.GetCellText(row, kColSize), "100K");

    // A playlist address that cannot be opened is one row too.
    const int missing = Open("http://h/live.asx");
    EXPECT_EQ(list.GetCellText(missing, kColOriginalFile), "http://h/live.asx");
}

TEST_F(OpenItemTest, OpeningTwiceAddsNoRowAndMovesTheAddressToTheFront) {
    const int first = Open("mms://h/a.asf");
    Open("mms://h/b.asf");
    EXPECT_EQ(Open("mms://h/a.asf"), first);
    EXPECT_EQ(list.RowCount(), 2);
    ASSERT_EQ(recent.Entries().size(), 2u);
    EXPECT_EQ(recent.Entries()[0], "mms://h/a.asf");
    EXPECT_EQ(recent.Entries()[1], "mms://h/b.asf");

    EXPECT_EQ(Open(""), -1);
    EXPECT_EQ(list.RowCount(), 2);
    EXPECT_EQ(recent.Entries().size(), 2u);
}

TEST_F(OpenItemTest, NamesAndSizeOptions) {
    WriteText(dir / "뉴스.wmv", std::string(2048, 'x'));
    const int local = Open((dir / "뉴스.wmv").string());
    EXPECT_EQ(list.GetCellText(local, kColFile), "뉴스");
    EXPECT_EQ(list.GetCellText(local, kColSize), "2K");
    EXPECT_EQ(list.Row(local).mark, kMarkLocal);

    WriteText(dir / "b.wmv", std::string(2048, 'x'));
    const int suppressed = Open((dir / "b.wmv").string(), "Named", " ");
    EXPECT_EQ(list.GetCellText(suppressed, kColFile), "Named");
    EXPECT_EQ(list.GetCellText(suppressed, kColSize), "");
}

}  // namespace
}  // namespace tapewell
