// CHttpRecorder with playlists, against tapewell-testserver on loopback:
// one reference per entry, fall-back within an entry, and the nesting bound.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "HttpClip.h"
#include "common/OutputFile.h"
#include "http/CHttpRecorder.h"
#include "support/TestServer.h"

namespace tapewell {
namespace {

using test::HttpClip;
using test::TempDir;
using test::TestServer;

const std::string kCli = TAPEWELL_CLI_PATH;

std::string Url(uint16_t port, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
    test::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// A copy of the clip under root with the name given.
void CopyClip(const TempDir& root, const std::string& name) {
    std::filesystem::copy_file(HttpClip::Get().path, root / name,
                               std::filesystem::copy_options::overwrite_existing);
}

TEST(HttpPlaylistTest, OneReferencePerEntryWithFallBackThroughTheCli) {
    TempDir root;
    for (const char* name : {"a1.asf", "a2.asf", "b2.asf"}) {
        CopyClip(root, name);
    }
    TestServer server(root.Path(), {"--only", "http"});
    ASSERT_TRUE(server.Ready());
    const uint16_t port = server.HttpPort();
    // Entry one: both references work, only the first is recorded. Entry
    // two: the first is missing (404), so the second is tried.
    WriteText(root / "list.asx", "<ASX version=\"3.0\">\n<Entry>\n <Ref href=\"" +
                                     Url(port, "/a1.asf") + "\"/>\n <Ref href=\"" +
                                     Url(port, "/a2.asf") +
                                     "\"/>\n</Entry>\n<Entry>\n"
                                     " <Ref href=\"" +
                                     Url(port, "/missing.asf") + "\"/>\n <Ref href=\"" +
                                     Url(port, "/b2.asf") + "\"/>\n</Entry>\n</ASX>\n");
    TempDir dir;
    const auto out = dir / "x.asf";
    const test::CommandResult r =
        test::Run({kCli, "http-record", "--out", out.string(), "--", Url(port, "/list.asx")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string log = server.Log();
    EXPECT_NE(log.find("GET /a1.asf -> 200 stream"), std::string::npos) << log;
    EXPECT_EQ(log.find("GET /a2.asf"), std::string::npos) << log;
    EXPECT_NE(log.find("GET /missing.asf -> 404"), std::string::npos) << log;
    EXPECT_NE(log.find("GET /b2.asf -> 200 stream"), std::string::npos) << log;
    // Both streams went into the one file; the second, the same clip, found
    // it complete and appended nothing.
    EXPECT_EQ(test::ReadFileBytes(out), HttpClip::Get().WholeRecording());
    EXPECT_EQ(test::Probe(out).Get("format.duration"),
              test::Probe(HttpClip::Get().path).Get("format.duration"));

    // The reader's vector as the CLI prints it, with the limit and port.
    const auto two = dir / "two.asx";
    WriteText(two,
              "<ASX><Entry><Ref href=\"http://h/1\"/></Entry>"
              "<Entry><Ref href=\"http://h/2\"/></Entry></ASX>");
    const test::CommandResult p =
        test::Run({kCli, "playlist", "--engine", "-m", "30", "-p", "8080", two.string()});
    EXPECT_EQ(p.exitCode, 0) << p.err;
    EXPECT_EQ(p.out, "Quillon\n-m\n30\n-p\n8080\n-e\nhttp://h/1\n-e\nhttp://h/2\n");
}

TEST(HttpPlaylistTest, PlaylistsOfPlaylistsStopAtTheDepthBound) {
    TempDir root;
    TestServer server(root.Path(), {"--only", "http"});
    ASSERT_TRUE(server.Ready());
    // A chain of distinct playlists (one that names itself is stopped at
    // once as a loop, not by the depth).
    for (int i = 0; i < 12; ++i) {
        WriteText(root / ("loop" + std::to_string(i) + ".asx"),
                  "<ASX><Entry><Ref href=\"" +
                      Url(server.HttpPort(), "/loop" + std::to_string(i + 1) + ".asx") +
                      "\"/></Entry></ASX>");
    }
    // A local playlist file that names itself is bounded the same way.
    WriteText(root / "self.asx",
              "<ASX><Entry><Ref href=\"" + (root / "self.asx").string() + "\"/></Entry></ASX>");
    std::string log;
    MemoryOutputFile out;
    CHttpRecorder engine(EngineOptions(), nullptr);
    engine.SetMessageCallback([&log](MessageLevel, const std::string& t) { log += t; });
    (void)engine.Record({.output = &out, .address = Url(server.HttpPort(), "/loop0.asx")});
    EXPECT_EQ(Count(server.Log(), "GET /loop"), 9u) << server.Log();
    EXPECT_NE(log.find("playlist nesting deeper than 8 levels"), std::string::npos) << log;
    EXPECT_TRUE(out.Bytes().empty());

    const std::string args[] = {" ", (root / "self.asx").string()};
    engine.EngineMain(args);
    EXPECT_TRUE(out.Bytes().empty());
}

}  // namespace
}  // namespace tapewell
