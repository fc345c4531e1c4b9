#include "app/RecordScheduler.h"

#include <algorithm>
#include <filesystem>
#include <string_view>

#include "app/AddressText.h"
#include "app/RecordList.h"
#include "common/TextCodec.h"
#include "common/TextFormat.h"
#include "recording/CmmsThread.h"
#include "recording/JobSink.h"
#include "recording/OutputPaths.h"

namespace tapewell {
namespace {

// The web search of a "<G>" row; its one %s is the query text.
constexpr std::string_view kSearchUrlPattern =
    "https://www.google.com/search?q=%s&ie=UTF-8&oe=UTF-8&hl=ko&lr=";

bool HasTag(const std::string& name, std::string_view angled, std::string_view squared) {
    return name.find(angled) != std::string::npos || name.find(squared) != std::string::npos;
}

bool IsSearchRow(const std::string& name) {
    return HasTag(name, "<G>", "[G]");
}

bool IsLinkRow(const std::string& name) {
    return HasTag(name, "<E>", "[E]");
}

// A link row's address goes to the browser only when it is a web page: the
// names come from list files and captured titles, and an mms:// or file
// address handed to the desktop would come back to Tapewell or open a
// local program.
bool IsWebAddress(const std::string& address) {
    const std::string lower = AsciiLower(address);
    return lower.starts_with("http://") || lower.starts_with("https://");
}

// The list tells local rows from addresses by a leading "/": a file the job
// wrote under a relative base folder must not read as an address.
std::string AbsolutePath(const std::filesystem::path& path) {
    if (path.empty()) {
        return {};
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return (error ? path : absolute.lexically_normal()).string();
}

// A translated reconnect text is used only when its one conversion is a
// %d: any other would read the number as something it is not.
bool OneNumberFormat(std::string_view text) {
    int numbers = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            continue;
        }
        if (++i >= text.size()) {
            return false;
        }
        if (text[i] == 'd') {
            ++numbers;
        } else if (text[i] != '%') {
            return false;
        }
    }
    return numbers == 1;
}

}  // namespace

RecordScheduler::RecordScheduler(RecordList& list, const AppSettings& settings, JobSink& sink,
                                 PromptFactory prompts, UrlOpener& opener, RecordStatusTexts texts)
    : m_list(list),
      m_settings(settings),
      m_sink(sink),
      m_prompts(std::move(prompts)),
      m_opener(opener),
      m_texts(std::move(texts)) {}

RecordScheduler::~RecordScheduler() {
    // The window that listens may already be gone.
    m_buttonsChanged = nullptr;
    m_captureOff = nullptr;
    StopAll();
}

void RecordScheduler::SetCaptureOff(std::function<void()> captureOff) {
    m_captureOff = std::move(captureOff);
}

void RecordScheduler::SetButtonsChanged(std::function<void()> changed) {
    m_buttonsChanged = std::move(changed);
}

void RecordScheduler::SetProfileStore(ProfileStore* profile) {
    m_profile = profile;
}

void RecordScheduler::SetStreamsLookup(
    std::function<std::string(const std::string& address)> lookup) {
    m_streamsLookup = std::move(lookup);
}

std::string RecordScheduler::SearchUrl(const std::string& address) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string query;
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte == '.' ||
            byte == '~') {
            query.push_back(c);
        } else {
            const char escaped[] = {'%', kHex[byte >> 4], kHex[byte & 0xF]};
            query.append(escaped, sizeof escaped);
        }
    }
    const size_t slot = kSearchUrlPattern.find("%s");
    std::string url(kSearchUrlPattern.substr(0, slot));
    url.append(query);
    url.append(kSearchUrlPattern.substr(slot + 2));
    return url;
}

uint16_t RecordScheduler::NextJobNumber(uint16_t number) {
    return number >= 0xFFFF ? 1 : static_cast<uint16_t>(number + 1);
}

bool RecordScheduler::Recording() const {
    return !m_jobs.empty();
}

int RecordScheduler::RunningCount() const {
    return static_cast<int>(m_jobs.size());
}

bool RecordScheduler::RowRecording(int row) const {
    return FindRowJob(row) != nullptr;
}

