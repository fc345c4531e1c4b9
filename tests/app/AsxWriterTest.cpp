#include <gtest/gtest.h>

#include <cerrno>

#include "app/ScriptedListPrompt.h"
#include "playlist/AsxWriter.h"
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
        "<ref href=\"http://h/s.asf?a=1&b=2\"/>\r\n</Entry>\r\n</ASX>\r\n";
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

}  // namespace
}  // namespace tapewell
