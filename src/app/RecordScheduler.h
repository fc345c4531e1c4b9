#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/JobPrompt.h"
#include "settings/AppSettings.h"

namespace tapewell {

class CmmsThread;
class JobSink;
class ProfileStore;
class RecordList;

// Opens an address in the user's browser (the desktop program:
// QDesktopServices::openUrl). Called on the list's thread.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void OpenUrl(const std::string& url) = 0;
};

// The texts the scheduler and the address check write into the Record and
// Size cells. English here; the desktop program passes its translations.
struct RecordStatusTexts {
    std::string connecting = "Connecting";
    std::string receivedHead = "Received Head";
    std::string completed = "Completed";
    std::string cancelled = "Cancelled";
    std::string error = "Error";  // the Size cell of a failed job; a failed check
    std::string checking = "Checking";
    std::string ok = "Ok";
    // The Record cell while a broken live stream waits for its nth
    // reconnect; one %d, the try's number.
    std::string reconnecting = "Reconnecting (%d)";
};

// The record list's recording: up to "Concurrent Recordings" rows at once
// are recorded, each by a job (CmmsThread) on its own thread; when a job
// ends, the next unprocessed network row after its row takes its place,
// unless the user stopped it or the job gave up. A row is recorded by one
// job at a time, and two jobs never write the same file: a row whose file
// a running job writes waits.
//
// Threads: every call comes from the list's thread. Jobs report to the
// JobSink given here on their worker threads; the sink hands (code, job
// number) over to the list's thread, which calls HandleNotice. Nothing here
// touches the list from a worker.
class RecordScheduler {
public:
    // One prompt per job, made when the job starts and kept until it is
    // freed. The desktop program's shows dialogs; tests script the answers.
    // It is given the row's name (its address when it has none), so that a
    // question can say which recording it is about.
    using PromptFactory = std::function<std::unique_ptr<JobPrompt>(const std::string& rowName)>;

    RecordScheduler(RecordList& list, const AppSettings& settings, JobSink& sink,
                    PromptFactory prompts, UrlOpener& opener, RecordStatusTexts texts = {});
    // StopAll.
    ~RecordScheduler();
    RecordScheduler(const RecordScheduler&) = delete;
    RecordScheduler& operator=(const RecordScheduler&) = delete;

    // Called when a recording starts (network URL capture goes off), and
    // whenever Recording() may have changed (the Record and Record Stop
    // buttons follow it).
    void SetCaptureOff(std::function<void()> captureOff);
    void SetButtonsChanged(std::function<void()> changed);
    // Where the jobs look up and keep the credentials of a site ("save?" in
    // the credentials question); none by default. Must outlive the jobs.
    void SetProfileStore(ProfileStore* profile);
    // Which streams of an address a job records (the text of
    // CmmsThread::Item::streams), asked when its row starts; every stream
    // when none is set.
    void SetStreamsLookup(std::function<std::string(const std::string& address)> lookup);

    // 1 when a job was started for the row. A "<G>"/"[G]" row opens a web
    // search for its address and a "<E>"/"[E]" row opens its address (only
    // http:// and https://) instead; a local row, a row being recorded or
    // whose file is being written, every slot taken or a row out of range
    // start nothing.
    int RecordRow(int row);
    // "Record Start": the first selected row, then the free slots filled
    // with the unprocessed rows after it (as RecordNextFrom picks them).
    void RecordStart();
    // RecordRow of the first row from `row` on whose Record cell is empty,
    // that is a network row and is not being recorded. "<G>" and "<E>" rows
    // are passed over: a browser does not open unasked when a recording
    // ends.
    void RecordNextFrom(int row);
    // A planned recording: starts the row when a slot is free, whatever
    // else runs. With maxSeconds > 0 the job ends (completed) after that
    // much stream time. No next row follows its job. 1 when started; 0 for
    // no free slot, a local, search or link row, a row being recorded, or a
    // row out of range.
    int RecordScheduledRow(int row, uint32_t maxSeconds);
    // "Record Stop": stops every running job; a question a job is waiting
    // on gets its default answer. The jobs then finish with code 3.
    void RecordStop();
    // Stops the row's job only (its question answered with the default);
    // the row ends "Cancelled" and no next row takes its slot. false when
    // the row has no job.
    bool StopRow(int row);
    // A job's notice, on the list's thread. Notices of jobs that are gone,
    // or whose row is gone, are ignored.
    void HandleNotice(int code, uint16_t jobNumber);

    // Whether a job is running: Record is enabled when not, Record Stop when so.
    bool Recording() const;
    int RunningCount() const;
    bool RowRecording(int row) const;

    // At exit: every job is stopped (its pending question answered with the
    // default), joined and its final notice applied to its row, so that the
    // list saved afterwards shows how each recording ended. Notices that
    // arrive later through the sink are ignored, and no job starts after it.
    void StopAll();

    // The web search a "<G>" row opens for address: one %s in the query,
    // filled with the address percent-encoded.
    static std::string SearchUrl(const std::string& address);
    // The job number after `number`: 1 to 65535, then 1 again (never 0).
    static uint16_t NextJobNumber(uint16_t number);

private:
    // A running job and the prompt it asks through; the job goes first, as
    // it holds the prompt.
    struct Running {
        uint16_t number = 0;
        std::unique_ptr<JobPrompt> prompt;
        std::unique_ptr<CmmsThread> job;
        // File rows this job added below its row.
        std::vector<std::string> listedFiles;
        // The file the row's name and address lead to: no second job may
        // write it while this one runs.
        std::string target;
        bool userStopped = false;  // Record Stop, StopRow or "Quit"
        bool followOn = true;      // its end starts the next row
    };
    Running* FindJob(uint16_t number);
    const Running* FindRowJob(int row) const;
    int Limit() const;
    bool Startable(int row) const;
    std::string TargetOf(int row) const;
    int NextUnprocessed(int from) const;
    int StartJob(int row, uint32_t maxSeconds, bool followOn);
    void ApplyPath(int row, int code, Running& running);
    void ApplyFinish(int row, const CmmsThread& job, bool userStopped);
    std::string ReconnectText(uint32_t count) const;
    void ForgetMissingFiles(const Running& running);
    void FreeJob(uint16_t number);
    void Changed();

    RecordList& m_list;
    const AppSettings& m_settings;
    JobSink& m_sink;
    PromptFactory m_prompts;
    UrlOpener& m_opener;
    RecordStatusTexts m_texts;
    ProfileStore* m_profile = nullptr;
    std::function<std::string(const std::string&)> m_streamsLookup;
    std::function<void()> m_captureOff;
    std::function<void()> m_buttonsChanged;
    std::vector<Running> m_jobs;  // running; a job is freed when its end is applied
    uint16_t m_nextNumber = 1;
    bool m_stoppedAll = false;
};

}  // namespace tapewell
