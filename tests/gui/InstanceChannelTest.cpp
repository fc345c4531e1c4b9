// The single-instance channel inside one process: where the socket lives,
// who wins the lock, and hand-overs between a sender thread and a server on
// the test's event loop, with raw sockets playing broken or hostile peers.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "GuiTestSupport.h"
#include "gui/app/InstanceChannel.h"
#include "support/TestSupport.h"

namespace tapewell::gui {
namespace {

namespace fs = std::filesystem;
using namespace instance;
using test::TestHome;
using test::WaitFor;
using Clock = std::chrono::steady_clock;

QString Q(const fs::path& path) {
    return QString::fromStdString(path.string());
}

QString RuntimeSocket() {
    return Q(TestHome() / "runtime" / "Tapewell.sock");
}

long ElapsedMs(Clock::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { m_old ? ::setenv(m_name, m_old->c_str(), 1) : ::unsetenv(m_name); }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// SendHandOver on its own thread while the test's event loop serves it.
class AsyncHandOver {
public:
    AsyncHandOver(const QString& path, int32_t mode, const std::string& text, int timeoutMs = 5000)
        : m_thread([this, path, mode, text, timeoutMs] {
              m_result = SendHandOver(path, mode, text, timeoutMs);
              m_done = true;
          }) {}
    ~AsyncHandOver() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    bool Done() const { return m_done; }
    HandOverResult Wait() {
        EXPECT_TRUE(WaitFor([this] { return Done(); }, 10000));
        m_thread.join();
        return m_result;
    }

private:
    std::atomic<bool> m_done{false};
    HandOverResult m_result;
    std::thread m_thread;
};

struct Received {
    int32_t mode;
    QString text;
};

sockaddr_un Address(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), static_cast<size_t>(native.size()));
    return address;
}

int RawConnect(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = Address(path);
    EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    return fd;
}

// A listening socket that never accepts unless the test does (non-blocking).
int RawListen(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_un address = Address(path);
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    EXPECT_EQ(::listen(fd, 8), 0);
    return fd;
}

void SendRaw(int fd, const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
}

std::vector<uint8_t> Head(uint8_t version, int32_t mode, uint32_t length) {
    std::vector<uint8_t> head{version};
    for (uint32_t value : {static_cast<uint32_t>(mode), length}) {
        for (int shift = 0; shift < 32; shift += 8) {
            head.push_back(static_cast<uint8_t>(value >> shift));
        }
    }
    return head;
}

bool PeerClosed(int fd) {
    char byte = 0;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

class InstanceHandOverTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(m_server.Listen(RuntimeSocket(), &error)) << error.toStdString();
    }

    std::vector<Received> m_received;
    InstanceServer m_server{[this](int32_t mode, const QString& text) {
        m_received.push_back({mode, text});
    }};
};

TEST(InstanceSocketPath, RuntimeFolderWhenUsableElseAPrivateFolderInTemp) {
    const fs::path runtime = TestHome() / "runtime";
    EXPECT_EQ(SocketPath(), Q(runtime / "Tapewell.sock"));
    ScopedEnv slash("XDG_RUNTIME_DIR", (runtime.string() + "/").c_str());
    EXPECT_EQ(SocketPath(), Q(runtime / "Tapewell.sock"));

    const fs::path temp = TestHome() / "tmp";
    fs::create_directories(temp);
    ScopedEnv tmpdir("TMPDIR", temp.c_str());
    const fs::path folder = temp / ("Tapewell-" + std::to_string(::getuid()));
    const std::string aFile = (TestHome() / "file").string();
    test::WriteFileBytes(aFile, {1});
    for (const char* unusable :
         {static_cast<const char*>(nullptr), "", "runtime", "/no/such/dir", aFile.c_str()}) {
        ScopedEnv env("XDG_RUNTIME_DIR", unusable);
        QString error;
        EXPECT_EQ(SocketPath(&error), Q(folder / "Tapewell.sock")) << error.toStdString();
        struct stat info {};
        ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        ::chmod(folder.c_str(), 0755);  // the next round finds it open to others
    }
}

