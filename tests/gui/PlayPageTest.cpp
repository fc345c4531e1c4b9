#include "gui/settings/PlayPage.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QCheckBox>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "GuiTestSupport.h"
#include "settings/FileAssociations.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

namespace fs = std::filesystem;

void WriteText(const fs::path& path, std::string_view text) {
    fs::create_directories(path.parent_path());
    test::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// The per-test home of the test main, plus a system of its own: a MIME
// database and a system default for the playlist type.
class PlayPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        prompt = &test::InstallScriptedPrompt();
        const fs::path system = test::TestHome() / "system";
        WriteText(system / "mime/globs2",
                  "50:application/vnd.ms-asf:*.asf\n50:audio/x-ms-asx:*.asx\n"
                  "50:audio/x-ms-asx:*.wax\n50:audio/x-ms-asx:*.wvx\n50:audio/x-ms-asx:*.wmx\n"
                  "50:audio/x-ms-wma:*.wma\n50:video/x-ms-wmv:*.wmv\n50:video/x-msvideo:*.avi\n"
                  "50:video/mpeg:*.mpg\n50:video/mpeg:*.mpeg\n");
        WriteText(system / "applications/mimeapps.list",
                  "[Default Applications]\naudio/x-ms-asx=sysplayer.desktop;\n");
        Set("XDG_DATA_DIRS", system.string());
        Set("XDG_CONFIG_DIRS", (test::TestHome() / "etc").string());
        Set("XDG_CURRENT_DESKTOP", "");
    }
    void TearDown() override {
        for (const auto& [name, value] : m_saved) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }

    void Set(const std::string& name, const std::string& value) {
        const char* old = std::getenv(name.c_str());
        m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(name.c_str(), value.c_str(), 1);
    }

    static QCheckBox* Box(gui::PlayPage& page, const char* group) {
        return page.findChild<QCheckBox*>(QString("fileType_") + group);
    }
    static fs::path UserList() {
        return fs::path(std::getenv("XDG_CONFIG_HOME")) / "mimeapps.list";
    }
    static test::CommandResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {TAPEWELL_CLI_PATH, "file-types"});
        return test::Run(args);
    }

    test::ScriptedUiPrompt* prompt = nullptr;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(PlayPageTest, PageAndCommandLineSeeTheSameAssociations) {
    auto registered = Cli({"--register", "wmv"});
    ASSERT_EQ(registered.exitCode, 0) << registered.err;
    EXPECT_NE(registered.out.find("wmv yes .wmv,.wvx\n"), std::string::npos) << registered.out;
    EXPECT_NE(registered.out.find("asf partly .asf,.asx,.wmx\n"), std::string::npos);

    gui::PlayPage page;
    EXPECT_EQ(Box(page, "wmv")->checkState(), Qt::Checked);
    EXPECT_EQ(Box(page, "asf")->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(Box(page, "mpg")->checkState(), Qt::Unchecked);
    EXPECT_EQ(Box(page, "asf")->text(), "Windows Media File(.asf, .asx, .wmx )");

    Box(page, "mpg")->click();
    EXPECT_TRUE(page.Apply());
    auto shown = Cli({});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_NE(shown.out.find("mpg yes .mpg,.mpeg\n"), std::string::npos) << shown.out;

    auto unknown = Cli({"--register", "wmv", "--register", "ogg"});
    EXPECT_EQ(unknown.exitCode, 64);
    EXPECT_NE(unknown.err.find("ogg"), std::string::npos);
    EXPECT_EQ(Cli({"--bogus"}).exitCode, 64);
    EXPECT_TRUE(prompt->messages.isEmpty());
}

TEST_F(PlayPageTest, AClickOnAPartlyTickedBoxUnticksItAndApplyRestores) {
    FileAssociations associations(XdgPaths::FromEnvironment());
    ASSERT_TRUE(associations.Register(*FileAssociations::FindGroup("asf")));
    gui::PlayPage page;
    QCheckBox* wma = Box(page, "wma");
    ASSERT_EQ(wma->checkState(), Qt::PartiallyChecked);
    wma->click();
    EXPECT_EQ(wma->checkState(), Qt::Unchecked);
    wma->click();
    EXPECT_EQ(wma->checkState(), Qt::Checked);
    wma->click();
    EXPECT_EQ(wma->checkState(), Qt::Unchecked);

    EXPECT_TRUE(page.Apply());
    // The shared playlist type went back to the system's player, and the
    // page shows what the files now say.
    EXPECT_EQ(associations.DefaultFor("audio/x-ms-asx"), "sysplayer.desktop");
    EXPECT_EQ(Box(page, "asf")->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(wma->checkState(), Qt::Unchecked);
}

TEST_F(PlayPageTest, ABoxTickedWinsTheSharedPlaylistTypeOverOneUnticked) {
    FileAssociations associations(XdgPaths::FromEnvironment());
    ASSERT_TRUE(associations.Register(*FileAssociations::FindGroup("wmv")));
    gui::PlayPage page;
    // wmv is given back and asf taken in the same OK: asf's playlists stay
    // Tapewell's, though wmv comes after asf in the page.
    ASSERT_EQ(Box(page, "asf")->checkState(), Qt::PartiallyChecked);
    Box(page, "asf")->click();
    Box(page, "asf")->click();
    ASSERT_EQ(Box(page, "asf")->checkState(), Qt::Checked);
    Box(page, "wmv")->click();
    ASSERT_EQ(Box(page, "wmv")->checkState(), Qt::Unchecked);
    EXPECT_TRUE(page.Apply());
    EXPECT_EQ(associations.DefaultFor("audio/x-ms-asx"), "tapewell.desktop");
    EXPECT_EQ(Box(page, "asf")->checkState(), Qt::Checked);
    EXPECT_EQ(associations.DefaultFor("video/x-ms-wmv"), "");
}

TEST_F(PlayPageTest, OkWithoutClicksWritesNothing) {
    {
        gui::PlayPage page;
        EXPECT_TRUE(page.Apply());
    }
    EXPECT_FALSE(fs::exists(UserList()));
    EXPECT_FALSE(fs::exists(fs::path(std::getenv("XDG_DATA_HOME")) / "applications"));

    WriteText(UserList(), "[Default Applications]\nvideo/mpeg=tapewell.desktop;\n");
    struct stat before {};
    ASSERT_EQ(::stat(UserList().c_str(), &before), 0);
    gui::PlayPage page;
    EXPECT_EQ(Box(page, "mpg")->checkState(), Qt::Checked);
    EXPECT_TRUE(page.Apply());
    struct stat after {};
    ASSERT_EQ(::stat(UserList().c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST_F(PlayPageTest, AFailedWriteIsShownWithItsReason) {
    fs::create_directories(UserList());
    gui::PlayPage page;
    Box(page, "avi")->click();
    Box(page, "mpg")->click();
    EXPECT_FALSE(page.Apply());
    ASSERT_EQ(prompt->messages.size(), 1);
    const QString message = prompt->messages.front();
    EXPECT_TRUE(message.startsWith("Could not register file types: ")) << message.toStdString();
    EXPECT_TRUE(message.contains("Is a directory")) << message.toStdString();
    EXPECT_EQ(Box(page, "avi")->checkState(), Qt::Unchecked);
    EXPECT_EQ(Box(page, "mpg")->checkState(), Qt::Unchecked);
}

}  // namespace
}  // namespace tapewell
