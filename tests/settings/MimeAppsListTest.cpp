#include "settings/MimeAppsList.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "settings/DesktopEntry.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

constexpr std::string_view kOurs = "tapewell.desktop";
constexpr std::string_view kDefault = MimeAppsList::kDefaultGroup;
constexpr std::string_view kAdded = MimeAppsList::kAddedGroup;

// Whatever shape the user's file has, registering and restoring types must
// give back exactly the bytes that were there.
TEST(MimeAppsList, PutFirstThenRemoveGivesBackEveryByte) {
    const std::vector<std::string> files = {
        "",
        "# only a comment, no newline",
        "[Default Applications]\nvideo/x-ms-wmv=other.desktop;\n",
        "[Default Applications]\r\nvideo/x-ms-wmv=other.desktop\r\n\r\n[Other]\r\nk=v\r\n",
        "# keep me\n[Added Associations]\ntext/plain=gedit.desktop;\n\n[Default Applications]\n"
        "video/x-ms-wmv = other.desktop ; third.desktop\n\n\n[Removed Associations]\nx/y=z;",
        "[Default Applications]\nvideo/x-ms-wmv=tapewell.desktop.old;\n[Default Applications]\n",
        // A lone CR at the very end is part of the last line, not half a
        // line end that a new line after it could complete.
        "[Default Applications]\n[]\r",
    };
    for (const auto& original : files) {
        MimeAppsList list(original);
        for (auto group : {kDefault, kAdded}) {
            EXPECT_TRUE(list.PutFirst(group, "video/x-ms-wmv", kOurs));
            EXPECT_TRUE(list.PutFirst(group, "audio/x-ms-asx", kOurs));
            EXPECT_FALSE(list.PutFirst(group, "audio/x-ms-asx", kOurs));
        }
        const MimeAppsList reread(list.Text());
        const auto entries = reread.Entries(kDefault, "video/x-ms-wmv");
        ASSERT_FALSE(entries.empty()) << original;
        EXPECT_EQ(entries.front(), kOurs) << original;
        EXPECT_EQ(reread.Entries(kAdded, "audio/x-ms-asx"),
                  std::vector<std::string>{"tapewell.desktop"});
        for (auto group : {kDefault, kAdded}) {
            EXPECT_TRUE(list.Remove(group, "video/x-ms-wmv", kOurs));
            EXPECT_TRUE(list.Remove(group, "audio/x-ms-asx", kOurs));
            EXPECT_FALSE(list.Remove(group, "audio/x-ms-asx", kOurs));
        }
        EXPECT_EQ(list.Text(), original);
    }
}

TEST(MimeAppsList, KeepsTheOtherEntriesInOrderWithoutRepeatingOurs) {
    MimeAppsList list(
        "[Other]\nvideo/mpeg=elsewhere.desktop;\n"
        "[Default Applications]\nVideo/MPEG=a.desktop; tapewell.desktop ;b.desktop;\n"
        "video/x-msvideo=tapewell.desktop;c.desktop;\n");
    EXPECT_TRUE(list.PutFirst(kDefault, "video/mpeg", kOurs));
    EXPECT_EQ(list.Entries(kDefault, "video/mpeg"),
              (std::vector<std::string>{"tapewell.desktop", "a.desktop", "b.desktop"}));
    EXPECT_EQ(list.Entries("Other", "video/mpeg"), std::vector<std::string>{"elsewhere.desktop"});
    // Already first: nothing to do.
    EXPECT_FALSE(list.PutFirst(kDefault, "video/x-msvideo", kOurs));

    EXPECT_TRUE(list.Remove(kDefault, "video/x-msvideo", kOurs));
    EXPECT_EQ(list.Text(),
              "[Other]\nvideo/mpeg=elsewhere.desktop;\n"
              "[Default Applications]\nVideo/MPEG=tapewell.desktop;a.desktop;b.desktop;\n"
              "video/x-msvideo=c.desktop;\n");
    // A list holding only ours goes with its line; the group keeps its
    // other keys.
    MimeAppsList only("[Default Applications]\nx/a=tapewell.desktop;\nx/b=b.desktop;\n");
    EXPECT_TRUE(only.Remove(kDefault, "x/a", kOurs));
    EXPECT_EQ(only.Text(), "[Default Applications]\nx/b=b.desktop;\n");

    // A repeated key must not bring ours back once the first line is gone.
    MimeAppsList repeated("[Default Applications]\nx/a=\nx/a=tapewell.desktop;c.desktop\n");
    EXPECT_TRUE(repeated.PutFirst(kDefault, "x/a", kOurs));
    EXPECT_TRUE(repeated.Remove(kDefault, "x/a", kOurs));
    EXPECT_EQ(repeated.Entries(kDefault, "x/a"), std::vector<std::string>{"c.desktop"});
}

