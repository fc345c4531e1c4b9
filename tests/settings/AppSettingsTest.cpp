#include "settings/AppSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "settings/ProfileStore.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kDefaultTypes = {".wmv", ".asf", ".wma", ".ogg",
                                                ".avi", ".mpa", ".mpg", ".mpeg"};

// Points HOME and XDG_CONFIG_HOME into a temp folder, so that default paths
// and the folders Load creates never touch the real home folder.
class AppSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"}) {
            const char* old = std::getenv(name);
            m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        }
        ::setenv("HOME", m_home.Path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (m_home / "config").c_str(), 1);
    }
    void TearDown() override {
        for (auto& [name, value] : m_saved) {
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
        }
    }

    test::TempDir m_home;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

auto StoredFields(const AppSettings& s) {
    return std::tie(s.m_baseDirectory, s.m_agent, s.m_overwriteConfirm, s.m_resumeConfirm,
                    s.m_allowMultipleInstances, s.m_savePlayList, s.m_liveSaveTimeInfo,
                    s.m_saveFullScreenPos, s.m_toolTips, s.m_timeLimitOn, s.m_sizeLimitOn,
                    s.m_maxTimeSeconds, s.m_maxSizeMiB, s.m_reconnectTries,
                    s.m_concurrentRecordings, s.m_captureHttp, s.m_captureMms, s.m_captureRtsp,
                    s.m_captureDriver, s.m_fileTypes, s.m_repeat, s.m_sequence, s.m_keepSize,
                    s.m_keep, s.m_onTop, s.m_screenSave, s.m_enableCaption, s.m_splitCaptionWnd,
                    s.m_captionColor, s.m_captionSize, s.m_captionStyleName, s.m_captionFaceName,
                    s.m_captionBold, s.m_captionMargin, s.m_useProxy, s.m_proxyServer,
                    s.m_proxyPort, s.m_bypassProxy);
}

// Every field moved off its default.
AppSettings Changed(const std::string& baseDirectory) {
    AppSettings s;
    s.m_baseDirectory = baseDirectory;
    s.m_agent = "agent/2";
    s.m_overwriteConfirm = s.m_resumeConfirm = false;
    s.m_allowMultipleInstances = s.m_savePlayList = true;
    s.m_liveSaveTimeInfo = false;
    s.m_saveFullScreenPos = true;
    s.m_toolTips = false;
    s.m_timeLimitOn = s.m_sizeLimitOn = true;
    s.m_maxTimeSeconds = 60;
    s.m_maxSizeMiB = 4096;
    s.m_reconnectTries = 0;
    s.m_concurrentRecordings = 8;
    s.m_playerAgent = "NSPlayer/secret";
    s.m_captureHttp = s.m_captureMms = s.m_captureRtsp = false;
    s.m_captureDriver = "eth0";
    s.m_fileTypes = {".asf", ".wmv"};
    s.m_repeat = s.m_sequence = false;
    s.m_keepSize = s.m_keep = true;
    s.m_reserved24 = false;
    s.m_onTop = true;
    s.m_screenSave = s.m_enableCaption = false;
    s.m_splitCaptionWnd = true;
    s.m_captionColor = 0xFF0080FF;  // top byte set: must survive the signed text form
    s.m_captionSize = 20;
    s.m_captionStyleName = "굵게";
    s.m_captionFaceName = "Noto Sans KR";
    s.m_captionBold = false;
    s.m_captionMargin = 7;
    s.m_reserved35 = 35;
    s.m_userName = "user-never-stored";
    s.m_password = "password-never-stored";
    s.m_useProxy = true;
    s.m_proxyServer = "proxy.example";
    s.m_proxyPort = 3128;
    s.m_bypassProxy = true;
    return s;
}

