// Capture through the helper process: fake helpers (shell scripts) for the
// reading side, the real tapewell-capture-helper for its own refusals and,
// as root, for live capture on the loopback device.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <thread>

#include "capture/CaptureFilter.h"
#include "capture/FrameBuilder.h"
#include "capture/RecordingSink.h"
#include "capture/UrlCapture.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::Ip;

const std::string kHelper = TAPEWELL_CAPTURE_HELPER_PATH;
const std::string kCli = TAPEWELL_CLI_PATH;
const std::vector<std::string> kAsNobody = {"setpriv", "--reuid=65534", "--regid=65534",
                                            "--clear-groups"};

SnifferSettings MediaTypes() {
    SnifferSettings settings;
    settings.fileTypes = {".wmv", ".asf"};
    return settings;
}

Bytes Get(uint16_t port, const std::string& path) {
    test::TcpPacket p;
    p.destination = Ip(10, 0, 0, 5);
    p.destinationPort = port;
    p.payload = test::Text("GET " + path + " HTTP/1.1\r\nHost: example\r\nAccept: */*\r\n\r\n");
    return test::TcpFrame(p);
}

// A browser asking for a page and, twice on one port and once on another,
// for a clip.
std::filesystem::path WriteTraffic(const test::TempDir& dir) {
    const auto path = dir / "traffic.pcap";
    test::WritePcap(path, {Get(80, "/index.html"), Get(80, "/video/clip.wmv"),
                           Get(80, "/video/clip.wmv"), Get(8080, "/video/clip.wmv")});
    return path;
}

const std::set<std::string> kFound = {"add http://10.0.0.5/video/clip.wmv|",
                                      "add http://10.0.0.5:8080/video/clip.wmv|"};

std::filesystem::path WriteFake(const test::TempDir& dir, const std::string& body) {
    const auto path = dir / "fake-helper";
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

std::set<std::string> Adds(test::RecordingSink& sink) {
    std::set<std::string> adds;
    for (const auto& call : sink.Calls()) {
        if (call.starts_with("add ")) {
            adds.insert(call);
        }
    }
    return adds;
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The fake writes its process id to "pid" first thing.
pid_t WaitForPid(const test::TempDir& dir) {
    for (int i = 0; i < 200; ++i) {
        const std::string text = ReadText(dir / "pid");
        if (text.ends_with("\n")) {
            return std::stoi(text);
        }
        std::this_thread::sleep_for(10ms);
    }
    return -1;
}

size_t OpenDescriptors() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                             std::filesystem::directory_iterator()));
}

test::CommandResult CliOnStdin(const test::TempDir& dir, const std::filesystem::path& input) {
    return test::Run({"env", "XDG_CONFIG_HOME=" + (dir / "config").string(), "sh", "-c",
                      "exec \"$0\" capture -r - --types .wmv < \"$1\"", kCli, input.string()});
}

TEST(CaptureHelperStream, FindingsComeFromTheHelperAndFromStandardInput) {
    test::TempDir dir;
    const auto traffic = WriteTraffic(dir);
    // Nothing of ours but the device reaches the helper: not our variables,
    // not our descriptors beyond its three.
    setenv("TAPEWELL_PRIVATE_PROBE", "leak", 1);
    const auto fake =
        WriteFake(dir, "echo \"$@\" > \"" + (dir / "args").string() + "\"\nenv > \"" +
                           (dir / "env").string() + "\"\nls /proc/self/fd > \"" +
                           (dir / "fds").string() + "\"\nexec cat \"" + traffic.string() + "\"");
    test::RecordingSink sink;
    UrlCapture capture(sink);
    ASSERT_TRUE(capture.StartHelper(fake, "eth7", MediaTypes()));
    ASSERT_TRUE(sink.WaitFor("end ", 5s));
    EXPECT_EQ(Adds(sink), kFound);
    EXPECT_EQ(sink.Calls().back(), "end ");
    EXPECT_EQ(ReadText(dir / "args"), "-i eth7\n");
    EXPECT_EQ(ReadText(dir / "env").find("TAPEWELL_PRIVATE_PROBE"), std::string::npos);
    EXPECT_EQ(ReadText(dir / "fds"), "0\n1\n2\n3\n");  // 3: the listing ls reads
    unsetenv("TAPEWELL_PRIVATE_PROBE");

    test::CommandResult r = CliOnStdin(dir, traffic);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "http://10.0.0.5/video/clip.wmv\t\nhttp://10.0.0.5:8080/video/clip.wmv\t\n");
}

