// Replies that never end, credentials that are never enough and redirects
// that go round: the streaming engine, the web fetcher and the job above
// them give up after a bounded amount of reading or asking, with an error.
#include <gtest/gtest.h>

#include "HttpFaultClip.h"
#include "common/Limits.h"
#include "common/OutputFile.h"
#include "http/CWebFetcher.h"
#include "recording/CmmsThread.h"
#include "support/TestServer.h"

namespace tapewell {
namespace {

using test::HttpFaultClip;
using test::TempDir;
using test::TestServer;
namespace fs = std::filesystem;

constexpr int kIdleMs = 1500;

// Server folder with the clip and a playlist naming it.
class HostileReplyTest : public ::testing::Test {
protected:
    TestServer& Serve(const std::string& fault) {
        const fs::path clip = m_root / "clip.asf";
        fs::copy_file(HttpFaultClip::Get().path, clip, fs::copy_options::overwrite_existing);
        m_server = std::make_unique<TestServer>(
            m_root.Path(), std::vector<std::string>{"--only", "http", "--http-fault", fault});
        EXPECT_TRUE(m_server->Ready());
        const std::string asx = "<ASX version=\"3\"><Entry><Ref href=\"" +
                                test::HttpUrl(m_server->HttpPort(), "/clip.asf") +
                                "\"/></Entry></ASX>\r\n";
        test::WriteFileBytes(m_root / "list.asx", {asx.begin(), asx.end()});
        const std::string page = "<html><a href=\"mms://127.0.0.1/clip.asf\">watch</a>\r\n";
        test::WriteFileBytes(m_root / "page.txt", {page.begin(), page.end()});
        return *m_server;
    }
    std::string Url(const std::string& path) const {
        return test::HttpUrl(m_server->HttpPort(), path);
    }
    std::unique_ptr<CmmsThread> RunJob(const std::string& address, JobPrompt* prompt = nullptr) {
        m_settings.m_baseDirectory = m_out.Path().string();
        auto job = std::make_unique<CmmsThread>(
            nullptr, 1, m_settings, CmmsThread::Item{address, "job", "", "", ""}, prompt);
        job->SetIdleTimeoutMs(kIdleMs);
        job->Run();
        return job;
    }

