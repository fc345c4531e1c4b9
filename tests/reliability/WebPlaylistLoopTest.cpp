// Playlists that name themselves, directly, through another, or under
// ever new queries: the streaming engine, the recording job and the command
// line end after a bounded number of requests and say why.
#include <gtest/gtest.h>

#include "HttpFaultClip.h"
#include "common/Limits.h"
#include "common/OutputFile.h"
#include "recording/CmmsThread.h"
#include "support/TestServer.h"

namespace tapewell {
namespace {

using test::TempDir;
using test::TestServer;
namespace fs = std::filesystem;

constexpr int kIdleMs = 1500;
constexpr int kFanOut = 6;

void WriteAsx(const fs::path& file, const std::vector<std::string>& entries) {
    std::string text = "<ASX version=\"3\">";
    for (const std::string& entry : entries) {
        text += "<Entry><Ref href=\"" + entry + "\"/></Entry>";
    }
    text += "</ASX>\r\n";
    test::WriteFileBytes(file, {text.begin(), text.end()});
}

struct LoopCase {
    std::string start;
    std::string engineMessage;
    std::string jobError;  // empty: any error
};

TEST(WebPlaylistLoop, PlaylistsNamingThemselvesEnd) {
    TempDir root;
    TestServer server(root.Path(), {"--only", "http"});
    ASSERT_TRUE(server.Ready());
    const auto at = [&server](const std::string& path) {
        return test::HttpUrl(server.HttpPort(), path);
    };
    WriteAsx(root / "self.asx", {at("/self.asx")});
    WriteAsx(root / "a.asx", {at("/b.asx")});
    WriteAsx(root / "b.asx", {at("/a.asx")});
    // Entries that differ only in their query: every order of them is a new
    // chain of addresses, far more than any walk may fetch.
    std::vector<std::string> fan;
    for (int i = 0; i < kFanOut; ++i) {
        fan.push_back(at("/fan.asx?" + std::to_string(i)));
    }
    WriteAsx(root / "fan.asx", fan);
    const LoopCase cases[] = {
        {"/self.asx", "playlist refers to itself", "playlist refers to itself"},
        {"/a.asx", "playlist refers to itself", "playlist refers to itself"},
        {"/fan.asx", "more than 32 playlists behind one address", ""}};
    // Each playlist fetched costs the engine a probe per entry.
    const int requestBound = (limits::kMaxPlaylistsPerWalk + 1) * (kFanOut + 1);
    for (const LoopCase& c : cases) {
        const std::string address = at(c.start);
        int before = test::CountLines(server.Log(), "download");
        test::LoggedRecorder recorder;
        MemoryOutputFile out;
        (void)recorder.Record({.output = &out, .address = address, .playerAgent = "NSPlayer"});
        EXPECT_NE(recorder.log.find(c.engineMessage), std::string::npos) << recorder.log;
        EXPECT_LE(test::CountLines(server.Log(), "download") - before, requestBound);

        TempDir base;
        AppSettings settings;
        settings.m_baseDirectory = base.Path().string();
        before = test::CountLines(server.Log(), "download");
        CmmsThread job(nullptr, 1, settings, {address, "job", "", "", ""});
        job.SetIdleTimeoutMs(kIdleMs);
        job.Run();
        EXPECT_TRUE(job.Error()) << c.start;
        if (!c.jobError.empty()) {
            EXPECT_EQ(job.ErrorText(), c.jobError) << c.start;
        }
        EXPECT_LE(test::CountLines(server.Log(), "download") - before,
                  limits::kMaxPlaylistsPerWalk);

        const test::CommandResult cli = test::Run(
            {TAPEWELL_CLI_PATH, "record", "--dir", base.Path().string(), "--quiet", address});
        EXPECT_EQ(cli.exitCode, 1) << cli.err;
        EXPECT_NE(cli.err.find(c.jobError), std::string::npos) << cli.err;
    }
}

}  // namespace
}  // namespace tapewell
