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

SnifferSettings Settings() {
    SnifferSettings s;
    s.fileTypes = {".wmv", ".asf"};
    return s;
}

Calls Sniff(const std::vector<Bytes>& frames, const SnifferSettings& settings = Settings(),
            LinkType link = LinkType::Ethernet) {
    test::RecordingSink sink;
    UrlSniffer sniffer(settings, sink);
    for (const auto& frame : frames) {
        sniffer.Examine(frame, link);
    }
    return sink.Calls();
}

Bytes Get(const std::string& path, uint16_t port = 80) {
    TcpPacket p;
    p.destinationPort = port;
    p.payload =
        test::Text("GET " + path + " HTTP/1.1\r\nHost: 10.0.0.5\r\nUser-Agent: test\r\n\r\n");
    return test::TcpFrame(p);
}

Bytes ToMms(const Bytes& command, uint32_t server = Ip(10, 0, 0, 9)) {
    TcpPacket p;
    p.destination = server;
    p.destinationPort = 1755;
    p.payload = command;
    return test::TcpFrame(p);
}

Bytes FromMms(const Bytes& payload, uint32_t server = Ip(10, 0, 0, 9)) {
    TcpPacket p;
    p.source = server;
    p.sourcePort = 1755;
    p.destination = Ip(10, 0, 0, 2);
    p.destinationPort = 40000;
    p.payload = payload;
    return test::TcpFrame(p);
}

TEST(UrlSniffer, HttpMediaRequestsOnPorts80And8080) {
    EXPECT_EQ(
        Sniff({Get("/video/clip.wmv"), Get("/video/clip.wmv", 8080), Get("/index.html"),
               Get("/Video/CLIP.WMV?Id=7"), Get("/clip.wmv", 8081)}),
        (Calls{"add http://10.0.0.5/video/clip.wmv|", "add http://10.0.0.5:8080/video/clip.wmv|",
               "add http://10.0.0.5/Video/CLIP.WMV?Id=7|"}));
}

TEST(UrlSniffer, MediaTypeMustFollowTheFirstCharacter) {
    SnifferSettings upper = Settings();
    upper.fileTypes = {".WMV", ""};
    EXPECT_EQ(Sniff({Get(".wmv"), Get("x.wmv")}, upper), (Calls{"add http://10.0.0.5x.wmv|"}));
}

// A request through a proxy names the whole address, which is kept as it is
// rather than glued behind the proxy's own address.
TEST(UrlSniffer, ProxyRequestKeepsItsAddress) {
    EXPECT_EQ(Sniff({Get("http://media.example/a.asf", 8080)}),
              (Calls{"add http://media.example/a.asf|"}));
}

TEST(UrlSniffer, RequestPathIsCutAtItsBound) {
    const std::string tail(1100, 'a');
    Calls calls = Sniff({Get("/" + tail + ".wmv"), Get("/x.wmv/" + tail)});
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], "add http://10.0.0.5/x.wmv/" + tail.substr(0, 1024 - 7) + "|");
}

TEST(UrlSniffer, RtspDescribeOnPort554) {
    auto rtsp = [](const std::string& payload, uint16_t port) {
        TcpPacket p;
        p.destinationPort = port;
        p.payload = test::Text(payload + "\r\nCSeq: 2\r\nAccept: application/sdp\r\n\r\n");
        return test::TcpFrame(p);
    };
    EXPECT_EQ(
        Sniff({rtsp("DESCRIBE rtsp://h/x RTSP/1.0", 554), rtsp("OPTIONS rtsp://h/y RTSP/1.0", 554),
               rtsp("DESCRIBE rtsp://h/z RTSP/1.0", 555)}),
        (Calls{"add rtsp://h/x|"}));
}

TEST(UrlSniffer, MmsConnectThenOpenGivesTheAddressAndThePlayer) {
    const std::string player = "NSPlayer/9.0.0.2980; {3300AD50-2C39-46c0-AE0A-59FCD8CF430E}";
    EXPECT_EQ(Sniff({ToMms(test::MmsOpenFile("first.asf")), ToMms(test::MmsConnect(player)),
                     ToMms(test::MmsOpenFile("a/b.asf"))}),
              (Calls{"add mms://10.0.0.9/first.asf|" + kDefaultPlayer,
                     "add mms://10.0.0.9/a/b.asf|" + player}));
}

TEST(UrlSniffer, MmsPlayerIdIsCutAtItsBound) {
    const std::string player = "NSPlayer/12.0; " + std::string(80, 'x');
    EXPECT_EQ(Sniff({ToMms(test::MmsConnect(player)), ToMms(test::MmsOpenFile("c.asf"))}),
              (Calls{"add mms://10.0.0.9/c.asf|" + player.substr(0, 60)}));
}

TEST(UrlSniffer, MmsCommandLongerThanItsSegmentIsIgnored) {
    Bytes open = test::MmsOpenFile("a/b.asf");
    open[8] = static_cast<uint8_t>(open.size() - 16 + 1);  // claims one byte more than is there
    EXPECT_EQ(Sniff({ToMms(open)}), Calls{});
}

