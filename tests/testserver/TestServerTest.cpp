// The test server against independent clients (FFmpeg's mmst and mmsh) and
// against hand-made requests, including hostile ones.
#include <gtest/gtest.h>

#include <cmath>

#include "MmsMessage.h"
#include "WireReader.h"
#include "common/LittleEndian.h"
#include "common/TextCodec.h"
#include "support/AsfClip.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell::test {
namespace {

namespace mms = testserver::mms;

class TestServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        AsfRecipe recipe;
        recipe.seconds = 4;
        recipe.title = "Served Clip";
        s_clip = new AsfClip(AsfClip::Make(*s_dir / "clip.asf", recipe));
    }
    static void TearDownTestSuite() {
        delete s_clip;
        delete s_dir;
    }
    static std::filesystem::path Root() { return s_dir->Path(); }
    // What a client receives as the header: the Header object and the start
    // of the Data object.
    static std::vector<uint8_t> ExpectedHeader() { return s_clip->StreamHeader(); }
    static std::vector<uint8_t> Packet(uint64_t n) {
        const std::span<const uint8_t> packet = s_clip->Packet(n);
        return {packet.begin(), packet.end()};
    }

    static inline TempDir* s_dir = nullptr;
    static inline AsfClip* s_clip = nullptr;
};

TEST_F(TestServerTest, FfmpegClientsCopyTheServedFileOverBothProtocols) {
    // Over MMS the header comes in three packets and a keep-alive ping
    // arrives first. (FFmpeg's mmsh client cannot take a header split over
    // several "$H" chunks, so that case is checked with raw requests below.)
    TestServer mms(Root(), {"--only", "mms", "--header-parts", "3", "--ping"});
    TestServer http(Root(), {"--only", "http"});
    ASSERT_TRUE(mms.Ready() && http.Ready());
    const ProbeReport source = Probe(Root() / "clip.asf");
    const std::string urls[] = {
        "mmst://127.0.0.1:" + std::to_string(mms.MmsPort()) + "/clip.asf",
        "mmsh://127.0.0.1:" + std::to_string(http.HttpPort()) + "/clip.asf"};
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        TempDir out;
        CommandResult r = test::Run({"ffmpeg", "-v", "error", "-y", "-i", url, "-c", "copy", "-f",
                                     "asf", (out / "copy.asf").string()});
        ASSERT_EQ(r.exitCode, 0) << r.err << mms.Log() << http.Log();
        const ProbeReport copy = Probe(out / "copy.asf");
        EXPECT_EQ(copy.Get("stream0.codec_name"), source.Get("stream0.codec_name"));
        EXPECT_EQ(copy.Get("stream1.codec_name"), source.Get("stream1.codec_name"));
        EXPECT_EQ(copy.Get("stream2.codec_name"), "");
        EXPECT_NEAR(std::stod(copy.Get("format.duration")),
                    std::stod(source.Get("format.duration")), 0.5);
    }
}

TEST_F(TestServerTest, ProbeRequestGetsTheHeaderInTheAskedNumberOfParts) {
    for (unsigned parts : {1u, 3u}) {
        SCOPED_TRACE(parts);
        TestServer server(Root(), {"--header-parts", std::to_string(parts)});
        ASSERT_TRUE(server.Ready());
        bool closed = false;
        const HttpReply reply =
            SplitReply(Exchange(server.HttpPort(), ProbeRequest("/clip.asf"), 5000, &closed));
        EXPECT_TRUE(closed);
        EXPECT_NE(reply.head.find("HTTP/1.0 200"), std::string::npos);
        EXPECT_NE(reply.head.find("Content-Type: application/octet-stream\r\n"), std::string::npos);
        EXPECT_NE(reply.head.find("Pragma: features=\"seekable,stridable\"\r\n"),
                  std::string::npos);
        ASSERT_EQ(reply.chunks.size(), parts);
        std::vector<uint8_t> joined;
        for (const Chunk& chunk : reply.chunks) {
            EXPECT_EQ(chunk.type, 'H');
            joined.insert(joined.end(), chunk.body.begin(), chunk.body.end());
        }
        EXPECT_EQ(joined, ExpectedHeader());
        if (parts == 1) {
            EXPECT_EQ(reply.chunks[0].flags, 0x0C);
        } else {
            EXPECT_EQ(reply.chunks[0].flags, 0x04);
            EXPECT_EQ(reply.chunks[1].flags, 0x00);
            EXPECT_EQ(reply.chunks[2].flags, 0x08);
        }
    }
}