TEST(MimeAppsList, ReadsValuesOfTheNamedGroupOnly) {
    const MimeAppsList list(
        "#[Default Applications]\nx/c=no;\n[Default Applications]\n# x/a=comment;\n"
        "x/a =  ;one.desktop; ;two.desktop\n[Desktop Entry]\nExec = \"/a b\" %u\n");
    EXPECT_EQ(list.Entries(kDefault, "x/a"),
              (std::vector<std::string>{"one.desktop", "two.desktop"}));
    EXPECT_TRUE(list.Entries(kDefault, "x/c").empty());
    EXPECT_EQ(list.Value("Desktop Entry", "Exec"), "\"/a b\" %u");
    EXPECT_FALSE(list.Value("Desktop Entry", "Name").has_value());
}

// Paths the desktop entry must carry whole: blanks, the characters that
// quoting escapes, and "%", which would otherwise be read as a field code.
const std::vector<std::string> kAwkwardPrograms = {
    "/usr/bin/tapewell",
    "/opt/my apps/tape%well/bin/tapewell",
    "/home/u/\"quoted\"/$HOME/`x`/back\\slash/tape well",
};

TEST(DesktopEntry, ExecNamesTheProgramForAnyPath) {
    for (const auto& program : kAwkwardPrograms) {
        const std::string exec = desktop_entry::ExecLine(program, "/Open");
        EXPECT_EQ(desktop_entry::ExecProgram(exec), program) << exec;
        EXPECT_TRUE(exec.ends_with(" /Open %u")) << exec;
        const MimeAppsList entry(desktop_entry::EntryText(program, {"video/mpeg"}));
        EXPECT_EQ(desktop_entry::ExecProgram(*entry.Value("Desktop Action Record", "Exec")),
                  program);
    }
    EXPECT_EQ(desktop_entry::ExecProgram("tapewell %u"), "tapewell");
    EXPECT_FALSE(desktop_entry::ExecProgram("\"/unterminated %u").has_value());
    EXPECT_FALSE(desktop_entry::ExecProgram("").has_value());
}

TEST(DesktopEntry, PassesDesktopFileValidate) {
    test::TempDir dir;
    for (const auto& program : kAwkwardPrograms) {
        const auto path = dir / "tapewell.desktop";
        const std::string text =
            desktop_entry::EntryText(program, {"video/mpeg", "x-scheme-handler/mms"});
        test::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
        auto result = test::Run({"desktop-file-validate", path.string()});
        if (result.exitCode == 127) {
            GTEST_SKIP() << "desktop-file-validate is not installed";
        }
        EXPECT_EQ(result.exitCode, 0) << program << "\n" << result.out << result.err;
        EXPECT_EQ(result.out.find("error"), std::string::npos) << result.out;
    }
}

TEST(DesktopEntry, RunToolReportsMissingFailingAndHangingTools) {
    EXPECT_TRUE(desktop_entry::RunTool({"true"}, 2000));
    auto missing = desktop_entry::RunTool({"tapewell-no-such-tool"}, 2000);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, ENOENT);
    auto failing = desktop_entry::RunTool({"false"}, 2000);
    ASSERT_FALSE(failing);
    EXPECT_EQ(failing.error().message, "exit status 1");

    const auto start = std::chrono::steady_clock::now();
    auto hanging = desktop_entry::RunTool({"sleep", "30"}, 200);
    ASSERT_FALSE(hanging);
    EXPECT_EQ(hanging.error().code, ETIMEDOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace tapewell