TEST_F(AppSettingsTest, MissingFileGivesTheDefaults) {
    ProfileStore store(m_home / "none.ini");
    AppSettings loaded;
    loaded.Load(store);
    AppSettings expected;
    expected.m_fileTypes = kDefaultTypes;
    EXPECT_EQ(StoredFields(loaded), StoredFields(expected));
    EXPECT_EQ(loaded.m_baseDirectory, (m_home / "Videos" / "Tapewell").string());
    EXPECT_TRUE(fs::is_directory(loaded.m_baseDirectory));
    EXPECT_FALSE(fs::exists(store.Path()));
    EXPECT_EQ(ProfileStore::DefaultPath(), m_home / "config" / "Tapewell" / "Tapewell.ini");
}

TEST_F(AppSettingsTest, DefaultBaseDirectoryFollowsTheVideosUserDir) {
    fs::create_directories(m_home / "config");
    auto baseWith = [&](const std::string& line) {
        std::string text = "# written by xdg-user-dirs-update\n" + line + "\n";
        test::WriteFileBytes(m_home / "config" / "user-dirs.dirs", {text.begin(), text.end()});
        return AppSettings().m_baseDirectory;
    };
    const std::string home = m_home.Path().string();
    EXPECT_EQ(baseWith("XDG_VIDEOS_DIR=\"$HOME/Filme\""), home + "/Filme/Tapewell");
    EXPECT_EQ(baseWith("XDG_VIDEOS_DIR=\"/srv/my\\ videos\""), "/srv/my videos/Tapewell");
    EXPECT_EQ(baseWith("XDG_VIDEOS_DIR=\"$HOME/\""), home + "/Videos/Tapewell");
    EXPECT_EQ(baseWith("XDG_VIDEOS_DIR=\"relative\""), home + "/Videos/Tapewell");
    EXPECT_EQ(baseWith("XDG_MUSIC_DIR=\"$HOME/Musik\""), home + "/Videos/Tapewell");
}

