#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/AddressText.h"
#include "app/ListEdits.h"
#include "app/RecordList.h"
#include "app/RecordListObserver.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

class CellLog final : public RecordListObserver {
public:
    std::vector<std::pair<int, int>> cells;
    void OnCellChanged(int row, int column) override { cells.emplace_back(row, column); }
};

std::vector<std::string> Column(const RecordList& list, int column) {
    std::vector<std::string> texts;
    for (int row = 0; row < list.RowCount(); ++row) {
        texts.push_back(list.GetCellText(row, column));
    }
    return texts;
}

std::pair<int, int> Counts(const ReplaceCount& count) {
    return {count.changed, count.refused};
}

void AddRows(RecordList& list, const std::vector<std::string>& addresses) {
    for (const std::string& address : addresses) {
        list.AddItem(address, "", " ", "");
    }
}

TEST(ListEdits, ReplaceWithAnEmptySideChangesNothing) {
    RecordList list;
    AddRows(list, {"http://a/x.asf", "http://b/x.asf"});
    list.SetSelected(0, true);
    CellLog log;
    list.SetObserver(&log);
    EXPECT_EQ(ReplaceInAddresses(list, "", "y", true).changed, 0);
    EXPECT_EQ(ReplaceInAddresses(list, "x", "", true).changed, 0);
    EXPECT_EQ(ReplaceInNames(list, "", "y", true), 0);
    EXPECT_EQ(ReplaceInNames(list, "x", "", true), 0);
    EXPECT_EQ(PrependToNames(list, ""), 0);
    SetName(list, 0, "");
    EXPECT_TRUE(SetAddress(list, 0, ""));
    EXPECT_TRUE(log.cells.empty());
    EXPECT_EQ(Column(list, kColOriginalFile),
              (std::vector<std::string>{"http://a/x.asf", "http://b/x.asf"}));
}

TEST(ListEdits, ReplaceDoesNotRescanWhatItInserted) {
    RecordList list;
    AddRows(list, {"http://h/a.asf", "http://h/banana.asf"});
    list.SetSelected(1, true);
    // Only the first selected row for addresses; row 0 is not selected.
    EXPECT_EQ(ReplaceInAddresses(list, "a", "aa", false).changed, 1);
    EXPECT_EQ(list.GetCellText(0, kColOriginalFile), "http://h/a.asf");
    EXPECT_EQ(list.GetCellText(1, kColOriginalFile), "http://h/baanaanaa.aasf");
    EXPECT_EQ(list.GetCellText(1, kColType), "");  // ".aasf" is no known type any more

    list.SetCellText(0, kColFile, "aaa");
    list.SetCellText(1, kColFile, "xyz");
    EXPECT_EQ(ReplaceInNames(list, "aa", "a", true), 1);  // "xyz" does not count
    EXPECT_EQ(Column(list, kColFile), (std::vector<std::string>{"aa", "xyz"}));
}

TEST(ListEdits, AddressesStayUnique) {
    RecordList list;
    AddRows(list, {"mms://h/one.asf", "mms://h/two.asf", "mms://h/t.asf", "mms://h/ONE.asf"});
    // Row 1 would take row 0's address; case makes "ONE" another address.
    EXPECT_EQ(Counts(ReplaceInAddresses(list, "two", "one", true)), std::make_pair(0, 1));
    EXPECT_EQ(list.GetCellText(1, kColOriginalFile), "mms://h/two.asf");

    // Two rows that would both take the same new address: the first wins.
    RecordList pair;
    AddRows(pair, {"http://h/x1", "http://h/y1"});
    EXPECT_EQ(Counts(ReplaceInAddresses(pair, "x", "z", true)), std::make_pair(1, 0));
    EXPECT_EQ(Counts(ReplaceInAddresses(pair, "y", "z", true)), std::make_pair(0, 1));
    EXPECT_EQ(Column(pair, kColOriginalFile),
              (std::vector<std::string>{"http://h/z1", "http://h/y1"}));

    // An address a row gives up in the pass is free for a later row.
    RecordList chain;
    AddRows(chain, {"http://h/v1", "http://h/v"});
    EXPECT_EQ(Counts(ReplaceInAddresses(chain, "v", "v1", true)), std::make_pair(2, 0));
    EXPECT_EQ(Column(chain, kColOriginalFile),
              (std::vector<std::string>{"http://h/v11", "http://h/v1"}));

    auto duplicate = SetAddress(list, 0, "mms://h/two.asf");
    ASSERT_FALSE(duplicate);
    EXPECT_NE(duplicate.error().message.find("mms://h/two.asf"), std::string::npos);
    EXPECT_TRUE(SetAddress(list, 0, "mms://h/one.asf"));  // its own address: fine
    EXPECT_TRUE(SetAddress(list, 9, "mms://h/nine.asf"));
    ASSERT_TRUE(SetAddress(list, 0, "http://h/clip.wmv?x=1"));
    EXPECT_EQ(list.GetCellText(0, kColOriginalFile), "http://h/clip.wmv?x=1");
    EXPECT_EQ(list.GetCellText(0, kColType), "wmv");
    EXPECT_EQ(list.FindAddress("mms://h/one.asf"), RecordList::kNoRow);
}

