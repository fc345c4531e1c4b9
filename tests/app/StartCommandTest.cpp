#include <gtest/gtest.h>

#include "app/StartCommand.h"

namespace tapewell {
namespace {

StartCommand Parse(std::vector<std::string> args) {
    return ParseStartMode(args);
}

TEST(StartCommand, TheModeComesFromAFirstSwitchSpelledWithCase) {
    EXPECT_EQ(Parse({"/Open", "x"}).mode, kStartOpen);
    EXPECT_EQ(Parse({"/open", "x"}).mode, kStartPlay);  // a switch, but not spelled "/Open"
    EXPECT_EQ(Parse({"/open", "x"}).item, "x");
    EXPECT_EQ(Parse({"/Play", "x"}).mode, kStartPlay);
    EXPECT_EQ(Parse({"/Rec", "x"}).mode, kStartRecord);
    EXPECT_EQ(Parse({"/Record", "x"}).mode, kStartRecord);
    EXPECT_EQ(Parse({"/REC", "x"}).mode, kStartPlay);
    EXPECT_EQ(Parse({}).mode, kStartPlay);
    EXPECT_EQ(Parse({}).item, "");
    EXPECT_EQ(Parse({""}).mode, kStartPlay);
}

TEST(StartCommand, PathsThatLookLikeSwitchesAreItems) {
    const StartCommand records = Parse({"/Records/x.asf"});
    EXPECT_EQ(records.mode, kStartPlay);
    EXPECT_EQ(records.item, "/Records/x.asf");
    // A switch after the item neither changes the mode nor becomes the item.
    const StartCommand late = Parse({"/v/a.asf", "/Rec"});
    EXPECT_EQ(late.mode, kStartPlay);
    EXPECT_EQ(late.item, "/v/a.asf");
    EXPECT_EQ(Parse({"/Rec", "/Play", "mms://h/a"}).item, "mms://h/a");
    EXPECT_EQ(Parse({"/Rec"}).item, "");
}

TEST(StartCommand, FileUrisBecomeLocalPaths) {
    EXPECT_EQ(Parse({"/Play", "file:///home/u/%EB%89%B4%EC%8A%A4%20a.asf"}).item,
              "/home/u/뉴스 a.asf");
    EXPECT_EQ(FileUriToPath("FILE://localhost/tmp/a.asf"), "/tmp/a.asf");
    EXPECT_EQ(FileUriToPath("file://other/tmp/a.asf"), "file://other/tmp/a.asf");
    EXPECT_EQ(FileUriToPath("file:///tmp/100%"), "/tmp/100%");  // a lone % stays
    EXPECT_EQ(FileUriToPath("file:///tmp/%4"), "/tmp/%4");
    EXPECT_EQ(FileUriToPath("file:///tmp/%zz"), "/tmp/%zz");
    EXPECT_EQ(FileUriToPath("http://h/a.asf"), "http://h/a.asf");
    EXPECT_EQ(FileUriToPath("file:"), "file:");
}

TEST(StartCommand, ItemTextsSplitIntoAddressNameAndOption) {
    const ItemText plain = SplitItemText("mms://h/a.asf");
    EXPECT_EQ(plain.address, "mms://h/a.asf");
    EXPECT_EQ(plain.name, "");
    EXPECT_EQ(plain.option, "0");

    const ItemText named = SplitItemText("mms://h/a.asf&&News");
    EXPECT_EQ(named.address, "mms://h/a.asf");
    EXPECT_EQ(named.name, "News");
    EXPECT_EQ(named.option, "0");

    const ItemText three = SplitItemText("a&&b&&c");
    EXPECT_EQ(three.name, "b");
    EXPECT_EQ(three.option, "c");

    const ItemText four = SplitItemText("a&&b&&c&&d");
    EXPECT_EQ(four.address, "a");
    EXPECT_EQ(four.name, "b");
    EXPECT_EQ(four.option, "c&&d");

    const ItemText emptyParts = SplitItemText("&&&&");
    EXPECT_EQ(emptyParts.address, "");
    EXPECT_EQ(emptyParts.name, "");
    EXPECT_EQ(emptyParts.option, "");
}

}  // namespace
}  // namespace tapewell
