// Playlists that name themselves, directly or through another: the
// streaming engine, the recording job and the command line end after a
// bounded number of requests and say why.
#include <gtest/gtest.h>

#include "HttpFaultClip.h"
#include "common/OutputFile.h"
#include "recording/CmmsThread.h"
#include "support/TestServer.h"

namespace tapewell {
namespace {

using test::TempDir;
using test::TestServer;
namespace fs = std::filesystem;

constexpr int kIdleMs = 1500;
// Requests one walk may make: a few per playlist level at most.
constexpr int kRequestBound = 40;

void WriteAsx(const fs::path& file, const std::string& entry) {
    const std::string text =
        "<ASX version=\"3\"><Entry><Ref href=\"" + entry + "\"/></Entry></ASX>\r\n";
    test::WriteFileBytes(file, {text.begin(), text.end()});
}

TEST(WebPlaylistLoop, PlaylistsNamingThemselvesEnd) {
    TempDir root;
    TestServer server(root.Path(), {"--only", "http"});
    ASSERT_TRUE(server.Ready());
    WriteAsx(root / "self.asx", test::HttpUrl(server.HttpPort(), "/self.asx"));
    WriteAsx(root / "a.asx", test::HttpUrl(server.HttpPort(), "/b.asx"));
    WriteAsx(root / "b.asx", test::HttpUrl(server.HttpPort(), "/a.asx"));
    for (const std::string start : {"/self.asx", "/a.asx"}) {
        const std::string address = test::HttpUrl(server.HttpPort(), start);
        int before = test::CountLines(server.Log(), "download");
        test::LoggedRecorder recorder;
        MemoryOutputFile out;
        recorder.RecordUrl(&out, address, "NSPlayer", 0, 0, "", "");
        EXPECT_NE(recorder.log.find("playlist refers to itself"), std::string::npos)
            << recorder.log;
        EXPECT_LE(test::CountLines(server.Log(), "download") - before, kRequestBound);

        TempDir base;
        AppSettings settings;
        settings.m_baseDirectory = base.Path().string();
        before = test::CountLines(server.Log(), "download");
        CmmsThread job(nullptr, 1, settings, {address, "job", "", "", ""});
        job.SetIdleTimeoutMs(kIdleMs);
        job.Run();
        EXPECT_TRUE(job.Error()) << start;
        EXPECT_EQ(job.ErrorText(), "playlist refers to itself") << start;
        EXPECT_LE(test::CountLines(server.Log(), "download") - before, kRequestBound);

        const test::CommandResult cli = test::Run(
            {TAPEWELL_CLI_PATH, "record", "--dir", base.Path().string(), "--quiet", address});
        EXPECT_EQ(cli.exitCode, 1) << cli.err;
        EXPECT_NE(cli.err.find("playlist refers to itself"), std::string::npos) << cli.err;
    }
}

}  // namespace
}  // namespace tapewell
