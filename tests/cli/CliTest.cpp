#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "asf/AsfInfo.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

using test::CommandResult;

const std::string kCli = TAPEWELL_CLI_PATH;

// One ffmpeg file for the whole program: the CLI is tested on what it adds
// to the parser (output, exit codes), not on parsing again.
const std::filesystem::path& SampleFile() {
    static test::TempDir dir;
    static const std::filesystem::path path = [] {
        auto p = dir / "sample.asf";
        test::AsfRecipe recipe;
        recipe.title = "제목 \"quoted\"\ttab";
        test::MakeAsf(p, recipe);
        return p;
    }();
    return path;
}

bool IsValidJson(const std::string& text) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "out.json", {text.begin(), text.end()});
    return test::Run({"python3", "-c", "import json,sys; json.load(open(sys.argv[1]))",
                      (dir / "out.json").string()})
               .exitCode == 0;
}

TEST(CliInfo, PrintsEveryFieldAsOneJsonObject) {
    CommandResult r = test::Run({kCli, "info", "--json", SampleFile().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(IsValidJson(r.out)) << r.out;
    std::istringstream keys(
        "file size duration_seconds play_duration send_duration preroll packets "
        "packet_size_min packet_size_max flags max_bitrate title author copyright description "
        "rating audio video audio_codecs video_codecs objects format_tag compression guid offset");
    for (std::string key; keys >> key;) {
        EXPECT_NE(r.out.find("\"" + key + "\":"), std::string::npos) << key;
    }
    EXPECT_NE(r.out.find("\"title\": \"제목 \\\"quoted\\\"\\ttab\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"name\": \"ASF_Simple_Index\""), std::string::npos);
}

TEST(CliInfo, TextOutputShowsSizeAndTimeTexts) {
    AsfInfo info;
    ASSERT_TRUE(info.Parse(SampleFile()));
    CommandResult r = test::Run({kCli, "info", SampleFile().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(std::to_string(info.GetFileSize()) + " bytes ("), std::string::npos);
    EXPECT_NE(r.out.find("Duration:       0:00:02"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ASF_Data"), std::string::npos);
}

TEST(CliInfo, MissingAndNonAsfFilesFailWithAClearMessage) {
    test::TempDir dir;
    CommandResult r = test::Run({kCli, "info", (dir / "nope.asf").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot open"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());

    test::WriteFileBytes(dir / "text.asf", {'h', 'e', 'l', 'l', 'o'});
    r = test::Run({kCli, "info", "--json", (dir / "text.asf").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("is not an ASF file"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());

    r = test::Run({kCli, "info", dir.Path().string()});
    EXPECT_EQ(r.exitCode, 1);
}

TEST(CliResumeScan, AnswersResumableWithTheOffsetOrNot) {
    AsfInfo info;
    ASSERT_TRUE(info.Parse(SampleFile()));
    const uint64_t header = info.GetObjects()[0].size;
    const uint32_t packetSize = info.GetFileProperties().minPacketSize;
    test::TempDir dir;
    auto bytes = test::ReadFileBytes(SampleFile());
    bytes.resize(bytes.size() * 6 / 10);
    test::WriteFileBytes(dir / "partial.asf", bytes);
    const uint64_t whole = (bytes.size() - header - 50) / packetSize;

    CommandResult r = test::Run({kCli, "resume-scan", (dir / "partial.asf").string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "resumable offset=" + std::to_string(header + 50 + (whole - 1) * packetSize) +
                         " packets=" + std::to_string(whole - 1) + "\n");

    r = test::Run({kCli, "resume-scan", SampleFile().string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "not resumable\n");
}

TEST(CliCut, WritesTheRangeBesideTheSourceAndSaysWhatItWrote) {
    test::TempDir dir;
    const auto source = dir / "talk.asf";
    std::filesystem::copy_file(SampleFile(), source);
    CommandResult r = test::Run({kCli, "cut", source.string(), "--start", "0", "--end", "1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto out = dir / "talk_cut.asf";
    AsfInfo info;
    ASSERT_TRUE(info.Parse(out));
    EXPECT_EQ(r.out, "Output:         " + out.string() + "\nDuration:       0:00:0" +
                         std::to_string(info.GetDurationSeconds()) + "\nPackets:        " +
                         std::to_string(info.GetFileProperties().dataPacketsCount) + "\n");
    EXPECT_EQ(r.err, "") << "no progress bar off a terminal";
    EXPECT_EQ(test::Probe(out).Get("format.format_name"), "asf");
}

// The output named as the source, directly, through another path or by a
// second link, is refused before anything is written: the source keeps
// every byte.
TEST(CliCut, RefusesToWriteOverItsSource) {
    test::TempDir dir;
    const auto source = dir / "x.asf";
    std::filesystem::copy_file(SampleFile(), source);
    std::filesystem::create_directory(dir / "d");
    std::filesystem::create_hard_link(source, dir / "link.asf");
    const auto before = test::ReadFileBytes(source);
    for (const auto& out : {source, dir / "d" / ".." / "x.asf", dir / "link.asf"}) {
        CommandResult r = test::Run(
            {kCli, "cut", source.string(), "--start", "0", "--end", "1", "-o", out.string()});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("is the source file itself"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(test::ReadFileBytes(source), before);
    }
}

TEST(CliCut, RefusesRangesAndFilesItCannotCut) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "text.asf", {'h', 'e', 'l', 'l', 'o'});
    const std::string sample = SampleFile().string();
    const std::string out = (dir / "out.asf").string();
    const std::vector<std::string> cases[] = {
        {"cut", sample, "--start", "2", "--end", "1", "-o", out},
        {"cut", sample, "--start", "50", "--end", "60", "-o", out},
        {"cut", (dir / "text.asf").string(), "--start", "0", "--end", "1", "-o", out},
    };
    for (const auto& args : cases) {
        std::vector<std::string> argv = {kCli};
        argv.insert(argv.end(), args.begin(), args.end());
        CommandResult r = test::Run(argv);
        EXPECT_EQ(r.exitCode, 1) << args[3];
        EXPECT_NE(r.err.find("tapewell-cli cut: "), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

// record with the profile kept out of the user's own settings and the
// base folder given.
CommandResult Record(const test::TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), {"env", "XDG_CONFIG_HOME=" + (dir / "config").string(), kCli,
                               "record", "--dir", (dir / "out").string()});
    return test::Run(args);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Addresses that cannot name a server are refused before any engine runs,
// by every command that takes one, and nothing is written.
TEST(CliRecord, AddressesThatNameNoServerAreRefusedAtOnce) {
    test::TempDir dir;
    const std::pair<std::string, std::string> cases[] = {
        {"mms://127.0.0.1:99999/x.asf", "the port '99999' is not a number from 1 to 65535"},
        {"http://host:8o/x.asf", "the port '8o' is not"},
        {"mms://bad host/x.asf", "the host 'bad host' is not a host name or an IP address"},
        {"http://[::1/x.asf", "the host '::1' is not"},
        {"mms://user@:1755/x.asf", "the address names no host"},
    };
    for (const auto& [address, why] : cases) {
        CommandResult r = Record(dir, {address});
        EXPECT_EQ(r.exitCode, 1) << address;
        EXPECT_TRUE(Contains(r.err, "tapewell-cli record: " + address + ": " + why)) << r.err;
        EXPECT_EQ(r.out, "");
    }
    const std::string out = (dir / "o.asf").string();
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"mms-record", "--out", out}, {"web-fetch", "--out", out}}) {
        std::vector<std::string> argv = {kCli};
        argv.insert(argv.end(), command.begin(), command.end());
        argv.push_back("mms://h:99999/x.asf");
        CommandResult r = test::Run(argv);
        EXPECT_EQ(r.exitCode, 1) << command[0];
        EXPECT_TRUE(Contains(r.err, "the port '99999'")) << r.err;
    }
    CommandResult probe = test::Run({kCli, "probe", "http://[::1/x.asf"});
    EXPECT_EQ(probe.exitCode, 1);
    EXPECT_TRUE(Contains(probe.out, "error the host '::1' is not")) << probe.out;
    EXPECT_FALSE(std::filesystem::exists(dir / "out"));
    EXPECT_FALSE(std::filesystem::exists(out));
    // Well-formed addresses go on: to the question about the file that
    // is there, answered with "quit".
    std::filesystem::create_directories(dir / "out");
    test::WriteFileBytes(dir / "out" / "x.asf", {1});
    for (const char* address :
         {"mms://[::1]:1755/x.asf", "http://user:pw@host-1.example_2:8080/x.asf?a=b:c"}) {
        EXPECT_EQ(Record(dir, {"--exists", "quit", address}).exitCode, 2) << address;
    }
}

// The engines' failures say which name did not resolve and which file could
// not be created, and why.
TEST(CliRecord, FailuresNameTheHostOrTheFile) {
    test::TempDir dir;
    for (const char* address :
         {"mms://no-such-host.invalid/x.asf", "http://no-such-host.invalid/x.mp3"}) {
        CommandResult r = Record(dir, {"--quiet", address});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(Contains(r.err, std::string(address) + ": cannot resolve no-such-host.invalid"))
            << r.err;
    }
    // A folder no one may create files in, root included; the job renames
    // to x(0).asf before it gives up.
    const std::string folder = "/proc/self/fdinfo";
    CommandResult r = test::Run({"env", "XDG_CONFIG_HOME=" + (dir / "config").string(), kCli,
                                 "record", "--quiet", "--dir", folder, "http://127.0.0.1:1/x.asf"});
    EXPECT_EQ(r.exitCode, 1);
    const std::string prefix = "File Creation Error: " + folder + "/x";
    const size_t at = r.err.find(prefix);
    ASSERT_NE(at, std::string::npos) << r.err;
    const size_t reason = r.err.find(".asf: ", at);
    ASSERT_NE(reason, std::string::npos) << r.err;
    EXPECT_GT(r.err.size(), reason + 7) << "a reason follows the path";
    EXPECT_FALSE(Contains(r.out, "file ")) << r.out;
}

// An existing file: asking needs a terminal to ask on, and "quit" stops the
// run with status 2 and says at which file. The file stays as it was.
TEST(CliRecord, ExistingFileAnswersWithoutATerminal) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "out");
    test::WriteFileBytes(dir / "out" / "x.asf", {'o', 'l', 'd'});
    const std::string address = "http://127.0.0.1:1/x.asf";
    for (const char* option : {"--exists", "--resume"}) {
        CommandResult r = Record(dir, {option, "ask", address});
        EXPECT_EQ(r.exitCode, 64) << option;
        EXPECT_TRUE(Contains(r.err, std::string(option) + " ask needs a terminal to ask on"))
            << r.err;
    }
    CommandResult r = Record(dir, {"--exists", "quit", address});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Contains(r.err, "stopped: " + (dir / "out" / "x.asf").string() + " exists"))
        << r.err;
    EXPECT_EQ(test::ReadFileBytes(dir / "out" / "x.asf"), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "out"), {}), 1);
}

// "file PATH" names files that stay; a download of known length ends its
// progress at 100 %.
TEST(CliRecord, FileLineOnlyForKeptFilesAndProgressOfADownload) {
    test::TempDir root;
    std::vector<uint8_t> song(600 * 1024);
    for (size_t i = 0; i < song.size(); ++i) {
        song[i] = static_cast<uint8_t>(i * 7 + i / 251);
    }
    test::WriteFileBytes(root / "song.mp3", song);
    test::TestServer server(root.Path(), {"--only", "http"});
    ASSERT_TRUE(server.Ready()) << server.Log();
    const std::string base = "http://127.0.0.1:" + std::to_string(server.HttpPort());

    test::TempDir dir;
    const std::string path = (dir / "out" / "song.mp3").string();
    CommandResult r = Record(dir, {base + "/song.mp3"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::ReadFileBytes(path), song);
    const size_t file = r.out.find("file " + path + "\n");
    EXPECT_NE(file, std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("file ", file + 1), std::string::npos) << r.out;
    const size_t last = r.out.rfind("progress ");
    ASSERT_NE(last, std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(last), "progress 0:0(100 %) 600K\n");

    // Nothing answers, or the server has no such file: no file, no line.
    for (const std::string& address : {std::string("http://127.0.0.1:1/gone.asf"),
                                       base + "/missing.asf", base + "/missing.mp3"}) {
        CommandResult failed = Record(dir, {address});
        EXPECT_EQ(failed.exitCode, 1) << address;
        EXPECT_FALSE(Contains(failed.out, "file ")) << address << ": " << failed.out;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "out"), {}), 1);
}

TEST(CliUsage, HelpAndUsageErrors) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* text;  // expected in stdout for 0, in stderr otherwise
    };
    const Case cases[] = {
        {{"--help"}, 0, "Commands:"},
        {{"resume-scan", "-h"}, 0, "Usage: tapewell-cli resume-scan FILE"},
        {{}, 64, "missing command"},
        {{"frobnicate"}, 64, "unknown command 'frobnicate'"},
        {{"--frob"}, 64, "unknown option '--frob'"},
        {{"info", "--xml", "x.asf"}, 64, "unknown option '--xml'"},
        {{"info"}, 64, "missing FILE"},
        {{"info", "a", "b"}, 64, "too many files"},
        {{"info", "--json=yes", "a"}, 64, "takes no value"},
        {{"cut", "-h"}, 0, "Usage: tapewell-cli cut FILE --start SECONDS --end SECONDS [-o OUT]"},
        {{"cut", "a.asf", "--start", "0"}, 64, "--start and --end are both needed"},
        {{"cut", "a.asf", "--start", "1.5", "--end", "3"}, 64, "take whole seconds"},
        {{"snapshot", "a.asf", "--every", "0", "--count", "3", "--dir", "d"},
         64,
         "'--every' needs a number from 1 to 100"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {kCli};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        CommandResult r = test::Run(argv);
        const std::string joined = testing::PrintToString(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << joined;
        const std::string& where = c.exitCode == 0 ? r.out : r.err;
        EXPECT_NE(where.find(c.text), std::string::npos) << joined << ": " << where;
    }
}

}  // namespace
}  // namespace tapewell
