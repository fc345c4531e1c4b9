#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/AddressText.h"
#include "app/RecentUrls.h"
#include "app/RecordList.h"
#include "app/RecordListObserver.h"
#include "app/ScriptedListPrompt.h"
#include "settings/MimeGlobs.h"
#include "settings/ProfileStore.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

class CountingObserver final : public RecordListObserver {
public:
    int inserted = 0;
    int removed = 0;
    int cells = 0;
    void OnRowInserted(int) override { ++inserted; }
    void OnRowRemoved(int) override { ++removed; }
    void OnCellChanged(int, int) override { ++cells; }
};

void WriteText(const std::filesystem::path& path, const std::string& text) {
    test::WriteFileBytes(path, {text.begin(), text.end()});
}

TEST(RecordList, AddItemKeepsOneRowPerExactAddress) {
    test::TempDir dir;
    WriteText(dir / "big.wmv", "");
    std::filesystem::resize_file(dir / "big.wmv", 1048576);
    RecordList list;
    CountingObserver observer;
    list.SetObserver(&observer);

    const int first = list.AddItem("mms://h/Live.asf", "Show", "", "Agent/1");
    EXPECT_EQ(list.AddItem("mms://h/Live.asf", "Other", "", "Agent/2"), first);
    EXPECT_EQ(list.GetCellText(first, kColFile), "Show");
    EXPECT_EQ(list.GetCellText(first, kColNs), "Agent/1");
    EXPECT_EQ(observer.inserted, 1);

    const int upper = list.AddItem("mms://h/LIVE.ASF", "", "", "");
    EXPECT_NE(upper, first);
    EXPECT_EQ(list.GetCellText(upper, kColType), list.GetCellText(first, kColType));
    EXPECT_EQ(list.GetCellText(upper, kColType), "asf");
    EXPECT_EQ(list.Row(upper).mark, kMarkNetwork);

    const std::string local = "  " + (dir / "big.wmv").string();
    const int file = list.AddItem(local, "", "", "");
    EXPECT_EQ(list.Row(file).mark, kMarkLocal);
    EXPECT_EQ(list.GetCellText(file, kColFile), "big");
    EXPECT_EQ(list.GetCellText(file, kColSize), "");  // leading blanks: not a path that opens
    const int exact = list.AddItem((dir / "big.wmv").string(), "", "", "");
    EXPECT_EQ(list.GetCellText(exact, kColSize), "1M");
    EXPECT_EQ(list.InsertItemAt(-5, "http://h/top.asf", ""), 0);
    EXPECT_EQ(list.GetCellText(exact + 1, kColSize), "1M");  // shifted down by the insert

    list.RenameByAddress("mms://h/LIVE.ASF", "Renamed");
    EXPECT_EQ(list.GetCellText(upper + 1, kColFile), "Renamed");
    EXPECT_EQ(list.GetCellText(99, kColFile), "");
    EXPECT_EQ(list.FindRowByJobNumber(7), RecordList::kNoSelection);
    list.SetJobNumber(2, 7);
    EXPECT_EQ(list.FindRowByJobNumber(7), 2);
}

TEST(RecordList, AddressTexts) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "mime");
    WriteText(dir / "mime" / "globs2",
              "# comment\n50:application/vnd.ms-asf:*.asf\n50:text/x:*.[ch]\n");
    const MimeGlobs registered = MimeGlobs::Load({dir.Path()});
    const MimeGlobs none = MimeGlobs::Load({});
    EXPECT_EQ(DeriveName("http://h/dir/clip.asf?id=7", registered), "clip");
    // A registered extension keeps the query, whose last piece then counts.
    EXPECT_EQ(DeriveName("http://h/d/x.ASF?p=a/b  ", registered), "b");
    EXPECT_EQ(DeriveName("http://h/d/x.asf?p=a/b", none), "x");
    EXPECT_EQ(DeriveName("http://h/play.php?id=7", registered), "play");
    EXPECT_EQ(DeriveName("/media/.hidden", none), ".hidden");
    EXPECT_EQ(DeriveName("c:\\v\\a.b.wmv", none), "a.b");

    EXPECT_EQ(TypeWord("http://h/x.asf?y.wmv"), "asf");
    EXPECT_EQ(TypeWord("http://h/x.rmvb"), "rm");
    EXPECT_EQ(TypeWord("http://h/x.mpeg"), "mpeg");
    EXPECT_EQ(TypeWord("http://h/x?y.asf"), "");

    EXPECT_TRUE(IsLocalPath(" \t/home/a.asf"));
    EXPECT_FALSE(IsLocalPath("clip.asf"));
    EXPECT_FALSE(IsLocalPath("\\\\server\\share\\a.asf"));
    EXPECT_FALSE(IsLocalPath("http://h/a.asf"));

    EXPECT_EQ(SizeText(1048576), "1M");
    EXPECT_EQ(SizeText(1048575), "1023K");
    EXPECT_EQ(SizeText(1024), "1K");
    EXPECT_EQ(SizeText(1023), "1023B");
    EXPECT_EQ(PositionText(65), "  1:05");
    EXPECT_EQ(PositionText(3600), "1:00:00");

    WriteText(dir / "a.ibh", "x");
    WriteText(dir / "a.urh", "x");
    WriteText(dir / "play.asf", "<ASX version=\"3.0\">\r\n<Entry>");
    EXPECT_EQ(KindFlags((dir / "a.ibh").string()), kind::kIbhFile);
    EXPECT_EQ(KindFlags((dir / "a.urh").string()), kind::kUrhFile);
    EXPECT_EQ(KindFlags((dir / "play.asf").string()), kind::kExists | kind::kAsf | kind::kAsxInAsf);
    EXPECT_EQ(KindFlags("mmst://h/a.wmv"), kind::kMissing | kind::kMmst | kind::kWmv);
    EXPECT_EQ(KindFlags("http://h/a.asx.wmx"), kind::kMissing | kind::kHttp | kind::kAsx);
}

