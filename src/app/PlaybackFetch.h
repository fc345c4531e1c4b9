#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "common/ErrorOr.h"
#include "common/FileLock.h"
#include "engine/JobPrompt.h"
#include "recording/JobSink.h"
#include "settings/AppSettings.h"

namespace tapewell {

class CmmsThread;
class GrowingFileFeed;
class ProfileStore;

// Plays a stream that GStreamer cannot read by recording it: a hidden
// recording job writes it into a cache folder of its own,
// PlaybackCacheRoot()/play-XXXXXX (mode 0700, locked while in use), with
// no time or size limit and no file questions; the player reads the
// growing file through the feed. The first bytes written open the feed and
// the job's end finishes it; a job that fails before the header is an open
// that failed, with the job's text. A job that goes on to a second output
// (the next entry of a remote playlist, a change of layout) finishes the
// feed there and is stopped: one stream plays.
//
// The first Start of a process removes the play-* folders that no running
// instance holds (left by a crash); a locked one stays.
//
// Threads: the owner makes it, starts, polls and stops it on one thread;
// the job runs on its own and only sets what Poll reads. A credentials
// question of the job goes to the prompt given here, on the job's thread.
class PlaybackFetch final : private JobSink {
public:
    struct Item {
        std::string address;
        // The current pair; it goes to the server as a recording's would.
        std::string user;
        std::string password;
    };

    enum class State {
        kFetching,  // waiting for the stream header
        kReady,     // the feed can be played (TakeFeed)
        kFailed,    // ErrorText says why
    };

    // prompt and profile may be null (no credentials question; no stored
    // site credentials). prompt must outlive the fetch.
    PlaybackFetch(const AppSettings& settings, Item item, JobPrompt* prompt = nullptr,
                  ProfileStore* profile = nullptr);
    // Stops, as Stop does.
    ~PlaybackFetch() override;
    PlaybackFetch(const PlaybackFetch&) = delete;
    PlaybackFetch& operator=(const PlaybackFetch&) = delete;

    // Makes the cache folder and starts the job.
    ErrorOr<void> Start();
    State Poll() const;
    // The feed once the header has come; later calls return the same one.
    std::shared_ptr<GrowingFileFeed> Feed() const;
    std::string ErrorText() const;
    // A pair the job obtained by asking, once for each time it asked: the
    // caller makes it the current pair, as for recordings.
    std::optional<JobPrompt::Credentials> TakeCredentials();
    // The job has ended (every byte it will write is in the file).
    bool JobEnded() const { return m_ended.load(); }
    // Stops and joins the job (a question it asks ends unanswered), ends the
    // feed, then removes the cache folder. Safe to call more than once.
    void Stop();
    const std::filesystem::path& Folder() const { return m_folder; }

private:
    class Prompt;
    void OnJobNotice(int code, uint16_t jobNumber) override;
    void OnOutput(bool written);
    void Fail(std::string text);

    AppSettings m_settings;
    Item m_item;
    ProfileStore* m_profile;
    std::unique_ptr<Prompt> m_prompt;
    std::filesystem::path m_folder;
    FileLock m_folderLock;
    std::unique_ptr<CmmsThread> m_job;

    mutable std::mutex m_mutex;  // guards what the job's notices set
    std::shared_ptr<GrowingFileFeed> m_feed;
    std::string m_errorText;
    std::optional<JobPrompt::Credentials> m_credentials;
    bool m_failed = false;
    std::atomic<bool> m_ended{false};
};

// $XDG_CACHE_HOME/Tapewell (~/.cache/Tapewell when unset or relative).
std::filesystem::path PlaybackCacheRoot();

// Removes every play-* folder under root that no process holds locked.
// PlaybackFetch calls it on the first Start of a process.
void RemoveStalePlaybackFolders(const std::filesystem::path& root);

}  // namespace tapewell
