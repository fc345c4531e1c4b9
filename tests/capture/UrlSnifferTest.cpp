#include <gtest/gtest.h>

#include "capture/FrameBuilder.h"
#include "capture/RecordingSink.h"
#include "capture/UrlSniffer.h"

namespace tapewell {
namespace {

using test::Bytes;
using test::Ip;
using test::TcpPacket;
using Calls = std::vector<std::string>;

const std::string kDefaultPlayer = "NSPlayer/4.1.0.3928; {3300AD50-2C39-46C0-AE0A-21A0EBC0721E}";
const std::string kPlayer = "NSPlayer/9.0.0.2980; {3300AD50-2C39-46c0-AE0A-59FCD8CF430E}";

Calls Sniff(const std::vector<Bytes>& frames, SnifferSettings settings = {},
            LinkType link = LinkType::Ethernet) {
    if (settings.fileTypes.empty()) {
        settings.fileTypes = {".wmv", ".asf"};
    }
    test::RecordingSink sink;
    UrlSniffer sniffer(settings, sink);
    for (const auto& frame : frames) {
        sniffer.Examine(frame, link);
    }
    return sink.Calls();
}

TcpPacket Request(const std::string& line, uint16_t port = 80) {
    TcpPacket p;
    p.destinationPort = port;
    p.payload = test::Text(line + "\r\nHost: 10.0.0.5\r\nUser-Agent: test/1.0\r\n\r\n");
    return p;
}

Bytes Get(const std::string& path, uint16_t port = 80) {
    return test::TcpFrame(Request("GET " + path + " HTTP/1.1", port));
}

Bytes Mms(const Bytes& payload, bool fromServer = false, uint32_t server = Ip(10, 0, 0, 9)) {
    TcpPacket p;
    (fromServer ? p.source : p.destination) = server;
    (fromServer ? p.destination : p.source) = Ip(10, 0, 0, 2);
    (fromServer ? p.sourcePort : p.destinationPort) = 1755;
    (fromServer ? p.destinationPort : p.sourcePort) = 40000;
    p.payload = payload;
    return test::TcpFrame(p);
}

Bytes Open(const std::string& file) {
    return Mms(test::MmsCommand(0x00030005, file));
}

TEST(UrlSniffer, HttpMediaRequestsOnPorts80And8080KeepTheirCase) {
    SnifferSettings upper;
    upper.fileTypes = {".WMV", "", ".png"};
    EXPECT_EQ(
        Sniff({Get("/video/clip.wmv"), Get("/video/clip.wmv", 8080), Get("/index.html"),
               Get("/Video/CLIP.WMV?Id=7"), Get("/clip.wmv", 8081), Get(".wmv"),
               // A proxy request names the whole address.
               Get("http://media.example/a.asf", 8080)}),
        (Calls{"add http://10.0.0.5/video/clip.wmv|", "add http://10.0.0.5:8080/video/clip.wmv|",
               "add http://10.0.0.5/Video/CLIP.WMV?Id=7|", "add http://media.example/a.asf|"}));
    EXPECT_EQ(Sniff({Get("/A.WMV"), Get("/index.html")}, upper),
              (Calls{"add http://10.0.0.5/A.WMV|"}));
}

TEST(UrlSniffer, RequestPathIsCutAtItsBound) {
    const std::string tail(1100, 'a');
    EXPECT_EQ(Sniff({Get("/" + tail + ".wmv"), Get("/x.wmv/" + tail)}),
              (Calls{"add http://10.0.0.5/x.wmv/" + tail.substr(0, 1024 - 7) + "|"}));
}

TEST(UrlSniffer, MmsOpenGivesTheAddressWithThePlayerOfTheConnect) {
    const std::string longPlayer = "NSPlayer/12.0; " + std::string(80, 'x');
    Bytes cut = test::MmsCommand(0x00030005, "a/b.asf");
    cut[8] += 1;  // claims a byte more than the segment holds
    EXPECT_EQ(Sniff({Open("first.asf"), Mms(test::MmsCommand(0x00030001, kPlayer)), Open("a/b.asf"),
                     Mms(cut), Mms(test::MmsCommand(0x00030001, longPlayer)), Open("c.asf")}),
              (Calls{"add mms://10.0.0.9/first.asf|" + kDefaultPlayer,
                     "add mms://10.0.0.9/a/b.asf|" + kPlayer,
                     "add mms://10.0.0.9/c.asf|" + longPlayer.substr(0, 60)}));
}

// The ASF header comes back from the server, inside an MMS data packet.
TEST(UrlSniffer, ServerHeaderTitleNamesTheMmsAddressOnce) {
    const std::string added = "add mms://10.0.0.9/a/b.asf|" + kDefaultPlayer;
    EXPECT_EQ(Sniff({Open("a/b.asf"), Mms(test::AsfHeaderPacket("Clip"), true),
                     Mms(test::AsfHeaderPacket("Again"), true)}),
              (Calls{added, "rename mms://10.0.0.9/a/b.asf|Clip"}));
    // Not from another server, not an empty title, not before any command.
    EXPECT_EQ(Sniff({Open("a/b.asf"), Mms(test::AsfHeaderPacket("Other"), true, Ip(10, 0, 0, 8)),
                     Mms(test::AsfHeaderPacket(""), true)}),
              Calls{added});
    EXPECT_EQ(Sniff({Mms(test::AsfHeaderPacket("Clip"), true)}), Calls{});
    // Cut at 1,024 bytes without splitting a three-byte character.
    std::string title;
    for (int i = 0; i < 400; ++i) {
        title += "제";
    }
    EXPECT_EQ(Sniff({Open("t.asf"), Mms(test::AsfHeaderPacket(title), true)}).back(),
              "rename mms://10.0.0.9/t.asf|" + title.substr(0, 1023));
}

// An HTTP server's reply to a media request carries the same ASF header,
// in a "$H" chunk when it streams: the title names the address it asked for,
// on that connection only.
TEST(UrlSniffer, HttpReplyTitleNamesTheMediaRequestOnce) {
    auto reply = [](const std::string& title, uint16_t serverPort = 80, uint16_t clientPort = 40000,
                    uint32_t server = Ip(10, 0, 0, 5)) {
        TcpPacket p;
        p.source = server;
        p.destination = Ip(10, 0, 0, 2);
        p.sourcePort = serverPort;
        p.destinationPort = clientPort;
        p.payload = test::HttpHeaderReply(title);
        return test::TcpFrame(p);
    };
    EXPECT_EQ(
        Sniff({Get("/live/clip.asf"), reply("Clip"), reply("Again")}),
        (Calls{"add http://10.0.0.5/live/clip.asf|", "rename http://10.0.0.5/live/clip.asf|Clip"}));
    EXPECT_EQ(Sniff({Get("/live/clip.asf", 8080), reply("Clip", 8080)}).back(),
              "rename http://10.0.0.5:8080/live/clip.asf|Clip");
    // Not another server's, another port's or another connection's reply,
    // nor one before any media request or after a request for a page.
    EXPECT_EQ(Sniff({Get("/a.asf"), reply("Other", 80, 40000, Ip(10, 0, 0, 8)),
                     reply("Other", 8080), reply("Other", 80, 40001)}),
              Calls{"add http://10.0.0.5/a.asf|"});
    EXPECT_EQ(Sniff({reply("Clip"), Get("/index.html"), reply("Page")}), Calls{});
    SnifferSettings noHttp;
    noHttp.captureHttp = false;
    EXPECT_EQ(Sniff({Get("/a.asf"), reply("Clip")}, noHttp), Calls{});
}

TEST(UrlSniffer, PppoeSessionAndCookedFramesCarryIpv4) {
    const Bytes ip = test::Ipv4(Request("GET /live/a.asf HTTP/1.0"));
    const std::string added = "add http://10.0.0.5/live/a.asf|";
    EXPECT_EQ(Sniff({test::Link(0x8864, test::Pppoe(ip, false)),
                     test::Link(0x8864, test::Pppoe(ip, true)),
                     test::Link(0x8863, test::Pppoe(ip, false, 0x09))}),
              (Calls{added, added}));
    EXPECT_EQ(Sniff({test::Link(0x0800, ip, true)}, {}, LinkType::LinuxCooked), Calls{added});
}

TEST(UrlSniffer, ShortFramesFragmentsAndLyingHeadersAreSkipped) {
    auto sized = [](size_t frameSize) {
        TcpPacket p;
        p.payload = test::Text("GET /a.wmv HTTP/1.0\r\n");
        p.payload.resize(frameSize - 54, '\n');
        return test::TcpFrame(p);
    };
    EXPECT_EQ(Sniff({sized(96), sized(97)}), (Calls{"add http://10.0.0.5/a.wmv|"}));

    std::vector<Bytes> bad;
    for (auto change : std::vector<void (*)(TcpPacket&)>{
             [](TcpPacket& p) { p.fragment = 0x2000; },  // the first of several fragments
             [](TcpPacket& p) { p.fragment = 0x0010; },  // a later fragment
             [](TcpPacket& p) { p.ipHeaderLength = 16; },
             [](TcpPacket& p) { p.tcpHeaderLength = 16; },
             [](TcpPacket& p) { p.totalLengthExtra = 1; }, [](TcpPacket& p) { p.protocol = 17; }}) {
        TcpPacket p = Request("GET /video/clip.wmv HTTP/1.1");
        change(p);
        bad.push_back(test::TcpFrame(p));
    }
    // A TCP header claiming 60 bytes of a 41-byte segment, in a padded frame.
    TcpPacket shortSegment;
    shortSegment.payload = test::Text("GET /x.wmv HTTP/1.1\r\n");
    bad.push_back(test::TcpFrame(shortSegment));
    bad.back()[14 + 20 + 12] = 0xF0;
    bad.back().resize(100, 0);
    EXPECT_EQ(Sniff(bad), Calls{});
}

TEST(UrlSniffer, RtspDescribeAndEachProtocolSwitchingOffAlone) {
    const std::vector<Bytes> frames = {Get("/a.wmv"), Get("/b.wmv", 8080),
                                       test::TcpFrame(Request("DESCRIBE rtsp://h/x RTSP/1.0", 554)),
                                       test::TcpFrame(Request("OPTIONS rtsp://h/y RTSP/1.0", 554)),
                                       Open("m.asf")};
    SnifferSettings noHttp, noRtsp, noMms;
    noHttp.captureHttp = noRtsp.captureRtsp = noMms.captureMms = false;
    EXPECT_EQ(Sniff(frames, noHttp),
              (Calls{"add rtsp://h/x|", "add mms://10.0.0.9/m.asf|" + kDefaultPlayer}));
    EXPECT_EQ(Sniff(frames, noRtsp).size(), 3u);
    EXPECT_EQ(Sniff(frames, noMms).size(), 3u);
}

}  // namespace
}  // namespace tapewell
