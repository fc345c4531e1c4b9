#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "engine/Engine.h"
#include "engine/EngineOptions.h"

namespace tapewell {

class CredentialStore;
class DownloadWriter;
class EngineEvents;
class JobPrompt;
class OutputFile;

// The plain web client of the recording job: downloads a resource served by
// an ordinary web server into the job's output file, or, for a text reply,
// looks in the text for an "mms://" address and hands it back through
// OnUrlFound. Built on libcurl's easy interface; the request is the one a
// desktop browser of the players' days sent (agent, accept types,
// "Accept-Encoding: gzip, deflate", GET over HTTP/1.0, the address as a
// form-encoded referrer, no cache). Compressed bodies are decoded: a media
// file written as delivered would be corrupt.
//
// Threads: Record runs on the recording job's worker thread, which also
// receives the events and the credentials question. Stop() may be called
// from any thread; it ends a running transfer within about a second, even
// one that receives nothing.
class CWebFetcher final : public Engine {
public:
    // Results of one fetch (LastResult).
    enum Result {
        kDownloaded = 0,     // bytes went to the file
        kSessionFailed = 1,  // "InternetOpen Error"
        kConnectFailed = 2,  // "connect error"
        kRequestFailed = 3,  // "request error"
        kNotDownloaded = 4,  // a failed request, a code other than 200, or a text page
        kNothingRead = 5,    // the download route read nothing
        kStreamServer = 6,   // a Windows Media server's stream: not a download
    };

    // events may be null; prompt and credentials may be null (no question,
    // no stored credentials).
    CWebFetcher(const EngineOptions& options, EngineEvents* events, JobPrompt* prompt = nullptr,
                CredentialStore* credentials = nullptr);
    ~CWebFetcher() override;
    CWebFetcher(const CWebFetcher&) = delete;
    CWebFetcher& operator=(const CWebFetcher&) = delete;

    // Fetches the request's address into its output (none: only the first
    // block is read) with its credentials; the file already holds
    // resumeOffset bytes of the reply. The recording's bytes are the bytes
    // read, the length of a text reply too; none read is a failure. Every
    // reason is also told through OnError as it comes; the last one is the
    // result's error, or its brokeOff when bytes were read. An answer with
    // any status code counts as httpAnswered.
    EngineResult Record(const EngineRequest& request) override;

    // Any thread. Sets the abort flag, which stays set until ClearStop.
    void Stop() override { m_abort.store(true); }
    bool Aborted() const { return m_abort.load(); }
    // Worker thread, between fetches: lifts an earlier Stop.
    void ClearStop() override { m_abort.store(false); }

    // How the last fetch ended, one of Result.
    int LastResult() const { return m_result; }
    const std::string& User() const { return m_user; }
    const std::string& Password() const { return m_password; }
    // Seconds without a received byte after which a transfer fails.
    void SetIdleTimeoutSeconds(long seconds) { m_idleTimeoutSeconds = seconds; }
    // The download route stops after this many bytes (0: no limit), for
    // bodies that are only of use up to a size, such as a playlist.
    void SetMaxBytes(uint64_t bytes) { m_maxBytes = bytes; }

    // The referrer: letters, digits, ".", "-" and "_" stay, white space
    // becomes "+", every other byte "%XX".
    static std::string FormEncode(std::string_view text);

private:
    friend struct WebFetcherCallbacks;
    enum class Route { None, Refused, Text, Download };

    int Download(OutputFile* out, const std::string& address);
    // A reason the fetch failed: told at once, and kept for the result.
    void Fail(std::string text);
    bool SetRequestOptions(const std::string& address);
    int Perform();
    int Transfer();
    int TransportFailure(int curlCode);
    int RetryCredentials(const std::string& server);
    bool ApplyCredentials();
    void RaiseCredentials();
    bool BeginBody();
    bool StreamServerReply();
    size_t OnBody(const char* data, size_t size);
    bool TakeText(std::span<const uint8_t> bytes);
    bool ReadToFile(std::span<const uint8_t> bytes);
    void FinishText();
    int Finish();

    EngineOptions m_options;
    EngineEvents* m_events;
    JobPrompt* m_prompt;
    CredentialStore* m_credentials;
    std::atomic<bool> m_abort{false};
    long m_idleTimeoutSeconds;
    uint64_t m_maxBytes = 0;

    OutputFile* m_out = nullptr;
    std::string m_address;
    uint32_t m_resumeOffset = 0;
    std::string m_user;
    std::string m_password;
    uint32_t m_totalBytes = 0;
    int m_result = kNotDownloaded;
    std::string m_failure;  // the last reason given by Fail in this fetch

    void* m_curl = nullptr;  // the libcurl handle, during Download only
    void* m_headers = nullptr;
    uint64_t m_downloaded = 0;   // for the size policy, which must not wrap
    uint64_t m_replyLength = 0;  // the reply's Content-Length; 0 when it gives none

    // One transfer (a request and its reply).
    long m_code = 0;
    Route m_route = Route::None;
    bool m_endedByUs = false;
    bool m_inCredentialRetry = false;
    bool m_credentialsRaised = false;
    bool m_textUndecided = false;
    bool m_writeFailed = false;                // the file refused bytes: not a download
    bool m_streamServer = false;               // a Windows Media server answered: nothing saved
    std::unique_ptr<DownloadWriter> m_writer;  // the download route's way into m_out
    std::string m_text;
};

}  // namespace tapewell
