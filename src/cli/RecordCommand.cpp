#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/RecordPlans.h"
#include "asf/StreamSelection.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/RecordQueue.h"
#include "cli/StopSignals.h"
#include "cli/TerminalInput.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"

namespace tapewell::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tapewell-cli record [options] ADDRESS [NAME] [ADDRESS [NAME]...]\n"
    "\n"
    "Records items the way the record list does: a playlist is expanded and\n"
    "each entry recorded (NAME0, NAME1, ...), a stream is written to the base\n"
    "folder as NAME plus the address's extension (.asf when it has none), or\n"
    "under the address's own file name when NAME is not given. The engines are\n"
    "tried in the order the address selects (MMS, HTTP streaming, web\n"
    "download). Addresses found on the way are recorded next.\n"
    "\n"
    "An argument with '://' or a leading '/' begins an item; the argument after\n"
    "it, when it has neither, is that item's NAME. Items are recorded in order,\n"
    "several at once with --parallel; two items that lead to the same file are\n"
    "never recorded at the same time.\n"
    "\n"
    "Options (the settings store's values unless given):\n"
    "  --dir DIR             base folder\n"
    "  --max-time SECONDS    end the recording after this much stream time\n"
    "  --max-size MB         end the recording after this many MiB\n"
    "  --user U, --password P   credentials for the server\n"
    "  --agent TEXT          player agent sent to MMS servers\n"
    "  --parallel N          record up to N items at once, 1 to 8 (default: the\n"
    "                        setting Concurrent Recordings when more than one\n"
    "                        ADDRESS is given, else 1)\n"
    "  --reconnect N         reconnect a stream that breaks off up to N times\n"
    "                        in a row, going on in the same file, 0 to 1000\n"
    "                        (0: a break ends the recording)\n"
    "  --streams audio|video|best|all|N,M\n"
    "                        which streams to keep: the audio or the video\n"
    "                        streams, the best (highest-bitrate) video and\n"
    "                        audio stream, every stream, or stream numbers\n"
    "                        (MMS and HTTP streaming; a plain download keeps\n"
    "                        every stream)\n"
    "  --at \"YYYY-MM-DD HH:MM\"  wait until this local time, then record (with\n"
    "                        --max-time for the duration); Ctrl-C or SIGTERM\n"
    "                        while waiting records nothing (status 2)\n"
    "  --resume yes|no|ask   continue a partial recording (default: ask on a\n"
    "                        terminal, else yes; ask needs a terminal)\n"
    "  --exists overwrite|rename|skip|quit|ask\n"
    "                        what to do with an existing file that cannot be\n"
    "                        continued, or that was not (default: ask on a\n"
    "                        terminal, else rename to NAME(n).EXT, so nothing\n"
    "                        is overwritten; ask needs a terminal; quit stops\n"
    "                        with status 2)\n"
    "  --quiet               no progress output\n"
    "\n"
    "Prints 'file PATH' for each file kept, progress (a line that updates on\n"
    "a terminal, one line per second otherwise), 'found ADDRESS', 'skipped\n"
    "PATH' and 'reconnect N' when a stream broke off and reconnect N is\n"
    "waited for. While several items record at once, progress and reconnect\n"
    "lines name the item by its number, 'progress [2] ...', one line per\n"
    "second each, and questions on the terminal name it the same way.\n"
    "However a recording ends (Ctrl-C, SIGTERM, a limit, a lost connection),\n"
    "its header describes the whole packets written and an index follows them;\n"
    "a stopped on-demand recording can still be resumed. A signal stops every\n"
    "item.\n"
    "\n"
    "Exit status: 0 when every job completed, 1 when one failed (its error text\n"
    "on stderr) or an ADDRESS names no usable server, 2 when stopped by a\n"
    "signal or by 'quit' at an existing file.\n";

constexpr OptionDef kOptions[] = {{"--dir", true},      {"--max-time", true},  {"--max-size", true},
                                  {"--user", true},     {"--password", true},  {"--agent", true},
                                  {"--resume", true},   {"--exists", true},    {"--quiet", false},
                                  {"--parallel", true}, {"--reconnect", true}, {"--streams", true},
                                  {"--at", true}};

