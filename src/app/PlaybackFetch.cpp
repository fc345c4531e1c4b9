#include "app/PlaybackFetch.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "player/GrowingFileFeed.h"
#include "recording/CmmsThread.h"
#include "recording/SourceFlags.h"
#include "settings/UserFolders.h"

namespace tapewell {
namespace {

constexpr const char* kFolderPrefix = "play-";
// The cache file's name; the extension is the address's, ".asf" without one.
constexpr const char* kCacheName = "play";
constexpr const char* kNoStream = "no stream";

bool IsPlaylistFile(const std::filesystem::path& path) {
    return (SourceFlags(path.string()) & (kSourceAsx | kSourceWmx | kSourceWvx)) != 0;
}

}  // namespace

// The job's questions for a cache recording: credentials go to the caller's
// prompt; file questions cannot arise in a fresh folder, and are answered
// without asking if they do.
class PlaybackFetch::Prompt final : public JobPrompt {
public:
    explicit Prompt(JobPrompt* caller) : m_caller(caller) {}

    std::optional<Credentials> AskCredentials(const std::string& site, const std::string& user,
                                              const std::string& password) override {
        if (m_caller == nullptr || m_cancelled) {
            return std::nullopt;
        }
        return m_caller->AskCredentials(site, user, password);
    }
    bool AskResume(const std::filesystem::path&) override { return false; }
    ExistsChoice AskFileExists(const std::filesystem::path&) override {
        return {ExistsAnswer::Ok, false};
    }
    void Cancel() override {
        m_cancelled = true;
        if (m_caller != nullptr) {
            m_caller->Cancel();
        }
    }

private:
    JobPrompt* m_caller;
    std::atomic<bool> m_cancelled{false};
};

std::filesystem::path PlaybackCacheRoot() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    std::filesystem::path root = cache != nullptr ? std::filesystem::path(cache) : "";
    if (!root.is_absolute()) {
        root = user_folders::Home() / ".cache";
    }
    return root / "Tapewell";
}

void RemoveStalePlaybackFolders(const std::filesystem::path& root) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kFolderPrefix, 0) != 0 || !entry.is_directory(error) ||
            entry.is_symlink(error)) {
            continue;
        }
        // Taking the lock proves no instance plays from it; holding it while
        // the folder goes keeps a new one from starting to use it.
        const ErrorOr<FileLock> lock = FileLock::TryExclusive(entry.path());
        if (lock) {
            std::filesystem::remove_all(entry.path(), error);
        }
    }
}

PlaybackFetch::PlaybackFetch(const AppSettings& settings, Item item, JobPrompt* prompt,
                             ProfileStore* profile)
    : m_settings(settings),
      m_item(std::move(item)),
      m_profile(profile),
      m_prompt(std::make_unique<Prompt>(prompt)) {
    m_settings.m_timeLimitOn = false;
    m_settings.m_sizeLimitOn = false;
    m_settings.m_overwriteConfirm = false;
    m_settings.m_resumeConfirm = false;
}

PlaybackFetch::~PlaybackFetch() {
    Stop();
}

ErrorOr<void> PlaybackFetch::Start() {
    const std::filesystem::path root = PlaybackCacheRoot();
    static std::once_flag cleaned;
    std::call_once(cleaned, [&] { RemoveStalePlaybackFolders(root); });
    std::error_code error;
    std::filesystem::create_directories(root, error);
    std::string pattern = (root / (std::string(kFolderPrefix) + "XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        const int code = errno;
        return Error::FromErrno(
            code, "cannot make a playback folder in " + root.string() + ": " + std::strerror(code));
    }
    m_folder = pattern;
    ErrorOr<FileLock> lock = FileLock::Exclusive(m_folder);
    if (!lock) {
        std::filesystem::remove_all(m_folder, error);
        return lock.error();
    }
    m_folderLock = std::move(*lock);
    m_settings.m_baseDirectory = m_folder.string();
    CmmsThread::Item item{m_item.address, kCacheName, "", m_item.user, m_item.password};
    JobSink* sink = this;
    m_job = std::make_unique<CmmsThread>(sink, 0, m_settings, std::move(item), m_prompt.get(),
                                         m_profile);
    if (!m_job->Start()) {
        m_job.reset();
        Stop();
        return Error::FromMessage("cannot start the playback job");
    }
    return {};
}

void PlaybackFetch::Stop() {
    if (m_job) {
        m_prompt->Cancel();
        m_job->Stop();
        m_job->Join();
        m_job.reset();
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_feed) {
            m_feed->Finish();
        }
    }
    if (!m_folder.empty()) {
        std::error_code error;
        std::filesystem::remove_all(m_folder, error);
        m_folderLock.Release();
        m_folder.clear();
    }
}

PlaybackFetch::State PlaybackFetch::Poll() const {
    std::lock_guard lock(m_mutex);
    if (m_feed) {
        return State::kReady;
    }
    return m_failed ? State::kFailed : State::kFetching;
}

std::shared_ptr<GrowingFileFeed> PlaybackFetch::Feed() const {
    std::lock_guard lock(m_mutex);
    return m_feed;
}

std::string PlaybackFetch::ErrorText() const {
    std::lock_guard lock(m_mutex);
    return m_errorText;
}

std::optional<JobPrompt::Credentials> PlaybackFetch::TakeCredentials() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_credentials, std::nullopt);
}

void PlaybackFetch::Fail(std::string text) {
    std::lock_guard lock(m_mutex);
    if (!m_failed && !m_feed) {
        m_failed = true;
        m_errorText = text.empty() ? kNoStream : std::move(text);
    }
}

// The job's thread. An engine announces a stream before it knows there is
// one (the HTTP engine does so before its probe), so the feed opens on the
// first bytes written. A remote playlist is downloaded into the folder
// first: its file is no stream.
void PlaybackFetch::OnOutput(bool written) {
    const std::filesystem::path path = m_job->OutputPath();
    if (path.empty() || IsPlaylistFile(path)) {
        return;
    }
    std::unique_lock lock(m_mutex);
    if (m_feed) {
        if (path != m_feed->Path()) {
            m_feed->Finish();
            lock.unlock();
            m_job->Stop();
        }
        return;
    }
    if (!written || m_failed) {
        return;
    }
    lock.unlock();
    ErrorOr<std::shared_ptr<GrowingFileFeed>> feed =
        GrowingFileFeed::Open(path, GrowingFileFeed::Writer::kOwner);
    if (!feed) {
        Fail(feed.error().message);
        m_job->Stop();
        return;
    }
    lock.lock();
    m_feed = std::move(*feed);
}

void PlaybackFetch::OnJobNotice(int code, uint16_t) {
    switch (code) {
        case kHeader:
        case kNewFile:
            OnOutput(false);
            break;
        case kProgress:
            OnOutput(m_job->BytesWritten() > 0);
            break;
        case kCredentials: {
            std::lock_guard lock(m_mutex);
            m_credentials = JobPrompt::Credentials{m_job->User(), m_job->Password(), false};
            break;
        }
        case kFinished: {
            // Ended before the feed is told: a reader that sees the feed end
            // also sees the job ended.
            m_ended = true;
            std::shared_ptr<GrowingFileFeed> feed = Feed();
            if (feed) {
                feed->Finish();
            } else {
                Fail(m_job->Stopped() ? "stopped" : m_job->ErrorText());
            }
            break;
        }
        default:
            break;
    }
}

}  // namespace tapewell
