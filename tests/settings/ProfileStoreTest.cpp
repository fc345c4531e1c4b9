#include "settings/ProfileStore.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/Limits.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

std::string ReadText(const fs::path& path) {
    std::vector<uint8_t> bytes = test::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteText(const fs::path& path, std::string_view text) {
    test::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::set<std::string> FolderEntries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

TEST(ProfileStore, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    test::TempDir dir;
    ProfileStore store(dir / "Tapewell.ini");
    ASSERT_TRUE(store.WriteString("Settings", "Agent", "one"));
    ASSERT_TRUE(store.WriteString("settings", "AGENT", "two"));
    EXPECT_EQ(store.GetString("SETTINGS", "agent", "-"), "two");
    std::string text = ReadText(store.Path());
    EXPECT_NE(text.find("[Settings]\nAgent=two\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("AGENT"), std::string::npos);
}

// Every text that could break the line structure must come back unchanged
// from the file, and names that differ only in outer blanks stay apart.
TEST(ProfileStore, AwkwardNamesAndValuesRoundTripThroughTheFile) {
    const std::vector<std::pair<std::string, std::string>> values = {
        {"lines", "one\ntwo\r\nthree"},
        {"percent", "100% and %41 literally"},
        {"equals", "a=b=c"},
        {"brackets", "[not a section]"},
        {"blanks", "  lead and trail  "},
        {"korean", "보통 굴림"},
        {"tab", "\t"},
        {"empty", ""},
        {"ScreenSave ", "1"},
        {"ScreenSave", "0"},
        {" lead", "x"},
        {"a=b", "name with equals"},
        {"[x", "bracket first"},
        {";c", "semicolon first"},
        {"#h", "hash first"},
        {"@", "a real at-sign name"},
        {"", "the unnamed default"},
        {"%zz", "percent in a name"},
    };
    const std::vector<std::string> sections = {"settings", "FileTypeList\\type", "a]b[c",
                                               "NetPassword\\host.example:8080", " x "};
    test::TempDir dir;
    ProfileStore writer(dir / "Tapewell.ini");
    ASSERT_TRUE(writer.Update([&](ProfileEdit& edit) {
        for (const auto& section : sections) {
            for (const auto& [name, value] : values) {
                edit.WriteString(section, name, section + "|" + value);
            }
        }
    }));
    ProfileStore reader(writer.Path());
    for (const auto& section : sections) {
        for (const auto& [name, value] : values) {
            EXPECT_EQ(reader.GetString(section, name, "missing"), section + "|" + value)
                << "[" << section << "] '" << name << "'";
        }
    }
    std::string text = ReadText(writer.Path());
    EXPECT_NE(text.find("\nScreenSave%20=settings|1\n"), std::string::npos);
    EXPECT_NE(text.find("\n@=settings|the unnamed default\n"), std::string::npos);
    EXPECT_NE(text.find("\n%40=settings|a real at-sign name\n"), std::string::npos);
}

TEST(ProfileStore, GetIntTakesOnlyWholeDecimalNumbers) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"12", 12},
        {"-7", -7},
        {"+5", 5},
        {"4294967295", -1},
        {"2147483648", INT_MIN},
        {"-2147483648", INT_MIN},
        {"4294967296", 99},
        {"99999999999999999999999", 99},
        {"12abc", 99},
        {"%2012", 99},
        {"--1", 99},
        {"1.5", 99},
    };
    ProfileStore store{fs::path()};
    for (const auto& [stored, expected] : cases) {
        store.LoadText("[s]\nv=" + stored + "\n");
        EXPECT_EQ(store.GetInt("s", "v", 99), expected) << "'" << stored << "'";
    }
    EXPECT_EQ(store.GetInt("s", "absent", 42), 42);
    EXPECT_EQ(store.GetInt("absent", "v", 42), 42);

    test::TempDir dir;
    ProfileStore file(dir / "p.ini");
    ASSERT_TRUE(file.WriteInt("s", "min", INT_MIN));
    ASSERT_TRUE(file.WriteInt("s", "neg", -5));
    ProfileStore again(file.Path());
    EXPECT_EQ(again.GetInt("s", "min", 0), INT_MIN);
    EXPECT_EQ(again.GetInt("s", "neg", 0), -5);
}

TEST(ProfileStore, DamagedFileLoadsWhatItCan) {
    std::string text = "\xEF\xBB\xBF";
    text += "orphan=before any section\n";
    text += "[settings]\r\n";
    text += "good=1\r\n";
    text += "no equals sign here\n";
    text += "bin\0ary\x01\xff=junk\n"s;
    text += "bad escapes=%zz%4%\n";
    text += "huge=" + std::string(1 << 20, 'x') + "\n";
    text += "  spaced name  =  spaced value  \n";
    text += "; comment=1\n# comment=2\n";
    text += "[broken header\n";
    text += "lost=under the broken header\n";
    text += "[settings]\n";
    text += "late=merged into the first settings section\n";
    text += "good=2";  // last line without a line break
    test::TempDir dir;
    WriteText(dir / "p.ini", text);
    ProfileStore store(dir / "p.ini");
    EXPECT_EQ(store.GetInt("settings", "good", 0), 2);
    EXPECT_EQ(store.GetString("settings", "bad escapes", ""), "%zz%4%");
    EXPECT_EQ(store.GetString("settings", "huge", "").size(), size_t{1} << 20);
    EXPECT_EQ(store.GetString("settings", "spaced name", ""), "spaced value");
    EXPECT_EQ(store.GetString("settings", "late", ""), "merged into the first settings section");
    EXPECT_EQ(store.GetString("settings", "orphan", "-"), "-");
    EXPECT_EQ(store.GetString("settings", "lost", "-"), "-");
    EXPECT_EQ(store.GetString("broken header", "lost", "-"), "-");
    EXPECT_EQ(store.GetString("settings", "; comment", "-"), "-");

    // A rewrite keeps every value that was readable.
    ASSERT_TRUE(store.WriteInt("settings", "new", 3));
    ProfileStore reread(store.Path());
    EXPECT_EQ(reread.GetString("settings", "huge", "").size(), size_t{1} << 20);
    EXPECT_EQ(reread.GetString("settings", "bin\0ary\x01\xff"s, ""), "junk");
}

// Past the read limit the file is cut at a line boundary for reading, and
// never rewritten: a rewrite would silently drop the tail.
TEST(ProfileStore, OversizedFileIsReadInPartAndNotRewritten) {
    std::string text = "[s]\nfirst=1\nfiller=" + std::string(limits::kMaxProfileFileBytes, 'f');
    text += "\ntail=1\n";
    test::TempDir dir;
    WriteText(dir / "p.ini", text);
    ProfileStore store(dir / "p.ini");
    EXPECT_EQ(store.GetInt("s", "first", 0), 1);
    EXPECT_EQ(store.GetString("s", "filler", "cut line dropped"), "cut line dropped");
    EXPECT_EQ(store.GetInt("s", "tail", 0), 0);
    EXPECT_EQ(store.WriteInt("s", "x", 1).error().code, EFBIG);
    EXPECT_EQ(fs::file_size(dir / "p.ini"), text.size());

    test::TempDir other;
    ProfileStore small(other / "p.ini");
    EXPECT_EQ(
        small.WriteString("s", "big", std::string(limits::kMaxProfileFileBytes, 'b')).error().code,
        EFBIG);
    EXPECT_FALSE(fs::exists(other / "p.ini"));
    EXPECT_EQ(FolderEntries(other.Path()), std::set<std::string>{"p.ini.lock"});
}

TEST(ProfileStore, FileIsPrivateAndFailedWritesLeaveNoTrace) {
    test::TempDir dir;
    mode_t oldMask = ::umask(0);
    ProfileStore store(dir / "config" / "Tapewell" / "Tapewell.ini");
    const ErrorOr<void> written = store.WriteString("NetPassword\\host", "Password", "secret");
    ::umask(oldMask);
    ASSERT_TRUE(written);
    struct stat st {};
    ASSERT_EQ(::stat(store.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ASSERT_EQ(::stat((dir / "config").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(FolderEntries(dir / "config" / "Tapewell"),
              (std::set<std::string>{"Tapewell.ini", "Tapewell.ini.lock"}));

    // An existing world-readable file becomes private on its next write.
    ASSERT_EQ(::chmod(store.Path().c_str(), 0644), 0);
    ASSERT_TRUE(store.WriteInt("settings", "x", 1));
    ASSERT_EQ(::stat(store.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    // A folder where the file should be: the write fails cleanly.
    fs::create_directories(dir / "blocked" / "p.ini");
    ProfileStore blocked(dir / "blocked" / "p.ini");
    const ErrorOr<void> onFolder = blocked.WriteInt("s", "v", 1);
    ASSERT_FALSE(onFolder);
    EXPECT_EQ(onFolder.error().code, EISDIR);
    EXPECT_EQ(onFolder.error().message, "Is a directory");
    EXPECT_EQ(FolderEntries(dir / "blocked"), (std::set<std::string>{"p.ini", "p.ini.lock"}));
    EXPECT_FALSE(ProfileStore(fs::path()).WriteInt("s", "v", 1));
    // A file where a folder of the path should be.
    test::WriteFileBytes(dir / "plain", {'x'});
    EXPECT_EQ(ProfileStore(dir / "plain" / "p.ini").WriteInt("s", "v", 1).error().code, ENOTDIR);
}

TEST(ProfileStore, DeleteSectionRemovesOnlyThatSection) {
    test::TempDir dir;
    ProfileStore store(dir / "p.ini");
    ASSERT_TRUE(store.Update([](ProfileEdit& edit) {
        edit.WriteString("RecentUrl\\Url", "item0", "mms://a");
        edit.WriteString("RecentUrl", "keep", "1");
        edit.WriteString("RecentUrl\\Url2", "keep", "1");
        edit.WriteString("FileMRUList\\url", "File1", "b");
    }));
    ASSERT_TRUE(store.DeleteSection("recenturl\\URL"));
    EXPECT_TRUE(store.DeleteSection("never there"));
    ProfileStore reread(store.Path());
    EXPECT_EQ(reread.GetString("RecentUrl\\Url", "item0", "-"), "-");
    EXPECT_EQ(reread.GetString("RecentUrl", "keep", "-"), "1");
    EXPECT_EQ(reread.GetString("RecentUrl\\Url2", "keep", "-"), "1");
    EXPECT_EQ(reread.GetString("FileMRUList\\url", "File1", "-"), "b");
    // A deleted section can be written afresh.
    ASSERT_TRUE(reread.WriteString("RecentUrl\\Url", "item0", "mms://c"));
    EXPECT_EQ(ProfileStore(store.Path()).GetString("RecentUrl\\Url", "item0", "-"), "mms://c");
}

TEST(ProfileStore, ConcurrentProcessesLoseNoWrites) {
    constexpr int kChildren = 4;
    constexpr int kWritesEach = 50;
    test::TempDir dir;
    const fs::path path = dir / "cfg" / "Tapewell.ini";
    ProfileStore parent(path);  // its snapshot predates every child's write
    std::vector<pid_t> children;
    for (int child = 0; child < kChildren; ++child) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ProfileStore store(path);
            for (int i = 0; i < kWritesEach; ++i) {
                std::string name = "c" + std::to_string(child) + "_" + std::to_string(i);
                if (!store.WriteInt("Settings", name, child * 1000 + i)) {
                    ::_exit(1);
                }
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(parent.GetInt("settings", "c0_0", -1), -1);
    ASSERT_TRUE(parent.Reload());
    for (int child = 0; child < kChildren; ++child) {
        for (int i = 0; i < kWritesEach; ++i) {
            std::string name = "c" + std::to_string(child) + "_" + std::to_string(i);
            EXPECT_EQ(parent.GetInt("settings", name, -1), child * 1000 + i) << name;
        }
    }
    EXPECT_EQ(FolderEntries(dir / "cfg"),
              (std::set<std::string>{"Tapewell.ini", "Tapewell.ini.lock"}));
}

}  // namespace
}  // namespace tapewell