// The setting is read at each start, so a change in Preferences applies to
// the next row; the jobs already running go on.
int RecordScheduler::Limit() const {
    return std::clamp(m_settings.m_concurrentRecordings, 1, AppSettings::kMaxConcurrentRecordings);
}

void RecordScheduler::Changed() {
    if (m_buttonsChanged) {
        m_buttonsChanged();
    }
}

RecordScheduler::Running* RecordScheduler::FindJob(uint16_t number) {
    const auto found = std::find_if(m_jobs.begin(), m_jobs.end(),
                                    [number](const Running& r) { return r.number == number; });
    return found == m_jobs.end() ? nullptr : &*found;
}

const RecordScheduler::Running* RecordScheduler::FindRowJob(int row) const {
    if (row < 0 || row >= m_list.RowCount() || m_list.Row(row).jobNumber == 0) {
        return nullptr;
    }
    const uint32_t number = m_list.Row(row).jobNumber;
    const auto found = std::find_if(m_jobs.begin(), m_jobs.end(),
                                    [number](const Running& r) { return r.number == number; });
    return found == m_jobs.end() ? nullptr : &*found;
}

std::string RecordScheduler::TargetOf(int row) const {
    const auto& cells = m_list.Row(row).cells;
    return AbsolutePath(
        MakeOutputPath(m_settings.m_baseDirectory, cells[kColOriginalFile], cells[kColFile]));
}

// Whether a job may start on the row now: a network row that no job
// records, a free slot, and no running job writing the file it would write
// (a second job would take that file for a partial recording to resume, or
// truncate it).
bool RecordScheduler::Startable(int row) const {
    const auto& cells = m_list.Row(row);
    if (cells.mark == kMarkLocal || cells.jobNumber != 0 || RunningCount() >= Limit()) {
        return false;
    }
    if (m_jobs.empty()) {
        return true;
    }
    const std::string target = TargetOf(row);
    return std::none_of(m_jobs.begin(), m_jobs.end(),
                        [&target](const Running& r) { return r.target == target; });
}

int RecordScheduler::RecordRow(int row) {
    if (row < 0 || row >= m_list.RowCount() || m_stoppedAll) {
        return 0;
    }
    const std::string& name = m_list.Row(row).cells[kColFile];
    const std::string& address = m_list.Row(row).cells[kColOriginalFile];
    if (IsSearchRow(name)) {
        m_opener.OpenUrl(SearchUrl(address));
        return 0;
    }
    if (IsLinkRow(name)) {
        if (IsWebAddress(address)) {
            m_opener.OpenUrl(address);
        }
        return 0;
    }
    return Startable(row) ? StartJob(row, 0, true) : 0;
}

int RecordScheduler::RecordScheduledRow(int row, uint32_t maxSeconds) {
    if (row < 0 || row >= m_list.RowCount() || m_stoppedAll) {
        return 0;
    }
    // A plan records; it does not open a browser at its hour.
    const std::string& name = m_list.Row(row).cells[kColFile];
    if (IsSearchRow(name) || IsLinkRow(name) || !Startable(row)) {
        return 0;
    }
    return StartJob(row, maxSeconds, false);
}

int RecordScheduler::StartJob(int row, uint32_t maxSeconds, bool followOn) {
    const auto& cells = m_list.Row(row);
    Running running;
    running.number = m_nextNumber;
    if (m_prompts) {
        const std::string& name = cells.cells[kColFile];
        running.prompt = m_prompts(name.empty() ? cells.cells[kColOriginalFile] : name);
    }
    running.target = TargetOf(row);
    running.followOn = followOn;
    // An empty ns cell: the job falls back on the settings' player agent.
    CmmsThread::Item item{cells.cells[kColOriginalFile], cells.cells[kColFile], cells.cells[kColNs],
                          m_list.UserName(), m_list.Password()};
    if (m_streamsLookup) {
        item.streams = m_streamsLookup(item.address);
    }
    // The job keeps its own copy of the settings: the plan's duration
    // applies to it alone.
    AppSettings settings = m_settings;
    if (maxSeconds > 0) {
        settings.m_timeLimitOn = true;
        settings.m_maxTimeSeconds =
            static_cast<int>(std::min<uint32_t>(maxSeconds, static_cast<uint32_t>(INT32_MAX)));
    }
    running.job = std::make_unique<CmmsThread>(&m_sink, running.number, settings, std::move(item),
                                               running.prompt.get(), m_profile);
    // The row carries the number before the first notice can be handled:
    // notices reach HandleNotice on this thread, after this call.
    m_list.SetJobNumber(row, running.number);
    if (!running.job->Start()) {
        m_list.SetJobNumber(row, 0);
        return 0;
    }
    m_jobs.push_back(std::move(running));
    m_nextNumber = NextJobNumber(m_nextNumber);
    if (m_captureOff) {
        m_captureOff();
    }
    Changed();
    return 1;
}

