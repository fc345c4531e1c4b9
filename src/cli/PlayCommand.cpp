#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "app/PlaybackFetch.h"
#include "app/PlaybackRoute.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/StopSignals.h"
#include "cli/TerminalInput.h"
#include "common/Limits.h"
#include "common/SizeTimeText.h"
#include "player/GrowingFileFeed.h"
#include "player/HtmlToText.h"
#include "player/MediaPlayer.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"

namespace tapewell::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tapewell-cli play ADDRESS [--seconds S] [--user U --password P]\n"
    "\n"
    "Plays ADDRESS without a window, the sound to the default audio output\n"
    "(or to the GStreamer sink that TAPEWELL_AUDIO_SINK names), and prints\n"
    "what a player window would show: the position every second, each\n"
    "caption as it comes, and the end. Captions come from a file's .smi file\n"
    "or its own subtitle track.\n"
    "\n"
    "ADDRESS is a file, a plain http:// download, or a stream that plays\n"
    "through the recording engines (mms://, mmst://, mmsu://, rtsp://, and\n"
    "http:// addresses of Windows Media or of no media type): these are\n"
    "recorded into a private folder under the user's cache folder, removed\n"
    "at the end, and played from there. A file that a recording is still\n"
    "writing plays on as it grows. Neither can seek.\n"
    "\n"
    "  --seconds S           stop after S seconds\n"
    "  --user U, --password P   credentials for the server (asked on a\n"
    "                        terminal when the server wants others)\n"
    "  -h, --help            show this help\n"
    "\n"
    "Exit status: 0 at the end or after S seconds, 1 when ADDRESS cannot be\n"
    "opened or fails while playing, 2 when stopped by SIGINT or SIGTERM.\n";

constexpr OptionDef kOptions[] = {{"--seconds", true}, {"--user", true}, {"--password", true}};
constexpr int kExitStopped = 2;
constexpr auto kPollInterval = std::chrono::milliseconds(20);

// Credentials the server asks for, asked on the terminal.
class TerminalPrompt final : public JobPrompt {
public:
    std::optional<Credentials> AskCredentials(const std::string& site, const std::string& user,
                                              const std::string&) override {
        return AskCredentialsOnTerminal(site, user);
    }
};

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
        if (StopRequested()) {
            std::puts("stopped");
            return kExitStopped;
        }
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

// Waits for the outcome of an asynchronous open: 0 when open, else the exit
// status. A fetch that fails first fails the open with its text.
int WaitForOpen(MediaPlayer& player, const std::string& address) {
    for (;;) {
        if (StopRequested()) {
            return kExitStopped;
        }
        const int event = player.PollEvent(nullptr, nullptr);
        if (event == GstPlayer::kEventOpened) {
            return 0;
        }
        if (event == GstPlayer::kEventErrorAbort) {
            std::fprintf(stderr, "tapewell-cli play: cannot open '%s': %s\n", address.c_str(),
                         player.Backend()->LastError().c_str());
            return kExitFailure;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

// Records the stream into the cache until its first bytes are there.
int StartFetch(PlaybackFetch& fetch, const std::string& address,
               std::shared_ptr<GrowingFileFeed>* feed) {
    if (auto started = fetch.Start(); !started) {
        std::fprintf(stderr, "tapewell-cli play: %s\n", started.error().message.c_str());
        return kExitFailure;
    }
    for (;;) {
        if (StopRequested()) {
            return kExitStopped;
        }
        switch (fetch.Poll()) {
            case PlaybackFetch::State::kReady:
                *feed = fetch.Feed();
                return 0;
            case PlaybackFetch::State::kFailed:
                std::fprintf(stderr, "tapewell-cli play: cannot open '%s': %s\n", address.c_str(),
                             fetch.ErrorText().c_str());
                return kExitFailure;
            case PlaybackFetch::State::kFetching:
                break;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

// Opens ADDRESS the way RoutePlayback says; 0 when open, else the exit
// status.
int OpenRouted(MediaPlayer& player, const std::string& address,
               std::unique_ptr<PlaybackFetch>& fetch, const AppSettings& settings,
               JobPrompt& prompt) {
    std::shared_ptr<GrowingFileFeed> feed;
    switch (RoutePlayback(address)) {
        case PlaybackRoute::kDirect:
            if (!player.OpenAsync(address)) {
                break;
            }
            return WaitForOpen(player, address);
        case PlaybackRoute::kGrowingFile: {
            auto opened = GrowingFileFeed::Open(address, GrowingFileFeed::Writer::kLock);
            if (!opened) {
                std::fprintf(stderr, "tapewell-cli play: %s\n", opened.error().message.c_str());
                return kExitFailure;
            }
            feed = std::move(*opened);
            std::puts("playing a file that is still being written");
            break;
        }
        case PlaybackRoute::kEngines: {
            fetch = std::make_unique<PlaybackFetch>(
                settings, PlaybackFetch::Item{address, settings.m_userName, settings.m_password},
                &prompt);
            if (int status = StartFetch(*fetch, address, &feed); status != 0) {
                return status;
            }
            std::printf("playing through %s\n", feed->Path().c_str());
            break;
        }
    }
    if (feed && player.OpenFeed(feed)) {
        return WaitForOpen(player, address);
    }
    std::fprintf(stderr, "tapewell-cli play: cannot open '%s': %s\n", address.c_str(),
                 player.Backend()->LastError().c_str());
    return kExitFailure;
}

int PlayOpened(MediaPlayer& player, const std::string& address, long seconds) {
    if (player.IsAudioOnly()) {
        std::printf("opened %s: %s, sound only\n", address.c_str(),
                    FormatTime(player.GetDuration()).c_str());
    } else {
        std::printf("opened %s: %s, video %dx%d\n", address.c_str(),
                    FormatTime(player.GetDuration()).c_str(), player.GetVideoWidth(),
                    player.GetVideoHeight());
    }
    if (player.HasCaptionGraph()) {
        std::puts("captions on");
    }
    if (!player.Play()) {
        std::fprintf(stderr, "tapewell-cli play: cannot play '%s'\n", address.c_str());
        return kExitFailure;
    }
    return Watch(player, seconds);
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
    AppSettings settings;
    ProfileStore profile(ProfileStore::DefaultPath());
    settings.LoadValues(profile);
    if (parsed.options.count("--user") != 0) {
        settings.m_userName = parsed.options.at("--user");
    }
    if (parsed.options.count("--password") != 0) {
        settings.m_password = parsed.options.at("--password");
    }
    CatchStopSignals();
    const std::string& address = parsed.positional[0];
    TerminalPrompt prompt;
    std::unique_ptr<PlaybackFetch> fetch;
    int status = 0;
    {
        // The player goes first: it reads the fetch's file until closed.
        MediaPlayer player;
        status = OpenRouted(player, address, fetch, settings, prompt);
        if (status == 0) {
            status = PlayOpened(player, address, seconds);
        }
        player.Close();
    }
    if (fetch) {
        fetch->Stop();
    }
    return status;
}

}  // namespace tapewell::cli
