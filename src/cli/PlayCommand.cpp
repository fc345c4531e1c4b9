#include <chrono>
#include <cstdio>
#include <string>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "common/Limits.h"
#include "common/SizeTimeText.h"
#include "player/HtmlToText.h"
#include "player/MediaPlayer.h"

namespace tapewell::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tapewell-cli play FILE [--seconds S]\n"
    "\n"
    "Plays FILE without a window, the sound to the default audio output (or\n"
    "to the GStreamer sink that TAPEWELL_AUDIO_SINK names), and prints what a\n"
    "player window would show: the position every second, each caption as it\n"
    "comes, and the end. Captions come from FILE's .smi file or its own\n"
    "subtitle track.\n"
    "\n"
    "  --seconds S  stop after S seconds\n"
    "  -h, --help   show this help\n"
    "\n"
    "Exit status: 0 at the end of FILE or after S seconds, 1 when it cannot be\n"
    "opened or fails while playing.\n";

constexpr OptionDef kOptions[] = {{"--seconds", true}};

// A caption on one output line: its line breaks shown as " | ".
std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        line += c == '\n' ? std::string(" | ") : std::string(1, c);
    }
    return line;
}

// Prints what happens until the end, an error or the time limit. The
// caption wait paces the loop, as a window's poll timer would.
int Watch(MediaPlayer& player, long seconds) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    int lastTick = -1;
    for (;;) {
        long percent = 0;
        int event = player.PollEvent(&percent, nullptr);
        if (event == GstPlayer::kEventComplete) {
            std::puts("end of stream");
            return kExitOk;
        }
        if (event == GstPlayer::kEventErrorAbort) {
            std::printf("error: %s\n", player.Backend()->LastError().c_str());
            return kExitFailure;
        }
        if (event == GstPlayer::kEventOpening || event == GstPlayer::kEventBuffering) {
            std::printf("buffering %ld%%\n", percent);
        }
        std::string caption;
        if (player.GetCaptionText(&caption)) {
            std::printf("caption %s: %s\n", FormatTime(player.GetPosition()).c_str(),
                        OneLine(HtmlToText(caption)).c_str());
        }
        auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start);
        if (seconds > 0 && elapsed.count() >= seconds) {
            std::printf("stopped after %ld s\n", seconds);
            return kExitOk;
        }
        if (int tick = player.GetPosition(); tick != lastTick) {
            lastTick = tick;
            std::printf("position %s / %s\n", FormatTime(tick).c_str(),
                        FormatTime(player.GetDuration()).c_str());
        }
        std::fflush(stdout);
    }
}

}  // namespace

int RunPlay(std::span<char* const> args) {
    ParsedArgs parsed;
    if (auto exit = StartCommand("play", args, kOptions, kUsage, 1, parsed)) {
        return *exit;
    }
    long seconds = 0;
    if (auto error = IntOption(parsed, "--seconds", 1, limits::kMaxPlaySeconds, seconds)) {
        return UsageError("play", *error);
    }
    const std::string& file = parsed.positional[0];
    MediaPlayer player;
    if (!player.Open(file)) {
        std::fprintf(stderr, "tapewell-cli play: cannot open '%s': %s\n", file.c_str(),
                     player.Backend()->LastError().c_str());
        return kExitFailure;
    }
    if (player.IsAudioOnly()) {
        std::printf("opened %s: %s, sound only\n", file.c_str(),
                    FormatTime(player.GetDuration()).c_str());
    } else {
        std::printf("opened %s: %s, video %dx%d\n", file.c_str(),
                    FormatTime(player.GetDuration()).c_str(), player.GetVideoWidth(),
                    player.GetVideoHeight());
    }
    if (player.HasCaptionGraph()) {
        std::puts("captions on");
    }
    if (!player.Play()) {
        std::fprintf(stderr, "tapewell-cli play: cannot play '%s'\n", file.c_str());
        return kExitFailure;
    }
    return Watch(player, seconds);
}

}  // namespace tapewell::cli
