// Two processes of the program saving the settings and the automatic list at
// the same time, while a third reads them: every read finds one writer's
// whole save, and no temporary file stays behind.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "app/ListFiles.h"
#include "app/RecordList.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

namespace fs = std::filesystem;

constexpr int kSaves = 100;

// Writer w's settings and list: w + 1 rows, base folder and limits that name w.
AppSettings WriterSettings(int w) {
    AppSettings settings;
    settings.m_baseDirectory = "/recordings/writer" + std::to_string(w);
    settings.m_maxTimeSeconds = 1000 + w;
    settings.m_maxSizeMiB = 2000 + w;
    return settings;
}

void FillList(RecordList& list, int w) {
    for (int row = 0; row <= w; ++row) {
        list.AddItem("mms://host/w" + std::to_string(w) + "-" + std::to_string(row) + ".asf", "",
                     "", "");
    }
}

[[noreturn]] void WriterProcess(int w) {
    AppSettings settings = WriterSettings(w);
    RecordList list;
    FillList(list, w);
    for (int i = 0; i < kSaves; ++i) {
        ProfileStore store(ProfileStore::DefaultPath());
        if (!settings.Save(store)) {
            ::_exit(1);
        }
        const auto saved = SaveListFile(list, AutomaticListPath(), ListSaveMode::All, nullptr);
        if (!saved || *saved != ListSaveResult::Saved) {
            ::_exit(1);
        }
    }
    ::_exit(0);
}

// Which writer a settings snapshot and a list came from; -1 for a mixture.
int SettingsWriter(const AppSettings& read) {
    for (int w = 0; w < 2; ++w) {
        const AppSettings expected = WriterSettings(w);
        if (read.m_baseDirectory == expected.m_baseDirectory &&
            read.m_maxTimeSeconds == expected.m_maxTimeSeconds &&
            read.m_maxSizeMiB == expected.m_maxSizeMiB) {
            return w;
        }
    }
    return -1;
}

int ListWriter(const RecordList& read) {
    const int w = read.RowCount() - 1;
    if (w < 0 || w > 1) {
        return -1;
    }
    RecordList expected;
    FillList(expected, w);
    for (int row = 0; row < read.RowCount(); ++row) {
        if (read.Row(row).cells != expected.Row(row).cells) {
            return -1;
        }
    }
    return w;
}

std::set<std::string> Entries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

TEST(ConcurrentWrites, SettingsAndAutomaticListStayWhole) {
    test::TempDir dir;
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    fs::create_directories(AutomaticListPath().parent_path());
    {
        // Both files exist before the race starts, so every read finds one.
        ProfileStore store(ProfileStore::DefaultPath());
        ASSERT_TRUE(WriterSettings(0).Save(store));
        RecordList list;
        FillList(list, 0);
        ASSERT_EQ(SaveListFile(list, AutomaticListPath(), ListSaveMode::All, nullptr).value(),
                  ListSaveResult::Saved);
    }

    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = ::fork();
        ASSERT_GE(writers[w], 0);
        if (writers[w] == 0) {
            WriterProcess(w);
        }
    }
    int reads = 0;
    int status[2] = {0, 0};
    bool ended[2] = {false, false};
    while (!ended[0] || !ended[1]) {
        AppSettings settings;
        settings.LoadValues(ProfileStore(ProfileStore::DefaultPath()));
        EXPECT_NE(SettingsWriter(settings), -1) << settings.m_baseDirectory;
        RecordList list;
        const ErrorOr<ListLoadResult> loaded = LoadListFile(list, AutomaticListPath());
        EXPECT_TRUE(loaded) << loaded.error().message;
        EXPECT_NE(ListWriter(list), -1) << list.RowCount();
        ++reads;
        for (int w = 0; w < 2; ++w) {
            ended[w] = ended[w] || ::waitpid(writers[w], &status[w], WNOHANG) == writers[w];
        }
    }
    for (int w = 0; w < 2; ++w) {
        EXPECT_TRUE(WIFEXITED(status[w]) && WEXITSTATUS(status[w]) == 0) << "writer " << w;
    }
    EXPECT_GT(reads, 0);
    EXPECT_EQ(Entries(ProfileStore::DefaultPath().parent_path()),
              (std::set<std::string>{"Tapewell.ini", "Tapewell.ini.lock"}));
    EXPECT_EQ(Entries(AutomaticListPath().parent_path()), (std::set<std::string>{"Tapewell.ibh"}));
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace tapewell
