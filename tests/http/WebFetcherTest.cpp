// CWebFetcher against tapewell-testserver's plain HTTP side on loopback.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "HttpClip.h"
#include "common/Limits.h"
#include "common/OutputFile.h"
#include "engine/EngineEvents.h"
#include "engine/JobPrompt.h"
#include "http/CWebFetcher.h"
#include "recording/EngineSettings.h"
#include "settings/ProfileStore.h"
#include "support/TestServer.h"

namespace tapewell {
namespace {

using test::HttpClip;
using test::TempDir;
using test::TestServer;

constexpr uint64_t kMiB = 1'048'576;

struct FetchEvents : EngineEvents {
    std::vector<std::string> seen;
    uint32_t lastProgress = 0;
    int progressEvents = 0;
    void OnStreamStart(const std::string& a, uint32_t) override { seen.push_back("start " + a); }
    void OnProgress(uint32_t bytes, uint32_t, uint32_t) override {
        lastProgress = bytes;
        ++progressEvents;
    }
    void OnError(const std::string& text) override { seen.push_back("error " + text); }
    void OnCredentials(const std::string& u, const std::string& p) override {
        seen.push_back("credentials " + u + ":" + p);
    }
    void OnAuthCancelled() override { seen.push_back("auth-cancelled"); }
    void OnUrlFound(const std::string& a) override { seen.push_back("url " + a); }
};

struct CountingPrompt : JobPrompt {
    int asked = 0;
    std::optional<Credentials> AskCredentials(const std::string&, const std::string&,
                                              const std::string&) override {
        ++asked;
        return std::nullopt;
    }
};

std::string Url(uint16_t port, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
    test::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

struct Fetched {
    std::vector<uint8_t> bytes;
    FetchEvents events;
    int result = -1;
    uint32_t total = 0;
};

Fetched Fetch(const std::string& url, const EngineOptions& settings = EngineOptions()) {
    Fetched f;
    MemoryOutputFile out;
    CWebFetcher fetcher(settings, &f.events);
    const EngineResult result = fetcher.Record({.output = &out, .address = url});
    f.total = result.recording ? static_cast<uint32_t>(result.recording->bytes) : 0;
    f.result = fetcher.LastResult();
    f.bytes = out.Bytes();
    return f;
}

TEST(WebFetcherTest, DownloadsDecodedUpToTheSizePolicy) {
    const HttpClip& clip = HttpClip::Get();
    TempDir root;
    std::filesystem::copy_file(clip.path, root / "clip.asf");
    std::filesystem::copy_file(clip.path, root / "clip.txt");  // text/plain, but an ASF file
    std::filesystem::copy_file(clip.path, root / "z.asf");
    ASSERT_EQ(test::Run({"gzip", (root / "z.asf").string()}).exitCode, 0);
    std::vector<uint8_t> big(3 * kMiB);
    std::mt19937 random(6);
    for (auto& b : big) {
        b = static_cast<uint8_t>(random());
    }
    test::WriteFileBytes(root / "big.bin", big);
    TestServer server(root.Path(), {"--only", "http"});
    ASSERT_TRUE(server.Ready());
    const uint16_t port = server.HttpPort();

    for (const char* path : {"/clip.asf", "/clip.txt", "/z.asf.gz"}) {
        const Fetched f = Fetch(Url(port, path));
        EXPECT_EQ(f.result, CWebFetcher::kDownloaded) << path;
        EXPECT_EQ(f.bytes, clip.bytes) << path;
        EXPECT_EQ(f.total, clip.bytes.size()) << path;
        EXPECT_EQ(f.events.lastProgress, clip.bytes.size()) << path;
        EXPECT_EQ(f.events.seen, std::vector<std::string>{"start " + Url(port, path)});
        TempDir dir;
        test::WriteFileBytes(dir / "x.asf", f.bytes);
        EXPECT_EQ(test::Probe(dir / "x.asf").Get("format.duration"),
                  test::Probe(clip.path).Get("format.duration"));
    }
    EXPECT_NE(server.Log().find("download gzip"), std::string::npos);

    EngineOptions limited;
    limited.sizeLimitOn = true;
    limited.maxSizeMiB = 1;
    const Fetched f = Fetch(Url(port, "/big.bin"), limited);
    EXPECT_EQ(f.result, CWebFetcher::kDownloaded);
    EXPECT_GE(f.bytes.size(), kMiB);
    EXPECT_LT(f.bytes.size(), kMiB + limits::kWebReadBytes);
    EXPECT_TRUE(std::equal(f.bytes.begin(), f.bytes.end(), big.begin()));
    EXPECT_GE(f.events.progressEvents, static_cast<int>(kMiB / limits::kWebReadBytes));

    // A full disk is an error, not a download.
    MemoryOutputFile full;
    full.SetCapacity(10'000);
    FetchEvents events;
    CWebFetcher fetcher(EngineOptions(), &events);
    (void)fetcher.Record({.output = &full, .address = Url(port, "/clip.asf")});
    EXPECT_EQ(fetcher.LastResult(), CWebFetcher::kNotDownloaded);
    EXPECT_EQ(events.seen.back(), "error write error");

    const Fetched missing = Fetch(Url(port, "/none.asf"));
    EXPECT_EQ(missing.result, CWebFetcher::kNotDownloaded);
    EXPECT_EQ(missing.events.seen, std::vector<std::string>{"error Not Found"});
}

TEST(WebFetcherTest, TextPagesAreSearchedForAnMmsAddress) {
    TempDir root;
    WriteText(root / "page.html", "<html><a href=\"mms://h/x\">go</a></html>");
    WriteText(root / "open.html", "<html>see mms://h/x and no quote</html>");
    WriteText(root / "none.txt", "nothing here at all");
    TestServer server(root.Path(), {"--only", "http"});
    ASSERT_TRUE(server.Ready());
    const Fetched page = Fetch(Url(server.HttpPort(), "/page.html"));
    EXPECT_EQ(page.events.seen, std::vector<std::string>{"url mms://h/x"});
    EXPECT_TRUE(page.bytes.empty());
    EXPECT_EQ(page.result, CWebFetcher::kNotDownloaded);
    EXPECT_EQ(page.total, 39u);
    for (const char* path : {"/open.html", "/none.txt"}) {
        const Fetched f = Fetch(Url(server.HttpPort(), path));
        EXPECT_TRUE(f.events.seen.empty()) << path;
        EXPECT_TRUE(f.bytes.empty()) << path;
    }
    // The CLI prints the events; a page leaves no file behind.
    TempDir dir;
    const test::CommandResult r =
        test::Run({TAPEWELL_CLI_PATH, "web-fetch", "--out", (dir / "p.asf").string(),
                   Url(server.HttpPort(), "/page.html")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "url-found mms://h/x\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "p.asf"));
    // Nothing listens: "connect error".
    const Fetched refused = Fetch(Url(1, "/x"));
    EXPECT_EQ(refused.result, CWebFetcher::kConnectFailed);
    EXPECT_EQ(refused.events.seen, std::vector<std::string>{"error connect error"});
}

TEST(WebFetcherTest, StoredCredentialsThenThePrompt) {
    const HttpClip& clip = HttpClip::Get();
    TempDir root;
    std::filesystem::copy_file(clip.path, root / "clip.asf");
    TestServer server(root.Path(), {"--only", "http", "--auth", "u:p"});
    ASSERT_TRUE(server.Ready());
    const std::string url = Url(server.HttpPort(), "/clip.asf");
    TempDir dir;
    ProfileStore profile(dir / "t.ini");
    ProfileCredentials credentials(&profile);
    CountingPrompt prompt;
    {
        // No stored credentials: the question, cancelled.
        FetchEvents events;
        MemoryOutputFile out;
        CWebFetcher fetcher(EngineOptions(), &events, &prompt, &credentials);
        (void)fetcher.Record({.output = &out, .address = url});
        EXPECT_EQ(prompt.asked, 1);
        EXPECT_EQ(events.seen, (std::vector<std::string>{"auth-cancelled", "error Not Found"}));
        EXPECT_TRUE(fetcher.Aborted());
        EXPECT_TRUE(out.Bytes().empty());
    }
    ASSERT_TRUE(profile.WriteString("NetPassword\\127.0.0.1", "User", "u"));
    ASSERT_TRUE(profile.WriteString("NetPassword\\127.0.0.1", "Password", "p"));
    FetchEvents events;
    MemoryOutputFile out;
    CWebFetcher fetcher(EngineOptions(), &events, &prompt, &credentials);
    (void)fetcher.Record({.output = &out, .address = url});
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_EQ(events.seen, (std::vector<std::string>{"credentials u:p", "start " + url}));
    EXPECT_EQ(out.Bytes(), clip.bytes);
    // Credentials in the address are used from the start.
    const Fetched inline_ =
        Fetch("http://u:p@127.0.0.1:" + std::to_string(server.HttpPort()) + "/clip.asf");
    EXPECT_EQ(inline_.bytes, clip.bytes);
}

TEST(WebFetcherTest, StopEndsAStalledTransfer) {
    const test::SilentPeer peer;
    MemoryOutputFile out;
    FetchEvents events;
    CWebFetcher fetcher(EngineOptions(), &events);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        fetcher.Stop();
    });
    const auto start = std::chrono::steady_clock::now();
    (void)fetcher.Record({.output = &out, .address = Url(peer.Port(), "/x.asf")});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    stopper.join();
    EXPECT_TRUE(events.seen.empty());

    // Without a stop, the idle time-out ends it.
    CWebFetcher idle(EngineOptions(), &events);
    idle.SetIdleTimeoutSeconds(1);
    (void)idle.Record({.output = &out, .address = Url(peer.Port(), "/x.asf")});
    EXPECT_EQ(idle.LastResult(), CWebFetcher::kNotDownloaded);
    EXPECT_EQ(events.seen, std::vector<std::string>{"error Not Found"});
}

}  // namespace
}  // namespace tapewell
