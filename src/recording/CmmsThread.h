#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "asf/RecordingContinuation.h"
#include "engine/Engine.h"
#include "engine/EngineEvents.h"
#include "engine/JobPrompt.h"
#include "http/CHttpRecorder.h"
#include "http/CWebFetcher.h"
#include "mms/MmsClient.h"
#include "recording/EngineSettings.h"
#include "settings/AppSettings.h"

namespace tapewell {

class JobSink;
class OutputFile;
class StdioOutputFile;
class ProfileStore;

// One recording job: records one record-list item from start to finish on
// a thread of its own. RecordSource works out whether the address is a
// playlist or a stream, chooses the output file under the base folder
// (asking about an existing one through the prompt), and TryEngines runs
// MmsClient, CHttpRecorder and CWebFetcher in the order the address
// selects, falling back from one to the next. A stream that breaks off
// (the connection closed or failed, a silent server, a broken frame) is
// reconnected with the engine that reached it, into the same file, up to
// AppSettings::m_reconnectTries tries in a row, waiting 1, 2, 4, ... up to
// 60 s before each (see Reconnect).
//
// Threads: Start, Stop, Join and the accessors are called by the owner
// (any one thread). Everything else (the engines, the events, the prompt
// questions and the sink's notices) runs on the job's worker thread. A
// value the owner reads for a notice is written before the notice. The
// owner joins the thread (Join, or the destructor does) before the job goes.
// ProbeUrl is the synchronous check use: it runs on the caller's thread,
// writes nothing, and the job has no sink then; ClearStop, on that thread
// too, readies the job for the next check.
class CmmsThread final : public EngineEvents {
public:
    struct Item {
        std::string address;      // "Original File"
        std::string name;         // "File": names the output file
        std::string playerAgent;  // "ns", or the settings' player agent
        std::string user;
        std::string password;
        // Which of the stream's streams are recorded: "all" or empty (every
        // one), "audio", "video", "best", or stream numbers "N,M".
        std::string streams{};
    };

    // owner may be null (nothing is notified); prompt and profile may be
    // null (the default answers of JobPrompt; no stored credentials).
    CmmsThread(JobSink* owner, uint16_t jobNumber, const AppSettings& settings, Item item,
               JobPrompt* prompt = nullptr, ProfileStore* profile = nullptr);
    ~CmmsThread() override;
    CmmsThread(const CmmsThread&) = delete;
    CmmsThread& operator=(const CmmsThread&) = delete;

    // Starts the worker; false when the thread could not be made (then
    // nothing is notified).
    bool Start();
    void Join();
    // Any thread: the job's and the engines' stop; a blocked network call
    // and the wait before a reconnect end at once. The job still finishes
    // and notifies kFinished.
    void Stop();
    // The check: true when an engine reached the stream. Clears the give-up
    // and error state first; a stop stays (see ClearStop).
    bool ProbeUrl(const std::string& address, const std::string& user, const std::string& password);
    // Between two checks, on the thread that runs them: lifts an earlier
    // Stop. Called before the next check can be stopped (before the job is
    // handed to whoever may stop it), so that a stop meant for that check
    // is not lost.
    void ClearStop();

    // The values the notices announce.
    uint16_t JobNumber() const { return m_jobNumber; }
    std::filesystem::path OutputPath() const;
    std::string ErrorText() const;
    std::string FoundAddress() const;
    std::string User() const;
    std::string Password() const;
    uint32_t DurationMs() const { return m_durationMs.load(); }
    uint32_t BytesWritten() const { return m_bytesWritten.load(); }
    uint32_t Progress() const { return m_progress.load(); }
    uint32_t PositionMs() const { return m_positionMs.load(); }
    bool Error() const { return m_error.load(); }
    bool Stopped() const { return m_stop.load(); }
    bool GaveUp() const { return m_giveUp.load(); }
    // The reconnect the job waits for or runs (1, 2, ...); 0 before the
    // first break, and again once media flow after a reconnect.
    uint32_t ReconnectCount() const { return m_reconnects.load(); }
    // The playlist reader's last syntax message.
    std::string LastMessage() const;

    // "Pass" with "All": every later job of this process skips an existing
    // file at once. Shared by all jobs; lasts until the program ends.
    static std::atomic<bool>& PassAll();

    // EngineEvents, raised by the engines on the worker thread.
    void OnStatus(const std::string& text, int number) override;
    void OnStreamStart(const std::string& address, uint32_t durationMs) override;
    void OnProgress(uint32_t bytesWritten, uint32_t progress, uint32_t positionMs) override;
    void OnStreamEnd(uint32_t bytesWritten) override;
    void OnCredentials(const std::string& user, const std::string& password) override;
    void OnAuthCancelled() override;
    void OnUrlFound(const std::string& address) override;
    // The stream changed its layout: the next file beside the current one
    // ("name(0).asf", ...), kept open until the job's recording ends; the
    // owner hears kNewFile. nullptr when no such file can be made.
    OutputFile* OnNextOutputFile() override;

