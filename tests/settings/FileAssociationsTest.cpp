#include "settings/FileAssociations.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "settings/DesktopEntry.h"
#include "settings/MimeAppsList.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    auto bytes = test::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteText(const fs::path& path, std::string_view text) {
    fs::create_directories(path.parent_path());
    test::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// Sets variables for one test and puts the old values back after it.
class ScopedEnvironment {
public:
    void Set(const char* name, const std::string& value) {
        const char* old = std::getenv(name);
        m_saved.push_back({name, old != nullptr, old != nullptr ? old : ""});
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->wasSet) {
                ::setenv(it->name, it->value.c_str(), 1);
            } else {
                ::unsetenv(it->name);
            }
        }
    }

private:
    struct Saved {
        const char* name;
        bool wasSet;
        std::string value;
    };
    std::vector<Saved> m_saved;
};

bool HasProgram(const char* name) {
    return test::Run({"sh", "-c", std::string("command -v ") + name}).exitCode == 0;
}

// A system with its own MIME database and a system-wide default player for
// the playlist and WMV types, and an empty user.
class FileAssociationsTest : public ::testing::Test {
protected:
    FileAssociationsTest() {
        WriteText(root / "sys/mime/globs2",
                  "# from shared-mime-info\n50:application/vnd.ms-asf:*.asf\n"
                  "50:audio/x-ms-asx:*.asx\n50:audio/x-ms-asx:*.wax\n50:audio/x-ms-asx:*.wvx\n"
                  "50:audio/x-ms-asx:*.wmx\n50:audio/x-ms-wma:*.wma\n50:video/x-ms-wmv:*.wmv\n"
                  "50:video/x-msvideo:*.avi\n50:video/mpeg:*.mpg\n50:video/mpeg:*.mpeg\n");
        WriteText(root / "sys/applications/mimeapps.list",
                  "[Default Applications]\naudio/x-ms-asx=sysplayer.desktop;\n"
                  "video/x-ms-wmv=sysplayer.desktop;\n");
        paths.configHome = root / "config";
        paths.configDirs = {root / "etc"};
        paths.dataHome = root / "data";
        paths.dataDirs = {root / "sys"};
        paths.program = root / "bin dir/tapewell";
    }

    int StateOf(std::string_view name) const {
        return FileAssociations(paths).State(*FileAssociations::FindGroup(name));
    }
    const AssociationGroup& Group(std::string_view name) const {
        return *FileAssociations::FindGroup(name);
    }
    fs::path UserList() const { return paths.configHome / "mimeapps.list"; }

    test::TempDir root;
    XdgPaths paths;
};

TEST_F(FileAssociationsTest, RegisterAndRestoreTheFirstGroup) {
    for (const auto& group : FileAssociations::Groups()) {
        EXPECT_EQ(StateOf(group.name), 0) << group.name;
    }
    FileAssociations associations(paths);
    ASSERT_TRUE(associations.Register(Group("asf")));

    const MimeAppsList list(ReadText(UserList()));
    for (auto type : {"application/vnd.ms-asf", "audio/x-ms-asx", "x-scheme-handler/mms",
                      "x-scheme-handler/mmst", "x-scheme-handler/mmsu"}) {
        EXPECT_EQ(list.Entries(MimeAppsList::kDefaultGroup, type).front(), "tapewell.desktop");
        EXPECT_EQ(list.Entries(MimeAppsList::kAddedGroup, type).front(), "tapewell.desktop");
    }
    // The system default stays behind ours, so that restoring gives it back.
    EXPECT_EQ(list.Entries(MimeAppsList::kDefaultGroup, "audio/x-ms-asx"),
              (std::vector<std::string>{"tapewell.desktop"}));
    EXPECT_EQ(StateOf("asf"), 1);
    // .wax and .wvx share the playlist type with .asx.
    EXPECT_EQ(StateOf("wma"), 2);
    EXPECT_EQ(StateOf("wmv"), 2);
    EXPECT_EQ(StateOf("mpg"), 0);

    const std::string entry = ReadText(paths.dataHome / "applications/tapewell.desktop");
    EXPECT_EQ(desktop_entry::ExecProgram(*MimeAppsList(entry).Value("Desktop Entry", "Exec")),
              paths.program.string());

    ASSERT_TRUE(associations.Restore(Group("asf")));
    EXPECT_EQ(StateOf("asf"), 0);
    EXPECT_EQ(StateOf("wma"), 0);
    EXPECT_EQ(associations.DefaultFor("audio/x-ms-asx"), "sysplayer.desktop");
    for (auto scheme : Group("asf").schemes) {
        EXPECT_EQ(associations.DefaultFor(scheme), "tapewell.desktop") << scheme;
    }
}