TEST(InstanceSocketPath, RefusesALinkOrFileInPlaceOfTheTempFolder) {
    const fs::path temp = TestHome() / "tmp";
    fs::create_directories(temp / "elsewhere");
    ScopedEnv tmpdir("TMPDIR", temp.c_str());
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    const fs::path folder = temp / ("Tapewell-" + std::to_string(::getuid()));

    fs::create_directory_symlink(temp / "elsewhere", folder);
    QString error;
    EXPECT_TRUE(SocketPath(&error).isEmpty());
    EXPECT_TRUE(error.contains(Q(folder))) << error.toStdString();

    fs::remove(folder);
    test::WriteFileBytes(folder, {1});
    error.clear();
    EXPECT_TRUE(SocketPath(&error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
}

TEST(InstanceElection, FirstWinsInProcessAndTheLockEndsWithIt) {
    const QString path = RuntimeSocket();
    auto first = std::make_unique<Election>(path);
    EXPECT_TRUE(first->BecomeFirst());
    EXPECT_TRUE(QFile::exists(path + ".lock"));
    EXPECT_FALSE(Election(path).BecomeFirst());
    EXPECT_TRUE(first->BecomeFirst()) << "the holder stays first";
    first.reset();
    EXPECT_TRUE(Election(path).BecomeFirst());
}

TEST(InstanceElection, ALockOfAKilledProcessIsTakenOver) {
    const QString path = RuntimeSocket();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        Election election(path);
        const char won = election.BecomeFirst() ? '1' : '0';
        [[maybe_unused]] const ssize_t written = ::write(ready[1], &won, 1);
        for (;;) {
            ::pause();
        }
    }
    const std::unique_ptr<void, std::function<void(void*)>> reaper(&ready, [child](void*) {
        if (::kill(child, SIGKILL) == 0) {
            ::waitpid(child, nullptr, 0);
        }
    });
    ::close(ready[1]);
    char won = 0;
    ASSERT_EQ(::read(ready[0], &won, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(won, '1');
    EXPECT_FALSE(Election(path).BecomeFirst()) << "a live holder in another process keeps it";

    ASSERT_EQ(::kill(child, SIGKILL), 0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    EXPECT_TRUE(QFile::exists(path + ".lock")) << "a killed holder leaves its lock file";
    Election next(path);
    EXPECT_TRUE(next.BecomeFirst());
    EXPECT_TRUE(next.Error().isEmpty());
}

TEST_F(InstanceHandOverTest, ModeAndKoreanTextArriveAndEmptyTextToo) {
    const std::string korean = "mms://예제.kr/라이브 방송&&녹화 이름&&1";
    EXPECT_TRUE(AsyncHandOver(RuntimeSocket(), 2, korean).Wait().ok);
    EXPECT_TRUE(AsyncHandOver(RuntimeSocket(), -1, "").Wait().ok);
    ASSERT_EQ(m_received.size(), 2u);
    EXPECT_EQ(m_received[0].mode, 2);
    EXPECT_EQ(m_received[0].text, QString::fromUtf8(korean.c_str()));
    EXPECT_EQ(m_received[1].mode, -1);
    EXPECT_TRUE(m_received[1].text.isEmpty());
}

TEST_F(InstanceHandOverTest, TheAckComesOnlyAfterTheHandlerRan) {
    std::optional<AsyncHandOver> sender;
    bool senderDoneInHandler = true;
    InstanceServer slow([&](int32_t, const QString&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        senderDoneInHandler = sender->Done();
    });
    const QString path = Q(TestHome() / "runtime" / "slow.sock");
    ASSERT_TRUE(slow.Listen(path));
    sender.emplace(path, 0, "x");
    EXPECT_TRUE(sender->Wait().ok);
    EXPECT_FALSE(senderDoneInHandler);
}

TEST_F(InstanceHandOverTest, TextOf64KiBPassesOneByteMoreIsRefusedWithoutConnecting) {
    std::string limit;
    while (limit.size() + 3 <= kMaxHandOverTextBytes) {
        limit += "녹";
    }
    limit.append(kMaxHandOverTextBytes - limit.size(), 'a');
    ASSERT_EQ(limit.size(), 65536u);
    EXPECT_TRUE(AsyncHandOver(RuntimeSocket(), 1, limit).Wait().ok);
    ASSERT_EQ(m_received.size(), 1u);
    EXPECT_EQ(m_received[0].text.toUtf8().toStdString(), limit);

    const QString rawPath = Q(TestHome() / "runtime" / "raw.sock");
    const int listener = RawListen(rawPath);
    const Clock::time_point start = Clock::now();
    const HandOverResult refused = SendHandOver(rawPath, 1, limit + "a", 3000);
    EXPECT_LT(ElapsedMs(start), 1000);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.error.find("65536"), std::string::npos) << refused.error;
    EXPECT_LT(::accept(listener, nullptr, nullptr), 0) << "nobody may have connected";
    ::close(listener);
}

TEST_F(InstanceHandOverTest, ABadHeadIsDroppedAtOnceAndTheServerLivesOn) {
    m_server.SetStallTimeout(60000);  // the drop must not be the stall timer's
    for (const std::vector<uint8_t>& head :
         {Head(kHandOverVersion, 0, kMaxHandOverTextBytes + 1), Head(2, 0, 3), Head(0, 0, 0)}) {
        const int fd = RawConnect(RuntimeSocket());
        SendRaw(fd, head);
        EXPECT_TRUE(WaitFor([fd] { return PeerClosed(fd); }, 2000));
        ::close(fd);
    }
    EXPECT_TRUE(m_received.empty());
    EXPECT_TRUE(AsyncHandOver(RuntimeSocket(), 0, "after").Wait().ok);
    ASSERT_EQ(m_received.size(), 1u);
    EXPECT_EQ(m_received[0].text, "after");
}

TEST_F(InstanceHandOverTest, AMessageInPiecesIsPutTogether) {
    const int fd = RawConnect(RuntimeSocket());
    std::vector<uint8_t> message = Head(kHandOverVersion, 2, 6);
    message.insert(message.end(), {'a', 'b', 'c', 'd', 'e', 'f'});
    // Part of the head, then the rest of it with part of the text.
    for (const auto& [from, to] : {std::pair{0, 4}, std::pair{4, 11}}) {
        SendRaw(fd, std::vector<uint8_t>(message.begin() + from, message.begin() + to));
        WaitFor([] { return false; }, 100);
        EXPECT_TRUE(m_received.empty());
        EXPECT_FALSE(PeerClosed(fd));
    }
    SendRaw(fd, std::vector<uint8_t>(message.begin() + 11, message.end()));
    char ack = 0;
    EXPECT_TRUE(WaitFor([&] { return ::recv(fd, &ack, 1, MSG_DONTWAIT) == 1; }, 2000));
    EXPECT_EQ(ack, static_cast<char>(kHandOverAck));
    ::close(fd);
    ASSERT_EQ(m_received.size(), 1u);
    EXPECT_EQ(m_received[0].mode, 2);
    EXPECT_EQ(m_received[0].text, "abcdef");
}

TEST_F(InstanceHandOverTest, AStalledConnectionIsDroppedWithoutBlockingOthers) {
    m_server.SetStallTimeout(500);
    const int stalled = RawConnect(RuntimeSocket());
    SendRaw(stalled, Head(kHandOverVersion, 0, 10));
    EXPECT_TRUE(AsyncHandOver(RuntimeSocket(), 0, "meanwhile").Wait().ok);
    EXPECT_TRUE(WaitFor([stalled] { return PeerClosed(stalled); }, 3000));
    ::close(stalled);
    ASSERT_EQ(m_received.size(), 1u);
    EXPECT_EQ(m_received[0].text, "meanwhile");
}

TEST(InstanceSender, WaitsForAFirstInstanceStillStarting) {
    AsyncHandOver sender(RuntimeSocket(), 1, "early", 3000);
    WaitFor([] { return false; }, 300);
    EXPECT_FALSE(sender.Done());
    std::vector<Received> received;
    InstanceServer server([&](int32_t mode, const QString& text) {
        received.push_back({mode, text});
    });
    ASSERT_TRUE(server.Listen(RuntimeSocket()));
    EXPECT_TRUE(sender.Wait().ok);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].text, "early");
}

TEST(InstanceSender, GivesUpWithAReasonWithinItsTimeOut) {
    Clock::time_point start = Clock::now();
    HandOverResult nobody = SendHandOver(RuntimeSocket(), 0, "x", 300);
    EXPECT_FALSE(nobody.ok);
    EXPECT_GE(ElapsedMs(start), 300);
    EXPECT_LT(ElapsedMs(start), 2000);
    EXPECT_NE(nobody.error.find("300 ms"), std::string::npos) << nobody.error;

    // Connected and sent, but the answer never comes: connect, send and
    // wait share the one deadline.
    const int listener = RawListen(RuntimeSocket());
    start = Clock::now();
    HandOverResult silent = SendHandOver(RuntimeSocket(), 0, "x", 400);
    EXPECT_FALSE(silent.ok);
    EXPECT_GE(ElapsedMs(start), 400);
    EXPECT_LT(ElapsedMs(start), 2000);
    EXPECT_NE(silent.error.find("no answer"), std::string::npos) << silent.error;

    std::atomic<bool> done = false;
    HandOverResult closed;
    std::thread sender([&] {
        closed = SendHandOver(RuntimeSocket(), 0, "x", 3000);
        done = true;
    });
    // Every connection is taken and closed unanswered (the silent one too).
    EXPECT_TRUE(WaitFor(
        [&] {
            for (int peer; (peer = ::accept(listener, nullptr, nullptr)) >= 0;) {
                ::close(peer);
            }
            return done.load();
        },
        2000));
    sender.join();
    EXPECT_FALSE(closed.ok);
    EXPECT_NE(closed.error.find("closed"), std::string::npos) << closed.error;
    ::close(listener);

    EXPECT_FALSE(SendHandOver(QString(200, 'x').prepend('/'), 0, "x", 300).error.empty());
}

TEST(InstanceServerListen, ReplacesAStaleSocketFile) {
    const int dead = RawListen(RuntimeSocket());
    ::close(dead);
    ASSERT_TRUE(QFile::exists(RuntimeSocket()));
    EXPECT_FALSE(SendHandOver(RuntimeSocket(), 0, "x", 200).ok);

    std::vector<Received> received;
    InstanceServer server([&](int32_t mode, const QString& text) {
        received.push_back({mode, text});
    });
    QString error;
    ASSERT_TRUE(server.Listen(RuntimeSocket(), &error)) << error.toStdString();
    EXPECT_TRUE(AsyncHandOver(RuntimeSocket(), 0, "fresh").Wait().ok);
    EXPECT_EQ(received.size(), 1u);

    EXPECT_FALSE(InstanceServer(InstanceServer::Handler())
                     .Listen(Q(TestHome() / "no" / "such" / "x.sock"), &error));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace tapewell::gui
