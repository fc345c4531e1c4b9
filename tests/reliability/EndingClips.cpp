#include "EndingClips.h"

#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "support/TestServer.h"

namespace tapewell::test {
namespace {

namespace fs = std::filesystem;

const std::string kCli = TAPEWELL_CLI_PATH;
constexpr const char* kResumeAttribute = "user.tapewell.resume";
constexpr const char* kSidecarSuffix = ".tapewell-resume";
// How far the header's durations, the last packet's Send Time and
// ffprobe's duration may drift apart: a packet's own length, a frame.
constexpr double kDurationSlackMs = 500;

// 30 s with a key frame every 38 frames (1.52 s at 25 fps): long enough to
// seek into, with key frames far enough apart that an index entry naming
// the wrong one lands visibly off.
AsfClip MakeLongClip(const fs::path& path) {
    const CommandResult made = Run({"ffmpeg",
                                    "-hide_banner",
                                    "-loglevel",
                                    "error",
                                    "-y",
                                    "-f",
                                    "lavfi",
                                    "-i",
                                    "testsrc2=size=320x240:rate=25",
                                    "-f",
                                    "lavfi",
                                    "-i",
                                    "sine=frequency=440:sample_rate=44100",
                                    "-map",
                                    "0:v",
                                    "-map",
                                    "1:a",
                                    "-t",
                                    "30",
                                    "-c:v",
                                    "wmv2",
                                    "-b:v",
                                    "500k",
                                    "-g",
                                    "38",
                                    "-c:a",
                                    "wmav2",
                                    "-b:a",
                                    "64k",
                                    "-ac",
                                    "2",
                                    "-packet_size",
                                    "3200",
                                    "-f",
                                    "asf",
                                    path.string()});
    EXPECT_EQ(made.exitCode, 0) << made.err;
    return AsfClip::Read(path);
}

// Entry i stands for presentation time i × interval, preroll included (as
// FFmpeg's demuxer reads it); a packet sent later than that, less the
// preroll, cannot hold the frame a player seeking there must start from.
void ExpectIndexWithinFile(const AsfFileLayout& layout) {
    ASSERT_TRUE(layout.hasIndex) << "no Simple Index object after the Data object";
    EXPECT_TRUE(layout.indexFileId == layout.properties.fileId);
    ASSERT_GT(layout.indexIntervalMs, 0u);
    ASSERT_FALSE(layout.index.empty());
    // The entries reach the time of the last packet.
    EXPECT_GE(layout.index.size(),
              (layout.LastSendTime() + layout.PrerollMs()) / layout.indexIntervalMs);
    uint16_t most = 0;
    for (size_t i = 0; i < layout.index.size(); ++i) {
        const AsfFileLayout::IndexEntry& entry = layout.index[i];
        most = std::max(most, entry.count);
        const int64_t timeMs = static_cast<int64_t>(i * layout.indexIntervalMs) -
                               static_cast<int64_t>(layout.PrerollMs());
        if (entry.packet >= layout.packets || entry.count == 0 ||
            entry.packet + entry.count > layout.packets ||
            layout.sendTimes[entry.packet] > std::max<int64_t>(timeMs, 0)) {
            ADD_FAILURE() << "index entry " << i << " (" << timeMs << " ms) names packet "
                          << entry.packet << " (+" << entry.count << ") of " << layout.packets
                          << ", sent at "
                          << (entry.packet < layout.packets ? layout.sendTimes[entry.packet] : 0)
                          << " ms";
            break;
        }
    }
    EXPECT_EQ(layout.indexMaxPacketCount, most);
}

// The packets are the server's, in order from the first: none lost, none
// made up, none torn.
void ExpectStreamPackets(const fs::path& file, const AsfFileLayout& layout, const AsfClip& clip) {
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    for (uint64_t k = 0; k < std::min(layout.packets, clip.packetCount); ++k) {
        const auto at = static_cast<ptrdiff_t>(layout.DataStart() + k * layout.packetSize);
        const std::span<const uint8_t> want = clip.Packet(k);
        if (!std::equal(want.begin(), want.end(), bytes.begin() + at)) {
            ADD_FAILURE() << "packet " << k << " is not the stream's packet " << k;
            return;
        }
    }
}

}  // namespace

const EndingClips& EndingClips::Get() {
    static TempDir folder;
    static const EndingClips clips = [] {
        AsfRecipe shortRecipe;
        shortRecipe.seconds = 1.0;
        AsfRecipe voiceRecipe;
        voiceRecipe.seconds = 20.0;
        voiceRecipe.video = false;
        return EndingClips{MakeLongClip(folder / "long.asf"),
                           AsfClip::Make(folder / "short.asf", shortRecipe),
                           AsfClip::Make(folder / "voice.wma", voiceRecipe)};
    }();
    return clips;
}

std::string ClipAddress(const TestServer& server, const std::string& scheme,
                        const std::string& file) {
    const uint16_t port = scheme == "mms" ? server.MmsPort() : server.HttpPort();
    return scheme + "://127.0.0.1:" + std::to_string(port) + "/" + file;
}

const TestServer& FastServer() {
    static const TestServer server(EndingClips::Get().Root());
    return server;
}

const fs::path& WholeRecording(const std::string& scheme) {
    static TempDir folder;
    static std::map<std::string, fs::path> made;
    auto found = made.find(scheme);
    if (found == made.end()) {
        const CommandResult run = Run({kCli, "record", "--quiet", "--dir", folder.Path().string(),
                                       ClipAddress(FastServer(), scheme), "Whole-" + scheme});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        found = made.emplace(scheme, folder / ("Whole-" + scheme + ".asf")).first;
    }
    return found->second;
}

AsfFileLayout ExpectHonestRecording(const fs::path& file, const AsfClip& clip) {
    SCOPED_TRACE(file.filename().string());
    const AsfFileLayout layout = ReadAsfFileLayout(file);
    EXPECT_EQ(layout.problem, "");
    EXPECT_EQ(layout.properties.fileSize, layout.fileSize);
    EXPECT_EQ(layout.packetSize, clip.packetSize);
    EXPECT_GT(layout.packets, 0u);
    EXPECT_LE(layout.packets, clip.packetCount);
    EXPECT_EQ(layout.properties.dataPacketsCount, layout.packets);
    EXPECT_EQ(layout.totalDataPackets, layout.packets);
    if (!layout.problem.empty() || layout.packets == 0) {
        return layout;
    }
    ExpectStreamPackets(file, layout, clip);
    const double last = layout.LastSendTime();
    EXPECT_NEAR(static_cast<double>(layout.SendDurationMs()), last, kDurationSlackMs);
    EXPECT_NEAR(static_cast<double>(layout.PlayDurationMs()) - layout.PrerollMs(),
                static_cast<double>(layout.SendDurationMs()), kDurationSlackMs);
    EXPECT_NEAR(ProbeDuration(file) * 1000, last, kDurationSlackMs);
    ExpectIndexWithinFile(layout);
    TempDir cut;
    const CommandResult run = Run({kCli, "cut", file.string(), "--start", "1", "--end", "3", "-o",
                                   (cut / "cut.asf").string()});
    EXPECT_EQ(run.exitCode, 0) << "cut: " << run.out << run.err;
    return layout;
}

void ExpectWholeRecording(const fs::path& file, const AsfClip& clip) {
    SCOPED_TRACE(file.filename().string());
    const AsfFileLayout layout = ExpectHonestRecording(file, clip);
    const AsfFileLayout served = ReadAsfFileLayout(clip.path);
    EXPECT_EQ(layout.packets, clip.packetCount);
    EXPECT_EQ(layout.properties.playDuration, served.properties.playDuration);
    EXPECT_EQ(layout.properties.sendDuration, served.properties.sendDuration);
    EXPECT_FALSE(HasResumeAttribute(file));
    EXPECT_FALSE(HasResumeSidecar(file));
    EXPECT_EQ(DecodeErrors(file), "");
}

bool HasResumeAttribute(const fs::path& file) {
    return ::getxattr(file.c_str(), kResumeAttribute, nullptr, 0) >= 0;
}

bool HasResumeSidecar(const fs::path& file) {
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(file.parent_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("." + file.stem().string()) && name.ends_with(kSidecarSuffix)) {
            return true;
        }
    }
    return false;
}

double ProbeDuration(const fs::path& file) {
    const CommandResult run = Run({"ffprobe", "-v", "error", "-show_entries", "format=duration",
                                   "-of", "default=noprint_wrappers=1:nokey=1", file.string()});
    return run.out.empty() ? -1.0 : std::strtod(run.out.c_str(), nullptr);
}

std::string DecodeErrors(const fs::path& file) {
    const CommandResult run =
        Run({"ffmpeg", "-v", "error", "-i", file.string(), "-f", "null", "-"});
    return run.err + (run.exitCode == 0 ? "" : "exit " + std::to_string(run.exitCode));
}

}  // namespace tapewell::test