TEST_F(AppSettingsTest, SaveThenLoadKeepsEveryStoredField) {
    ProfileStore store(m_home / "p.ini");
    const AppSettings saved = Changed((m_home / "rec").string());
    ASSERT_TRUE(saved.Save(store));
    AppSettings loaded;
    loaded.Load(ProfileStore(store.Path()));
    EXPECT_EQ(StoredFields(loaded), StoredFields(saved));
    const AppSettings defaults;
    EXPECT_EQ(loaded.m_playerAgent, defaults.m_playerAgent);
    EXPECT_EQ(loaded.m_userName, "");
    EXPECT_EQ(loaded.m_password, "");
    EXPECT_TRUE(loaded.m_reserved24);
    EXPECT_EQ(loaded.m_reserved35, 0);

    // The value names are exactly the historical ones, odd spellings included.
    const std::vector<uint8_t> bytes = test::ReadFileBytes(store.Path());
    const std::string text(bytes.begin(), bytes.end());
    for (const char* line :
         {"\nScreenSave%20=0\n", "\nProxy SAerver=proxy.example\n", "\nCaption Corlor=-16744193\n",
          "\nSplite Caption Wnd=1\n", "\nbase dir=", "\nLive Content Save Time Info=0\n",
          "[FileTypeList\\type]\n@=2\ntype0=.asf\ntype1=.wmv\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    for (const char* secret : {"NSPlayer/secret", "never-stored", "=35\n"}) {
        EXPECT_EQ(text.find(secret), std::string::npos) << secret;
    }
    size_t begin = text.find("[settings]\n");
    std::string settings = text.substr(begin, text.find("\n[", begin) - begin);
    EXPECT_EQ(std::count(settings.begin(), settings.end(), '\n'), 38);  // header, 37 values
}

TEST_F(AppSettingsTest, FileTypeListEndsAtTheCountOrTheFirstGap) {
    struct Case {
        std::string section;
        std::vector<std::string> expected;
    };
    std::string ten;
    for (int i = 0; i < 10; ++i) {
        ten += "type" + std::to_string(i) + "=.t" + std::to_string(i) + "\n";
    }
    const std::vector<Case> cases = {
        {"@=3\ntype0=.a\ntype1=.b\ntype2=.c\ntype3=.d\ntype4=.e\ntype5=.f\n", {".a", ".b", ".c"}},
        {ten, {".t0", ".t1", ".t2", ".t3", ".t4", ".t5", ".t6", ".t7", ".t8", ".t9"}},
        {"type0=.a\ntype1=.b\ntype2=.c\ntype3=.d\ntype4=\ntype5=.f\n", {".a", ".b", ".c", ".d"}},
        {"@=0\ntype0=.a\n", {}},
        {"@=-1\n", {}},
        {"type1=.x\n", {".wmv", ".x", ".wma", ".ogg", ".avi", ".mpa", ".mpg", ".mpeg"}},
    };
    for (const Case& c : cases) {
        ProfileStore store{fs::path()};
        store.LoadText("[FileTypeList\\type]\n" + c.section);
        AppSettings settings;
        settings.LoadValues(store);
        EXPECT_EQ(settings.m_fileTypes, c.expected) << c.section;
        settings.LoadValues(store);
        EXPECT_EQ(settings.m_fileTypes, c.expected) << "loaded twice: " << c.section;
    }
}

// Values a hand-edited file may hold: counts outside what the jobs and the
// list can take are brought into range, and the base folder loses one
// trailing slash (and is created).
TEST_F(AppSettingsTest, OutOfRangeCountsAreClampedAndTheBaseLosesOneSlash) {
    const std::string base = (m_home / "a" / "b" / "c").string();
    ProfileStore store{fs::path()};
    AppSettings settings;
    store.LoadText("[settings]\nbase dir=" + base +
                   "/\nReconnect Tries=1001\n"
                   "Concurrent Recordings=0\n");
    settings.Load(store);
    EXPECT_EQ(settings.m_baseDirectory, base);
    EXPECT_TRUE(fs::is_directory(base));
    EXPECT_EQ(settings.m_reconnectTries, AppSettings::kMaxReconnectTries);
    EXPECT_EQ(settings.m_concurrentRecordings, 1);

    store.LoadText("[settings]\nbase dir=/\nReconnect Tries=-1\nConcurrent Recordings=9\n");
    settings.LoadValues(store);
    EXPECT_EQ(settings.m_baseDirectory, "/");
    EXPECT_EQ(settings.m_reconnectTries, 0);
    EXPECT_EQ(settings.m_concurrentRecordings, AppSettings::kMaxConcurrentRecordings);
    store.LoadText("[settings]\nbase dir=\n");
    settings.LoadValues(store);
    EXPECT_EQ(settings.m_baseDirectory, "");
}

TEST_F(AppSettingsTest, CopiesEverythingButReserved24AndReplacesTheList) {
    const AppSettings source = Changed("/base");
    AppSettings copy(source);
    EXPECT_EQ(StoredFields(copy), StoredFields(source));
    EXPECT_TRUE(copy.m_reserved24);
    EXPECT_EQ(
        std::tie(copy.m_playerAgent, copy.m_userName, copy.m_password, copy.m_reserved35),
        std::tie(source.m_playerAgent, source.m_userName, source.m_password, source.m_reserved35));

    AppSettings assigned;
    assigned.m_fileTypes = {".x", ".y", ".z"};
    assigned = source;
    EXPECT_EQ(StoredFields(assigned), StoredFields(source));
    EXPECT_EQ(assigned.m_fileTypes, source.m_fileTypes);
    EXPECT_TRUE(assigned.m_reserved24);
    assigned.m_reserved24 = false;
    assigned = source;
    EXPECT_FALSE(assigned.m_reserved24);
    AppSettings& self = assigned;
    assigned = self;
    EXPECT_EQ(assigned.m_fileTypes, source.m_fileTypes);
    EXPECT_FALSE(assigned.m_reserved24);
}

}  // namespace
}  // namespace tapewell