// A writer that dies inside a frame loses what it still had to send: the
// frames before the cut are delivered and the end is an error, not a wait.
TEST(CaptureHelperStream, StreamCutInsideAFrameEndsWithAnError) {
    test::TempDir dir;
    const Bytes whole = test::ReadFileBytes(WriteTraffic(dir));
    test::WriteFileBytes(dir / "cut.pcap", Bytes(whole.begin(), whole.end() - 10));
    const auto fake = WriteFake(dir, "exec cat \"" + (dir / "cut.pcap").string() + "\"");
    test::RecordingSink sink;
    UrlCapture capture(sink);
    ASSERT_TRUE(capture.StartHelper(fake, "eth0", MediaTypes()));
    ASSERT_TRUE(sink.WaitFor("end ", 5s));
    EXPECT_EQ(Adds(sink), std::set<std::string>{"add http://10.0.0.5/video/clip.wmv|"});
    EXPECT_TRUE(sink.Calls().back().starts_with("end the capture stream ends inside a frame"))
        << sink.Calls().back();

    test::CommandResult r = CliOnStdin(dir, dir / "cut.pcap");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "http://10.0.0.5/video/clip.wmv\t\n");
    EXPECT_NE(r.err.find("the capture stream ends inside a frame"), std::string::npos) << r.err;
}

TEST(CaptureHelperStream, FailuresEndTheCaptureWithTheHelpersWords) {
    test::TempDir dir;
    const std::string refusal =
        "tapewell-capture-helper: cannot capture on 'eth0': socket: Operation not permitted\n"
        "  sudo setcap cap_net_raw=ep /x/tapewell-capture-helper";
    const std::pair<std::string, std::string> cases[] = {
        {"printf '%s\\n\\n' \"" + refusal + "\" >&2\nexit 1", refusal},
        {"exit 3", "the capture helper ended with exit status 3"},
        // A crash is no stop of ours, even though the stream's end then
        // makes us send SIGTERM to what is left of it.
        {"echo dying >&2\nkill -SEGV $$", "the capture helper was ended by signal 11"},
        {"echo not a capture", "the capture stream is not readable"},
        // A chatty helper is drained as it writes, and what it said is cut
        // at 16 KiB, visibly.
        {"head -c 100000 /dev/zero | tr '\\0' x >&2\nexit 1",
         std::string(16 * 1024, 'x') + "\n[...]"}};
    for (const auto& [body, expected] : cases) {
        SCOPED_TRACE(body);
        test::RecordingSink sink;
        UrlCapture capture(sink);
        ASSERT_TRUE(capture.StartHelper(WriteFake(dir, body), "eth0", MediaTypes()));
        ASSERT_TRUE(sink.WaitFor("end ", 5s));
        EXPECT_TRUE(sink.Calls().back().starts_with("end " + expected))
            << sink.Calls().back().substr(0, 300);
    }

    test::RecordingSink sink;
    UrlCapture capture(sink);
    std::ofstream(dir / "not-executable") << "#!/bin/sh\n";
    for (const auto& path : {dir / "missing", dir / "not-executable", dir.Path()}) {
        const ErrorOr<void> started = capture.StartHelper(path, "eth0", MediaTypes());
        ASSERT_FALSE(started);
        EXPECT_EQ(started.error().code, ENOENT);
        EXPECT_NE(started.error().message.find(path.string()), std::string::npos);
        EXPECT_FALSE(capture.IsRunning());
    }
    EXPECT_TRUE(sink.Calls().empty());
}

