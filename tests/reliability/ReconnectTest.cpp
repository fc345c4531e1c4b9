// Recordings whose connection breaks off, over MMS and HTTP streaming: the
// job waits, reconnects with the engine that reached the stream and goes on
// in the same file, so that a broadcast cut every few seconds still becomes
// one file with one time line, and an on-demand stream the very file it
// would have been without the breaks. A stop, a limit, reconnects switched
// off and a server gone for good end the tries. Every file is read back by
// our own layout reader, ffprobe and FFmpeg's decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include "asf/AsfGuids.h"
#include "recording/CmmsThread.h"
#include "recording/JobSink.h"
#include "support/AsfClip.h"
#include "support/AsfFileLayout.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kLiveSeconds = 10;
// Under 2 s of the clip: a live recording of kLiveSeconds breaks off about
// five times, each at another place in the stream.
constexpr const char* kDropAfter = "60";

// 4 s of WMV2 + WMA2 in 3,200-byte packets, made once.
const AsfClip& Clip() {
    static const TempDir* dir = new TempDir;
    static const AsfClip clip = [] {
        AsfRecipe recipe;
        recipe.seconds = 4;
        return AsfClip::Make(*dir / "clip.asf", recipe);
    }();
    return clip;
}

// Counts the notices and keeps the count each kReconnecting announced.
class Sink final : public JobSink {
public:
    void OnJobNotice(int code, uint16_t) override {
        std::lock_guard lock(m_lock);
        ++counts[code];
        if (code == kReconnecting) {
            tries.push_back(job->ReconnectCount());
            headersBeforeBreak = tries.size() == 1 ? counts[kHeader] : headersBeforeBreak;
        }
        m_changed.notify_all();
    }
    bool WaitForTry(uint32_t n) {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::seconds(20), [&] {
            return std::find(tries.begin(), tries.end(), n) != tries.end();
        });
    }
    const CmmsThread* job = nullptr;  // the rest is read once the job has ended
    std::map<int, int> counts;
    std::vector<uint32_t> tries;
    int headersBeforeBreak = 0;

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
};

std::string Address(const TestServer& server, const std::string& scheme) {
    const uint16_t port = scheme == "mms" ? server.MmsPort() : server.HttpPort();
    return scheme + "://127.0.0.1:" + std::to_string(port) + "/clip.asf";
}

// One header, one time line from 0 that never steps back, and a header
// that describes the file; ffprobe starts it at 0 and FFmpeg decodes it
// without a word.
AsfFileLayout ExpectOneTimeLine(const fs::path& file) {
    SCOPED_TRACE(file.filename().string());
    const AsfFileLayout layout = ReadAsfFileLayout(file);
    EXPECT_EQ(layout.problem, "");
    EXPECT_EQ(layout.properties.fileSize, layout.fileSize);
    EXPECT_EQ(layout.properties.dataPacketsCount, layout.packets);
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    const auto& id = guids::kHeader.bytes;
    EXPECT_EQ(std::search(bytes.begin() + 1, bytes.end(), id.begin(), id.end()), bytes.end());
    EXPECT_TRUE(!layout.sendTimes.empty() && layout.sendTimes.front() == 0);
    EXPECT_TRUE(std::is_sorted(layout.sendTimes.begin(), layout.sendTimes.end()));
    EXPECT_NEAR(std::stod(Probe(file).Get("format.start_time") + "0"), 0.0, 0.05);
    const CommandResult decode =
        Run({"ffmpeg", "-v", "error", "-i", file.string(), "-f", "null", "-"});
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.err, "");
    return layout;
}

class ReconnectTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override { m_settings.m_baseDirectory = m_base.Path().string(); }

    // Runs a job into NAME.asf of the base folder; joined by the caller.
    std::unique_ptr<CmmsThread> Start(const std::string& address, const std::string& name,
                                      Sink& sink) {
        auto job = std::make_unique<CmmsThread>(&sink, 1, m_settings,
                                                CmmsThread::Item{address, name, "", "", ""});
        sink.job = job.get();
        EXPECT_TRUE(job->Start());
        return job;
    }

    const AsfClip& m_clip = Clip();
    TempDir m_base;
    AppSettings m_settings;
};