// A time already past by no more than this still starts at once: a command
// typed for "now" may reach the clock a little late.
constexpr int64_t kLateStartSeconds = 60;

// The store's settings with the options applied; an error text for a bad
// option value.
std::optional<std::string> ApplyOptions(const ParsedArgs& parsed, AppSettings& settings) {
    if (parsed.Has("--dir")) {
        settings.m_baseDirectory = parsed.options.at("--dir");
    }
    long seconds = 0;
    if (parsed.Has("--max-time")) {
        if (auto error = IntOption(parsed, "--max-time", 1, INT32_MAX, seconds)) {
            return error;
        }
        settings.m_timeLimitOn = true;
        settings.m_maxTimeSeconds = static_cast<int>(seconds);
    }
    long megabytes = 0;
    if (parsed.Has("--max-size")) {
        if (auto error = IntOption(parsed, "--max-size", 1, INT32_MAX, megabytes)) {
            return error;
        }
        settings.m_sizeLimitOn = true;
        settings.m_maxSizeMiB = static_cast<int>(megabytes);
    }
    if (parsed.Has("--user")) {
        settings.m_userName = parsed.options.at("--user");
    }
    if (parsed.Has("--password")) {
        settings.m_password = parsed.options.at("--password");
    }
    if (parsed.Has("--agent")) {
        settings.m_playerAgent = parsed.options.at("--agent");
    }
    long tries = 0;
    if (parsed.Has("--reconnect")) {
        if (auto error =
                IntOption(parsed, "--reconnect", 0, AppSettings::kMaxReconnectTries, tries)) {
            return error;
        }
        settings.m_reconnectTries = static_cast<int>(tries);
    }
    // Every existing file goes to the prompt, which answers from the options.
    settings.m_resumeConfirm = true;
    settings.m_overwriteConfirm = true;
    return std::nullopt;
}

std::optional<std::string> ParseModes(const ParsedArgs& parsed, ResumeMode& resume,
                                      ExistsMode& exists) {
    const bool terminal = HaveTerminal();
    resume = terminal ? ResumeMode::Ask : ResumeMode::Yes;
    exists = terminal ? ExistsMode::Ask : ExistsMode::Rename;
    if (parsed.Has("--resume")) {
        const std::string& value = parsed.options.at("--resume");
        if (value == "yes") {
            resume = ResumeMode::Yes;
        } else if (value == "no") {
            resume = ResumeMode::No;
        } else if (value == "ask") {
            resume = ResumeMode::Ask;
        } else {
            return "--resume wants yes, no or ask";
        }
        if (resume == ResumeMode::Ask && !terminal) {
            return "--resume ask needs a terminal to ask on";
        }
    }
    if (parsed.Has("--exists")) {
        const std::string& value = parsed.options.at("--exists");
        constexpr std::pair<const char*, ExistsMode> kModes[] = {
            {"overwrite", ExistsMode::Overwrite},
            {"rename", ExistsMode::Rename},
            {"skip", ExistsMode::Skip},
            {"quit", ExistsMode::Quit},
            {"ask", ExistsMode::Ask}};
        const auto* found = std::find_if(std::begin(kModes), std::end(kModes),
                                         [&](const auto& mode) { return value == mode.first; });
        if (found == std::end(kModes)) {
            return "--exists wants overwrite, rename, skip, quit or ask";
        }
        exists = found->second;
        if (exists == ExistsMode::Ask && !terminal) {
            return "--exists ask needs a terminal to ask on";
        }
    }
    return std::nullopt;
}

// An argument with "://" or a leading "/" begins an item; one with neither
// right after it is its NAME. The first argument is an ADDRESS whatever it
// looks like, as the one item of earlier versions was.
bool BeginsItem(const std::string& arg) {
    return arg.find("://") != std::string::npos || arg.starts_with('/');
}

