// A recording job (CmmsThread) stopped at every stage: while its engine
// waits for a server that never answers, inside the stream header, during
// the media, and between the entries of a playlist. Each time the job ends
// promptly with one kFinished, keeps no thread, and leaves either no file
// or one that ffprobe reads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "MmsClips.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"
#include "recording/CmmsThread.h"
#include "recording/JobSink.h"
#include "support/TestServer.h"

namespace tapewell::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr auto kPromptly = std::chrono::seconds(2);

size_t ThreadCount() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
}

// Counts the notices and wakes a waiter on each.
class Sink final : public JobSink {
public:
    void OnJobNotice(int code, uint16_t) override {
        std::lock_guard lock(m_lock);
        ++m_counts[code];
        m_changed.notify_all();
    }
    bool WaitFor(int code, int count = 1) {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::seconds(20),
                                  [&] { return m_counts[code] >= count; });
    }
    int Count(int code) {
        std::lock_guard lock(m_lock);
        return m_counts[code];
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::map<int, int> m_counts;
};

// Answers "overwrite" for an existing file, after stopping the job: the
// user's stop that comes while the job is between two playlist entries.
class StopAtQuestion final : public JobPrompt {
public:
    std::unique_ptr<CmmsThread>* job = nullptr;
    int asked = 0;
    std::optional<Credentials> AskCredentials(const std::string&, const std::string&,
                                              const std::string&) override {
        return std::nullopt;
    }
    ExistsChoice AskFileExists(const fs::path&) override {
        ++asked;
        (*job)->Stop();
        return {ExistsAnswer::Ok, false};
    }
};

class JobStopTest : public ::testing::Test {
protected:
    void SetUp() override { m_settings.m_baseDirectory = m_base.Path().string(); }

    // Starts a job on address, stops it once `code` was noticed (and
    // `delay` later), and checks the common promises of a stop.
    void StopAt(const std::string& address, int code, std::chrono::milliseconds delay,
                JobPrompt* prompt = nullptr) {
        const size_t threads = ThreadCount();
        m_job = std::make_unique<CmmsThread>(&m_sink, 1, m_settings,
                                             CmmsThread::Item{address, "Out", "", "", ""}, prompt);
        m_job->SetIdleTimeoutMs(30'000);  // only the stop may end the waits
        ASSERT_TRUE(m_job->Start());
        if (code >= 0) {
            ASSERT_TRUE(m_sink.WaitFor(code));
            std::this_thread::sleep_for(delay);
            const Clock::time_point stoppedAt = Clock::now();
            m_job->Stop();
            ASSERT_TRUE(m_sink.WaitFor(JobSink::kFinished));
            m_job->Join();
            EXPECT_LT(Clock::now() - stoppedAt, kPromptly);
        } else {
            m_job->Join();
        }
        EXPECT_EQ(m_sink.Count(JobSink::kFinished), 1);
        EXPECT_TRUE(m_job->Stopped());
        EXPECT_FALSE(m_job->Error()) << m_job->ErrorText();
        EXPECT_EQ(ThreadCount(), threads);
    }

    // The recording holds whole packets, says so in File Size and reads.
    static void ExpectReadable(const fs::path& path) {
        const std::vector<uint8_t> file = ReadFileBytes(path);
        const int fp = AsfPacketTools::FindFileProperties(file);
        ASSERT_GT(fp, 0);
        EXPECT_EQ(ReadLe64(&file[static_cast<size_t>(fp) + asf::fp::kFileSize]), file.size());
        const ProbeReport probe = Probe(path);
        EXPECT_EQ(probe.Get("format.nb_streams"), "2");
        EXPECT_GT(probe.asfPacketsRead, 0u);
    }

    const MmsClips& m_clips = MmsClips::Get();
    TempDir m_base;
    AppSettings m_settings;
    Sink m_sink;
    std::unique_ptr<CmmsThread> m_job;
};

std::string Mms(uint16_t port, const std::string& file = "clip.asf") {
    return "mms://127.0.0.1:" + std::to_string(port) + "/" + file;
}

TEST_F(JobStopTest, WhileTheServerNeverAnswers) {
    SilentPeer peer;
    StopAt(Mms(peer.Port()), JobSink::kConnecting, std::chrono::milliseconds(300));
    EXPECT_FALSE(fs::exists(m_base / "Out.asf"));  // nothing came, nothing kept
}

TEST_F(JobStopTest, InsideTheStreamHeader) {
    TestServer server(m_clips.root, {"--mms-fault", "silent-header"});
    ASSERT_TRUE(server.Ready());
    StopAt(Mms(server.MmsPort()), JobSink::kHeader, std::chrono::milliseconds(200));
    // Half a header is no recording: none is left behind.
    EXPECT_FALSE(fs::exists(m_base / "Out.asf"));
}

TEST_F(JobStopTest, DuringTheMedia) {
    TestServer server(m_clips.root, {"--rate", "200"});
    ASSERT_TRUE(server.Ready());
    StopAt(Mms(server.MmsPort()), JobSink::kProgress, std::chrono::milliseconds(300));
    EXPECT_EQ(m_sink.Count(JobSink::kHeader), 1);  // no other engine is tried after a stop
    ExpectReadable(m_base / "Out.asf");
    EXPECT_LT(fs::file_size(m_base / "Out.asf"), m_clips.clip.bytes.size());
}

TEST_F(JobStopTest, BetweenPlaylistEntries) {
    TestServer server(m_clips.root);
    ASSERT_TRUE(server.Ready());
    const fs::path list = m_base / "two.asx";
    std::ofstream(list) << "<ASX version=\"3.0\"><Entry><Ref href=\"" << Mms(server.MmsPort())
                        << "\"/></Entry><Entry><Ref href=\"" << Mms(server.MmsPort())
                        << "\"/></Entry></ASX>\n";
    // The second entry's file exists, so the job asks about it between the
    // two recordings; the stop comes with that question.
    WriteFileBytes(m_base / "Out1.asf", {'o', 'l', 'd'});
    StopAtQuestion prompt;
    prompt.job = &m_job;
    m_settings.m_overwriteConfirm = true;
    StopAt(list.string(), -1, {}, &prompt);
    EXPECT_EQ(prompt.asked, 1);
    ExpectReadable(m_base / "Out0.asf");
    EXPECT_EQ(Probe(m_base / "Out0.asf").asfPacketsRead, m_clips.clip.packetCount);
    // The second entry is not recorded: one header, and the file the user
    // let go is not replaced by a recording.
    EXPECT_EQ(m_sink.Count(JobSink::kHeader), 1);
    EXPECT_FALSE(fs::exists(m_base / "Out1.asf"));
}

}  // namespace
}  // namespace tapewell::test