TEST_P(ReconnectTest, LiveBreaksGoOnInOneFile) {
    TestServer server(m_clip.path.parent_path(), {"--only", GetParam(), "--live", "--rate",
                                                  "realtime", "--drop-after", kDropAfter});
    ASSERT_TRUE(server.Ready());
    m_settings.m_timeLimitOn = true;
    m_settings.m_maxTimeSeconds = kLiveSeconds;
    Sink sink;
    const auto job = Start(Address(server, GetParam()), "Out", sink);
    job->Join();
    EXPECT_FALSE(job->Error()) << job->ErrorText();
    // Media came after every break: each reconnect was the first in a row,
    // and the owner heard of the file's header once.
    EXPECT_GE(sink.tries.size(), 2u);
    EXPECT_EQ(sink.tries, std::vector<uint32_t>(sink.tries.size(), 1));
    EXPECT_EQ(job->ReconnectCount(), 0u);
    EXPECT_EQ(sink.counts[JobSink::kHeader], sink.headersBeforeBreak);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_base.Path()), fs::directory_iterator()), 1);
    // The waits are not in the file: the time limit counts its media.
    const AsfFileLayout layout = ExpectOneTimeLine(m_base / "Out.asf");
    EXPECT_NEAR(layout.LastSendTime() / 1000.0, kLiveSeconds, 1.0);
    EXPECT_NEAR(std::stod(Probe(m_base / "Out.asf").Get("format.duration") + "0"), kLiveSeconds,
                3.0);
}

TEST_P(ReconnectTest, OnDemandBreaksResumeToTheFileWithoutThem) {
    TestServer whole(m_clip.path.parent_path(), {"--only", GetParam()});
    TestServer dropping(m_clip.path.parent_path(), {"--only", GetParam(), "--drop-after", "60"});
    ASSERT_TRUE(whole.Ready() && dropping.Ready());
    Sink wholeSink;
    Start(Address(whole, GetParam()), "Whole", wholeSink)->Join();
    Sink sink;
    const auto job = Start(Address(dropping, GetParam()), "Out", sink);
    job->Join();
    EXPECT_FALSE(job->Error()) << job->ErrorText();
    EXPECT_EQ(sink.tries, std::vector<uint32_t>(m_clip.packetCount / 60, 1));
    EXPECT_TRUE(ReadFileBytes(m_base / "Out.asf") == ReadFileBytes(m_base / "Whole.asf"));
    EXPECT_EQ(Probe(m_base / "Out.asf").asfPacketsRead, m_clip.packetCount);
}

INSTANTIATE_TEST_SUITE_P(Engines, ReconnectTest, ::testing::Values("mms", "http"),
                         [](const auto& info) { return info.param; });

class ReconnectEndTest : public ReconnectTest {};

// No tries: the recording ends at the first break with its reason. A limit
// reached before the break ends it too. The server gone after the break:
// the job gives up after its tries (waiting 1 s, then 2 s), or a stop in a
// wait ends it at once. Each file stays as the break left it.
TEST_F(ReconnectEndTest, WhatEndsTheTries) {
    struct Case {
        const char* name;
        int tries;
        int limitSeconds;  // 0: none
        bool serverGone;
        bool stopInWait;
        std::vector<uint32_t> notices;
        bool error;
    };
    const Case cases[] = {{"NoTries", 0, 0, false, false, {}, true},
                          {"Limit", 10, 1, false, false, {}, false},
                          {"GaveUp", 2, 0, true, false, {1, 2}, true},
                          {"Stopped", 10, 0, true, true, {1, 2}, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto server = std::make_unique<TestServer>(
            m_clip.path.parent_path(),
            std::vector<std::string>{"--only", "mms", "--live", "--drop-after", "60"});
        ASSERT_TRUE(server->Ready());
        m_settings.m_reconnectTries = c.tries;
        m_settings.m_timeLimitOn = c.limitSeconds > 0;
        m_settings.m_maxTimeSeconds = c.limitSeconds;
        Sink sink;
        const auto job = Start(Address(*server, "mms"), c.name, sink);
        if (c.serverGone) {
            ASSERT_TRUE(sink.WaitForTry(1));
            server.reset();
        }
        if (c.stopInWait) {
            ASSERT_TRUE(sink.WaitForTry(2));  // a wait of 2 s begins
            const Clock::time_point stoppedAt = Clock::now();
            job->Stop();
            job->Join();
            EXPECT_LT(Clock::now() - stoppedAt, std::chrono::seconds(1));
        }
        job->Join();
        EXPECT_EQ(sink.tries, c.notices);
        EXPECT_EQ(job->Error(), c.error) << job->ErrorText();
        if (c.tries == 0) {
            EXPECT_EQ(job->ErrorText(), "connection closed before the end of the stream");
        }
        EXPECT_LE(ExpectOneTimeLine(m_base / (std::string(c.name) + ".asf")).packets, 60u);
    }
}

}  // namespace
}  // namespace tapewell::test