    // For tests, before Start: how long the engines wait for a silent peer
    // (60 s otherwise).
    void SetIdleTimeoutMs(int ms);

    // The whole recording, as the worker runs it (public for the tests,
    // which run a job synchronously).
    void Run();

private:
    enum class Settle { Go, End };

    void Notify(int code);
    void SetError(const std::string& text);
    void ClearError();
    void SetOutputPath(const std::filesystem::path& path);

    // SourceDispatch.cpp
    void RecordSource(const std::string& address, const std::string& name);
    void RecordRemotePlaylist(const std::string& address);
    void RecordMedia(const std::string& address, const std::string& name);
    Settle SettleExistingFile(std::filesystem::path& path, std::unique_ptr<StdioOutputFile>& file,
                              uint64_t& resumeOffset, uint32_t& resumePackets);
    Settle OpenForResume(const std::filesystem::path& path, uint64_t offset,
                         std::unique_ptr<StdioOutputFile>& file);
    Settle AskAboutExistingFile(std::filesystem::path& path);
    // On failure, failure says which file could not be created and why.
    std::unique_ptr<StdioOutputFile> OpenOrAskSaveAs(std::filesystem::path& path,
                                                     std::string& failure);
    bool TryEngines(OutputFile* output, const std::string& address, uint64_t resumeOffset,
                    uint32_t resumePackets);
    void Reconnect(std::unique_ptr<StdioOutputFile>& file, const std::string& address);
    StdioOutputFile* ReopenToContinue(std::unique_ptr<StdioOutputFile>& file,
                                      std::optional<RecordingContinuation>& continuation);
    bool LimitReachedBy(const RecordingContinuation& continuation) const;
    // CmmsThread.cpp: false when a stop came first.
    bool WaitBeforeReconnect(uint32_t attempt);
    std::array<Engine*, 3> EngineOrder(const std::string& address);
    EngineResult RunEngine(Engine& engine, const EngineRequest& request);
    bool TakeEnding(const EngineResult& result);
    bool FinishFile(const std::filesystem::path& path);
    void DeleteIfTooSmall(const std::string& address, const std::filesystem::path& path);
    void CloseFurtherFiles();
    void EndStop(int code);

    // PlaylistEntries.cpp
    void RecordPlaylistFile(const std::filesystem::path& path);
    void RecordEntries(const std::vector<std::string>& addresses);

    JobSink* m_owner;
    uint16_t m_jobNumber;
    AppSettings m_settings;
    JobPrompt* m_prompt;  // the job's questions; the default answers when none was given
    std::unique_ptr<JobPrompt> m_defaultPrompt;
    std::string m_address;
    std::string m_name;
    std::string m_playerAgent;
    std::string m_streams;  // Item::streams, for every engine run

    ProfileCredentials m_credentials;
    MmsClient m_mms;
    CHttpRecorder m_http;
    CWebFetcher m_web;
    // The job itself failed while an engine ran (no next file for a change
    // of layout): that is why the run ended, whatever the engine says.
    bool m_failedInRun = false;
    // The engine that reached the stream in the last TryEngines, when it is
    // one that a break is reconnected with (MMS, HTTP streaming), and
    // whether its stream broke off (worker thread only).
    Engine* m_reachedEngine = nullptr;
    bool m_brokeOff = false;
    // An engine runs again into the file it was recording: its header is
    // not news to the owner (worker thread only).
    bool m_continuing = false;
    // Wakes the wait before a reconnect at a stop.
    std::mutex m_waitLock;
    std::condition_variable m_waitWake;

    mutable std::mutex m_textLock;  // the strings the owner reads
    std::filesystem::path m_outputPath;
    std::string m_user;
    std::string m_password;
    std::string m_errorText;
    std::string m_foundAddress;
    std::string m_lastMessage;

    std::atomic<uint32_t> m_durationMs{0};
    std::atomic<uint32_t> m_bytesWritten{0};
    std::atomic<uint32_t> m_progress{0};
    std::atomic<uint32_t> m_positionMs{0};
    std::atomic<bool> m_error{false};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_giveUp{false};
    std::atomic<uint32_t> m_reconnects{0};
    int m_playlistDepth = 0;
    uint32_t m_urlsFound = 0;  // OnUrlFound calls so far (worker thread only)
    // The playlist addresses being recorded, outermost first: one that leads
    // back to any of them is not downloaded again.
    std::vector<std::string> m_playlistChain;
    int m_playlistsRecorded = 0;  // playlists this job expanded (limits::kMaxPlaylistsPerWalk)

    // The files a stream continued into after a change of layout (worker
    // thread only), closed when the recording ends.
    std::vector<std::unique_ptr<StdioOutputFile>> m_furtherFiles;
    std::vector<std::filesystem::path> m_furtherPaths;
    // The file the recording began with: further files are named after it
    // ("name(0).asf", "name(1).asf"), not after one another.
    std::filesystem::path m_recordingPath;

    std::thread m_thread;
};

}  // namespace tapewell
