#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "capture/CaptureSink.h"
#include "capture/UrlCapture.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/StopSignals.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"

namespace tapewell::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tapewell-cli capture [-i IFACE | -r FILE.pcap] [OPTIONS]\n"
    "\n"
    "Watches network traffic for the media streams a browser or player asks\n"
    "for: HTTP GET requests for media files (ports 80 and 8080), RTSP DESCRIBE\n"
    "requests (port 554) and MMS sessions (port 1755). Prints each address\n"
    "once, as ADDRESS<TAB>AGENT, and each stream title the server sends as\n"
    "'title ADDRESS<TAB>TITLE'. Runs until Ctrl+C, a limit, or the end of FILE.\n"
    "\n"
    "  -i IFACE           capture on IFACE (default: the settings' capture\n"
    "                     driver, else \"any\"); needs root or cap_net_raw\n"
    "  -r FILE            read frames from a pcap file instead; '-' reads a\n"
    "                     pcap stream from standard input until it ends, as\n"
    "                     from: tapewell-capture-helper -i IFACE | ...\n"
    "  --no-http          ignore HTTP requests\n"
    "  --no-mms           ignore MMS sessions\n"
    "  --no-rtsp          ignore RTSP requests\n"
    "  --types LIST       media types that make an HTTP path a stream, such as\n"
    "                     .wmv,.asf (default: the settings' file type list)\n"
    "  --count N          stop after N addresses\n"
    "  --seconds S        stop after S seconds\n"
    "  --list-interfaces  print the capture devices as NAME<TAB>DESCRIPTION\n"
    "  -h, --help         show this help\n"
    "\n"
    "The settings' CaptureHTTP, CaptureMMS and CaptureRTSP switches apply too.\n"
    "Exit status: 0 when capture ended by itself, at a limit or on Ctrl+C\n"
    "(also at the end of a FILE cut off inside a frame, with a warning);\n"
    "1 when the device or file could not be opened or reading failed (also\n"
    "when standard input ends inside a frame: its writer died).\n";

constexpr OptionDef kOptions[] = {
    {"-i", true},        {"-r", true},         {"--no-http", false},
    {"--no-mms", false}, {"--no-rtsp", false}, {"--types", true},
    {"--count", true},   {"--seconds", true},  {"--list-interfaces", false},
};

// Captured texts come from the network: a tab or line break in them would
// break the one-finding-per-line output.
std::string Printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    return text;
}

// Prints each finding once and tells the main thread when to stop. Its
// operations are called on the capture's receive thread.
class PrintingSink final : public CaptureSink {
public:
    explicit PrintingSink(uint64_t maxAddresses) : m_maxAddresses(maxAddresses) {}

    void AddItem(const std::string& address, const std::string&, const std::string&,
                 const std::string& agent) override {
        std::lock_guard lock(m_mutex);
        // The receive thread goes on until the main thread stops it.
        if (m_done || !m_addresses.insert(address).second) {
            return;
        }
        std::printf("%s\t%s\n", Printable(address).c_str(), Printable(agent).c_str());
        std::fflush(stdout);
        if (m_maxAddresses != 0 && m_addresses.size() >= m_maxAddresses) {
            m_done = true;
            m_changed.notify_all();
        }
    }

    void RenameByAddress(const std::string& address, const std::string& name) override {
        std::lock_guard lock(m_mutex);
        if (!m_done && m_titles.insert(address + '\t' + name).second) {
            std::printf("title %s\t%s\n", Printable(address).c_str(), Printable(name).c_str());
            std::fflush(stdout);
        }
    }

    void OnCaptureEnd(const std::string& error, const std::string& warning) override {
        std::lock_guard lock(m_mutex);
        m_ended = true;
        m_done = true;
        m_error = error;
        m_warning = warning;
        m_changed.notify_all();
    }

    // Waits until the address count is reached, the capture ends, a signal
    // comes or the deadline passes.
    void WaitUntilDone(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(m_mutex);
        while (!m_done && !StopRequested() && std::chrono::steady_clock::now() < deadline) {
            m_changed.wait_for(lock, std::chrono::milliseconds(100));
        }
    }

    // After a stop: the receive thread lets go at once, so this is short.
    // Gives the error and the warning the capture ended with.
    std::pair<std::string, std::string> WaitForEnd() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_ended; });
        return {m_error, m_warning};
    }

