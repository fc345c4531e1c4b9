// Recordings of some of a stream's streams, over MMS and HTTP streaming, on
// demand and live, of a clip with two video bitrates and one sound: the
// file's header lists exactly the chosen streams and its packets carry
// nothing else, so that ffprobe finds only them and FFmpeg decodes the file
// without a word. A live stream whose header comes again, and a connection
// that breaks off, go on in the one file. A choice the stream cannot meet
// fails with its reason and leaves no file, whatever engine comes next.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>

#include "asf/StreamSelection.h"
#include "recording/CmmsThread.h"
#include "support/AsfFileLayout.h"
#include "support/MultiStreamClip.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell::test {
namespace {

namespace fs = std::filesystem;

constexpr int kLiveSeconds = 3;

const AsfClip& Clip() {
    static const TempDir* dir = new TempDir;
    static const AsfClip clip = MakeMultiStreamClip(*dir / "multi.asf");
    return clip;
}

// The source's streams the numbers name, as our reader lists them there.
std::vector<AsfStreamEntry> SourceStreams(std::vector<uint16_t> numbers) {
    std::vector<AsfStreamEntry> streams = ListAsfStreams(Clip().bytes);
    std::erase_if(streams, [&](const AsfStreamEntry& s) {
        return std::find(numbers.begin(), numbers.end(), s.number) == numbers.end();
    });
    return streams;
}

// Of the source, the video stream of the highest bitrate and the audio.
std::vector<AsfStreamEntry> BestOfSource() {
    std::vector<AsfStreamEntry> streams = ListAsfStreams(Clip().bytes);
    const auto video = [](const AsfStreamEntry& s) {
        return s.type == AsfStreamEntry::Type::Video;
    };
    const auto best =
        std::max_element(streams.begin(), streams.end(), [&](const auto& a, const auto& b) {
            return !video(a) || (video(b) && b.bitrate > a.bitrate);
        });
    return SourceStreams({best->number, kAudioStream});
}

// Bits per second of each stream, in ffprobe's order, from the sizes of the
// packets its demuxer reads: which of two video streams a file holds,
// found without our own reader.
std::vector<double> MeasuredBitrates(const fs::path& file) {
    const CommandResult r =
        Run({"ffprobe", "-v", "error", "-show_entries", "packet=stream_index,size:format=duration",
             "-of", "csv=p=0", file.string()});
    std::vector<double> bytes;
    double seconds = 0;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        const size_t comma = line.find(',');
        if (comma == std::string::npos) {
            seconds = std::stod(line + "0");
            continue;
        }
        const auto stream = std::stoul(line.substr(0, comma));
        bytes.resize(std::max(bytes.size(), stream + 1));
        bytes[stream] += std::stod(line.substr(comma + 1));
    }
    for (double& b : bytes) {
        b = seconds > 0 ? b * 8 / seconds : 0;
    }
    return bytes;
}

// The number of the source's stream whose measured bitrate is nearest to
// bitrate, among those of the type.
uint16_t NearestSourceStream(double bitrate, AsfStreamEntry::Type type) {
    static const std::vector<double> source = MeasuredBitrates(Clip().path);
    const std::vector<AsfStreamEntry> streams = ListAsfStreams(Clip().bytes);
    uint16_t nearest = 0;
    double distance = 0;
    for (size_t i = 0; i < streams.size() && i < source.size(); ++i) {
        if (streams[i].type == type && (nearest == 0 || std::abs(source[i] - bitrate) < distance)) {
            nearest = streams[i].number;
            distance = std::abs(source[i] - bitrate);
        }
    }
    return nearest;
}

// Our reader, ffprobe and FFmpeg's decoder all find the streams expected in
// the file, and nothing else; its header describes the packets it holds.
void ExpectOnlyStreams(const fs::path& file, const std::vector<AsfStreamEntry>& expected) {
    SCOPED_TRACE(file.filename().string());
    ASSERT_TRUE(fs::exists(file));
    const std::vector<AsfStreamEntry> listed = ListAsfStreams(ReadFileBytes(file));
    ASSERT_EQ(listed.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(listed[i].number, expected[i].number);
        EXPECT_EQ(listed[i].type, expected[i].type);
        EXPECT_EQ(listed[i].bitrate, expected[i].bitrate);
    }
    const AsfFileLayout layout = ReadAsfFileLayout(file);
    EXPECT_EQ(layout.problem, "");
    EXPECT_GT(layout.packets, 10u);
    EXPECT_EQ(layout.properties.dataPacketsCount, layout.packets);
    EXPECT_TRUE(std::is_sorted(layout.sendTimes.begin(), layout.sendTimes.end()));
    const ProbeReport probe = Probe(file);
    EXPECT_EQ(probe.asfPacketsRead, layout.packets);
    EXPECT_EQ(probe.Get("stream" + std::to_string(expected.size()) + ".codec_type"), "");
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::string stream = "stream" + std::to_string(i) + ".";
        EXPECT_EQ(probe.Get(stream + "codec_type"),
                  expected[i].type == AsfStreamEntry::Type::Audio ? "audio" : "video");
    }
    const std::vector<double> rates = MeasuredBitrates(file);
    ASSERT_EQ(rates.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(NearestSourceStream(rates[i], expected[i].type), expected[i].number)
            << "stream " << i << " of the file: " << rates[i] << " bit/s";
    }
    const CommandResult decode =
        Run({"ffmpeg", "-v", "error", "-i", file.string(), "-f", "null", "-"});
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(DropLinesContaining(decode.err, kJoinedMidFrameWarning), "");
}