// The ASF header comes back from the server, inside an MMS data packet.
TEST(UrlSniffer, ServerHeaderTitleNamesTheMmsAddress) {
    const std::string address = "mms://10.0.0.9/a/b.asf";
    EXPECT_EQ(Sniff({ToMms(test::MmsOpenFile("a/b.asf")), FromMms(test::AsfHeaderPacket("Clip")),
                     FromMms(test::AsfHeaderPacket("Again"))}),
              (Calls{"add " + address + "|" + kDefaultPlayer, "rename " + address + "|Clip"}));
    // Not from another server, not an empty title, and not before any command.
    EXPECT_EQ(Sniff({ToMms(test::MmsOpenFile("a/b.asf")),
                     FromMms(test::AsfHeaderPacket("Other"), Ip(10, 0, 0, 8)),
                     FromMms(test::AsfHeaderPacket(""))}),
              (Calls{"add " + address + "|" + kDefaultPlayer}));
    EXPECT_EQ(Sniff({FromMms(test::AsfHeaderPacket("Clip"))}), Calls{});
}

TEST(UrlSniffer, TitleIsCutOnACharacterBoundary) {
    std::string title;
    for (int i = 0; i < 400; ++i) {
        title += "제";  // three bytes in UTF-8
    }
    Calls calls = Sniff({ToMms(test::MmsOpenFile("t.asf")), FromMms(test::AsfHeaderPacket(title))});
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1], "rename mms://10.0.0.9/t.asf|" + title.substr(0, 1023));
}

TEST(UrlSniffer, PppoeSessionAndCookedFramesCarryIpv4) {
    TcpPacket p;
    p.payload = test::Text("GET /live/a.asf HTTP/1.0\r\nUser-Agent: NSPlayer/9.0\r\n\r\n");
    const Bytes ip = test::Ipv4(p);
    EXPECT_EQ(Sniff({test::Ethernet(0x8864, test::PppoeSession(ip, false)),
                     test::Ethernet(0x8864, test::PppoeSession(ip, true)),
                     test::Ethernet(0x8863, test::PppoeSession(ip, false, 0x09))}),
              (Calls{"add http://10.0.0.5/live/a.asf|", "add http://10.0.0.5/live/a.asf|"}));
    EXPECT_EQ(Sniff({test::LinuxCooked(0x0800, ip)}, Settings(), LinkType::LinuxCooked),
              (Calls{"add http://10.0.0.5/live/a.asf|"}));
}

TEST(UrlSniffer, ShortFramesFragmentsAndLyingHeadersAreSkipped) {
    auto sized = [](size_t frameSize) {
        TcpPacket p;
        p.payload = test::Text("GET /a.wmv HTTP/1.0\r\n");
        p.payload.resize(frameSize - 54, '\n');
        return test::TcpFrame(p);
    };
    EXPECT_EQ(Sniff({sized(96)}), Calls{});
    EXPECT_EQ(Sniff({sized(97)}), (Calls{"add http://10.0.0.5/a.wmv|"}));

    TcpPacket base;
    base.payload = test::Text("GET /video/clip.wmv HTTP/1.1\r\nHost: 10.0.0.5\r\n\r\n");
    std::vector<Bytes> bad;
    for (auto change : std::vector<void (*)(TcpPacket&)>{
             [](TcpPacket& p) { p.fragment = 0x2000; },  // first of several fragments
             [](TcpPacket& p) { p.fragment = 0x0010; },  // a later fragment
             [](TcpPacket& p) { p.ipHeaderLength = 16; },
             [](TcpPacket& p) { p.tcpHeaderLength = 16; },
             [](TcpPacket& p) { p.totalLengthExtra = 1; }, [](TcpPacket& p) { p.protocol = 17; }}) {
        TcpPacket p = base;
        change(p);
        bad.push_back(test::TcpFrame(p));
    }
    EXPECT_EQ(Sniff(bad), Calls{});
    // A TCP header length past the end of the frame: 60 bytes claimed, 40 there.
    TcpPacket longHeader = base;
    longHeader.payload.resize(20);
    Bytes frame = test::TcpFrame(longHeader);
    frame[14 + 20 + 12] = 0xF0;
    frame.resize(100, 0);
    EXPECT_EQ(Sniff({frame}), Calls{});
}

TEST(UrlSniffer, EachProtocolSwitchesOffAlone) {
    const std::vector<Bytes> frames = {
        Get("/a.wmv"), Get("/b.wmv", 8080),
        [] {
            TcpPacket p;
            p.destinationPort = 554;
            p.payload = test::Text("DESCRIBE rtsp://h/x RTSP/1.0\r\nCSeq: 1\r\n\r\n\r\n\r\n\r\n");
            return test::TcpFrame(p);
        }(),
        ToMms(test::MmsOpenFile("m.asf"))};
    SnifferSettings noHttp = Settings(), noRtsp = Settings(), noMms = Settings();
    noHttp.captureHttp = false;
    noRtsp.captureRtsp = false;
    noMms.captureMms = false;
    EXPECT_EQ(Sniff(frames, noHttp),
              (Calls{"add rtsp://h/x|", "add mms://10.0.0.9/m.asf|" + kDefaultPlayer}));
    EXPECT_EQ(Sniff(frames, noRtsp).size(), 3u);
    EXPECT_EQ(Sniff(frames, noMms).size(), 3u);
}

}  // namespace
}  // namespace tapewell