std::optional<std::string> ParseItems(const std::vector<std::string>& args,
                                      std::vector<RecordItem>& items) {
    if (args.empty()) {
        return "wants ADDRESS and an optional NAME";
    }
    bool named = true;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i == 0 || BeginsItem(args[i])) {
            items.push_back({args[i], ""});
            named = false;
        } else if (!named) {
            items.back().name = args[i];
            named = true;
        } else {
            return "'" + args[i] + "' is neither an ADDRESS (with :// or a leading /) nor the " +
                   "NAME right after one";
        }
    }
    return std::nullopt;
}

// --parallel, --streams and --at; the run's number of jobs defaults to the
// setting when several items are given. One item alone runs as it always
// did: the addresses it finds are recorded one after another.
std::optional<std::string> ParseRunOptions(const ParsedArgs& parsed, size_t items, RecordRun& run,
                                           std::optional<int64_t>& at) {
    long parallel = items > 1 ? std::clamp(run.settings.m_concurrentRecordings, 1,
                                           AppSettings::kMaxConcurrentRecordings)
                              : 1;
    if (auto error =
            IntOption(parsed, "--parallel", 1, AppSettings::kMaxConcurrentRecordings, parallel)) {
        return error;
    }
    run.parallel = static_cast<int>(parallel);
    if (parsed.Has("--streams")) {
        const ErrorOr<StreamChoice> choice = ParseStreamChoice(parsed.options.at("--streams"));
        if (!choice) {
            return "--streams: " + choice.error().message;
        }
        run.streams = StreamChoiceText(*choice);
    }
    if (parsed.Has("--at")) {
        const std::string& text = parsed.options.at("--at");
        at = ParseLocalTime(text);
        if (!at) {
            return "--at wants a local time \"YYYY-MM-DD HH:MM\", not '" + text + "'";
        }
        if (*at < static_cast<int64_t>(std::time(nullptr)) - kLateStartSeconds) {
            return "--at " + text + " is past";
        }
    }
    return std::nullopt;
}

// Waits until the local time `at`; false when a signal came first.
bool WaitUntil(int64_t at) {
    std::printf("waiting until %s\n", FormatLocalTime(at).c_str());
    std::fflush(stdout);
    while (static_cast<int64_t>(std::time(nullptr)) < at) {
        if (StopRequested()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return !StopRequested();
}

}  // namespace

int RunRecord(std::span<char* const> args) {
    ParsedArgs parsed;
    if (auto error = ParseArgs(args, kOptions, parsed)) {
        return UsageError("record", *error);
    }
    if (parsed.help) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    std::vector<RecordItem> items;
    if (auto error = ParseItems(parsed.positional, items)) {
        return UsageError("record", *error);
    }
    ProfileStore profile(ProfileStore::DefaultPath());
    RecordRun run;
    run.settings.LoadValues(profile);
    std::optional<int64_t> at;
    if (auto error = ApplyOptions(parsed, run.settings)) {
        return UsageError("record", *error);
    }
    if (auto error = ParseModes(parsed, run.resume, run.exists)) {
        return UsageError("record", *error);
    }
    if (auto error = ParseRunOptions(parsed, items.size(), run, at)) {
        return UsageError("record", *error);
    }
    for (const RecordItem& item : items) {
        if (auto problem = AddressProblem(item.address)) {
            std::fprintf(stderr, "tapewell-cli record: %s: %s\n", item.address.c_str(),
                         problem->c_str());
            return kExitFailure;
        }
    }
    // Caught before anything is made: a stop at any point from here on
    // ends the run the same way.
    CatchStopSignals();
    std::error_code error;
    std::filesystem::create_directories(run.settings.m_baseDirectory, error);
    if (error) {
        std::fprintf(stderr, "tapewell-cli record: cannot make the base folder %s: %s\n",
                     run.settings.m_baseDirectory.c_str(), error.message().c_str());
        return kExitFailure;
    }
    run.quiet = parsed.Has("--quiet");
    run.terminal = isatty(STDOUT_FILENO) != 0;
    run.profile = &profile;
    if (at && !WaitUntil(*at)) {
        return kExitStopped;
    }
    return RecordItems(std::move(run), std::move(items));
}

}  // namespace tapewell::cli
