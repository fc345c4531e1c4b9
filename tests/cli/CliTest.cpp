#include <gtest/gtest.h>

#include <filesystem>

#include "asf/AsfInfo.h"
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
    for (const char* key : {"file",
                            "size",
                            "duration_seconds",
                            "play_duration",
                            "send_duration",
                            "preroll",
                            "packets",
                            "packet_size_min",
                            "packet_size_max",
                            "flags",
                            "max_bitrate",
                            "title",
                            "author",
                            "copyright",
                            "description",
                            "rating",
                            "audio",
                            "video",
                            "audio_codecs",
                            "video_codecs",
                            "objects",
                            "format_tag",
                            "compression",
                            "guid",
                            "offset"}) {
        EXPECT_NE(r.out.find("\"" + std::string(key) + "\":"), std::string::npos) << key;
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

// The end second is included: a start equal to the end cuts one second.
TEST(CliCut, StartEqualToEndCutsOneSecond) {
    test::TempDir dir;
    const auto out = dir / "one.asf";
    CommandResult r = test::Run(
        {kCli, "cut", SampleFile().string(), "--start", "1", "--end", "1", "-o", out.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NEAR(std::stod(test::Probe(out).Get("format.duration")), 1.0, 0.6);
}

// The output named as the source, directly or through another path, is
// refused before anything is written: the source keeps every byte.
TEST(CliCut, RefusesToWriteOverItsSource) {
    test::TempDir dir;
    const auto source = dir / "x.asf";
    std::filesystem::copy_file(SampleFile(), source);
    std::filesystem::create_directory(dir / "d");
    const auto before = test::ReadFileBytes(source);
    for (const auto& out : {source, dir / "d" / ".." / "x.asf"}) {
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

TEST(CliUsage, HelpAndUsageErrors) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* text;  // expected in stdout for 0, in stderr otherwise
    };
    const Case cases[] = {
        {{"--help"}, 0, "Commands:"},
        {{"info", "--help"}, 0, "Usage: tapewell-cli info [--json] FILE"},
        {{"resume-scan", "-h"}, 0, "Usage: tapewell-cli resume-scan FILE"},
        {{}, 64, "missing command"},
        {{"frobnicate"}, 64, "unknown command 'frobnicate'"},
        {{"--frob"}, 64, "unknown option '--frob'"},
        {{"info", "--xml", "x.asf"}, 64, "unknown option '--xml'"},
        {{"info"}, 64, "missing FILE"},
        {{"info", "a", "b"}, 64, "too many files"},
        {{"info", "--json=yes", "a"}, 64, "takes no value"},
        {{"resume-scan"}, 64, "missing FILE"},
        {{"cut", "-h"}, 0, "Usage: tapewell-cli cut FILE --start SECONDS --end SECONDS [-o OUT]"},
        {{"cut", "a.asf", "--start", "0"}, 64, "--start and --end are both needed"},
        {{"cut", "a.asf", "--start", "1.5", "--end", "3"}, 64, "take whole seconds"},
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
