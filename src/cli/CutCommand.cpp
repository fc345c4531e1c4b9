#include <unistd.h>

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <optional>
#include <string>

#include "asf/AsfCutter.h"
#include "asf/AsfInfo.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/StopSignals.h"
#include "common/SizeTimeText.h"

namespace tapewell::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tapewell-cli cut FILE --start SECONDS --end SECONDS [-o OUT]\n"
    "\n"
    "Writes the range from START to END (whole seconds, END included) of an\n"
    "ASF file to a new ASF file without decoding: the packets that cover it,\n"
    "from the last video key frame by START on, with their times moved so\n"
    "that the cut starts at 0. Prints the output path, its duration and its\n"
    "packet count.\n"
    "\n"
    "  --start SECONDS  first second of the range\n"
    "  --end SECONDS    last second of the range, not before START (START and\n"
    "                   END equal cut one second)\n"
    "  -o, --output OUT the new file (default: FILE's name with \"_cut\" added\n"
    "                   to the base name, in the same folder); an existing\n"
    "                   file is replaced only by a complete cut, and never\n"
    "                   when it is FILE itself\n"
    "  -h, --help       show this help\n"
    "\n"
    "Exit status: 0 when the cut was written, 1 when it was not.\n";

constexpr OptionDef kOptions[] = {
    {"--start", true}, {"--end", true}, {"-o", true}, {"--output", true}};

constexpr int kProgressBarWidth = 40;

std::optional<int32_t> ParseSeconds(const std::string& text) {
    int32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

void DrawProgress(uint64_t done, uint64_t total) {
    const uint64_t filled = total ? done * kProgressBarWidth / total : kProgressBarWidth;
    char bar[kProgressBarWidth + 1];
    for (int i = 0; i < kProgressBarWidth; ++i) {
        bar[i] = static_cast<uint64_t>(i) < filled ? '#' : '-';
    }
    bar[kProgressBarWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%% %" PRIu64 "/%" PRIu64 " packets", bar,
                 static_cast<int>(total ? done * 100 / total : 100), done, total);
    std::fflush(stderr);
}

void PrintDone(const AsfCutter::Result& result) {
    // Read back, so the duration shown is the one a reader of the file sees.
    AsfInfo written;
    (void)written.Parse(result.output);
    std::printf("%-16s%s\n", "Output:", result.output.c_str());
    std::printf("%-16s%s\n", "Duration:", FormatTime(written.GetDurationSeconds()).c_str());
    std::printf("%-16s%" PRIu64 "\n", "Packets:", result.packets);
}

}  // namespace

int RunCut(std::span<char* const> args) {
    ParsedArgs parsed;
    if (auto exit = StartCommand("cut", args, kOptions, kUsage, 1, parsed)) {
        return *exit;
    }
    if (!parsed.Has("--start") || !parsed.Has("--end")) {
        return UsageError("cut", "--start and --end are both needed");
    }
    std::optional<int32_t> start = ParseSeconds(parsed.options["--start"]);
    std::optional<int32_t> end = ParseSeconds(parsed.options["--end"]);
    if (!start || !end) {
        return UsageError("cut", "--start and --end take whole seconds");
    }
    const std::filesystem::path source = parsed.positional[0];
    std::filesystem::path output = CutOutputPath(source);
    for (const char* name : {"-o", "--output"}) {
        if (parsed.Has(name)) {
            output = parsed.options[name];
        }
    }
    AsfInfo info;
    {
        ErrorOr<FileSource> file = FileSource::Open(source);
        if (!file) {
            std::fprintf(stderr, "tapewell-cli cut: cannot open '%s': %s\n", source.c_str(),
                         file.error().message.c_str());
            return kExitFailure;
        }
        if (!info.Parse(*file, source)) {
            std::fprintf(stderr, "tapewell-cli cut: '%s' is not an ASF file\n", source.c_str());
            return kExitFailure;
        }
    }  // the cutter opens the source itself
    CatchStopSignals();
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    AsfCutter cutter(terminal ? AsfCutter::Progress(DrawProgress) : AsfCutter::Progress(),
                     &StopSignalFlag());
    ErrorOr<AsfCutter::Result> result = cutter.Cut(source, info, *start, *end, output);
    if (terminal) {
        std::fputc('\n', stderr);
    }
    if (!result) {
        std::fprintf(stderr, "tapewell-cli cut: %s\n", result.error().message.c_str());
        return kExitFailure;
    }
    PrintDone(*result);
    return kExitOk;
}

}  // namespace tapewell::cli
