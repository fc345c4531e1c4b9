#include <gtest/gtest.h>

#include <cerrno>

#include "app/OpenItem.h"
#include "app/RecentUrls.h"
#include "app/RecordList.h"
#include "app/ScriptedListPrompt.h"
#include "common/XmlText.h"
#include "playlist/AsxWriter.h"
#include "playlist/ExpandPlaylist.h"
#include "playlist/PlaylistReaders.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

std::string ReadText(const std::filesystem::path& path) {
    const auto bytes = test::ReadFileBytes(path);
    return {bytes.begin(), bytes.end()};
}

TEST(AsxWriter, WritesSixLinesUnderACleanName) {
    test::TempDir dir;
    test::ScriptedListPrompt prompt;
    std::string name = "My:Show?1";
    EXPECT_EQ(ReplaceReservedFileNameChars(name), "My_Show_1");
    std::string all = "a\\b/c:d*e?f\"g<h>i|j\tk";
    EXPECT_EQ(ReplaceReservedFileNameChars(all), "a_b_c_d_e_f_g_h_i_j_k");

    const auto path = AsxPathFor(dir.Path(), name);
    EXPECT_EQ(path, dir / "My_Show_1.asx");
    EXPECT_EQ(AsxPathFor(dir.Path(), ""), dir / "noname.asx");
    ASSERT_EQ(WriteAsx(path, name, "http://h/s.asf?a=1&b=2", &prompt).value(),
              AsxWriteResult::Written);
    const std::string expected =
        "<ASX version=\"3.0\">\r\n<Entry>\r\n<TITLE>My_Show_1</TITLE>\r\n"
        "<ref href=\"http://h/s.asf?a=1&amp;b=2\"/>\r\n</Entry>\r\n</ASX>\r\n";
    EXPECT_EQ(ReadText(path), expected);
    EXPECT_TRUE(prompt.overwritePaths.empty());

    EXPECT_EQ(WriteAsx(path, "other", "http://x", &prompt).value(), AsxWriteResult::Declined);
    EXPECT_EQ(prompt.overwritePaths, std::vector<std::string>{path.string()});
    EXPECT_EQ(ReadText(path), expected);
    prompt.overwriteAnswer = true;
    EXPECT_EQ(WriteAsx(path, "other", "http://x", &prompt).value(), AsxWriteResult::Written);
    EXPECT_NE(ReadText(path), expected);
    const auto failed = WriteAsx(dir / "no" / "x.asx", "t", "a", &prompt);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().code, ENOENT);
    EXPECT_EQ(failed.error().message, "No such file or directory");
}

// The text between <TITLE> and </TITLE>, decoded as an XML reader would.
std::string TitleOf(const std::string& asx) {
    const size_t open = asx.find("<TITLE>") + 7;
    return DecodeEntities(asx.substr(open, asx.find("</TITLE>") - open), EntityNames::Xml);
}

TEST(AsxWriter, HostileTextReadsBackTheSame) {
    test::TempDir dir;
    const std::string title = "a\"b&c<d>'e 라디오 &amp;";
    const std::string addresses[] = {
        "http://h/s.asf?t=a\"b&c<d>'e&amp;x=1",
        "mms://h/라디오 방송.asf?q=\"a\"&lt;",
        "http://h/plain.asf",
    };
    for (const std::string& address : addresses) {
        SCOPED_TRACE(address);
        const std::string text = AsxText(title, address);
        EXPECT_EQ(text.find_first_of("<>\"", text.find("<TITLE>") + 7), text.find("</TITLE>"));
        EXPECT_EQ(TitleOf(text), title);
        EXPECT_EQ(ReadJobPlaylist(text, {}).addresses, std::vector<std::string>{address});
        // The engine's reader takes ASCII text only.
        if (address.find("라디오") == std::string::npos) {
            std::vector<std::string> messages;
            const PlaylistExpansion engine =
                BuildPlaylistVector(AsxText("a\"b&c<d>'e", address), 0, 80,
                                    [&messages](const char* m) { messages.push_back(m); });
            EXPECT_TRUE(messages.empty());
            EXPECT_EQ(engine.args, (std::vector<std::string>{"Quillon", "-e", address}));
        }
    }

    // Through the file and the record list's open: the row is named after
    // the file, whose name is the cleaned title, and keeps the address.
    std::string name = title;
    ReplaceReservedFileNameChars(name);
    const auto path = AsxPathFor(dir.Path(), name);
    ASSERT_EQ(WriteAsx(path, name, addresses[0], nullptr).value(), AsxWriteResult::Written);
    EXPECT_EQ(TitleOf(ReadText(path)), name);
    RecordList list;
    RecentUrls recent;
    ASSERT_EQ(OpenItem(list, recent, path.string(), "", "", nullptr).value(), 0);
    EXPECT_EQ(list.GetCellText(0, kColFile), name);
    EXPECT_EQ(list.GetCellText(0, kColOriginalFile), addresses[0]);
}

}  // namespace
}  // namespace tapewell
