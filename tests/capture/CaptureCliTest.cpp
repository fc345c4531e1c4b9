// tapewell-cli capture on pcap files the tests write, and its failures.
#include <unistd.h>

#include <gtest/gtest.h>

#include "capture/FrameBuilder.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

using test::Bytes;
using test::CommandResult;
using test::Ip;
using test::TcpPacket;

const std::string kCli = TAPEWELL_CLI_PATH;
const std::string kPlayer = "NSPlayer/9.0.0.2980; {3300AD50-2C39-46c0-AE0A-59FCD8CF430E}";

Bytes Segment(uint32_t to, uint16_t port, const std::string& payload) {
    TcpPacket p;
    p.destination = to;
    p.destinationPort = port;
    p.payload = test::Text(payload);
    return test::TcpFrame(p);
}

// A browser's session: page and image fetches, the media request (sent
// twice), an RTSP player, an MMS player and its server's answer, and bulk
// traffic in between.
std::vector<Bytes> BrowserSession() {
    const std::string headers = " HTTP/1.1\r\nHost: example\r\nAccept: */*\r\n\r\n";
    Bytes bulk = Segment(Ip(10, 0, 0, 3), 443, std::string(1400, 'x'));
    TcpPacket header;
    header.source = Ip(10, 0, 0, 9);
    header.sourcePort = 1755;
    header.destinationPort = 40001;
    header.payload = test::AsfHeaderPacket("Browser Clip");
    TcpPacket connect;
    connect.destination = Ip(10, 0, 0, 9);
    connect.destinationPort = 1755;
    connect.payload = test::MmsConnect(kPlayer);
    TcpPacket open = connect;
    open.payload = test::MmsOpenFile("a/b.asf");
    return {Segment(Ip(10, 0, 0, 5), 80, "GET /index.html" + headers),
            bulk,
            Segment(Ip(10, 0, 0, 5), 80, "GET /logo.png" + headers),
            Segment(Ip(10, 0, 0, 5), 80, "GET /video/clip.wmv" + headers),
            bulk,
            Segment(Ip(10, 0, 0, 5), 80, "GET /video/clip.wmv" + headers),
            Segment(Ip(10, 0, 0, 7), 554,
                    "DESCRIBE rtsp://10.0.0.7/live RTSP/1.0\r\nCSeq: 2\r\n"
                    "Accept: application/sdp\r\n\r\n"),
            test::TcpFrame(connect),
            bulk,
            test::TcpFrame(open),
            test::TcpFrame(header)};
}

// The profile is kept out of the user's own settings.
CommandResult Capture(const test::TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(),
                {"env", "XDG_CONFIG_HOME=" + (dir / "config").string(), kCli, "capture"});
    return test::Run(args);
}

TEST(CaptureCli, BrowserLikeSessionPrintsItsThreeAddressesOnce) {
    test::TempDir dir;
    test::WritePcap(dir / "traffic.pcap", BrowserSession());
    CommandResult r = Capture(dir, {"-r", (dir / "traffic.pcap").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "http://10.0.0.5/video/clip.wmv\t\n"
              "rtsp://10.0.0.7/live\t\n"
              "mms://10.0.0.9/a/b.asf\t" +
                  kPlayer +
                  "\n"
                  "title mms://10.0.0.9/a/b.asf\tBrowser Clip\n");
}

TEST(CaptureCli, OptionsNarrowWhatIsLookedFor) {
    test::TempDir dir;
    test::WritePcap(dir / "traffic.pcap", BrowserSession());
    const std::string file = (dir / "traffic.pcap").string();
    EXPECT_EQ(Capture(dir, {"-r", file, "--count", "1"}).out, "http://10.0.0.5/video/clip.wmv\t\n");
    EXPECT_EQ(Capture(dir, {"-r", file, "--no-rtsp", "--no-mms", "--types", ".png,.PNG"}).out,
              "http://10.0.0.5/logo.png\t\n");
    EXPECT_EQ(Capture(dir, {"-r", file, "--no-http", "--no-mms"}).out, "rtsp://10.0.0.7/live\t\n");

    // Frames of the "any" device, in Linux cooked capture.
    TcpPacket p;
    p.payload = test::Text("GET /b.asf HTTP/1.1\r\nHost: example\r\nAccept: */*\r\n\r\n");
    test::WritePcap(dir / "any.pcap", {test::LinuxCooked(0x0800, test::Ipv4(p))}, 113);
    EXPECT_EQ(Capture(dir, {"-r", (dir / "any.pcap").string()}).out, "http://10.0.0.5/b.asf\t\n");
}

TEST(CaptureCli, FailuresNameTheirCause) {
    test::TempDir dir;
    CommandResult missing = Capture(dir, {"-r", (dir / "none.pcap").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos) << missing.err;

    test::WritePcap(dir / "raw.pcap", {}, 101);  // LINKTYPE_RAW: no link-layer header
    CommandResult raw = Capture(dir, {"-r", (dir / "raw.pcap").string()});
    EXPECT_EQ(raw.exitCode, 1);
    EXPECT_NE(raw.err.find("link type RAW is not supported"), std::string::npos) << raw.err;

    CommandResult device = Capture(dir, {"-i", "tapewell-no-such-device", "--seconds", "1"});
    EXPECT_EQ(device.exitCode, 1);
    EXPECT_NE(device.err.find("Unable to open the driver 'tapewell-no-such-device'"),
              std::string::npos)
        << device.err;

    EXPECT_EQ(Capture(dir, {"-i", "lo", "-r", "x.pcap"}).exitCode, 64);
    EXPECT_EQ(Capture(dir, {"--count", "0"}).exitCode, 64);
    EXPECT_EQ(Capture(dir, {"--seconds", "-1"}).exitCode, 64);
}

// Without root or cap_net_raw the error says how to grant it. As root the
// test drops to the unprivileged user "nobody" to see it.
TEST(CaptureCli, NotPermittedSaysHowToGrantIt) {
    std::vector<std::string> argv = {kCli, "capture", "-i", "lo", "--seconds", "1"};
    if (geteuid() == 0) {
        argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    CommandResult r = test::Run(argv);
    if (r.exitCode == 0) {
        GTEST_SKIP() << "this user may capture (cap_net_raw granted)";
    }
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("setcap cap_net_raw,cap_net_admin=eip"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace tapewell