private:
    const uint64_t m_maxAddresses;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::set<std::string> m_addresses;
    std::set<std::string> m_titles;
    bool m_done = false;
    bool m_ended = false;
    std::string m_error;
    std::string m_warning;
};

int ListInterfaces() {
    auto adapters = PcapSource::ListAdapters();
    if (!adapters) {
        std::fprintf(stderr, "tapewell-cli capture: %s\n", adapters.error().message.c_str());
        return kExitFailure;
    }
    for (const auto& adapter : *adapters) {
        std::printf("%s\t%s\n", adapter.name.c_str(), adapter.description.c_str());
    }
    return kExitOk;
}

std::vector<std::string> SplitTypes(const std::string& list) {
    std::vector<std::string> types;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) {
            comma = list.size();
        }
        if (comma > start) {
            types.push_back(list.substr(start, comma - start));
        }
        start = comma + 1;
    }
    return types;
}

SnifferSettings ChooseSettings(const ParsedArgs& parsed, const AppSettings& app) {
    SnifferSettings settings = SnifferSettings::From(app);
    settings.captureHttp = settings.captureHttp && !parsed.Has("--no-http");
    settings.captureMms = settings.captureMms && !parsed.Has("--no-mms");
    settings.captureRtsp = settings.captureRtsp && !parsed.Has("--no-rtsp");
    if (parsed.Has("--types")) {
        settings.fileTypes = SplitTypes(parsed.options.find("--types")->second);
    }
    return settings;
}

int Capture(const ParsedArgs& parsed, uint64_t count, uint64_t seconds) {
    ProfileStore store(ProfileStore::DefaultPath());
    AppSettings app;
    app.LoadValues(store);
    PrintingSink sink(count);
    UrlCapture capture(sink);
    ErrorOr<void> started;
    if (parsed.Has("-r") && parsed.options.find("-r")->second == "-") {
        // Read on the receive thread, so that Ctrl+C or --seconds end the
        // capture even while the writer sends nothing.
        const int input = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
        if (input < 0) {
            std::fprintf(stderr, "tapewell-cli capture: standard input: %s\n",
                         std::strerror(errno));
            return kExitFailure;
        }
        started = capture.StartStream(input, ChooseSettings(parsed, app));
    } else if (parsed.Has("-r")) {
        started = capture.StartFile(parsed.options.find("-r")->second, ChooseSettings(parsed, app));
    } else {
        std::string device = parsed.Has("-i")              ? parsed.options.find("-i")->second
                             : app.m_captureDriver.empty() ? "any"
                                                           : app.m_captureDriver;
        started = capture.StartLive(device, ChooseSettings(parsed, app));
    }
    if (!started) {
        std::fprintf(stderr, "tapewell-cli capture: %s\n", started.error().message.c_str());
        return kExitFailure;
    }
    CatchStopSignals();
    auto deadline = seconds == 0 ? std::chrono::steady_clock::time_point::max()
                                 : std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    sink.WaitUntilDone(deadline);
    capture.Stop();
    const auto [error, warning] = sink.WaitForEnd();
    if (!warning.empty()) {
        std::fprintf(stderr, "tapewell-cli capture: warning: %s\n", warning.c_str());
    }
    if (!error.empty()) {
        std::fprintf(stderr, "tapewell-cli capture: %s\n", error.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

int RunCapture(std::span<char* const> args) {
    ParsedArgs parsed;
    if (auto exit = StartCommand("capture", args, kOptions, kUsage, 0, parsed)) {
        return *exit;
    }
    if (parsed.Has("--list-interfaces")) {
        return ListInterfaces();
    }
    if (parsed.Has("-i") && parsed.Has("-r")) {
        return UsageError("capture", "-i and -r exclude each other");
    }
    uint64_t values[2] = {0, 0};
    const char* names[2] = {"--count", "--seconds"};
    for (int k = 0; k < 2; ++k) {
        if (parsed.Has(names[k])) {
            auto value = ParseNumber(parsed.options.find(names[k])->second);
            if (!value || *value == 0) {
                return UsageError("capture",
                                  std::string(names[k]) + " needs a whole number above 0");
            }
            values[k] = *value;
        }
    }
    return Capture(parsed, values[0], values[1]);
}

}  // namespace tapewell::cli
