#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/AddressText.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/StopSignals.h"
#include "cli/TerminalInput.h"
#include "common/Limits.h"
#include "common/TextFormat.h"
#include "recording/CmmsThread.h"
#include "recording/JobSink.h"
#include "recording/OutputPaths.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"

namespace tapewell::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tapewell-cli record [options] ADDRESS [NAME]\n"
    "\n"
    "Records one item the way the record list does: a playlist is expanded and\n"
    "each entry recorded (NAME0, NAME1, ...), a stream is written to the base\n"
    "folder as NAME plus the address's extension (.asf when it has none), or\n"
    "under the address's own file name when NAME is not given. The engines are\n"
    "tried in the order the address selects (MMS, HTTP streaming, web\n"
    "download). Addresses found on the way are recorded next.\n"
    "\n"
    "Options (the settings store's values unless given):\n"
    "  --dir DIR             base folder\n"
    "  --max-time SECONDS    end the recording after this much stream time\n"
    "  --max-size MB         end the recording after this many MiB\n"
    "  --user U, --password P   credentials for the server\n"
    "  --agent TEXT          player agent sent to MMS servers\n"
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
    "a terminal, one line per second otherwise), 'found ADDRESS' and\n"
    "'skipped PATH'. However a recording ends (Ctrl-C, SIGTERM, a limit, a lost\n"
    "connection), its header describes the whole packets written and an index\n"
    "follows them; a stopped on-demand recording can still be resumed.\n"
    "\n"
    "Exit status: 0 when every job completed, 1 when one failed (its error text\n"
    "on stderr) or ADDRESS names no usable server, 2 when stopped by a signal\n"
    "or by 'quit' at an existing file.\n";

constexpr OptionDef kOptions[] = {{"--dir", true},    {"--max-time", true}, {"--max-size", true},
                                  {"--user", true},   {"--password", true}, {"--agent", true},
                                  {"--resume", true}, {"--exists", true},   {"--quiet", false}};

constexpr int kExitStopped = 2;
constexpr int kProgressBarWidth = 20;

enum class ResumeMode { Yes, No, Ask };
enum class ExistsMode { Overwrite, Rename, Skip, Quit, Ask };

// The answers of --resume and --exists, or the terminal's.
class CliPrompt final : public JobPrompt {
public:
    CliPrompt(ResumeMode resume, ExistsMode exists) : m_resume(resume), m_exists(exists) {}

    std::optional<Credentials> AskCredentials(const std::string& site, const std::string& user,
                                              const std::string&) override {
        return AskCredentialsOnTerminal(site, user);
    }

    bool AskResume(const std::filesystem::path& path) override {
        if (m_resume != ResumeMode::Ask) {
            return m_resume == ResumeMode::Yes;
        }
        const std::optional<std::string> answer =
            AskLine(FormatText("%s \n\n File exist. Resumable?\n[o]k / [c]ancel: ", path.c_str()));
        return !answer || answer->empty() || (*answer)[0] == 'o' || (*answer)[0] == 'y';
    }

    ExistsChoice AskFileExists(const std::filesystem::path& path) override {
        switch (m_exists) {
            case ExistsMode::Overwrite:
                return {ExistsAnswer::Ok, false};
            case ExistsMode::Rename:
                return {ExistsAnswer::SaveAs, false};
            case ExistsMode::Skip:
                return {ExistsAnswer::Pass, false};
            case ExistsMode::Quit:
                return {ExistsAnswer::Quit, false};
            case ExistsMode::Ask:
                break;
        }
        const std::optional<std::string> answer =
            AskLine(FormatText("%s \n\n File exist. Overwrite?\n[o]k [c]ancel [s]ave as [p]ass "
                               "p[a]ss all [q]uit: ",
                               path.c_str()));
        if (!answer) {
            return {ExistsAnswer::SaveAs, false};  // no terminal after all: rename
        }
        const char key = answer->empty() ? 'c' : (*answer)[0];
        switch (key) {
            case 'o':
                return {ExistsAnswer::Ok, false};
            case 's':
                return {ExistsAnswer::SaveAs, false};
            case 'p':
                return {ExistsAnswer::Pass, false};
            case 'a':
                return {ExistsAnswer::Pass, true};
            case 'q':
                return {ExistsAnswer::Quit, false};
            default:
                return {ExistsAnswer::Cancel, false};
        }
    }

