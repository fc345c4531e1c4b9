#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

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

void AddRows(RecordList& list, const std::vector<std::string>& addresses) {
    for (const std::string& address : addresses) {
        list.AddItem(address, "", " ", "");
    }
}

std::pair<int, int> Counts(const ReplaceCount& count) {
    return {count.changed, count.refused};
}

TEST(ListEdits, ReplaceTakesEveryOccurrenceOnceAndNeedsBothTexts) {
    RecordList list;
    AddRows(list, {"http://h/a.asf", "http://h/banana.asf"});
    list.SetSelected(1, true);
    CellLog log;
    list.SetObserver(&log);
    EXPECT_EQ(Counts(ReplaceInAddresses(list, "", "y", true)), std::make_pair(0, 0));
    EXPECT_EQ(Counts(ReplaceInAddresses(list, "a", "", true)), std::make_pair(0, 0));
    EXPECT_EQ(ReplaceInNames(list, "", "y", true), 0);
    EXPECT_EQ(PrependToNames(list, ""), 0);
    EXPECT_TRUE(SetAddress(list, 0, ""));
    EXPECT_TRUE(log.cells.empty());

    // What a replacement inserted is not searched again, so this ends; only
    // the first selected row's address changes, and its Type follows.
    EXPECT_EQ(ReplaceInAddresses(list, "a", "aa", false).changed, 1);
    EXPECT_EQ(Column(list, kColOriginalFile),
              (std::vector<std::string>{"http://h/a.asf", "http://h/baanaanaa.aasf"}));
    EXPECT_EQ(list.GetCellText(1, kColType), "");
    EXPECT_FALSE(log.cells.empty());

    list.SetCellText(0, kColFile, "aaa");
    EXPECT_EQ(ReplaceInNames(list, "aa", "a", true), 1);  // "banana" has no "aa"
    EXPECT_EQ(Column(list, kColFile), (std::vector<std::string>{"aa", "banana"}));
}

TEST(ListEdits, AddressesStayUnique) {
    RecordList list;
    AddRows(list, {"http://h/x1", "http://h/y1", "http://h/X1"});
    // "y" to "x" would give row 1 row 0's address; case makes "X1" another.
    EXPECT_EQ(Counts(ReplaceInAddresses(list, "y", "x", true)), std::make_pair(0, 1));
    EXPECT_EQ(Counts(ReplaceInAddresses(list, "y", "X", true)), std::make_pair(0, 1));
    EXPECT_EQ(Counts(ReplaceInAddresses(list, "y", "z", true)), std::make_pair(1, 0));

    // An address a row gives up in the pass is free for a later row.
    RecordList chain;
    AddRows(chain, {"http://h/v1", "http://h/v"});
    EXPECT_EQ(Counts(ReplaceInAddresses(chain, "v", "v1", true)), std::make_pair(2, 0));
    EXPECT_EQ(Column(chain, kColOriginalFile),
              (std::vector<std::string>{"http://h/v11", "http://h/v1"}));

    auto duplicate = SetAddress(list, 0, "http://h/z1");
    ASSERT_FALSE(duplicate);
    EXPECT_NE(duplicate.error().message.find("http://h/z1"), std::string::npos);
    EXPECT_TRUE(SetAddress(list, 0, "http://h/x1"));  // its own address
    ASSERT_TRUE(SetAddress(list, 0, "http://h/clip.wmv?x=1"));
    EXPECT_EQ(list.GetCellText(0, kColType), "wmv");
    EXPECT_EQ(list.FindAddress("http://h/x1"), RecordList::kNoRow);
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
    // Only a selected network row whose mark is exactly 1.
    EXPECT_EQ(PrependToNames(list, "[G]"), 1);
    // Names: every selected row, not only the first; "All list" reaches q.
    EXPECT_EQ(ReplaceInNames(list, "b", "B", false), 1);
    EXPECT_EQ(ReplaceInNames(list, "q", "Q", false), 0);
    EXPECT_EQ(ReplaceInNames(list, "q", "Q", true), 1);
    SetName(list, 1, "");
    EXPECT_EQ(Column(list, kColFile), (std::vector<std::string>{"[G]a", "local", "B", "Q"}));
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

}  // namespace
}  // namespace tapewell
