#include "recording/CmmsThread.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "common/Limits.h"
#include "common/OutputFile.h"
#include "recording/JobSink.h"

namespace tapewell {
namespace {

constexpr std::chrono::seconds kMaxReconnectWait{60};

// The answers when the owner gives no prompt: continue a partial file,
// never overwrite, no credentials.
class DefaultPrompt final : public JobPrompt {
public:
    std::optional<Credentials> AskCredentials(const std::string&, const std::string&,
                                              const std::string&) override {
        return std::nullopt;
    }
};

}  // namespace

CmmsThread::CmmsThread(JobSink* owner, uint16_t jobNumber, const AppSettings& settings, Item item,
                       JobPrompt* prompt, ProfileStore* profile)
    : m_owner(owner),
      m_jobNumber(jobNumber),
      m_settings(settings),
      m_prompt(prompt),
      m_address(std::move(item.address)),
      m_name(std::move(item.name)),
      m_playerAgent(item.playerAgent.empty() ? settings.m_playerAgent
                                             : std::move(item.playerAgent)),
      m_streams(std::move(item.streams)),
      m_credentials(profile),
      m_mms(ToEngineOptions(settings), this),
      m_http(ToEngineOptions(settings), this, prompt, &m_credentials),
      m_web(ToEngineOptions(settings), this, prompt, &m_credentials),
      m_user(std::move(item.user)),
      m_password(std::move(item.password)) {
    if (m_prompt == nullptr) {
        m_defaultPrompt = std::make_unique<DefaultPrompt>();
        m_prompt = m_defaultPrompt.get();
    }
    m_http.SetMessageCallback([this](MessageLevel level, const std::string& text) {
        if (level != MessageLevel::Progress) {
            std::lock_guard lock(m_textLock);
            m_lastMessage = text;
        }
    });
}

CmmsThread::~CmmsThread() {
    Join();
}

bool CmmsThread::Start() {
    if (m_thread.joinable()) {
        return false;
    }
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CmmsThread::Join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CmmsThread::Stop() {
    m_stop.store(true);
    m_mms.Stop();
    m_http.Stop();
    m_web.Stop();
    // Taken once so that a waiter that has just found no stop is in its
    // wait before the wake comes.
    { std::lock_guard lock(m_waitLock); }
    m_waitWake.notify_all();
}

// The first reconnect waits 1 s, each further one in a row twice as long
// as the one before, up to kMaxReconnectWait: a server that is only
// restarting is back soon, one that is gone is not asked every second.
bool CmmsThread::WaitBeforeReconnect(uint32_t attempt) {
    const uint32_t doublings = std::min<uint32_t>(attempt - 1, 6);  // 64 s: past the maximum
    const auto wait = std::min(kMaxReconnectWait, std::chrono::seconds(int64_t{1} << doublings));
    std::unique_lock lock(m_waitLock);
    return !m_waitWake.wait_for(lock, wait, [this] { return m_stop.load(); });
}

void CmmsThread::SetIdleTimeoutMs(int ms) {
    m_mms.SetIdleTimeoutMs(ms);
    m_http.SetTimeouts(limits::kConnectTimeoutMs, ms);
    m_web.SetIdleTimeoutSeconds(std::max(1, ms / 1000));
}

void CmmsThread::Run() {
    m_giveUp.store(false);
    m_playlistsRecorded = 0;
    RecordSource(m_address, m_name);
    // The engines' own end-of-stream events are not the job's end: the
    // owner learns of the end here, once, after every value is final.
    Notify(JobSink::kFinished);
}

void CmmsThread::ClearStop() {
    m_stop.store(false);
    m_mms.ClearStop();
    m_http.ClearStop();
    m_web.ClearStop();
}

bool CmmsThread::ProbeUrl(const std::string& address, const std::string& user,
                          const std::string& password) {
    m_giveUp.store(false);
    ClearError();
    m_bytesWritten.store(0);
    {
        std::lock_guard lock(m_textLock);
        m_user = user;
        m_password = password;
    }
    return TryEngines(nullptr, address, 0, 0);
}

std::atomic<bool>& CmmsThread::PassAll() {
    static std::atomic<bool> passAll{false};
    return passAll;
}

void CmmsThread::Notify(int code) {
    if (m_owner != nullptr) {
        m_owner->OnJobNotice(code, m_jobNumber);
    }
}

void CmmsThread::SetError(const std::string& text) {
    {
        std::lock_guard lock(m_textLock);
        m_errorText = text.substr(0, limits::kJobErrorTextBytes - 1);
    }
    m_error.store(true);
}

void CmmsThread::ClearError() {
    std::lock_guard lock(m_textLock);
    m_errorText.clear();
    m_error.store(false);
}

void CmmsThread::SetOutputPath(const std::filesystem::path& path) {
    std::lock_guard lock(m_textLock);
    m_outputPath = path;
}

std::filesystem::path CmmsThread::OutputPath() const {
    std::lock_guard lock(m_textLock);
    return m_outputPath;
}

std::string CmmsThread::ErrorText() const {
    std::lock_guard lock(m_textLock);
    return m_errorText;
}

std::string CmmsThread::FoundAddress() const {
    std::lock_guard lock(m_textLock);
    return m_foundAddress;
}

std::string CmmsThread::User() const {
    std::lock_guard lock(m_textLock);
    return m_user;
}

std::string CmmsThread::Password() const {
    std::lock_guard lock(m_textLock);
    return m_password;
}

std::string CmmsThread::LastMessage() const {
    std::lock_guard lock(m_textLock);
    return m_lastMessage;
}

void CmmsThread::OnStatus(const std::string&, int) {
    Notify(JobSink::kConnecting);
}

void CmmsThread::OnStreamStart(const std::string&, uint32_t durationMs) {
    if (m_continuing) {
        return;  // the same file goes on: the owner knows its header
    }
    m_durationMs.store(durationMs);
    Notify(JobSink::kHeader);
}

void CmmsThread::OnProgress(uint32_t bytesWritten, uint32_t progress, uint32_t positionMs) {
    // Media flow again: a later break starts its count of tries afresh.
    m_reconnects.store(0);
    m_bytesWritten.store(bytesWritten);
    m_progress.store(progress);
    m_positionMs.store(positionMs);
    Notify(JobSink::kProgress);
}

void CmmsThread::OnStreamEnd(uint32_t) {}

void CmmsThread::OnCredentials(const std::string& user, const std::string& password) {
    {
        std::lock_guard lock(m_textLock);
        m_user = user;
        m_password = password;
    }
    Notify(JobSink::kCredentials);
}

void CmmsThread::OnAuthCancelled() {
    m_giveUp.store(true);
}

void CmmsThread::OnUrlFound(const std::string& address) {
    ++m_urlsFound;
    {
        std::lock_guard lock(m_textLock);
        m_foundAddress = address;
    }
    Notify(JobSink::kUrlFound);
}

}  // namespace tapewell