TEST_F(FileAssociationsTest, RestoreLeavesTheUsersFileAsItWas) {
    const std::string seeded =
        "# my choices\n[Default Applications]\nvideo/x-ms-wmv=other.desktop;\n"
        "text/plain=gedit.desktop\n\n[Removed Associations]\nvideo/mpeg=totem.desktop;";
    WriteText(UserList(), seeded);
    FileAssociations associations(paths);
    ASSERT_TRUE(associations.Register(Group("wmv")));
    EXPECT_EQ(StateOf("wmv"), 1);
    EXPECT_EQ(MimeAppsList(ReadText(UserList())).Entries("Default Applications", "video/x-ms-wmv"),
              (std::vector<std::string>{"tapewell.desktop", "other.desktop"}));

    ASSERT_TRUE(associations.Restore(Group("wmv")));
    EXPECT_EQ(ReadText(UserList()), seeded);
    EXPECT_EQ(associations.DefaultFor("video/x-ms-wmv"), "other.desktop");
    EXPECT_EQ(associations.DefaultFor("audio/x-ms-asx"), "sysplayer.desktop");

    // Nothing left to change: the file is not written at all.
    struct stat before {};
    ASSERT_EQ(::stat(UserList().c_str(), &before), 0);
    ASSERT_TRUE(associations.Restore(Group("wmv")));
    ASSERT_TRUE(associations.Restore(Group("avi")));
    struct stat after {};
    ASSERT_EQ(::stat(UserList().c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST_F(FileAssociationsTest, TheCurrentDesktopsOwnListComesFirst) {
    WriteText(paths.configHome / "xfce-mimeapps.list",
              "[Default Applications]\nvideo/x-msvideo=parole.desktop;\n");
    ASSERT_TRUE(FileAssociations(paths).Register(Group("avi")));
    EXPECT_EQ(StateOf("avi"), 1);
    paths.desktops = {"xfce"};
    EXPECT_EQ(StateOf("avi"), 0);
    EXPECT_EQ(FileAssociations(paths).DefaultFor("video/x-msvideo"), "parole.desktop");

    ScopedEnvironment environment;
    environment.Set("XDG_CURRENT_DESKTOP", "XFCE:GNOME");
    environment.Set("XDG_DATA_DIRS", "relative/share::/usr/share");
    environment.Set("XDG_CONFIG_HOME", "not/absolute");
    environment.Set("HOME", root.Path().string());
    const XdgPaths fromEnvironment = XdgPaths::FromEnvironment();
    EXPECT_EQ(fromEnvironment.desktops, (std::vector<std::string>{"xfce", "gnome"}));
    EXPECT_EQ(fromEnvironment.dataDirs, std::vector<fs::path>{"/usr/share"});
    EXPECT_EQ(fromEnvironment.configHome, root / ".config");
    EXPECT_TRUE(fromEnvironment.program.is_absolute());
    EXPECT_TRUE(fs::exists(fromEnvironment.program));
}

TEST_F(FileAssociationsTest, AnUnwritableListFailsWithItsReasonAndWritesNothing) {
    fs::create_directories(UserList());
    auto registered = FileAssociations(paths).Register(Group("asf"));
    ASSERT_FALSE(registered);
    EXPECT_NE(registered.error().message.find("Is a directory"), std::string::npos)
        << registered.error().message;
    EXPECT_NE(registered.error().message.find(UserList().string()), std::string::npos);
    EXPECT_TRUE(fs::is_empty(UserList()));
    EXPECT_FALSE(fs::exists(paths.dataHome));
    EXPECT_EQ(fs::directory_iterator(paths.configHome)->path(), UserList());

    // A list too large to hold whole is refused rather than cut.
    fs::remove(UserList());
    const std::string big = "# " + std::string(MimeAppsList::kMaxBytes, 'x') + "\n";
    WriteText(UserList(), big);
    EXPECT_FALSE(FileAssociations(paths).Register(Group("avi")));
    EXPECT_EQ(ReadText(UserList()).size(), big.size());
}

TEST_F(FileAssociationsTest, RegisteringListsTeachesTheMimeDatabaseAboutIbh) {
    if (!HasProgram("update-mime-database")) {
        GTEST_SKIP() << "update-mime-database is not installed";
    }
    EXPECT_FALSE(MimeGlobs::Load({paths.dataHome}).IsRegistered(".ibh"));
    ASSERT_TRUE(FileAssociations(paths).Register(Group("ibh")));
    EXPECT_EQ(StateOf("ibh"), 1);
    const MimeGlobs user = MimeGlobs::Load({paths.dataHome});
    EXPECT_TRUE(user.IsRegistered(".IBH"));
    EXPECT_EQ(user.TypeOf(".ibh"), desktop_entry::kListType);
}

TEST_F(FileAssociationsTest, AnInstalledEntryForThisProgramIsNotCopied) {
    WriteText(root / "sys/applications/tapewell.desktop",
              desktop_entry::EntryText(paths.program, {"video/mpeg"}));
    ASSERT_TRUE(FileAssociations(paths).Register(Group("mpg")));
    EXPECT_FALSE(fs::exists(paths.dataHome / "applications/tapewell.desktop"));
    EXPECT_EQ(StateOf("mpg"), 1);

    // One for another program would start the wrong one.
    paths.program = root / "elsewhere/tapewell";
    ASSERT_TRUE(FileAssociations(paths).Register(Group("mpg")));
    EXPECT_TRUE(fs::exists(paths.dataHome / "applications/tapewell.desktop"));
}

TEST(MimeGlobs, TypeOfTakesTheHeaviestGlobThenTheBuiltInTable) {
    test::TempDir dir;
    WriteText(dir / "a/mime/globs2",
              "40:video/x-low:*.wmv\n60:video/x-high:*.WMV\n50:video/x-other:*.wmv\n"
              "bad:video/x-bad:*.avi\n101:video/x-bad:*.mpg\n50:text/x-c:*.[ch]\n");
    WriteText(dir / "b/mime/globs", "video/x-old:*.mpeg\n");
    const MimeGlobs globs = MimeGlobs::Load({dir / "a", dir / "b"});
    EXPECT_EQ(globs.TypeOf(".wmv"), "video/x-high");
    EXPECT_EQ(globs.TypeOf(".MPEG"), "video/x-old");
    EXPECT_EQ(globs.TypeOf(".avi"), "video/x-msvideo");  // malformed line: the built-in type
    EXPECT_EQ(globs.TypeOf(".mpg"), "video/mpeg");
    EXPECT_FALSE(globs.IsRegistered(".avi"));
    EXPECT_EQ(globs.TypeOf(".ibh"), desktop_entry::kListType);
    EXPECT_EQ(globs.TypeOf(".xyz"), "");
}

}  // namespace
}  // namespace tapewell
