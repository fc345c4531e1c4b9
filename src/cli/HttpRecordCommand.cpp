#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/StopSignals.h"
#include "cli/TerminalInput.h"
#include "common/OutputFile.h"
#include "engine/EngineEvents.h"
#include "engine/JobPrompt.h"
#include "http/CHttpRecorder.h"
#include "recording/EngineSettings.h"
#include "recording/OutputPaths.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"

namespace tapewell::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tapewell-cli http-record --out FILE [--user U] [--password P]\n"
    "                                [--proxy HOST:PORT] [--verbose] -- ARG...\n"
    "\n"
    "Records Windows Media streams served over HTTP streaming into FILE with\n"
    "the HTTP streaming engine. ARG... is the engine's argument vector:\n"
    "addresses (http://, mms://, mmst://, mmsu://, all fetched over HTTP) and\n"
    "its options -m MINUTES (time limit), -p PORT (default port), -e (new\n"
    "playlist entry), -b (go on after an abort), -d (dump requests and reply\n"
    "headers), -r (copy every received byte to FILE's name with \"_raw\").\n"
    "An existing FILE is continued (an on-demand stream resumes after it).\n"
    "\n"
    "Engine messages go to stderr as 'LEVEL: text' (PROGRESS only with\n"
    "--verbose); events go to stdout one per line: stream-start ADDRESS\n"
    "DURATION_MS, progress BYTES PROGRESS POSITION_MS, stream-end BYTES,\n"
    "credentials USER, auth-cancelled, new-file PATH (the stream changed its\n"
    "layout and went on in PATH, named after FILE). Credentials asked by a server are read\n"
    "from the terminal when there is one.\n"
    "\n"
    "Exit status: 0 when bytes were written, 1 when none were.\n";

constexpr OptionDef kOptions[] = {{"--out", true},
                                  {"--user", true},
                                  {"--password", true},
                                  {"--proxy", true},
                                  {"--verbose", false}};

class PrintingEvents final : public EngineEvents {
public:
    explicit PrintingEvents(std::filesystem::path out) : m_out(std::move(out)) {}
    void OnStreamStart(const std::string& address, uint32_t durationMs) override {
        std::printf("stream-start %s %u\n", address.c_str(), durationMs);
        std::fflush(stdout);
    }
    void OnProgress(uint32_t bytes, uint32_t progress, uint32_t positionMs) override {
        std::printf("progress %u %u %u\n", bytes, progress, positionMs);
    }
    void OnStreamEnd(uint32_t bytes) override {
        std::printf("stream-end %u\n", bytes);
        std::fflush(stdout);
    }
    void OnCredentials(const std::string& user, const std::string&) override {
        std::printf("credentials %s\n", user.c_str());
    }
    void OnAuthCancelled() override { std::printf("auth-cancelled\n"); }
    OutputFile* OnNextOutputFile() override {
        const std::optional<std::filesystem::path> path = MakeUniquePath(m_out);
        std::unique_ptr<StdioOutputFile> file = path ? StdioOutputFile::Open(*path, "wb") : nullptr;
        if (!file) {
            std::fprintf(stderr, "tapewell-cli http-record: cannot open a file beside %s\n",
                         m_out.c_str());
            return nullptr;
        }
        std::printf("new-file %s\n", path->c_str());
        std::fflush(stdout);
        m_further.push_back(std::move(file));
        return m_further.back().get();
    }
    // False when a further file could not be written whole.
    bool CloseFurther() {
        bool ok = true;
        for (std::unique_ptr<StdioOutputFile>& file : m_further) {
            ok = file->Close() && ok;
        }
        return ok;
    }

private:
    std::filesystem::path m_out;
    std::vector<std::unique_ptr<StdioOutputFile>> m_further;
};

// Asks on the terminal; without one the question is cancelled.
class TerminalPrompt final : public JobPrompt {
public:
    std::optional<Credentials> AskCredentials(const std::string& site, const std::string& user,
                                              const std::string&) override {
        return AskCredentialsOnTerminal(site, user);
    }
};

void PrintMessage(bool verbose, MessageLevel level, const std::string& text) {
    if (level == MessageLevel::Progress && !verbose) {
        return;
    }
    std::string shown = text;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) {
        shown.pop_back();
    }
    std::fprintf(stderr, "%s: %s\n", MessageLevelName(level), shown.c_str());
}

// "HOST:PORT" into the proxy settings; false when it is not that.
bool SetProxy(const std::string& text, AppSettings& settings) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    const std::optional<uint64_t> port = ParseNumber(text.substr(colon + 1));
    if (!port || *port == 0 || *port > 65535) {
        return false;
    }
    settings.m_useProxy = true;
    settings.m_bypassProxy = false;
    settings.m_proxyServer = text.substr(0, colon);
    settings.m_proxyPort = static_cast<int>(*port);
    return true;
}

// Runs the walk; SIGINT or SIGTERM stops it the way the job's stop would.
void RunUntilDone(CHttpRecorder& engine, const std::vector<std::string>& vector) {
    RunStoppable([&] { engine.EngineMain(vector); }, [&] { engine.Stop(); });
}

}  // namespace

int RunHttpRecord(std::span<char* const> args) {
    const auto dashes = std::find_if(args.begin(), args.end(),
                                     [](const char* a) { return std::string_view(a) == "--"; });
    ParsedArgs parsed;
    const std::span<char* const> own(args.begin(), dashes);
    if (auto exit = StartCommand("http-record", own, kOptions, kUsage, 0, parsed)) {
        return *exit;
    }
    if (!parsed.Has("--out") || parsed.options["--out"].empty()) {
        return UsageError("http-record", "missing --out FILE");
    }
    if (dashes == args.end() || dashes + 1 == args.end()) {
        return UsageError("http-record", "missing '--' and the engine's ARG...");
    }
    AppSettings settings;
    if (parsed.Has("--proxy") && !SetProxy(parsed.options["--proxy"], settings)) {
        return UsageError("http-record", "--proxy wants HOST:PORT");
    }
    const std::filesystem::path out = parsed.options["--out"];
    std::error_code error;
    const bool exists = std::filesystem::exists(out, error);
    std::unique_ptr<StdioOutputFile> file = StdioOutputFile::Open(out, exists ? "rb+" : "wb");
    if (!file) {
        std::fprintf(stderr, "tapewell-cli http-record: cannot open %s\n", out.c_str());
        return kExitFailure;
    }
    std::vector<std::string> vector = {" "};
    for (auto it = dashes + 1; it != args.end(); ++it) {
        vector.emplace_back(*it);
    }
    PrintingEvents events(out);
    TerminalPrompt prompt;
    ProfileStore profile(ProfileStore::DefaultPath());
    ProfileCredentials credentials(&profile);
    CHttpRecorder engine(ToEngineOptions(settings), &events, &prompt, &credentials);
    engine.SetOutputFile(file.get());
    engine.SetOutputPath(out);
    engine.SetCredentials(parsed.Has("--user") ? parsed.options["--user"] : "",
                          parsed.Has("--password") ? parsed.options["--password"] : "");
    const bool verbose = parsed.Has("--verbose");
    engine.SetMessageCallback([verbose](MessageLevel level, const std::string& text) {
        PrintMessage(verbose, level, text);
    });

    RunUntilDone(engine, vector);
    std::fflush(stdout);
    const bool closed = file->Close() && events.CloseFurther();
    if (!closed) {
        std::fprintf(stderr, "tapewell-cli http-record: cannot write %s\n", out.c_str());
    }
    return closed && engine.BytesWritten() > 0 ? kExitOk : kExitFailure;
}

}  // namespace tapewell::cli