TEST(CaptureHelperStream, StopReturnsAtOnceAndTheHelperIsReaped) {
    test::TempDir dir;
    const auto traffic = WriteTraffic(dir);
    const std::string start =
        "echo $$ > \"" + (dir / "pid").string() + "\"\nhead -c 24 \"" + traffic.string() + "\"\n";
    const size_t descriptors = OpenDescriptors();
    // One that goes at SIGTERM, one that must be killed after the grace
    // period, and one left running when its capture is destroyed.
    for (const std::string wait : {"exec sleep 30", "trap '' TERM\nexec sleep 30", "destroy"}) {
        SCOPED_TRACE(wait);
        std::filesystem::remove(dir / "pid");
        test::RecordingSink sink;
        auto capture = std::make_unique<UrlCapture>(sink);
        ASSERT_TRUE(capture->StartHelper(
            WriteFake(dir, start + (wait == "destroy" ? "exec sleep 30" : wait)), "lo",
            MediaTypes()));
        const pid_t pid = WaitForPid(dir);
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(100ms);  // the header read, then waiting
        const auto before = std::chrono::steady_clock::now();
        if (wait == "destroy") {
            capture.reset();
            EXPECT_LT(std::chrono::steady_clock::now() - before, 1500ms);
        } else {
            capture->Stop();
            EXPECT_LT(std::chrono::steady_clock::now() - before, 100ms);
            EXPECT_FALSE(capture->IsRunning());
            ASSERT_TRUE(sink.WaitFor("end ", 1500ms));
        }
        // Reaped before the end is reported: no process, not even a zombie.
        EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid)));
        EXPECT_EQ(sink.Calls(), std::vector<std::string>{"end "});
    }
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST(CaptureHelperStream, StandardInputEndsAtOnceAtTheTimeLimitWhileNothingComes) {
    test::TempDir dir;
    // A writer that holds the pipe open and never writes.
    const auto before = std::chrono::steady_clock::now();
    test::CommandResult r = test::Run(
        {"env", "XDG_CONFIG_HOME=" + (dir / "config").string(), "sh", "-c",
         "mkfifo \"$1\" && exec 3<>\"$1\" && exec \"$0\" capture -r - --seconds 1 <\"$1\"", kCli,
         (dir / "fifo").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
}

TEST(CaptureHelperProgram, RefusesUsageErrorsAndSaysHowToGrantCapture) {
    const std::vector<std::string> wrong[] = {{},           {"-i"}, {"-i", ""},
                                              {"-x", "lo"}, {"lo"}, {"-i", "lo", "extra"}};
    for (const auto& args : wrong) {
        std::vector<std::string> argv = {kHelper};
        argv.insert(argv.end(), args.begin(), args.end());
        test::CommandResult r = test::Run(argv);
        EXPECT_EQ(r.exitCode, 64) << argv.size();
        EXPECT_EQ(r.err, "Usage: tapewell-capture-helper -i DEVICE\n");
        EXPECT_TRUE(r.out.empty());
    }

    std::vector<std::string> argv = {kHelper, "-i", "lo"};
    if (geteuid() == 0) {
        argv.insert(argv.begin(), kAsNobody.begin(), kAsNobody.end());
    }
    test::CommandResult r = test::Run(argv);
    if (r.exitCode == 0) {
        GTEST_SKIP() << "this user may capture";
    }
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot capture on 'lo': "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("sudo setcap cap_net_raw=ep " + kHelper + "\n"), std::string::npos)
        << r.err;
    EXPECT_TRUE(r.out.empty());  // no pcap header for a capture that never began
}

TEST(CaptureHelperProgram, FixedFilterCompilesForEthernetAndLinuxCooked) {
    for (int link : {DLT_EN10MB, DLT_LINUX_SLL}) {
        pcap_t* dead = pcap_open_dead(link, 65535);
        ASSERT_NE(dead, nullptr);
        bpf_program program{};
        EXPECT_EQ(pcap_compile(dead, &program, capture::kCaptureFilter, 1, PCAP_NETMASK_UNKNOWN), 0)
            << pcap_geterr(dead);
        pcap_freecode(&program);
        pcap_close(dead);
    }
}

// The test program has no libexec beside it: the build tree's helper is
// found, unless the variable names another.
TEST(CaptureHelperProgram, HelperPathPrefersTheVariableThenTheBuiltHelper) {
    const char* given = std::getenv("TAPEWELL_CAPTURE_HELPER");
    const std::string saved = given ? given : "";
    unsetenv("TAPEWELL_CAPTURE_HELPER");
    EXPECT_EQ(UrlCapture::HelperPath(), kHelper);
    setenv("TAPEWELL_CAPTURE_HELPER", "", 1);
    EXPECT_EQ(UrlCapture::HelperPath(), kHelper);
    setenv("TAPEWELL_CAPTURE_HELPER", "/opt/elsewhere/helper", 1);
    EXPECT_EQ(UrlCapture::HelperPath(), "/opt/elsewhere/helper");
    if (given) {
        setenv("TAPEWELL_CAPTURE_HELPER", saved.c_str(), 1);
    } else {
        unsetenv("TAPEWELL_CAPTURE_HELPER");
    }
}

TEST(CaptureHelperProgram, LoopbackIsListedUpAndRunning) {
    auto adapters = PcapSource::ListAdapters();
    ASSERT_TRUE(adapters) << adapters.error().message;
    auto lo = std::ranges::find(*adapters, std::string("lo"), &CaptureAdapter::name);
    ASSERT_NE(lo, adapters->end());
    EXPECT_TRUE(lo->IsUpAndRunning());
}

// Root only: a live capture on lo through the real helper.
class CaptureHelperLive : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "live capture through the helper is tested as root";
        }
        // A listener of our own on 8080, or whoever already listens there:
        // the request is seen on the wire either way.
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address = Loopback8080();
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_listener, 16) != 0) {
            close(m_listener);
            m_listener = -1;
        }
    }
    void TearDown() override {
        if (m_listener >= 0) {
            close(m_listener);
        }
    }

    static sockaddr_in Loopback8080() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(8080);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    // The helper opens the device on its own time: the request is sent
    // again until it is seen.
    bool RequestUntilSeen(test::RecordingSink& sink) {
        for (int i = 0; i < 20; ++i) {
            const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address = Loopback8080();
            if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                const std::string request =
                    "GET /x.wmv HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nAccept: */*\r\n\r\n";
                (void)!send(s, request.data(), request.size(), MSG_NOSIGNAL);
            }
            close(s);
            if (sink.WaitFor("add http://127.0.0.1:8080/x.wmv|", 400ms)) {
                return true;
            }
        }
        return false;
    }

    int m_listener = -1;
};