    std::optional<std::filesystem::path> AskSaveAsPath(const std::filesystem::path& path) override {
        const std::optional<std::filesystem::path> unique = MakeUniquePath(path);
        if (m_exists != ExistsMode::Ask) {
            return unique;
        }
        const std::string suggestion = unique ? unique->string() : std::string();
        const std::optional<std::string> answer =
            AskLine(FormatText("Save As [%s]: ", suggestion.c_str()));
        if (!answer || answer->empty()) {
            return unique;  // no terminal, or the suggestion taken
        }
        return std::filesystem::path(*answer);
    }

private:
    ResumeMode m_resume;
    ExistsMode m_exists;
};

// Prints what a job tells; runs on the job's worker thread.
class CliSink final : public JobSink {
public:
    CliSink(bool quiet, bool terminal) : m_quiet(quiet), m_terminal(terminal) {}

    void Attach(CmmsThread* job) {
        m_job = job;
        m_finished = false;
        m_quitAll = false;
    }
    bool Finished() const { return m_finished.load(); }
    bool QuitAll() const { return m_quitAll; }
    // The existing file that "quit" was the answer to.
    const std::string& QuitAt() const { return m_quitAt; }
    std::vector<std::string> TakeFound() { return std::exchange(m_found, {}); }

    void OnJobNotice(int code, uint16_t) override {
        switch (code) {
            case kHeader:
            case kNewFile:  // the stream went on in a further file
                NoteFile();
                break;
            case kProgress:
                // Past the size below which a download may still be dropped
                // as an error page, the file is kept whatever follows.
                if (m_job->BytesWritten() >= limits::kTooSmallRecordingBytes) {
                    PrintFile();
                }
                PrintProgress();
                break;
            case kUrlFound:
                m_found.push_back(m_job->FoundAddress());
                std::printf("found %s\n", m_found.back().c_str());
                break;
            case kSkipped:
                std::printf("skipped %s\n", m_job->OutputPath().c_str());
                break;
            case kQuitAll:
                m_quitAll = true;
                m_quitAt = m_job->OutputPath().string();
                break;
            case kFinished:
                PrintFile();
                // The last state, which the once-a-second lines may not
                // have shown: a finished download at 100 %.
                if (m_progressUnshown) {
                    PrintProgress(true);
                }
                EndProgressLine();
                m_finished = true;
                break;
            default:
                break;
        }
        std::fflush(stdout);
    }

private:
    // A file is named once it is sure to stay: a job deletes a file it
    // created and wrote nothing into, and a short download that is a page
    // of text. So the path waits until the job moves on to another file or
    // ends, or until enough has been written.
    void NoteFile() {
        const std::string path = m_job->OutputPath().string();
        if (path != m_pendingPath) {
            PrintFile();
            m_pendingPath = path;
        }
    }

    void PrintFile() {
        std::error_code error;
        if (m_pendingPath.empty() || m_pendingPath == m_lastPath ||
            !std::filesystem::exists(m_pendingPath, error)) {
            return;
        }
        EndProgressLine();
        m_lastPath = m_pendingPath;
        std::printf("file %s\n", m_lastPath.c_str());
    }

