// One Tapewell per user, seen from outside: real first instances, later
// starts that hand their items over, kills and terminations. The first
// instance keeps its record list in the automatic list file ("Save Play
// List" on), which is how the tests see its rows.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "GuiTestSupport.h"
#include "app/IbhFile.h"
#include "app/ListFiles.h"
#include "gui/app/InstanceChannel.h"
#include "settings/ProfileStore.h"
#include "support/TestSupport.h"

namespace tapewell::gui {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using test::CommandResult;

const std::string kGui = TAPEWELL_GUI_PATH;

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

long ElapsedMs(Clock::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// A later start with these arguments, run to its end.
CommandResult StartSecond(std::vector<std::string> args) {
    args.insert(args.begin(), kGui);
    return test::Run(args);
}

// A raw connection to the socket, sending head (when not empty); -1 when
// nobody accepts.
int RawConnect(const QString& path, const std::vector<uint8_t>& head = {}) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), static_cast<size_t>(native.size()));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    if (!head.empty() && ::send(fd, head.data(), head.size(), MSG_NOSIGNAL) < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::vector<IbhRecord> SavedRows() {
    const ErrorOr<IbhList> list = IbhFile::Load(AutomaticListPath());
    return list ? list->records : std::vector<IbhRecord>{};
}

// Waits until the automatic list holds count rows (it is written about
// two seconds after a change).
std::vector<IbhRecord> WaitForRows(size_t count, int timeoutMs = 6000) {
    const Clock::time_point start = Clock::now();
    std::vector<IbhRecord> rows = SavedRows();
    while (rows.size() != count && ElapsedMs(start) < timeoutMs) {
        Sleep(100);
        rows = SavedRows();
    }
    return rows;
}

std::set<std::string> Addresses(const std::vector<IbhRecord>& rows) {
    std::set<std::string> addresses;
    for (const IbhRecord& row : rows) {
        addresses.insert(row.address);
    }
    return addresses;
}

class InstanceProcessTest : public ::testing::Test {
protected:
    void SetUp() override { WriteSettings("Save Play List=1\n"); }

    void TearDown() override {
        for (pid_t pid : m_running) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    static void WriteSettings(const std::string& lines) {
        const fs::path ini = ProfileStore::DefaultPath();
        fs::create_directories(ini.parent_path());
        std::ofstream(ini) << "[settings]\n" << lines;
    }

    // Starts a Tapewell and waits until it serves hand-overs; -1 when it
    // ended or never listened.
    pid_t StartFirst() {
        const pid_t pid = test::Spawn({kGui});
        m_running.push_back(pid);
        const Clock::time_point start = Clock::now();
        while (ElapsedMs(start) < 10000) {
            if (!Alive(pid)) {
                return -1;
            }
            if (const int fd = RawConnect(instance::SocketPath()); fd >= 0) {
                ::close(fd);
                return pid;
            }
            Sleep(50);
        }
        return -1;
    }

    pid_t StartAnother() {
        const pid_t pid = test::Spawn({kGui});
        m_running.push_back(pid);
        return pid;
    }

    // False once the process has ended (it is then reaped).
    bool Alive(pid_t pid) {
        if (::waitpid(pid, nullptr, WNOHANG) == 0) {
            return true;
        }
        std::erase(m_running, pid);
        return false;
    }

    // The exit code after a signal, or -1 when it did not end within 10 s.
    int SignalAndWait(pid_t pid, int signal) {
        ::kill(pid, signal);
        const Clock::time_point start = Clock::now();
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (ElapsedMs(start) > 10000) {
                return -1;
            }
            Sleep(20);
        }
        std::erase(m_running, pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::vector<pid_t> m_running;
};

TEST_F(InstanceProcessTest, AllowMultipleInstancesKeepsBothRunning) {
    WriteSettings("Allow Multiple Instances=1\n");
    const pid_t first = StartAnother();
    const pid_t second = StartAnother();
    Sleep(1500);
    EXPECT_TRUE(Alive(first));
    EXPECT_TRUE(Alive(second));
    EXPECT_FALSE(fs::exists(instance::SocketPath().toStdString()))
        << "no server without an election";
}

TEST_F(InstanceProcessTest, FiveHandOversAtOnceGiveFiveRows) {
    ASSERT_GT(StartFirst(), 0);
    std::vector<CommandResult> results(5);
    std::vector<std::thread> starts;
    std::set<std::string> items;
    for (int i = 0; i < 5; ++i) {
        const std::string item = "http://127.0.0.1:9/at-once-" + std::to_string(i) + ".asf";
        items.insert(item);
        starts.emplace_back([&results, i, item] { results[i] = StartSecond({"/Open", item}); });
    }
    for (std::thread& start : starts) {
        start.join();
    }
    for (const CommandResult& result : results) {
        EXPECT_EQ(result.exitCode, 0) << result.err;
    }
    EXPECT_EQ(Addresses(WaitForRows(5)), items);
}

TEST_F(InstanceProcessTest, OverLongItemsAreRefusedAndTheFirstLivesOn) {
    const pid_t first = StartFirst();
    ASSERT_GT(first, 0);
    const CommandResult refused =
        StartSecond({"http://127.0.0.1:9/" + std::string(100 * 1024, 'a')});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.err.find("tapewell: "), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("65536"), std::string::npos) << refused.err;

    // A hostile sender announcing a megabyte is cut off at once.
    const std::vector<uint8_t> head{instance::kHandOverVersion, 0, 0, 0, 0, 0, 0, 0x10, 0};
    const int raw = RawConnect(instance::SocketPath(), head);
    ASSERT_GE(raw, 0);
    pollfd entry{raw, POLLIN, 0};
    EXPECT_EQ(::poll(&entry, 1, 3000), 1);
    char byte = 0;
    EXPECT_LE(::recv(raw, &byte, 1, MSG_DONTWAIT), 0) << "closed without an answer";
    ::close(raw);

    EXPECT_TRUE(Alive(first));
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(StartSecond({"/Open", "http://127.0.0.1:9/later.asf"}).exitCode, 0);
    EXPECT_LT(ElapsedMs(start), 5000);
    const std::vector<IbhRecord> rows = WaitForRows(1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].address, "http://127.0.0.1:9/later.asf");
}

TEST_F(InstanceProcessTest, AHandedOverListFileIsRememberedAndItsRowsLoad) {
    const fs::path listPath = test::TestHome() / "x.ibh";
    IbhList list;
    list.records.push_back({"one", "http://127.0.0.1:9/one.asf", "", "", ""});
    list.records.push_back({"two", "http://127.0.0.1:9/two.asf", "", "", ""});
    const ErrorOr<void> saved = IbhFile::Save(listPath, list);
    ASSERT_TRUE(saved) << saved.error().message;

    ASSERT_GT(StartFirst(), 0);
    EXPECT_EQ(StartSecond({listPath.string()}).exitCode, 0);
    EXPECT_EQ(Addresses(WaitForRows(2)),
              (std::set<std::string>{"http://127.0.0.1:9/one.asf", "http://127.0.0.1:9/two.asf"}));
    EXPECT_EQ(ProfileStore(ProfileStore::DefaultPath()).GetString("Path", "ibh", ""),
              listPath.string());
}

TEST_F(InstanceProcessTest, SigtermEndsWithZeroSavingOrDeletingTheList) {
    const pid_t saving = StartFirst();
    ASSERT_GT(saving, 0);
    ASSERT_EQ(StartSecond({"http://127.0.0.1:9/kept.asf"}).exitCode, 0);
    // At once, before the delayed save: the exit itself must write the row.
    EXPECT_EQ(SignalAndWait(saving, SIGTERM), 0);
    const std::vector<IbhRecord> rows = SavedRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].address, "http://127.0.0.1:9/kept.asf");

    WriteSettings("Save Play List=0\n");
    const pid_t notSaving = StartFirst();
    ASSERT_GT(notSaving, 0);
    ASSERT_EQ(StartSecond({"http://127.0.0.1:9/dropped.asf"}).exitCode, 0);
    EXPECT_EQ(SignalAndWait(notSaving, SIGTERM), 0);
    EXPECT_FALSE(fs::exists(AutomaticListPath()));
}