void RecordScheduler::RecordStart() {
    int row = m_list.FirstSelectedRow();
    if (row == RecordList::kNoSelection || RecordRow(row) == 0) {
        return;
    }
    // Rows start in list order; file rows appear only with later notices,
    // so the indices hold while the slots fill.
    while (RunningCount() < Limit()) {
        const int next = NextUnprocessed(row + 1);
        if (next < 0 || RecordRow(next) == 0) {
            return;
        }
        row = next;
    }
}

// A row that was just started still has an empty Record cell (its first
// notice is yet to come): its job number tells it is taken.
int RecordScheduler::NextUnprocessed(int from) const {
    for (int i = std::max(from, 0); i < m_list.RowCount(); ++i) {
        const auto& next = m_list.Row(i);
        if (!next.cells[kColRecord].empty() || next.mark == kMarkLocal || next.jobNumber != 0 ||
            IsSearchRow(next.cells[kColFile]) || IsLinkRow(next.cells[kColFile])) {
            continue;
        }
        if (!m_jobs.empty()) {
            const std::string target = TargetOf(i);
            if (std::any_of(m_jobs.begin(), m_jobs.end(),
                            [&target](const Running& r) { return r.target == target; })) {
                continue;
            }
        }
        return i;
    }
    return -1;
}

void RecordScheduler::RecordNextFrom(int row) {
    const int next = NextUnprocessed(row);
    if (next >= 0) {
        RecordRow(next);
    }
}

void RecordScheduler::RecordStop() {
    for (Running& running : m_jobs) {
        running.userStopped = true;
        // A job waiting on a question would not see its stop until answered.
        if (running.prompt) {
            running.prompt->Cancel();
        }
        running.job->Stop();
    }
    Changed();
}

bool RecordScheduler::StopRow(int row) {
    const Running* found = FindRowJob(row);
    if (found == nullptr) {
        return false;
    }
    Running& running = *FindJob(found->number);
    running.userStopped = true;
    running.followOn = false;
    if (running.prompt) {
        running.prompt->Cancel();
    }
    running.job->Stop();
    Changed();
    return true;
}

void RecordScheduler::HandleNotice(int code, uint16_t jobNumber) {
    if (m_stoppedAll || jobNumber == 0) {
        return;
    }
    Running* running = FindJob(jobNumber);
    if (running == nullptr) {
        return;
    }
    const CmmsThread& job = *running->job;
    const int row = m_list.FindRowByJobNumber(jobNumber);
    if (code == JobSink::kFinished) {
        // The job is freed even when its row is gone, so that it does not
        // hold the list busy.
        if (row >= 0) {
            ApplyFinish(row, job, running->userStopped);
        }
        ForgetMissingFiles(*running);
        const bool goOn = running->followOn && !running->userStopped && !job.GaveUp() && row >= 0;
        FreeJob(jobNumber);
        Changed();
        if (goOn) {
            RecordNextFrom(row + 1);
        }
        return;
    }
    if (row < 0) {
        return;
    }
    switch (code) {
        case JobSink::kConnecting:
            m_list.SetCellText(row, kColRecord, m_texts.connecting);
            break;
        case JobSink::kHeader:
        case JobSink::kSkipped:
        case JobSink::kNewFile:
            ApplyPath(row, code, *running);
            break;
        case JobSink::kProgress:
            m_list.SetCellText(row, kColRecord, ProgressText(job.PositionMs(), job.Progress()));
            m_list.SetCellText(row, kColSize, RecordedSizeText(job.BytesWritten()));
            break;
        case JobSink::kReconnecting:
            m_list.SetCellText(row, kColRecord, ReconnectText(job.ReconnectCount()));
            break;
        case JobSink::kCredentials:
            m_list.SetCredentials(job.User(), job.Password());
            break;
        case JobSink::kUrlFound:
            m_list.InsertItemAt(row + 1, job.FoundAddress(), "");
            break;
        case JobSink::kQuitAll:
            RecordStop();
            break;
        default:
            break;
    }
}