TEST(ListEdits, NameEditsFollowTheSelectionAndTheMark) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "local.wmv", {});
    RecordList list;
    AddRows(list,
            {"mms://h/a.asf", (dir / "local.wmv").string(), "mms://h/b.asf", "mms://h/q.asf"});
    list.SetMark(2, kMarkRecorded);
    for (int row = 0; row < 3; ++row) {
        list.SetSelected(row, true);
    }
    CellLog log;
    list.SetObserver(&log);
    // Only the network row with mark exactly 1: not the local file, not the
    // recorded row, not the unselected row.
    EXPECT_EQ(PrependToNames(list, "[G]"), 1);
    EXPECT_EQ(Column(list, kColFile), (std::vector<std::string>{"[G]a", "local", "b", "q"}));
    EXPECT_EQ(log.cells, (std::vector<std::pair<int, int>>{{0, kColFile}}));

    // Names: every selected row, not only the first.
    EXPECT_EQ(ReplaceInNames(list, "l", "L", false), 1);
    EXPECT_EQ(ReplaceInNames(list, "b", "B", false), 1);
    EXPECT_EQ(ReplaceInNames(list, "q", "Q", false), 0);
    EXPECT_EQ(ReplaceInNames(list, "q", "Q", true), 1);
    EXPECT_EQ(Column(list, kColFile), (std::vector<std::string>{"[G]a", "LocaL", "B", "Q"}));
    SetName(list, 3, "renamed");
    EXPECT_EQ(list.GetCellText(3, kColFile), "renamed");
}

TEST(ListEdits, RemoveIdleRowsKeepsBusyAndPlayingRowsTitleAndCredentials) {
    RecordList list;
    AddRows(list, {"mms://h/1.asf", "mms://h/2.asf", "mms://h/3.asf", "mms://h/4.asf"});
    list.SetJobNumber(1, 4);
    list.SetPlayerState("mms://h/3.asf", true);
    list.SetTitle("Shows");
    list.SetCredentials("user", "secret");
    list.RemoveIdleRows();
    EXPECT_EQ(Column(list, kColOriginalFile),
              (std::vector<std::string>{"mms://h/2.asf", "mms://h/3.asf"}));
    EXPECT_EQ(list.Title(), "Shows");
    EXPECT_EQ(list.UserName(), "user");
    EXPECT_EQ(list.Password(), "secret");
}

TEST(ListEdits, PlainLocalMediaIsAnExistingFileThatIsNoPlaylist) {
    EXPECT_TRUE(IsPlainLocalMedia(kind::kExists | kind::kAsf));
    EXPECT_TRUE(IsPlainLocalMedia(kind::kExists | kind::kIbh));
    EXPECT_FALSE(IsPlainLocalMedia(kind::kMissing | kind::kAsf));
    for (uint32_t playlist :
         {kind::kAsx, kind::kWmx, kind::kWvx, kind::kPlaylistUnused, kind::kAsxInAsf}) {
        EXPECT_FALSE(IsPlainLocalMedia(kind::kExists | playlist)) << playlist;
    }
    EXPECT_FALSE(IsPlainLocalMedia(kind::kUrhFile));
}

}  // namespace
}  // namespace tapewell
