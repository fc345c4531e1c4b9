#include "cli/RecordQueue.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/AddressText.h"
#include "cli/CommandLine.h"
#include "cli/StopSignals.h"
#include "cli/TerminalInput.h"
#include "common/Limits.h"
#include "common/TextFormat.h"
#include "recording/CmmsThread.h"
#include "recording/JobSink.h"
#include "recording/OutputPaths.h"

namespace tapewell::cli {
namespace {

constexpr int kProgressBarWidth = 20;
constexpr auto kPollInterval = std::chrono::milliseconds(50);

// The run's stdout, written by every job's thread a whole line at a time.
// A lone job's progress on a terminal is one line updated in place ("\r");
// once jobs run side by side, every progress line is whole and names its
// item, and stays so for the rest of the run, so that whoever reads the
// output meets one form from then on.
class Console {
public:
    Console(bool quiet, bool terminal) : m_quiet(quiet), m_terminal(terminal) {}

    bool Quiet() const { return m_quiet; }
    bool UpdatesInPlace() const { return m_terminal && !m_labelled.load(); }
    bool Labelled() const { return m_labelled.load(); }
    void SetLabelled() {
        std::lock_guard lock(m_lock);
        m_labelled = true;
        EndLine();
        std::fflush(stdout);
    }

    // A whole line; a progress line being updated is ended first.
    void Line(const std::string& text) {
        std::lock_guard lock(m_lock);
        EndLine();
        std::fputs(text.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    void Overwrite(const std::string& text) {
        std::lock_guard lock(m_lock);
        std::fputc('\r', stdout);
        std::fputs(text.c_str(), stdout);
        m_lineOpen = true;
        std::fflush(stdout);
    }
    void EndProgressLine() {
        std::lock_guard lock(m_lock);
        EndLine();
        std::fflush(stdout);
    }

private:
    void EndLine() {
        if (m_lineOpen) {
            std::fputc('\n', stdout);
            m_lineOpen = false;
        }
    }

    const bool m_quiet;
    const bool m_terminal;
    std::atomic<bool> m_labelled{false};
    std::mutex m_lock;
    bool m_lineOpen = false;  // guarded by m_lock
};

// The answers of --resume and --exists, or the terminal's. There is one
// terminal: the jobs ask one after another, and once several run each
// question names its item.
class CliPrompt final : public JobPrompt {
public:
    CliPrompt(ResumeMode resume, ExistsMode exists, std::timed_mutex& terminal,
              const Console& console, int item)
        : m_resume(resume),
          m_exists(exists),
          m_terminal(terminal),
          m_console(console),
          m_item(item) {}

    std::optional<Credentials> AskCredentials(const std::string& site, const std::string& user,
                                              const std::string&) override {
        const auto turn = TakeTurn();
        if (!turn.owns_lock() || !HaveTerminal()) {
            return std::nullopt;
        }
        std::fputs(Prefix().c_str(), stderr);
        return AskCredentialsOnTerminal(site, user);
    }

    bool AskResume(const std::filesystem::path& path) override {
        if (m_resume != ResumeMode::Ask) {
            return m_resume == ResumeMode::Yes;
        }
        const std::optional<std::string> answer =
            Ask(FormatText("%s \n\n File exist. Resumable?\n[o]k / [c]ancel: ", path.c_str()));
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
        if (m_cancelled.load()) {
            return {};
        }
        const std::optional<std::string> answer =
            Ask(FormatText("%s \n\n File exist. Overwrite?\n[o]k [c]ancel [s]ave as [p]ass "
                           "p[a]ss all [q]uit: ",
                           path.c_str()));
        if (!answer) {
            // No terminal after all: rename; stopped meanwhile: leave it.
            return m_cancelled.load() ? ExistsChoice{} : ExistsChoice{ExistsAnswer::SaveAs, false};
        }
        return ExistsKey(answer->empty() ? 'c' : (*answer)[0]);
    }

    std::optional<std::filesystem::path> AskSaveAsPath(const std::filesystem::path& path) override {
        const std::optional<std::filesystem::path> unique = MakeUniquePath(path);
        if (m_exists != ExistsMode::Ask) {
            return unique;
        }
        if (m_cancelled.load()) {
            return std::nullopt;
        }
        const std::string suggestion = unique ? unique->string() : std::string();
        const std::optional<std::string> answer =
            Ask(FormatText("Save As [%s]: ", suggestion.c_str()));
        if (!answer || answer->empty()) {
            return m_cancelled.load() ? std::nullopt : unique;  // the suggestion taken
        }
        return std::filesystem::path(*answer);
    }

    void Cancel() override { m_cancelled.store(true); }

private:
    static ExistsChoice ExistsKey(char key) {
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

    // Waits for the terminal in slices, so that a job stopped while another
    // one's question is open does not wait for that answer.
    std::unique_lock<std::timed_mutex> TakeTurn() {
        std::unique_lock lock(m_terminal, std::defer_lock);
        while (!m_cancelled.load() && !lock.try_lock_for(kPollInterval)) {
        }
        if (m_cancelled.load() && lock.owns_lock()) {
            lock.unlock();
        }
        return lock;
    }

    std::string Prefix() const {
        return m_console.Labelled() ? "[" + std::to_string(m_item) + "] " : std::string();
    }

    std::optional<std::string> Ask(const std::string& question) {
        const auto turn = TakeTurn();
        if (!turn.owns_lock()) {
            return std::nullopt;
        }
        return AskLine(Prefix() + question);
    }

    const ResumeMode m_resume;
    const ExistsMode m_exists;
    std::timed_mutex& m_terminal;
    const Console& m_console;
    const int m_item;
    std::atomic<bool> m_cancelled{false};
};

// Prints what one job tells; runs on the job's worker thread. The owner
// reads the found addresses and the quit after Finished().
class JobOutput final : public JobSink {
public:
    JobOutput(Console& console, int item) : m_console(console), m_item(item) {}

    void Attach(const CmmsThread* job) { m_job = job; }
    bool Finished() const { return m_finished.load(); }
    bool QuitAll() const { return m_quitAll.load(); }
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
            case kReconnecting:
                m_console.Line("reconnect " + Label() + std::to_string(m_job->ReconnectCount()));
                break;
            case kUrlFound:
                m_found.push_back(m_job->FoundAddress());
                m_console.Line("found " + m_found.back());
                break;
            case kSkipped:
                m_console.Line("skipped " + m_job->OutputPath().string());
                break;
            case kQuitAll:
                m_quitAt = m_job->OutputPath().string();
                m_quitAll = true;
                break;
            case kFinished:
                PrintFile();
                // The last state, which the once-a-second lines may not
                // have shown: a finished download at 100 %.
                if (m_progressUnshown) {
                    PrintProgress(true);
                }
                m_console.EndProgressLine();
                m_finished = true;
                break;
            default:
                break;
        }
    }

private:
    std::string Label() const {
        return m_console.Labelled() ? "[" + std::to_string(m_item) + "] " : std::string();
    }

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
        m_lastPath = m_pendingPath;
        m_console.Line("file " + m_lastPath);
    }