// A row handed over is in the automatic list once the delayed save has run,
// so a kill -9 after that loses nothing; the next start takes over the dead
// one's lock and socket, shows the row and serves hand-overs.
TEST_F(InstanceProcessTest, ARowHandedOverSurvivesAKill9AndTheNextStartBecomesFirst) {
    const pid_t killed = StartFirst();
    ASSERT_GT(killed, 0);
    ASSERT_EQ(StartSecond({"http://127.0.0.1:9/survivor.asf"}).exitCode, 0);
    ASSERT_EQ(WaitForRows(1).size(), 1u);
    EXPECT_EQ(SignalAndWait(killed, SIGKILL), 128 + SIGKILL);
    ASSERT_TRUE(fs::exists(instance::SocketPath().toStdString() + ".lock"));

    const pid_t next = StartFirst();
    ASSERT_GT(next, 0) << "the new start must take over the dead one's lock and socket";
    EXPECT_EQ(StartSecond({"http://127.0.0.1:9/after.asf"}).exitCode, 0);
    EXPECT_EQ(SignalAndWait(next, SIGTERM), 0);
    EXPECT_EQ(Addresses(SavedRows()), (std::set<std::string>{"http://127.0.0.1:9/survivor.asf",
                                                             "http://127.0.0.1:9/after.asf"}));
}

}  // namespace
}  // namespace tapewell::gui
