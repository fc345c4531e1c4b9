#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tapewell::test {

// A fresh folder under the system temp folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

struct CommandResult {
    int exitCode = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs argv[0] with the arguments, no shell involved, and collects both
// output streams.
CommandResult Run(const std::vector<std::string>& argv);

// Starts argv[0] with the arguments and its output thrown away, and returns
// at once; the caller waits for (or kills) the process.
pid_t Spawn(const std::vector<std::string>& argv);

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);

// Waits until path holds at least bytes (false after 20 s): a recording
// under way has got that far.
bool WaitForSize(const std::filesystem::path& path, uintmax_t bytes);

// text without the lines that contain needle.
std::string DropLinesContaining(const std::string& text, const std::string& needle);

// What a decoder may say of a broadcast joined between key frames: the
// recording starts on the packet where a key frame begins, but that packet
// may also end the frame before it, and FFmpeg's demuxer then loses the key
// frame's start and its decoder says so once.
inline constexpr const char* kJoinedMidFrameWarning = "first frame is no keyframe";
void WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// What ffprobe reports about a file: "format.<key>" and "stream<N>.<key>"
// from -show_format -show_streams, plus the ASF packet size and the number
// of ASF data packets its demuxer walked (from its debug log).
struct ProbeReport {
    std::map<std::string, std::string> values;
    uint32_t asfPacketSize = 0;
    uint64_t asfPacketsRead = 0;
    std::string Get(const std::string& key) const;
};
ProbeReport Probe(const std::filesystem::path& file);

// Makes an ASF file with ffmpeg from its test sources. Fails the calling
// test (ADD_FAILURE) and returns false when ffmpeg does.
struct AsfRecipe {
    double seconds = 2.0;
    bool video = true;
    bool audio = true;
    bool audioFirst = false;  // map the audio stream before the video stream
    std::string videoCodec = "wmv2";
    std::string audioCodec = "wmav2";
    int packetSize = 3200;
    std::string title;
    std::string author;
    std::string videoBitrate = "300k";
    std::string size = "320x240";
    int gop = 0;  // frames from one key frame to the next; 0 leaves ffmpeg's default
};
bool MakeAsf(const std::filesystem::path& out, const AsfRecipe& recipe);

}  // namespace tapewell::test