    void PrintProgress(bool last = false) {
        if (m_console.Quiet()) {
            return;
        }
        m_progressUnshown = false;
        const std::string text = ProgressText(m_job->PositionMs(), m_job->Progress()) + " " +
                                 RecordedSizeText(m_job->BytesWritten());
        if (m_console.UpdatesInPlace()) {
            const int filled = static_cast<int>(std::min<uint32_t>(m_job->Progress(), 10'000) *
                                                kProgressBarWidth / 10'000);
            m_console.Overwrite(text + " [" + std::string(static_cast<size_t>(filled), '#') +
                                std::string(static_cast<size_t>(kProgressBarWidth - filled), ' ') +
                                "]");
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (last || now - m_lastLine >= std::chrono::seconds(1)) {
            m_lastLine = now;
            m_console.Line("progress " + Label() + text);
        } else {
            m_progressUnshown = true;
        }
    }

    Console& m_console;
    const int m_item;
    const CmmsThread* m_job = nullptr;
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_quitAll{false};
    bool m_progressUnshown = false;  // a progress notice came after the last line
    std::string m_quitAt;
    std::string m_pendingPath;  // the file being written, not yet named
    std::string m_lastPath;     // the file named last
    std::vector<std::string> m_found;
    std::chrono::steady_clock::time_point m_lastLine{};
};

// The items waiting and the jobs running, on the command's own thread,
// which polls the jobs' ends and the stop signal.
class Queue {
public:
    Queue(RecordRun run, std::vector<RecordItem> items)
        : m_run(std::move(run)), m_console(m_run.quiet, m_run.terminal) {
        for (RecordItem& item : items) {
            m_pending.push_back({m_nextItem++, std::move(item)});
        }
        if (m_run.parallel > 1 && m_pending.size() > 1) {
            m_console.SetLabelled();
        }
    }

    int Run() {
        for (;;) {
            if (StopRequested() && !m_stopping) {
                StopAll();
            }
            for (auto it = m_running.begin(); it != m_running.end();) {
                if ((*it)->output->Finished()) {
                    Finish(**it);
                    it = m_running.erase(it);
                } else {
                    ++it;
                }
            }
            while (!m_stopping && !m_noMore &&
                   static_cast<int>(m_running.size()) < m_run.parallel && StartNext()) {
            }
            if (m_running.empty()) {
                break;
            }
            std::this_thread::sleep_for(kPollInterval);
        }
        std::fflush(stdout);
        if (StopRequested() || m_quit) {
            return kExitStopped;
        }
        return m_failed ? kExitFailure : kExitOk;
    }

private:
    struct Pending {
        int number;
        RecordItem item;
    };
    // The job goes first: it holds the prompt and the output.
    struct Slot {
        int number = 0;
        RecordItem item;
        std::string target;  // the file the item's address and name lead to
        std::string user;    // the credentials the job began with
        std::string password;
        std::unique_ptr<CliPrompt> prompt;
        std::unique_ptr<JobOutput> output;
        std::unique_ptr<CmmsThread> job;
    };

    std::string TargetOf(const RecordItem& item) const {
        return MakeOutputPath(m_run.settings.m_baseDirectory, item.address, item.name).string();
    }

    // Two jobs never write one file: the second would take the first one's
    // growing file for a partial recording to resume, or both would create
    // it. An item whose file a running job writes waits for that job.
    bool FileBusy(const std::string& target) const {
        return std::any_of(m_running.begin(), m_running.end(), [&target](const auto& slot) {
            return slot->target == target || slot->job->OutputPath().string() == target;
        });
    }

    bool StartNext() {
        const auto free =
            std::find_if(m_pending.begin(), m_pending.end(),
                         [this](const Pending& p) { return !FileBusy(TargetOf(p.item)); });
        if (free == m_pending.end()) {
            return false;
        }
        auto slot = std::make_unique<Slot>();
        slot->number = free->number;
        slot->item = std::move(free->item);
        m_pending.erase(free);
        slot->target = TargetOf(slot->item);
        slot->user = m_run.settings.m_userName;
        slot->password = m_run.settings.m_password;
        if (!m_running.empty()) {
            m_console.SetLabelled();
        }
        slot->prompt = std::make_unique<CliPrompt>(m_run.resume, m_run.exists, m_terminal,
                                                   m_console, slot->number);
        slot->output = std::make_unique<JobOutput>(m_console, slot->number);
        CmmsThread::Item item{slot->item.address, slot->item.name, "",
                              slot->user,         slot->password,  m_run.streams};
        slot->job =
            std::make_unique<CmmsThread>(slot->output.get(), m_nextJob++, m_run.settings,
                                         std::move(item), slot->prompt.get(), m_run.profile);
        slot->output->Attach(slot->job.get());
        if (!slot->job->Start()) {
            std::fprintf(stderr, "tapewell-cli record: cannot start the recording thread\n");
            m_failed = true;
            m_noMore = true;
            return false;
        }
        m_running.push_back(std::move(slot));
        return true;
    }

    void Finish(Slot& slot) {
        CmmsThread& job = *slot.job;
        job.Join();
        // Credentials that worked are used for the items started after this
        // one; a job that asked for none leaves those of the others.
        if (job.User() != slot.user || job.Password() != slot.password) {
            m_run.settings.m_userName = job.User();
            m_run.settings.m_password = job.Password();
        }
        if (job.Error()) {
            const std::string text = job.ErrorText();
            std::fprintf(stderr, "tapewell-cli record: %s: %s\n", slot.item.address.c_str(),
                         text.empty() ? "failed" : text.c_str());
            m_failed = true;
        }
        // Found addresses are recorded next, in the order they were found.
        std::vector<Pending> next;
        for (std::string& address : slot.output->TakeFound()) {
            next.push_back({m_nextItem++, RecordItem{std::move(address), ""}});
        }
        m_pending.insert(m_pending.begin(), std::make_move_iterator(next.begin()),
                         std::make_move_iterator(next.end()));
        if (slot.output->QuitAll()) {
            std::fprintf(stderr, "tapewell-cli record: stopped: %s exists\n",
                         slot.output->QuitAt().c_str());
            m_quit = true;
            StopAll();
        }
        if (job.GaveUp()) {
            m_noMore = true;
        }
    }

    // A job waiting on a question would not see its stop until answered.
    void StopAll() {
        m_stopping = true;
        for (const auto& slot : m_running) {
            slot->prompt->Cancel();
            slot->job->Stop();
        }
    }

    RecordRun m_run;
    Console m_console;
    std::timed_mutex m_terminal;
    std::deque<Pending> m_pending;
    std::vector<std::unique_ptr<Slot>> m_running;
    int m_nextItem = 1;
    uint16_t m_nextJob = 1;
    bool m_failed = false;
    bool m_quit = false;      // "quit" at an existing file
    bool m_noMore = false;    // a job gave up: no item starts after it
    bool m_stopping = false;  // a signal or "quit": every job stops
};

}  // namespace

int RecordItems(RecordRun run, std::vector<RecordItem> items) {
    return Queue(std::move(run), std::move(items)).Run();
}

}  // namespace tapewell::cli