    TempDir m_root;
    TempDir m_out;
    AppSettings m_settings;
    std::unique_ptr<TestServer> m_server;
};

TEST_F(HostileReplyTest, EndlessReplyHeaderLineEndsWithAnError) {
    TestServer& server = Serve("endless-head");
    test::LoggedRecorder recorder;
    recorder.SetTimeouts(limits::kConnectTimeoutMs, kIdleMs);
    MemoryOutputFile out;
    (void)recorder.Record({.output = &out, .address = Url("/clip.asf"), .playerAgent = "NSPlayer"});
    EXPECT_NE(recorder.log.find("Illegal server reply! Header too long"), std::string::npos)
        << recorder.log;
    EXPECT_EQ(recorder.BytesWritten(), 0u);

    test::FaultEvents events;
    CWebFetcher fetcher(EngineOptions{}, &events);
    fetcher.SetIdleTimeoutSeconds(kIdleMs / 1000);
    (void)fetcher.Record({.output = &out, .address = Url("/clip.asf")});
    EXPECT_EQ(fetcher.LastResult(), CWebFetcher::kNotDownloaded);
    EXPECT_FALSE(events.errors.empty());
    // Both clients hung up long before the server's cap on "endless".
    EXPECT_EQ(test::WaitForLines(server, "left after", 2), 2) << server.Log();
}

TEST_F(HostileReplyTest, EndlessPlaylistBodyIsReadInPart) {
    const HttpFaultClip& clip = HttpFaultClip::Get();
    TestServer& server = Serve("endless-body");
    // The engine reads one buffer of the reply and records the entry in it.
    test::LoggedRecorder recorder;
    recorder.SetTimeouts(limits::kConnectTimeoutMs, kIdleMs);
    MemoryOutputFile out;
    (void)recorder.Record({.output = &out, .address = Url("/list.asx"), .playerAgent = "NSPlayer"});
    EXPECT_EQ(out.Bytes().size(), clip.RecordingSize(clip.packetCount)) << recorder.log;

    // The web fetcher looks through a bounded part of a text page.
    test::FaultEvents events;
    CWebFetcher fetcher(EngineOptions{}, &events);
    (void)fetcher.Record({.address = Url("/page.txt")});
    EXPECT_EQ(events.found, std::vector<std::string>{"mms://127.0.0.1/clip.asf"});

    // The job downloads a bounded part of the playlist and records its entry.
    const std::unique_ptr<CmmsThread> job = RunJob(Url("/list.asx"));
    EXPECT_FALSE(job->Error()) << job->ErrorText();
    EXPECT_EQ(test::DataObjectEnd(test::ReadFileBytes(m_out / "job.asf")),
              clip.RecordingSize(clip.packetCount));
    EXPECT_LT(fs::file_size(m_out / "list.asx"), limits::kJobPlaylistFileBytes);
    EXPECT_EQ(test::Probe(m_out / "job.asf").Get("format.nb_streams"), "2");
    EXPECT_EQ(test::WaitForLines(server, "left after", 3), 3) << server.Log();
}

TEST_F(HostileReplyTest, CredentialsThatAreNeverEnoughEndTheTries) {
    TestServer& server = Serve("auth-loop");
    test::StubbornPrompt enginePrompt;
    test::FaultEvents engineEvents;
    test::LoggedRecorder recorder(&engineEvents, &enginePrompt);
    MemoryOutputFile out;
    (void)recorder.Record({.output = &out, .address = Url("/clip.asf"), .playerAgent = "NSPlayer"});
    EXPECT_NE(recorder.log.find("Authorization cancelled!"), std::string::npos) << recorder.log;
    EXPECT_EQ(engineEvents.authCancelled, 1);
    EXPECT_EQ(enginePrompt.asked, limits::kMaxCredentialTries);

    test::StubbornPrompt fetchPrompt;
    test::FaultEvents fetchEvents;
    CWebFetcher fetcher(EngineOptions{}, &fetchEvents, &fetchPrompt);
    (void)fetcher.Record({.output = &out, .address = Url("/clip.asf")});
    EXPECT_EQ(fetcher.LastResult(), CWebFetcher::kNotDownloaded);
    EXPECT_EQ(fetchEvents.authCancelled, 1);
    EXPECT_EQ(fetchPrompt.asked, limits::kMaxCredentialTries);
    EXPECT_EQ(out.Bytes().size(), 0u);

    // The job stops at the first engine that gave up; no other is tried.
    test::StubbornPrompt jobPrompt;
    const std::unique_ptr<CmmsThread> job = RunJob(Url("/clip.asf"), &jobPrompt);
    EXPECT_TRUE(job->GaveUp());
    EXPECT_EQ(job->ErrorText(), "Authorization cancelled!");
    EXPECT_EQ(jobPrompt.asked, limits::kMaxCredentialTries);

    // Without a terminal nobody can be asked: the given pair is tried once.
    const int before = test::CountLines(server.Log(), "-> 401");
    const test::CommandResult cli =
        test::Run({TAPEWELL_CLI_PATH, "record", "--dir", m_out.Path().string(), "--quiet", "--user",
                   "user", "--password", "secret", Url("/clip.asf"), "cli"});
    EXPECT_EQ(cli.exitCode, 1) << cli.err;
    EXPECT_NE(cli.err.find("Authorization cancelled!"), std::string::npos) << cli.err;
    EXPECT_EQ(test::CountLines(server.Log(), "-> 401") - before, 2) << server.Log();
}

TEST_F(HostileReplyTest, RedirectToItselfEndsAfterBoundedRequests) {
    TestServer& server = Serve("redirect-loop");
    // The streaming engine follows no redirect: the reply is its error.
    test::LoggedRecorder recorder;
    MemoryOutputFile out;
    (void)recorder.Record({.output = &out, .address = Url("/clip.asf"), .playerAgent = "NSPlayer"});
    EXPECT_NE(recorder.log.find("reply: 302 - Found"), std::string::npos) << recorder.log;
    EXPECT_EQ(test::CountLines(server.Log(), "redirect to itself"), 1);

    test::FaultEvents events;
    CWebFetcher fetcher(EngineOptions{}, &events);
    (void)fetcher.Record({.output = &out, .address = Url("/clip.asf")});
    EXPECT_EQ(fetcher.LastResult(), CWebFetcher::kNotDownloaded);
    EXPECT_EQ(events.errors, std::vector<std::string>{"Not Found"});
    EXPECT_EQ(test::CountLines(server.Log(), "redirect to itself"),
              1 + 1 + limits::kWebMaxRedirects);

    // The job tries every engine; the first one's reason is the job's.
    const std::unique_ptr<CmmsThread> job = RunJob(Url("/clip.asf"));
    EXPECT_TRUE(job->Error());
    EXPECT_EQ(job->ErrorText(), "reply: 302 - Found");
    EXPECT_FALSE(fs::exists(m_out / "job.asf"));
}

}  // namespace
}  // namespace tapewell
