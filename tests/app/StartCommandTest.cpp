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
    struct Case {
        const char* text;
        const char* address;
        const char* name;
        const char* option;
    };
    const Case cases[] = {
        {"mms://h/a.asf", "mms://h/a.asf", "", "0"},
        {"mms://h/a.asf&&News", "mms://h/a.asf", "News", "0"},
        {"a&&b&&c", "a", "b", "c"},
        {"a&&b&&c&&d", "a", "b", "c&&d"},
        {"&&&&", "", "", ""},
    };
    for (const Case& c : cases) {
        const ItemText item = SplitItemText(c.text);
        EXPECT_EQ(item.address, c.address) << c.text;
        EXPECT_EQ(item.name, c.name) << c.text;
        EXPECT_EQ(item.option, c.option) << c.text;
    }
}

}  // namespace
}  // namespace tapewell