TEST_F(TestServerTest, StreamRequestResumesAfterTheHeldPacketsAndEndsWithE) {
    TestServer server(Root());
    ASSERT_TRUE(server.Ready());
    // Three whole packets and part of the fourth are held: the fourth comes again.
    const uint64_t held = ExpectedHeader().size() + 3 * s_clip->packetSize + 10;
    const HttpReply reply =
        SplitReply(Exchange(server.HttpPort(), StreamRequest("/clip.asf", held)));
    ASSERT_GE(reply.chunks.size(), 3u);
    EXPECT_EQ(reply.chunks.front().type, 'H');
    EXPECT_EQ(reply.chunks[1].type, 'D');
    EXPECT_EQ(reply.chunks[1].sequence, 3u);
    EXPECT_EQ(reply.chunks[1].body, Packet(3));
    EXPECT_EQ(reply.chunks.back().type, 'E');
    EXPECT_EQ(reply.chunks.size(), 1 + (s_clip->packetCount - 3) + 1);
    EXPECT_EQ(reply.chunks[reply.chunks.size() - 2].sequence, s_clip->packetCount - 1);
}

TEST_F(TestServerTest, HttpSwitchesAuthRedirectDropAndPlainFiles) {
    WriteFileBytes(Root() / "list.asx", {'<', 'A', 'S', 'X', '>'});
    WriteFileBytes(Root() / "notes.txt", {'h', 'i'});
    WriteFileBytes(Root() / "blob.bin", std::vector<uint8_t>(1000, 7));
    {
        TestServer server(Root(), {"--auth", "ann:secret", "--drop-after", "5"});
        ASSERT_TRUE(server.Ready());
        const std::string plain = ProbeRequest("/clip.asf");
        std::string reply = [&] {
            auto r = Exchange(server.HttpPort(), plain);
            return std::string(r.begin(), r.end());
        }();
        EXPECT_TRUE(reply.starts_with("HTTP/1.0 401"));
        EXPECT_NE(reply.find("WWW-Authenticate: Basic"), std::string::npos);
        std::string authorized = StreamRequest("/clip.asf", 0);
        authorized.insert(authorized.find("Accept:"), "Authorization: Basic YW5uOnNlY3JldA==\r\n");
        const HttpReply stream = SplitReply(Exchange(server.HttpPort(), authorized));
        EXPECT_TRUE(stream.head.starts_with("HTTP/1.0 200"));
        // Header, then five data chunks, then the connection is cut without "$E".
        ASSERT_EQ(stream.chunks.size(), 6u);
        EXPECT_EQ(stream.chunks.back().type, 'D');
    }
    TestServer server(Root(), {"--redirect"});
    ASSERT_TRUE(server.Ready());
    auto text = [&](const std::string& request) {
        auto r = Exchange(server.HttpPort(), request);
        return std::string(r.begin(), r.end());
    };
    EXPECT_TRUE(text(ProbeRequest("/clip.asf")).starts_with("HTTP/1.0 302"));
    EXPECT_NE(text("GET /list.asx HTTP/1.0\r\n\r\n").find("Content-Type: video/x-ms-asf\r\n"),
              std::string::npos);
    EXPECT_NE(text("GET /notes.txt HTTP/1.0\r\n\r\n").find("Content-Type: text/plain\r\n"),
              std::string::npos);
    const std::string blob = text("GET /blob.bin HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_NE(blob.find("Content-Length: 1000\r\n"), std::string::npos);
    EXPECT_EQ(blob.size() - blob.find("\r\n\r\n") - 4, 1000u);
    // A proxy request names the whole address.
    const std::string port = std::to_string(server.HttpPort());
    EXPECT_TRUE(text("GET http://127.0.0.1:" + port + "/notes.txt HTTP/1.0\r\n\r\n")
                    .starts_with("HTTP/1.0 200"));
    EXPECT_TRUE(text("GET /../clip.asf HTTP/1.0\r\n\r\n").starts_with("HTTP/1.0 404"));
}

TEST_F(TestServerTest, MmsOpenOfAMissingFileGetsANegativeResult) {
    TestServer server(Root(), {"--only", "mms"});
    ASSERT_TRUE(server.Ready());
    EXPECT_EQ(server.HttpPort(), 0);
    std::vector<uint8_t> request = mms::BuildCommand(mms::kConnect, 0, {});
    std::vector<uint8_t> open(16, 0);
    const auto name = Utf8ToUtf16Le("missing.asf");
    open.insert(open.end(), name.begin(), name.end());
    open.insert(open.end(), {0, 0});
    const auto openMessage = mms::BuildCommand(mms::kOpenFile, 1, open);
    request.insert(request.end(), openMessage.begin(), openMessage.end());
    const std::vector<MmsUnit> reply = SplitMms(ReadMms(server.MmsPort(), request, SIZE_MAX, 2));
    ASSERT_GE(reply.size(), 2u);
    EXPECT_TRUE(reply[0].command && reply[1].command);
    EXPECT_EQ(reply[0].code, mms::kReportConnected);
    EXPECT_EQ(reply[1].code, mms::kReportOpenFile);
    EXPECT_LT(static_cast<int32_t>(reply[1].U32(40)), 0);
    EXPECT_LT(static_cast<int32_t>(reply[1].U32(48)), 0);
}

TEST_F(TestServerTest, HostileRequestsAreRefusedAndTheServerGoesOn) {
    TestServer server(Root());
    ASSERT_TRUE(server.Ready());
    auto prefix = [](uint32_t signature, uint32_t length) {
        std::vector<uint8_t> m(16, 0);
        m[0] = 1;
        WriteLe32(&m[4], signature);
        WriteLe32(&m[8], length);
        return m;
    };
    std::vector<uint8_t> unknown = mms::BuildCommand(0x00030099, 0, {});
    std::vector<uint8_t> truncated = prefix(mms::kSessionSignature, 200);
    truncated.resize(60, 0xAB);
    const std::vector<std::vector<uint8_t>> mmsRequests = {
        std::vector<uint8_t>(300, 0x41), prefix(mms::kSessionSignature, 0xFFFFFFF0),
        prefix(mms::kSessionSignature, 4), truncated, unknown};
    for (const auto& request : mmsRequests) {
        // Refused at once, but for the truncated message, which the server
        // waits on until the client goes: a short look shows it is alive.
        const bool truncatedOne = &request == &mmsRequests[3];
        bool closed = false;
        Exchange(server.MmsPort(), request, truncatedOne ? 200 : 3000, &closed);
        EXPECT_TRUE(closed || truncatedOne);
    }
    const std::string httpRequests[] = {
        "\x01\x02garbage\r\n\r\n",         "GET\r\n\r\n",
        "GET /%zz HTTP/1.0\r\n\r\n",       "GET /clip.asf HTTP/1.0\r\nno colon here\r\n\r\n",
        "POST /clip.asf HTTP/1.0\r\n\r\n", "GET /x HTTP/1.0\r\n" + std::string(20000, 'a')};
    for (const std::string& request : httpRequests) {
        bool closed = false;
        const auto reply = Exchange(server.HttpPort(), request, 3000, &closed);
        EXPECT_TRUE(closed);
        EXPECT_TRUE(std::string(reply.begin(), reply.end()).starts_with("HTTP/1.0 4") ||
                    std::string(reply.begin(), reply.end()).starts_with("HTTP/1.0 5"))
            << request;
    }
    EXPECT_TRUE(server.Alive());
    const HttpReply good = SplitReply(Exchange(server.HttpPort(), ProbeRequest("/clip.asf")));
    EXPECT_EQ(good.chunks.size(), 1u);
}

}  // namespace
}  // namespace tapewell::test