// The notices that name a file: the recording's file (its row shows it), a
// file passed over, and a further file after a change of layout. Each is
// listed as a local row just below the recorded row, once.
void RecordScheduler::ApplyPath(int row, int code, Running& running) {
    const CmmsThread& job = *running.job;
    const std::string path = AbsolutePath(job.OutputPath());
    if (code == JobSink::kHeader) {
        m_list.SetCellText(row, kColRecord, m_texts.receivedHead);
        m_list.SetCellText(row, kColRecordingFile, path);
        m_list.SetCellText(row, kColTime, DurationText(job.DurationMs() / 1000));
    }
    if (!path.empty()) {
        const int rows = m_list.RowCount();
        m_list.InsertItemAt(row + 1, path, "");
        if (m_list.RowCount() > rows) {
            running.listedFiles.push_back(path);
        }
    }
}

// A job names its file before it knows there is a stream; when the
// recording fails or turns out to be no media, the job takes the file away
// again, and the row listed for it goes too.
// The row of a file that is still there shows its final size (it was
// listed when the file was still empty).
void RecordScheduler::ForgetMissingFiles(const Running& running) {
    for (const std::string& path : running.listedFiles) {
        std::error_code error;
        if (!std::filesystem::exists(path, error) && !error) {
            m_list.RemoveItem(path);
        } else if (const int row = m_list.FindAddress(path); row >= 0) {
            m_list.FillSizeFromFile(row, path);
        }
    }
}

std::string RecordScheduler::ReconnectText(uint32_t count) const {
    const std::string format = OneNumberFormat(m_texts.reconnecting)
                                   ? m_texts.reconnecting
                                   : RecordStatusTexts{}.reconnecting;
    return FormatText(format.c_str(), static_cast<int>(std::min<uint32_t>(count, INT32_MAX)));
}

void RecordScheduler::ApplyFinish(int row, const CmmsThread& job, bool userStopped) {
    // A recording the user stopped reads "Cancelled", even when the stop
    // cut a connection short and the engine called that an error.
    userStopped = userStopped && job.Stopped();
    if (job.Error() && !userStopped) {
        const std::string text = job.ErrorText();
        // An empty Record cell would make the row look unprocessed.
        m_list.SetCellText(row, kColRecord, text.empty() ? m_texts.error : text);
        m_list.SetCellText(row, kColSize, m_texts.error);
        m_list.SetCellText(row, kColRecordingFile, "");
    } else if (job.Stopped()) {
        m_list.SetCellText(row, kColRecord, m_texts.cancelled);
    } else {
        m_list.SetCellText(row, kColRecordingFile, AbsolutePath(job.OutputPath()));
        m_list.SetCellText(row, kColRecord, m_texts.completed);
        m_list.SetMark(row, kMarkRecorded);
    }
    m_list.SetJobNumber(row, 0);
}

void RecordScheduler::FreeJob(uint16_t number) {
    const auto found = std::find_if(m_jobs.begin(), m_jobs.end(),
                                    [number](const Running& r) { return r.number == number; });
    if (found == m_jobs.end()) {
        return;
    }
    // kFinished is the job's last notice; its thread is ending.
    found->job->Join();
    m_jobs.erase(found);
}

void RecordScheduler::StopAll() {
    if (m_stoppedAll) {
        return;
    }
    m_stoppedAll = true;
    const bool had = Recording();
    for (Running& running : m_jobs) {
        if (running.prompt) {
            running.prompt->Cancel();
        }
        running.job->Stop();
    }
    for (Running& running : m_jobs) {
        running.job->Join();
        const int row = m_list.FindRowByJobNumber(running.number);
        if (row >= 0) {
            ApplyFinish(row, *running.job, running.userStopped);
        }
        ForgetMissingFiles(running);
    }
    m_jobs.clear();
    if (had) {
        Changed();
    }
}

}  // namespace tapewell