size_t FilesIn(const fs::path& dir) {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

class StreamsRecordTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override { m_settings.m_baseDirectory = m_base.Path().string(); }

    std::string Address(const TestServer& server) const {
        const uint16_t port = GetParam() == "mms" ? server.MmsPort() : server.HttpPort();
        return GetParam() + "://127.0.0.1:" + std::to_string(port) + "/multi.asf";
    }
    std::unique_ptr<CmmsThread> Job(const TestServer& server, const std::string& name,
                                    const std::string& streams) {
        return std::make_unique<CmmsThread>(
            nullptr, 1, m_settings, CmmsThread::Item{Address(server), name, "", "", "", streams});
    }
    // The stream has no stream 9: the job says so, and no file is left (the
    // web fetcher, which would download every stream, is not tried).
    void ExpectNineRefused(CmmsThread& job) {
        EXPECT_TRUE(job.Error());
        EXPECT_NE(job.ErrorText().find("no stream 9 (its streams: 1, 2, 3)"), std::string::npos)
            << job.ErrorText();
        EXPECT_FALSE(fs::exists(m_base / "Nine.asf"));
    }

    const AsfClip& m_clip = Clip();
    TempDir m_base;
    AppSettings m_settings;
};

TEST_P(StreamsRecordTest, OnDemand) {
    TestServer server(m_clip.path.parent_path(), {"--only", GetParam()});
    ASSERT_TRUE(server.Ready());
    const auto audio = Job(server, "Audio", "audio");
    const auto best = Job(server, "Best", "best");
    const auto nine = Job(server, "Nine", "9");
    for (CmmsThread* job : {audio.get(), best.get(), nine.get()}) {
        job->Run();
    }
    EXPECT_FALSE(audio->Error()) << audio->ErrorText();
    EXPECT_FALSE(best->Error()) << best->ErrorText();
    ExpectOnlyStreams(m_base / "Audio.asf", SourceStreams({kAudioStream}));
    ExpectOnlyStreams(m_base / "Best.asf", BestOfSource());
    EXPECT_NEAR(std::stod(Probe(m_base / "Audio.asf").Get("format.duration") + "0"), 3.0, 0.5);
    ExpectNineRefused(*nine);
    EXPECT_EQ(FilesIn(m_base.Path()), 2u);
}

// A broadcast whose header comes again every 40 packets: one file per job
// all the same, its time line going on; so it does when the connection
// closes every 70 packets and the job reconnects. The jobs record at once.
TEST_P(StreamsRecordTest, LiveRepeatsAndBreaks) {
    const std::vector<std::string> live = {"--only",   GetParam(),        "--live", "--rate",
                                           "realtime", "--header-repeat", "40"};
    std::vector<std::string> breaking = live;
    breaking.insert(breaking.end(), {"--drop-after", "70"});
    TestServer steady(m_clip.path.parent_path(), live);
    TestServer breaks(m_clip.path.parent_path(), breaking);
    ASSERT_TRUE(steady.Ready() && breaks.Ready());
    m_settings.m_timeLimitOn = true;
    m_settings.m_maxTimeSeconds = kLiveSeconds;
    const auto audio = Job(breaks, "Audio", "audio");
    const auto best = Job(steady, "Best", "best");
    const auto nine = Job(steady, "Nine", "9");
    for (CmmsThread* job : {audio.get(), best.get(), nine.get()}) {
        ASSERT_TRUE(job->Start());
    }
    for (CmmsThread* job : {audio.get(), best.get(), nine.get()}) {
        job->Join();
    }
    EXPECT_FALSE(audio->Error()) << audio->ErrorText();
    EXPECT_FALSE(best->Error()) << best->ErrorText();
    ExpectOnlyStreams(m_base / "Audio.asf", SourceStreams({kAudioStream}));
    ExpectOnlyStreams(m_base / "Best.asf", BestOfSource());
    for (const char* name : {"Audio.asf", "Best.asf"}) {
        EXPECT_NEAR(ReadAsfFileLayout(m_base / name).LastSendTime() / 1000.0, kLiveSeconds, 0.5)
            << name;
    }
    ExpectNineRefused(*nine);
    EXPECT_EQ(FilesIn(m_base.Path()), 2u);
}

INSTANTIATE_TEST_SUITE_P(Engines, StreamsRecordTest, ::testing::Values("mms", "http"),
                         [](const auto& info) { return info.param; });

// What the project's users run: the command line, audio only.
TEST(StreamsRecordCli, RecordsTheAudioAlone) {
    TestServer server(Clip().path.parent_path(), {"--only", "http"});
    ASSERT_TRUE(server.Ready());
    TempDir dir;
    const CommandResult r = test::Run(
        {TAPEWELL_CLI_PATH, "record", "--quiet", "--dir", dir.Path().string(), "--streams", "audio",
         "http://127.0.0.1:" + std::to_string(server.HttpPort()) + "/multi.asf"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ExpectOnlyStreams(dir / "multi.asf", SourceStreams({kAudioStream}));
}

}  // namespace
}  // namespace tapewell::test