// Our child's status lines, found by its parent.
std::string HelperStatus(const std::string& field) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string status = ReadText(entry.path() / "status");
        if (status.find("\nPPid:\t" + std::to_string(getpid()) + "\n") != std::string::npos) {
            const size_t at = status.find("\n" + field + ":\t");
            return at == std::string::npos ? "" : status.substr(at + field.size() + 3, 16);
        }
    }
    return "";
}

TEST_F(CaptureHelperLive, FindsARequestWithNoCapabilitiesLeft) {
    test::RecordingSink sink;
    UrlCapture capture(sink);
    ASSERT_TRUE(capture.StartHelper(kHelper, "lo", MediaTypes()));
    ASSERT_TRUE(RequestUntilSeen(sink)) << testing::PrintToString(sink.Calls());
    EXPECT_EQ(HelperStatus("CapEff"), "0000000000000000");
    EXPECT_EQ(HelperStatus("CapPrm"), "0000000000000000");
    capture.Stop();
    ASSERT_TRUE(sink.WaitFor("end ", 2s));
    EXPECT_EQ(sink.Calls().back(), "end ");
}

TEST_F(CaptureHelperLive, CopyGivenCapNetRawCapturesForAnUnprivilegedUser) {
    test::TempDir dir;
    const auto copy = dir / "tapewell-capture-helper";
    std::filesystem::copy_file(kHelper, copy);
    std::filesystem::permissions(copy, std::filesystem::perms(0755));
    std::filesystem::permissions(dir.Path(), std::filesystem::perms(0755));
    if (test::Run({"setcap", "cap_net_raw=ep", copy.string()}).exitCode != 0) {
        GTEST_SKIP() << "setcap is not supported here";
    }
    std::string wrapper = "exec";
    for (const auto& word : kAsNobody) {
        wrapper += " " + word;
    }
    const auto fake = WriteFake(dir, wrapper + " \"" + copy.string() + "\" \"$@\"");
    std::filesystem::permissions(fake, std::filesystem::perms(0755));
    test::RecordingSink sink;
    UrlCapture capture(sink);
    ASSERT_TRUE(capture.StartHelper(fake, "lo", MediaTypes()));
    ASSERT_TRUE(RequestUntilSeen(sink)) << testing::PrintToString(sink.Calls());
    EXPECT_EQ(HelperStatus("Uid").substr(0, 5), "65534");
    EXPECT_EQ(HelperStatus("CapEff"), "0000000000000000");
    capture.Stop();
    ASSERT_TRUE(sink.WaitFor("end ", 2s));
    EXPECT_EQ(sink.Calls().back(), "end ");
}

}  // namespace
}  // namespace tapewell
