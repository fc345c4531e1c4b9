// tapewell-cli capture on pcap files the tests write, and its failures.
#include <unistd.h>

#include <gtest/gtest.h>

#include "capture/FrameBuilder.h"
#include "common/LittleEndian.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

using test::Bytes;
using test::CommandResult;
using test::Ip;
using test::TcpPacket;

const std::string kCli = TAPEWELL_CLI_PATH;
const std::string kPlayer = "NSPlayer/9.0.0.2980; {3300AD50-2C39-46c0-AE0A-59FCD8CF430E}";

Bytes Frame(uint32_t from, uint16_t fromPort, uint32_t to, uint16_t toPort, const Bytes& payload) {
    TcpPacket p{from, to, fromPort, toPort, payload};
    return test::TcpFrame(p);
}

Bytes Request(uint32_t to, uint16_t port, const std::string& line) {
    return Frame(Ip(10, 0, 0, 2), 40000, to, port,
                 test::Text(line + "\r\nHost: example\r\nAccept: */*\r\n\r\n"));
}

// A browser's session: a page, an image, the media request (sent twice),
// an RTSP player, an MMS player and its server's answer, bulk traffic.
std::filesystem::path WriteSession(const test::TempDir& dir) {
    const uint32_t web = Ip(10, 0, 0, 5), rtsp = Ip(10, 0, 0, 7), mms = Ip(10, 0, 0, 9);
    const Bytes bulk = Frame(Ip(10, 0, 0, 3), 443, Ip(10, 0, 0, 2), 40003, Bytes(1400, 'x'));
    const auto path = dir / "traffic.pcap";
    test::WritePcap(
        path,
        {Request(web, 80, "GET /index.html HTTP/1.1"), bulk,
         Request(web, 80, "GET /logo.png HTTP/1.1"),
         Request(web, 80, "GET /video/clip.wmv HTTP/1.1"), bulk,
         Request(web, 80, "GET /video/clip.wmv HTTP/1.1"),
         Request(rtsp, 554, "DESCRIBE rtsp://10.0.0.7/live RTSP/1.0"),
         Frame(Ip(10, 0, 0, 2), 40001, mms, 1755, test::MmsCommand(0x00030001, kPlayer)), bulk,
         Frame(Ip(10, 0, 0, 2), 40001, mms, 1755, test::MmsCommand(0x00030005, "a/b.asf")),
         Frame(mms, 1755, Ip(10, 0, 0, 2), 40001, test::AsfHeaderPacket("Browser Clip"))});
    return path;
}

// The profile is kept out of the user's own settings.
CommandResult Capture(const test::TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(),
                {"env", "XDG_CONFIG_HOME=" + (dir / "config").string(), kCli, "capture"});
    return test::Run(args);
}

TEST(CaptureCli, BrowserLikeSessionPrintsItsThreeAddressesOnce) {
    test::TempDir dir;
    CommandResult r = Capture(dir, {"-r", WriteSession(dir).string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "http://10.0.0.5/video/clip.wmv\t\nrtsp://10.0.0.7/live\t\nmms://10.0.0.9/a/b.asf\t" +
                  kPlayer + "\ntitle mms://10.0.0.9/a/b.asf\tBrowser Clip\n");
}

TEST(CaptureCli, OptionsNarrowWhatIsLookedFor) {
    test::TempDir dir;
    const std::string file = WriteSession(dir).string();
    EXPECT_EQ(Capture(dir, {"-r", file, "--count", "1"}).out, "http://10.0.0.5/video/clip.wmv\t\n");
    EXPECT_EQ(Capture(dir, {"-r", file, "--no-rtsp", "--no-mms", "--types", ".png,.PNG"}).out,
              "http://10.0.0.5/logo.png\t\n");
    // The "any" device's Linux cooked capture.
    TcpPacket p;
    p.payload = test::Text("GET /b.asf HTTP/1.1\r\nHost: example\r\nAccept: */*\r\n\r\n");
    test::WritePcap(dir / "any.pcap", {test::Link(0x0800, test::Ipv4(p), true)}, 113);
    EXPECT_EQ(Capture(dir, {"-r", (dir / "any.pcap").string()}).out, "http://10.0.0.5/b.asf\t\n");
}

TEST(CaptureCli, FailuresNameTheirCause) {
    test::TempDir dir;
    test::WritePcap(dir / "raw.pcap", {}, 101);  // LINKTYPE_RAW: no link-layer header
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-r", (dir / "none.pcap").string()}, "No such file or directory"},
        {{"-r", (dir / "raw.pcap").string()}, "link type RAW is not supported"},
        {{"-i", "tapewell-no-such-device"}, "Unable to open the driver 'tapewell-no-such-device'"}};
    for (const auto& [args, why] : cases) {
        CommandResult r = Capture(dir, args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
    }
    EXPECT_EQ(Capture(dir, {"-i", "lo", "-r", "x.pcap"}).exitCode, 64);
}

// What a killed tcpdump leaves: a file cut off inside its last record, in
// the record's data or in its header. What came before is printed, with a
// warning, and the capture counts as ended by itself; a record that claims
// an impossible length is damage and stays an error.
TEST(CaptureCli, FileCutOffInsideAFrameWarnsAndEndsNormally) {
    test::TempDir dir;
    const Bytes whole = test::ReadFileBytes(WriteSession(dir));
    const std::string expected =
        "http://10.0.0.5/video/clip.wmv\t\nrtsp://10.0.0.7/live\t\nmms://10.0.0.9/a/b.asf\t" +
        kPlayer + "\n";
    // The last record is the server's header packet; its record header
    // starts this far from the end.
    const size_t lastRecord =
        whole.size() - 16 -
        Frame(Ip(10, 0, 0, 9), 1755, Ip(10, 0, 0, 2), 40001, test::AsfHeaderPacket("Browser Clip"))
            .size();
    for (size_t keep : {whole.size() - 30, lastRecord + 5}) {
        SCOPED_TRACE(keep);
        Bytes cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(keep));
        test::WriteFileBytes(dir / "cut.pcap", cut);
        CommandResult r = Capture(dir, {"-r", (dir / "cut.pcap").string()});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, expected);
        EXPECT_NE(r.err.find("tapewell-cli capture: warning: the capture file ends inside a frame"),
                  std::string::npos)
            << r.err;
    }
    Bytes damaged = whole;
    WriteLe32(&damaged[lastRecord + 8], 0x7FFFFFFF);  // captured length
    test::WriteFileBytes(dir / "damaged.pcap", damaged);
    CommandResult r = Capture(dir, {"-r", (dir / "damaged.pcap").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
}

// As root the test drops to the user "nobody" to see the refusal.
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
    EXPECT_NE(r.err.find("sudo setcap cap_net_raw=ep " + kCli + "\n"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace tapewell
