#include <cinttypes>
#include <cstdio>
#include <string>

#include "asf/AsfResumeScan.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"

namespace tapewell::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tapewell-cli resume-scan FILE\n"
    "\n"
    "Tells whether a partly written recording can be resumed. Prints\n"
    "'resumable offset=N packets=N' (the bytes to keep and the whole packets\n"
    "they hold) and exits 0, or prints 'not resumable' and exits 1.\n"
    "\n"
    "  -h, --help  show this help\n";

}  // namespace

int RunResumeScan(std::span<char* const> args) {
    ParsedArgs parsed;
    if (auto exit = StartCommand("resume-scan", args, {}, kUsage, 1, parsed)) {
        return *exit;
    }
    const std::string& path = parsed.positional[0];
    auto file = FileSource::Open(path);
    if (!file) {
        std::fprintf(stderr, "tapewell-cli resume-scan: cannot open '%s': %s\n", path.c_str(),
                     file.error().message.c_str());
        std::puts("not resumable");
        return kExitFailure;
    }
    AsfResumeScan scan;
    if (!scan.Scan(*file)) {
        std::puts("not resumable");
        return kExitFailure;
    }
    std::printf("resumable offset=%" PRIu64 " packets=%u\n", scan.GetResumeOffset(),
                scan.GetResumePacketCount());
    return kExitOk;
}

}  // namespace tapewell::cli
