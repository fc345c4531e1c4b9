#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/StopSignals.h"
#include "common/OutputFile.h"
#include "engine/EngineEvents.h"
#include "http/CWebFetcher.h"
#include "recording/EngineSettings.h"
#include "settings/ProfileStore.h"

namespace tapewell::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tapewell-cli web-fetch --out FILE ADDRESS\n"
    "\n"
    "Fetches ADDRESS with the web fetcher of the recording job: a media file\n"
    "is downloaded into FILE; a text page is searched for an \"mms://\"\n"
    "address instead, and nothing is written. Credentials stored for the\n"
    "site in the settings file are used after a 401.\n"
    "\n"
    "Events go to stdout one per line: stream-start ADDRESS, progress BYTES,\n"
    "url-found ADDRESS, credentials USER, auth-cancelled; errors go to stderr\n"
    "as 'error: TEXT'.\n"
    "\n"
    "Exit status: 0 when FILE was written or an address was found, 1 otherwise.\n";

constexpr OptionDef kOptions[] = {{"--out", true}};

class PrintingEvents final : public EngineEvents {
public:
    bool urlFound = false;

    void OnStreamStart(const std::string& address, uint32_t) override {
        std::printf("stream-start %s\n", address.c_str());
        std::fflush(stdout);
    }
    void OnProgress(uint32_t bytes, uint32_t, uint32_t) override {
        std::printf("progress %u\n", bytes);
    }
    void OnError(const std::string& text) override {
        std::fprintf(stderr, "error: %s\n", text.c_str());
    }
    void OnCredentials(const std::string& user, const std::string&) override {
        std::printf("credentials %s\n", user.c_str());
    }
    void OnAuthCancelled() override { std::printf("auth-cancelled\n"); }
    void OnUrlFound(const std::string& address) override {
        urlFound = true;
        std::printf("url-found %s\n", address.c_str());
    }
};

}  // namespace

int RunWebFetch(std::span<char* const> args) {
    ParsedArgs parsed;
    if (auto exit = StartCommand("web-fetch", args, kOptions, kUsage, 1, parsed)) {
        return *exit;
    }
    if (!parsed.Has("--out") || parsed.options["--out"].empty()) {
        return UsageError("web-fetch", "missing --out FILE");
    }
    if (auto problem = AddressProblem(parsed.positional[0])) {
        std::fprintf(stderr, "tapewell-cli web-fetch: %s: %s\n", parsed.positional[0].c_str(),
                     problem->c_str());
        return kExitFailure;
    }
    const std::filesystem::path out = parsed.options["--out"];
    std::unique_ptr<StdioOutputFile> file = StdioOutputFile::Open(out, "wb");
    if (!file) {
        std::fprintf(stderr, "tapewell-cli web-fetch: cannot open %s\n", out.c_str());
        return kExitFailure;
    }
    PrintingEvents events;
    ProfileStore profile(ProfileStore::DefaultPath());
    ProfileCredentials credentials(&profile);
    CWebFetcher fetcher(EngineOptions(), &events, nullptr, &credentials);

    RunStoppable(
        [&] { (void)fetcher.Record({.output = file.get(), .address = parsed.positional[0]}); },
        [&] { fetcher.Stop(); });
    std::fflush(stdout);
    const bool closed = file->Close();
    const bool downloaded = fetcher.LastResult() == CWebFetcher::kDownloaded;
    if (!downloaded) {
        // A page that was only searched leaves no empty file behind.
        std::error_code error;
        if (std::filesystem::file_size(out, error) == 0 && !error) {
            std::filesystem::remove(out, error);
        }
    }
    if (!closed) {
        std::fprintf(stderr, "tapewell-cli web-fetch: cannot write %s\n", out.c_str());
        return kExitFailure;
    }
    return downloaded || events.urlFound ? kExitOk : kExitFailure;
}

}  // namespace tapewell::cli