// Rows 0..4: idle, busy (job 3), idle, playing, idle.
void FillFive(RecordList& list) {
    for (const char* address :
         {"http://h/0.asf", "http://h/1.asf", "http://h/2.asf", "/v/3.asf", "http://h/4.asf"}) {
        list.AddItem(address, "", "x", "");
    }
    list.SetJobNumber(1, 3);
    list.SetPlayerState("/v/3.asf", true);
}

TEST(RecordList, DeletionsSpareBusyAndPlayingRows) {
    test::ScriptedListPrompt prompt;
    RecordList list(&prompt);
    FillFive(list);
    EXPECT_EQ(list.FindPlayingRow(false), 3);
    for (int row : {0, 1, 3, 4}) {
        list.SetSelected(row, true);
    }
    prompt.deleteAnswer = false;
    list.DeleteSelected();
    EXPECT_EQ(list.RowCount(), 5);
    prompt.deleteAnswer = true;
    list.DeleteSelected();
    EXPECT_EQ(prompt.deleteQuestions, 2);
    ASSERT_EQ(list.RowCount(), 3);
    EXPECT_EQ(list.GetCellText(0, kColFile), "1");
    EXPECT_EQ(list.GetCellText(1, kColFile), "2");
    EXPECT_EQ(list.GetCellText(2, kColFile), "3");
    EXPECT_EQ(list.FirstSelectedRow(), 0);  // the busy row stays selected
    EXPECT_EQ(list.NextSelectedRow(0), 2);
    EXPECT_EQ(list.NextSelectedRow(2), RecordList::kNoSelection);

    // Move keeps selection in step, then clears it.
    EXPECT_EQ(list.SelectRow(1), 1);
    list.MoveSelectedUp();
    EXPECT_EQ(list.GetCellText(0, kColFile), "2");
    EXPECT_EQ(list.FirstSelectedRow(), RecordList::kNoSelection);
    EXPECT_EQ(list.SelectRow(10), 0);
    list.MoveSelectedDown();
    EXPECT_EQ(list.GetCellText(1, kColFile), "2");
    EXPECT_EQ(list.SelectRow(-1), RecordList::kNoRow);

    list.SetPosition(65);
    EXPECT_EQ(list.GetCellText(2, kColPlay), "  1:05");
    list.SetPlayerState("/v/3.asf", false);
    EXPECT_EQ(list.FindPlayingRow(false), RecordList::kNoRow);
    EXPECT_EQ(list.FindPlayingRow(true), 2);
}

TEST(RecordList, NewListKeepsRecordingAndPlayingRows) {
    RecordList list;
    FillFive(list);
    list.SetTitle("t");
    list.SetCredentials("u", "p");
    list.NewList();
    ASSERT_EQ(list.RowCount(), 2);
    EXPECT_EQ(list.Row(0).jobNumber, 3u);
    EXPECT_EQ(list.GetCellText(1, kColOriginalFile), "/v/3.asf");
    EXPECT_EQ(list.Title(), "");
    EXPECT_EQ(list.UserName(), "");
    EXPECT_EQ(list.Password(), "");

    test::ScriptedListPrompt prompt;
    list.SetPrompt(&prompt);
    list.SetJobNumber(0, 0);
    list.DeleteAll();
    EXPECT_EQ(prompt.deleteQuestions, 1);
    EXPECT_EQ(list.RowCount(), 1);  // the playing row
}

TEST(RecentUrls, NewestFirstWithoutDuplicatesAndTheLoadRule) {
    RecentUrls recent;
    for (int i = 0; i < 25; ++i) {
        recent.Add("http://h/" + std::to_string(i));
    }
    recent.Add("http://h/20");
    ASSERT_EQ(recent.Entries().size(), 20u);
    EXPECT_EQ(recent.Entries()[0], "http://h/20");
    EXPECT_EQ(recent.Entries()[1], "http://h/24");
    EXPECT_EQ(std::count(recent.Entries().begin(), recent.Entries().end(), "http://h/20"), 1);

    test::TempDir dir;
    WriteText(dir / "kept.asf", "");
    ProfileStore profile(dir / "p.ini");
    profile.LoadText("[FileMRUList\\url]\nFile0=mmsu://h/a\nFile1=/no/such/file\nFile2=" +
                     (dir / "kept.asf").string() +
                     "\nFile3=HTTP://upper\nFile4=\nFile5=http://after/gap\n");
    recent.Load(profile);
    EXPECT_EQ(recent.Entries(),
              (std::vector<std::string>{"mmsu://h/a", (dir / "kept.asf").string()}));
    ASSERT_TRUE(recent.Save(profile));
    ProfileStore reread(dir / "p.ini");
    EXPECT_EQ(reread.GetString(RecentUrls::kSection, "File1", ""), (dir / "kept.asf").string());
    EXPECT_EQ(reread.GetString(RecentUrls::kSection, "File2", ""), "");
}

}  // namespace
}  // namespace tapewell
