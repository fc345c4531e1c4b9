#include <cinttypes>
#include <cstdio>
#include <string>

#include "asf/RecordingFinish.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/StopSignals.h"
#include "common/OutputFile.h"
#include "engine/EngineEvents.h"
#include "mms/MmsClient.h"
#include "recording/EngineSettings.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"

namespace tapewell::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tapewell-cli mms-record --out FILE [--agent TEXT] [--start-packet N] ADDRESS\n"
    "\n"
    "Records one mms:// stream into an ASF file with the MMS engine and the\n"
    "recording settings of the settings store (time and size limits, \"Live\n"
    "Content Save Time Info\"). Events go to standard output, one per line:\n"
    "  status ADDRESS PORT\n"
    "  stream-start ADDRESS DURATION_MS\n"
    "  progress BYTES PROGRESS POSITION_MS\n"
    "Errors go to standard error. Ctrl-C ends the recording and leaves a\n"
    "complete file.\n"
    "\n"
    "  --out FILE          the ASF file to write (replaced)\n"
    "  --agent TEXT        player agent sent to the server (default: the\n"
    "                      settings' player agent)\n"
    "  --start-packet N    continue FILE from its end, asking the server for\n"
    "                      packet N on; no header is written\n"
    "  -h, --help          show this help\n"
    "\n"
    "Exit status: 0 when bytes were written, 1 when none were.\n";

constexpr OptionDef kOptions[] = {{"--out", true}, {"--agent", true}, {"--start-packet", true}};

class PrintingEvents final : public EngineEvents {
public:
    void OnStatus(const std::string& text, int number) override {
        std::printf("status %s %d\n", text.c_str(), number);
        std::fflush(stdout);
    }
    void OnStreamStart(const std::string& address, uint32_t durationMs) override {
        std::printf("stream-start %s %" PRIu32 "\n", address.c_str(), durationMs);
        std::fflush(stdout);
    }
    void OnProgress(uint32_t bytes, uint32_t progress, uint32_t positionMs) override {
        std::printf("progress %" PRIu32 " %" PRIu32 " %" PRIu32 "\n", bytes, progress, positionMs);
    }
    void OnError(const std::string& text) override {
        std::fprintf(stderr, "tapewell-cli mms-record: %s\n", text.c_str());
    }
};

}  // namespace

int RunMmsRecord(std::span<char* const> args) {
    ParsedArgs parsed;
    if (auto exit = StartCommand("mms-record", args, kOptions, kUsage, 1, parsed)) {
        return *exit;
    }
    if (!parsed.Has("--out") || parsed.options["--out"].empty()) {
        return UsageError("mms-record", "--out FILE is needed");
    }
    long startPacket = 0;
    if (auto error = IntOption(parsed, "--start-packet", 0, UINT32_MAX, startPacket)) {
        return UsageError("mms-record", *error);
    }
    if (auto problem = AddressProblem(parsed.positional[0])) {
        std::fprintf(stderr, "tapewell-cli mms-record: %s: %s\n", parsed.positional[0].c_str(),
                     problem->c_str());
        return kExitFailure;
    }
    const std::string path = parsed.options["--out"];
    const bool resume = parsed.Has("--start-packet");
    auto output = StdioOutputFile::Open(path, resume ? "rb+" : "wb");
    if (!output || (resume && !output->SeekEnd())) {
        std::fprintf(stderr, "tapewell-cli mms-record: cannot open '%s'\n", path.c_str());
        return kExitFailure;
    }
    ProfileStore store(ProfileStore::DefaultPath());
    AppSettings settings;
    settings.LoadValues(store);
    const std::string agent = parsed.Has("--agent") ? parsed.options["--agent"] : "";

    PrintingEvents events;
    MmsClient client(ToEngineOptions(settings), &events);
    uint64_t written = 0;
    RunStoppable(
        [&] {
            const EngineResult result =
                client.Record({.output = output.get(),
                               .address = parsed.positional[0],
                               .playerAgent = agent,
                               .resumePackets = static_cast<uint32_t>(startPacket)});
            written = result.recording ? result.recording->bytes : 0;
        },
        [&] { client.Stop(); });
    std::fflush(stdout);
    if (!output->Close()) {
        std::fprintf(stderr, "tapewell-cli mms-record: cannot write '%s'\n", path.c_str());
        return kExitFailure;
    }
    if (written > 0) {
        const FinishReport finished = FinishRecording(path);
        if (!finished.failure.empty()) {
            std::fprintf(stderr, "tapewell-cli mms-record: %s\n", finished.failure.c_str());
        }
        if (finished.kind == FinishReport::Kind::Failed) {
            return kExitFailure;
        }
    }
    return written > 0 ? kExitOk : kExitFailure;
}

}  // namespace tapewell::cli