    void PrintProgress(bool last = false) {
        if (m_quiet) {
            return;
        }
        m_progressUnshown = false;
        const std::string text = ProgressText(m_job->PositionMs(), m_job->Progress());
        const std::string size = RecordedSizeText(m_job->BytesWritten());
        if (m_terminal) {
            const int filled = static_cast<int>(std::min<uint32_t>(m_job->Progress(), 10'000) *
                                                kProgressBarWidth / 10'000);
            std::printf("\r%s %s [%s%s]", text.c_str(), size.c_str(),
                        std::string(static_cast<size_t>(filled), '#').c_str(),
                        std::string(static_cast<size_t>(kProgressBarWidth - filled), ' ').c_str());
            m_lineOpen = true;
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (last || now - m_lastLine >= std::chrono::seconds(1)) {
            m_lastLine = now;
            std::printf("progress %s %s\n", text.c_str(), size.c_str());
        } else {
            m_progressUnshown = true;
        }
    }

    void EndProgressLine() {
        if (m_lineOpen) {
            std::printf("\n");
            m_lineOpen = false;
        }
    }

    bool m_quiet;
    bool m_terminal;
    CmmsThread* m_job = nullptr;
    std::atomic<bool> m_finished{false};
    bool m_quitAll = false;
    bool m_lineOpen = false;
    bool m_progressUnshown = false;  // a progress notice came after the last line
    std::string m_quitAt;
    std::string m_pendingPath;  // the file being written, not yet named
    std::string m_lastPath;     // the file named last
    std::vector<std::string> m_found;
    std::chrono::steady_clock::time_point m_lastLine{};
};

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

struct Queue {
    AppSettings settings;
    CliPrompt* prompt = nullptr;
    ProfileStore* profile = nullptr;
    CliSink* sink = nullptr;
    uint16_t nextJob = 1;
    bool failed = false;
    bool quit = false;  // "quit" at an existing file
};

// Runs one item on its own job thread, turning a signal into the job's stop.
// Returns false when no further item is to be started.
bool RunItem(Queue& queue, const std::string& address, const std::string& name,
             std::deque<std::pair<std::string, std::string>>& pending) {
    CmmsThread::Item item{address, name, "", queue.settings.m_userName, queue.settings.m_password};
    CmmsThread job(queue.sink, queue.nextJob++, queue.settings, item, queue.prompt, queue.profile);
    queue.sink->Attach(&job);
    if (!job.Start()) {
        std::fprintf(stderr, "tapewell-cli record: cannot start the recording thread\n");
        queue.failed = true;
        return false;
    }
    bool stopped = false;
    while (!queue.sink->Finished()) {
        if (StopRequested() && !stopped) {
            job.Stop();
            stopped = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    job.Join();
    // Credentials that worked are used for the items after this one.
    queue.settings.m_userName = job.User();
    queue.settings.m_password = job.Password();
    if (job.Error()) {
        const std::string text = job.ErrorText();
        std::fprintf(stderr, "tapewell-cli record: %s: %s\n", address.c_str(),
                     text.empty() ? "failed" : text.c_str());
        queue.failed = true;
    }
    std::vector<std::string> found = queue.sink->TakeFound();
    for (auto it = found.rbegin(); it != found.rend(); ++it) {
        pending.emplace_front(*it, "");
    }
    if (queue.sink->QuitAll()) {
        std::fprintf(stderr, "tapewell-cli record: stopped: %s exists\n",
                     queue.sink->QuitAt().c_str());
        queue.quit = true;
    }
    return !StopRequested() && !queue.quit && !job.GaveUp();
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
    if (parsed.positional.empty() || parsed.positional.size() > 2) {
        return UsageError("record", "wants ADDRESS and an optional NAME");
    }
    ProfileStore profile(ProfileStore::DefaultPath());
    Queue queue;
    queue.settings.LoadValues(profile);
    ResumeMode resume = ResumeMode::Yes;
    ExistsMode exists = ExistsMode::Rename;
    if (auto error = ApplyOptions(parsed, queue.settings)) {
        return UsageError("record", *error);
    }
    if (auto error = ParseModes(parsed, resume, exists)) {
        return UsageError("record", *error);
    }
    if (auto problem = AddressProblem(parsed.positional[0])) {
        std::fprintf(stderr, "tapewell-cli record: %s: %s\n", parsed.positional[0].c_str(),
                     problem->c_str());
        return kExitFailure;
    }
    std::error_code error;
    std::filesystem::create_directories(queue.settings.m_baseDirectory, error);
    if (error) {
        std::fprintf(stderr, "tapewell-cli record: cannot make the base folder %s: %s\n",
                     queue.settings.m_baseDirectory.c_str(), error.message().c_str());
        return kExitFailure;
    }
    CliPrompt prompt(resume, exists);
    CliSink sink(parsed.Has("--quiet"), isatty(STDOUT_FILENO) != 0);
    queue.prompt = &prompt;
    queue.profile = &profile;
    queue.sink = &sink;
    CatchStopSignals();

    std::deque<std::pair<std::string, std::string>> pending;
    pending.emplace_back(parsed.positional[0],
                         parsed.positional.size() > 1 ? parsed.positional[1] : "");
    while (!pending.empty()) {
        const auto [address, name] = pending.front();
        pending.pop_front();
        if (!RunItem(queue, address, name, pending)) {
            break;
        }
    }
    std::fflush(stdout);
    if (StopRequested() || queue.quit) {
        return kExitStopped;
    }
    return queue.failed ? kExitFailure : kExitOk;
}

}  // namespace tapewell::cli
