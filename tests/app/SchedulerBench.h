#pragma once

// What the scheduler and address-check tests share: the "list's thread"
// (the test's own thread, draining queued notices and results), a scripted
// prompt, short clips served by tapewell-testserver, and a record list with
// its scheduler.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <atomic>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/RecordList.h"
#include "app/RecordScheduler.h"
#include "engine/JobPrompt.h"
#include "recording/CmmsThread.h"
#include "recording/JobSink.h"
#include "support/TestSupport.h"

namespace tapewell::test {

// Queues what workers hand over; the test's thread runs it.
class ListThreadQueue final : public JobSink {
public:
    std::function<void(int, uint16_t)> onNotice;

    void OnJobNotice(int code, uint16_t job) override {
        Push([this, code, job] { onNotice(code, job); });
    }
    void Push(std::function<void()> work) {
        {
            std::lock_guard lock(m_lock);
            m_work.push_back(std::move(work));
        }
        m_ready.notify_one();
    }
    // Runs queued work until done() holds; false after timeoutMs.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs = 20'000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end) {
                return false;
            }
            std::unique_lock lock(m_lock);
            // In slices: done() may turn true on a worker without any work.
            if (!m_ready.wait_for(lock, std::chrono::milliseconds(20),
                                  [this] { return !m_work.empty(); })) {
                continue;
            }
            std::function<void()> work = std::move(m_work.front());
            m_work.pop_front();
            lock.unlock();
            work();
        }
        return true;
    }
    // Runs what is queued now, such as the notices of jobs already joined.
    void RunQueued() {
        std::deque<std::function<void()>> work;
        {
            std::lock_guard lock(m_lock);
            work.swap(m_work);
        }
        for (auto& item : work) {
            item();
        }
    }

private:
    std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<std::function<void()>> m_work;
};

// The answers every prompt of a test gives, and what was asked.
struct PromptScript {
    std::optional<JobPrompt::Credentials> credentials;
    JobPrompt::ExistsChoice exists;
    bool holdExists = false;  // the file-exists question waits until cancelled
    std::atomic<int> credentialAsks{0};
    std::atomic<int> existsAsks{0};
    std::atomic<bool> holding{false};
};

class ScriptedJobPrompt final : public JobPrompt {
public:
    explicit ScriptedJobPrompt(std::shared_ptr<PromptScript> script)
        : m_script(std::move(script)) {}

    std::optional<Credentials> AskCredentials(const std::string&, const std::string&,
                                              const std::string&) override {
        ++m_script->credentialAsks;
        return m_script->credentials;
    }
    ExistsChoice AskFileExists(const std::filesystem::path&) override {
        ++m_script->existsAsks;
        if (!m_script->holdExists) {
            return m_script->exists;
        }
        std::unique_lock lock(m_lock);
        m_script->holding = true;
        m_cancelled.wait(lock, [this] { return m_cancel; });
        return {};
    }
    void Cancel() override {
        {
            std::lock_guard lock(m_lock);
            m_cancel = true;
        }
        m_cancelled.notify_all();
    }

private:
    std::shared_ptr<PromptScript> m_script;
    std::mutex m_lock;
    std::condition_variable m_cancelled;
    bool m_cancel = false;
};

// A loopback port nobody listens on.
inline uint16_t ClosedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// A folder of short clips c1.asf, c2.asf, c3.asf (different titles, so
// that a file recorded from the wrong row shows), made once per program.
inline const std::filesystem::path& ShortClips() {
    static TempDir root;
    static const bool made = [] {
        for (const char* name : {"c1", "c2", "c3"}) {
            AsfRecipe recipe;
            recipe.seconds = 1.5;
            recipe.title = name;
            MakeAsf(root / (std::string(name) + ".asf"), recipe);
        }
        return true;
    }();
    (void)made;
    return root.Path();
}

inline std::string At(uint16_t port, const std::string& path, const std::string& scheme = "http") {
    return scheme + "://127.0.0.1:" + std::to_string(port) + path;
}

// Client sockets of this machine connected to port (a job's side of a
// session, or a probe waiting on a silent peer).
inline int ConnectionsTo(uint16_t port) {
    std::ifstream tcp("/proc/net/tcp");
    std::string line;
    std::getline(tcp, line);
    int count = 0;
    while (std::getline(tcp, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        const auto colon = remote.find(':');
        if (colon != std::string::npos && state == "01" &&
            std::stoul(remote.substr(colon + 1), nullptr, 16) == port) {
            ++count;
        }
    }
    return count;
}

struct UrlLog final : UrlOpener {
    std::vector<std::string> opened;
    void OpenUrl(const std::string& url) override { opened.push_back(url); }
};

// A record list and its scheduler with the test's thread as the list's
// thread, recording into a fresh base folder, the profile in a temp folder.
class SchedulerTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", m_config.Path().c_str(), 1);
        m_settings.m_baseDirectory = m_base.Path().string();
        CmmsThread::PassAll().store(false);
        m_sink.onNotice = [this](int code, uint16_t job) { m_scheduler->HandleNotice(code, job); };
        Renew();
    }
    void TearDown() override { CmmsThread::PassAll().store(false); }

    // A fresh list, script and scheduler (the files of earlier ones stay).
    void Renew() {
        m_scheduler.reset();
        m_list = std::make_unique<RecordList>();
        m_script = std::make_shared<PromptScript>();
        m_scheduler = std::make_unique<RecordScheduler>(
            *m_list, m_settings, m_sink,
            [script = m_script](const std::string&) {
                return std::make_unique<ScriptedJobPrompt>(script);
            },
            m_opener, m_texts);
        m_scheduler->SetCaptureOff([this] { ++m_captureOffs; });
    }
    std::vector<int> Add(const std::vector<std::string>& addresses) {
        std::vector<int> rows;
        for (const std::string& address : addresses) {
            rows.push_back(m_list->AddItem(address, "", "", ""));
        }
        return rows;
    }
    int RowOf(const std::string& address) const { return m_list->FindAddress(address); }
    std::string Cell(int row, int column) const { return m_list->GetCellText(row, column); }
    bool RunToEnd() {
        return m_sink.RunUntil([this] { return !m_scheduler->Recording(); });
    }
    // The address's row completed, and ffprobe reads its file as two
    // streams of about that many seconds.
    void ExpectRecorded(const std::string& address, double seconds) {
        SCOPED_TRACE(address);
        const int row = RowOf(address);
        EXPECT_EQ(Cell(row, kColRecord), "Completed");
        const ProbeReport probe = Probe(Cell(row, kColRecordingFile));
        EXPECT_EQ(probe.Get("format.nb_streams"), "2");
        EXPECT_NEAR(std::stod("0" + probe.Get("format.duration")), seconds, 0.6);
    }

    TempDir m_config;
    TempDir m_base;
    AppSettings m_settings;
    RecordStatusTexts m_texts;
    ListThreadQueue m_sink;
    UrlLog m_opener;
    std::unique_ptr<RecordList> m_list;
    std::shared_ptr<PromptScript> m_script;
    std::unique_ptr<RecordScheduler> m_scheduler;
    int m_captureOffs = 0;
};

}  // namespace tapewell::test
