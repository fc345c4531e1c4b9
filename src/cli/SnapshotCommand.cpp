#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "common/Limits.h"
#include "player/FrameSnapshot.h"
#include "player/GstPlayer.h"

namespace tapewell::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tapewell-cli snapshot FILE --every N --count M --dir DIR [--name BASE]\n"
    "\n"
    "Plays FILE without a window, as fast as it decodes, and saves M pictures\n"
    "every N seconds of its time as 24-bit BMP files DIR/BASE_MM_SS_mmm.bmp\n"
    "(minutes, seconds and milliseconds of the picture's time); the first\n"
    "picture is always saved. Prints one line per picture.\n"
    "\n"
    "  --every N    seconds, 1 to 100\n"
    "  --count M    pictures in that time, 0 to 100 (0 saves none)\n"
    "  --dir DIR    folder for the pictures, made when missing\n"
    "  --name BASE  start of the file names (default: FILE's name without its\n"
    "               folder and extension)\n"
    "  -h, --help   show this help\n"
    "\n"
    "Exit status: 0 when FILE played to its end, 1 when it cannot be opened,\n"
    "has no pictures or fails while playing.\n";

constexpr OptionDef kOptions[] = {
    {"--every", true}, {"--count", true}, {"--dir", true}, {"--name", true}};
constexpr auto kPollInterval = std::chrono::milliseconds(20);

// The source's file name without folder, query and extension.
std::string BaseNameOf(const std::string& address) {
    std::string name = address.substr(address.find_last_of('/') + 1);
    name = name.substr(0, name.find('?'));
    return name.substr(0, name.find_last_of('.'));
}

// Plays to the end; false with a message on stderr when playback fails.
bool PlayToEnd(GstPlayer& player) {
    if (!player.Play()) {
        return false;
    }
    for (;;) {
        int event = player.PollEvent(nullptr, nullptr);
        if (event == GstPlayer::kEventComplete) {
            return true;
        }
        if (event == GstPlayer::kEventErrorAbort) {
            return false;
        }
        if (event == GstPlayer::kNoEvent) {
            std::this_thread::sleep_for(kPollInterval);
        }
    }
}

int Capture(const std::string& file, FrameSnapshot::Settings settings) {
    std::error_code ec;
    std::filesystem::create_directories(settings.folder, ec);
    if (!std::filesystem::is_directory(settings.folder)) {
        std::fprintf(stderr, "tapewell-cli snapshot: cannot make folder '%s'\n",
                     settings.folder.c_str());
        return kExitFailure;
    }
    GstPlayer player;
    GstPlayer::OpenOptions options;
    options.clocked = false;
    options.audio = false;
    options.captions = false;
    if (!player.Open(file, options)) {
        std::fprintf(stderr, "tapewell-cli snapshot: cannot open '%s': %s\n", file.c_str(),
                     player.LastError().c_str());
        return kExitFailure;
    }
    if (player.IsAudioOnly()) {
        std::fprintf(stderr, "tapewell-cli snapshot: '%s' has no pictures\n", file.c_str());
        return kExitFailure;
    }
    FrameSnapshot snapshot(std::move(settings), [](std::string_view line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    });
    player.SetFrameCallback([&snapshot](const VideoFrame& frame) { snapshot.OnFrame(frame); });
    bool ended = PlayToEnd(player);
    player.RemoveFrameCallback();
    if (!ended) {
        std::fprintf(stderr, "tapewell-cli snapshot: playing '%s' failed: %s\n", file.c_str(),
                     player.LastError().c_str());
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

int RunSnapshot(std::span<char* const> args) {
    ParsedArgs parsed;
    if (auto exit = StartCommand("snapshot", args, kOptions, kUsage, 1, parsed)) {
        return *exit;
    }
    for (const char* required : {"--every", "--count", "--dir"}) {
        if (!parsed.Has(required)) {
            return UsageError("snapshot", std::string("missing ") + required);
        }
    }
    long every = 0;
    long count = 0;
    // Every 0 seconds would save every single frame: hundreds of files for a
    // short clip, which no one asking for snapshots wants.
    for (auto error : {IntOption(parsed, "--every", 1, limits::kMaxSnapshotSetting, every),
                       IntOption(parsed, "--count", 0, limits::kMaxSnapshotSetting, count)}) {
        if (error) {
            return UsageError("snapshot", *error);
        }
    }
    const std::string& file = parsed.positional[0];
    FrameSnapshot::Settings settings;
    settings.folder = parsed.options["--dir"];
    settings.baseName = parsed.Has("--name") ? parsed.options["--name"] : BaseNameOf(file);
    settings.everySeconds = static_cast<int>(every);
    settings.pictures = static_cast<int>(count);
    settings.previewOnly = false;
    return Capture(file, std::move(settings));
}

}  // namespace tapewell::cli
