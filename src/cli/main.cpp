// tapewell-cli: the headless front end over the same core as the desktop
// program.
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "cli/CommandLine.h"
#include "cli/Commands.h"

namespace {

using tapewell::cli::kExitOk;
using tapewell::cli::UsageError;

struct Command {
    std::string_view name;
    std::string_view summary;
    int (*run)(std::span<char* const>);
};

constexpr Command kCommands[] = {
    {"cut", "write a time range of an ASF file to a new file", tapewell::cli::RunCut},
    {"info", "show what an ASF file holds", tapewell::cli::RunInfo},
    {"resume-scan", "tell whether a partial recording can be resumed",
     tapewell::cli::RunResumeScan},
    {"capture", "print the stream addresses seen in network traffic", tapewell::cli::RunCapture},
    {"snapshot", "save pictures of a video as BMP files", tapewell::cli::RunSnapshot},
    {"play", "play a file without a window", tapewell::cli::RunPlay},
    {"mms-record", "record an mms:// stream into an ASF file", tapewell::cli::RunMmsRecord},
    {"http-record", "record a stream served over Windows Media HTTP streaming",
     tapewell::cli::RunHttpRecord},
    {"list", "show a record list file, or make one from addresses", tapewell::cli::RunList},
    {"asx", "write a one-entry ASX playlist", tapewell::cli::RunAsx},
    {"playlist", "print what the playlist readers make of a file", tapewell::cli::RunPlaylist},
    {"web-fetch", "download an address, or find the stream address in a page",
     tapewell::cli::RunWebFetch},
    {"record", "record an item (stream or playlist) into the base folder",
     tapewell::cli::RunRecord},
    {"probe", "check whether an address can be fetched", tapewell::cli::RunProbe},
    {"file-types", "show or change which file types open in Tapewell", tapewell::cli::RunFileTypes},
};

void PrintHelp() {
    std::puts(
        "Usage: tapewell-cli COMMAND [OPTIONS] [ARGS]\n"
        "\n"
        "Records Windows Media streams into ASF files and inspects them.\n"
        "\n"
        "Commands:");
    for (const auto& command : kCommands) {
        std::printf("  %-14.*s%.*s\n", static_cast<int>(command.name.size()), command.name.data(),
                    static_cast<int>(command.summary.size()), command.summary.data());
    }
    std::puts(
        "\n"
        "Options:\n"
        "  -h, --help    show this help\n"
        "  --version     show the version\n"
        "\n"
        "'tapewell-cli COMMAND --help' describes a command.");
}

}  // namespace

int main(int argc, char** argv) {
    std::span<char* const> args(argv + 1, argc > 0 ? static_cast<size_t>(argc - 1) : 0);
    if (args.empty()) {
        return UsageError("", "missing command");
    }
    std::string_view first = args[0];
    if (first == "--help" || first == "-h" || first == "help") {
        PrintHelp();
        return kExitOk;
    }
    if (first == "--version") {
        std::puts("tapewell-cli " TAPEWELL_VERSION);
        return kExitOk;
    }
    for (const auto& command : kCommands) {
        if (command.name == first) {
            return command.run(args.subspan(1));
        }
    }
    if (first.starts_with("-")) {
        return UsageError("", "unknown option '" + std::string(first) + "'");
    }
    return UsageError("", "unknown command '" + std::string(first) + "'");
}
