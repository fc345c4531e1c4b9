#include "http/CWebFetcher.h"

#include <curl/curl.h>

#include <array>
#include <cstring>
#include <memory>

#include "common/Limits.h"
#include "common/OutputFile.h"
#include "common/TextCodec.h"
#include "common/UrlParts.h"
#include "engine/CredentialStore.h"
#include "engine/EngineEvents.h"
#include "engine/JobPrompt.h"
#include "http/DownloadWriter.h"
#include "http/StreamRequest.h"

namespace tapewell {

namespace {

constexpr const char* kAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; .NET CLR 1.0.3705)";
constexpr const char* kAccept =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/vnd.ms-powerpoint, application/vnd.ms-excel, application/msword, */*";
constexpr const char* kAcceptEncoding = "gzip, deflate";
constexpr size_t kMiB = 1'048'576;

// The first 16 bytes of an ASF file: the Header object's GUID
// 75B22630-668E-11CF-A6D9-00AA0062CE6C as stored.
constexpr std::array<uint8_t, 16> kAsfHeaderGuid = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                    0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

// What the job is told when a Windows Media server answered the plain
// request: the HTTP streaming engine records that address instead.
constexpr const char* kStreamServerError =
    "Windows Media server: a stream, not a download (recorded by HTTP streaming)";

// How long a transfer waits for the network before it looks at the stop flag.
constexpr int kStopPollMs = 100;

EngineEvents& NoEvents() {
    static EngineEvents none;
    return none;
}

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// The address without its "user:password@" part: credentials travel only
// through the fetcher's own options, so that the address's pair replaces
// the job's only when both are given.
std::string AddressWithoutCredentials(const std::string& address) {
    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, address.c_str(), 0) != CURLUE_OK) {
        return address;
    }
    curl_url_set(url.get(), CURLUPART_USER, nullptr, 0);
    curl_url_set(url.get(), CURLUPART_PASSWORD, nullptr, 0);
    char* text = nullptr;
    if (curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK || text == nullptr) {
        return address;
    }
    std::string result(text);
    curl_free(text);
    return result;
}

}  // namespace

// libcurl's C callbacks, which reach the fetcher's private parts.
struct WebFetcherCallbacks {
    static size_t Write(char* data, size_t size, size_t count, void* user) {
        auto* fetcher = static_cast<CWebFetcher*>(user);
        return fetcher->OnBody(data, size * count);
    }
    // Called by libcurl at least about once a second, also while a stalled
    // transfer waits: a stop from another thread ends the transfer here.
    static int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<CWebFetcher*>(user)->Aborted() ? 1 : 0;
    }
};

CWebFetcher::CWebFetcher(const EngineOptions& options, EngineEvents* events, JobPrompt* prompt,
                         CredentialStore* credentials)
    : m_options(options),
      m_events(events != nullptr ? events : &NoEvents()),
      m_prompt(prompt),
      m_credentials(credentials),
      m_idleTimeoutSeconds(limits::kWebIdleTimeoutSeconds) {}

CWebFetcher::~CWebFetcher() = default;

std::string CWebFetcher::FormEncode(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '.' || c == '-' || c == '_') {
            out.push_back(ch);
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f') {
            out.push_back('+');
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

EngineResult CWebFetcher::Record(const EngineRequest& request) {
    m_address = request.address;
    m_resumeOffset = static_cast<uint32_t>(std::min<uint64_t>(request.resumeOffset, UINT32_MAX));
    m_user = request.user;
    m_password = request.password;
    m_totalBytes = 0;
    m_code = 0;
    m_failure.clear();
    m_result = Download(request.output, request.address);
    if (m_result == kStreamServer) {
        m_totalBytes = 0;  // the first bytes were held back, never written
    }
    EngineResult result;
    result.httpAnswered = m_code != 0;
    if (m_totalBytes == 0) {
        result.recording = Error::FromMessage(m_failure);
    } else {
        result.recording = EngineRecording{m_totalBytes, m_failure};
    }
    return result;
}

void CWebFetcher::Fail(std::string text) {
    m_events->OnError(text);
    m_failure = std::move(text);
}

namespace {
// Perform's answer when a reply code arrived (the other answers are result
// codes of a fetch that ends there).
constexpr int kReplied = -1;
}  // namespace

int CWebFetcher::Download(OutputFile* out, const std::string& address) {
    m_out = out;
    m_downloaded = 0;
    m_replyLength = 0;
    m_inCredentialRetry = false;
    m_credentialsRaised = false;
    m_writeFailed = false;
    m_streamServer = false;
    // The job's resume offset: the file already holds that much of the
    // reply, which is downloaded again from its start (a server need not
    // take ranges) and dropped up to there.
    m_writer = out != nullptr ? std::make_unique<DownloadWriter>(*out, m_resumeOffset) : nullptr;
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        Fail("InternetOpen Error");
        return kSessionFailed;
    }
    // No cache lies between us and the server, so no "Pragma" either (a
    // Windows Media server takes any "Pragma" for a player's request).
    std::unique_ptr<curl_slist, SlistDeleter> headers(curl_slist_append(nullptr, kAccept));
    if (!headers) {
        Fail("InternetOpen Error");
        return kSessionFailed;
    }
    m_curl = curl.get();
    m_headers = headers.get();
    const std::optional<UrlParts> parts = SplitUrl(address);
    const std::string server = parts ? parts->host : std::string();
    m_events->OnStatus(address, 80);
    if (parts && !parts->user.empty() && !parts->password.empty()) {
        m_user = parts->user;
        m_password = parts->password;
    }
    int result = kNotDownloaded;
    if (!SetRequestOptions(AddressWithoutCredentials(address)) || !ApplyCredentials()) {
        Fail("request error");
        result = kRequestFailed;
    } else if ((result = Perform()) == kReplied) {
        if (m_code == 401) {
            result = RetryCredentials(server);
        }
        result = result == kReplied ? Finish() : result;
    }
    m_curl = nullptr;
    m_headers = nullptr;
    m_writer.reset();
    return result;
}

bool CWebFetcher::SetRequestOptions(const std::string& address) {
    CURL* curl = static_cast<CURL*>(m_curl);
    const std::string referrer = FormEncode(m_address);
    const std::string proxy = ChooseProxy(m_options);
    bool ok = curl_easy_setopt(curl, CURLOPT_URL, address.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
    // Redirects are followed, as the platform's web client did by itself.
    ok = ok && curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_MAXREDIRS, limits::kWebMaxRedirects) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_USERAGENT, kAgent) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_HTTPHEADER, m_headers) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, kAcceptEncoding) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_REFERER, referrer.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits::kWebConnectTimeoutMs) ==
                   CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_BUFFERSIZE,
                                static_cast<long>(limits::kWebReadBytes)) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    // An empty proxy text also keeps libcurl from taking one from the
    // environment: the settings alone decide.
    ok = ok && curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, m_idleTimeoutSeconds) == CURLE_OK;
    ok = ok &&
         curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WebFetcherCallbacks::Write) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_WRITEDATA, this) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &WebFetcherCallbacks::Progress) ==
                   CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this) == CURLE_OK;
    return ok;
}

bool CWebFetcher::ApplyCredentials() {
    CURL* curl = static_cast<CURL*>(m_curl);
    const bool any = !m_user.empty() || !m_password.empty();
    return curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC) == CURLE_OK &&
           curl_easy_setopt(curl, CURLOPT_USERNAME, any ? m_user.c_str() : nullptr) == CURLE_OK &&
           curl_easy_setopt(curl, CURLOPT_PASSWORD, any ? m_password.c_str() : nullptr) == CURLE_OK;
}

// Sends the request and reads the reply; the body goes through OnBody as
// it arrives. kReplied when a reply code came, else the fetch's result.
int CWebFetcher::Perform() {
    m_code = 0;
    m_route = Route::None;
    m_endedByUs = false;
    m_textUndecided = false;
    m_text.clear();
    const CURLcode rc = static_cast<CURLcode>(Transfer());
    if (m_route == Route::None) {
        curl_easy_getinfo(static_cast<CURL*>(m_curl), CURLINFO_RESPONSE_CODE, &m_code);
    }
    if (rc == CURLE_OK || m_endedByUs) {
        if (m_code == 0) {
            Fail("request error");
            return kNotDownloaded;
        }
        return kReplied;
    }
    if (rc == CURLE_ABORTED_BY_CALLBACK) {
        return m_code != 0 ? kReplied : kNotDownloaded;
    }
    if (m_route != Route::None) {
        // A read failed; what was read before stays.
        if (m_route == Route::Download) {
            Fail("read error");
        }
        return kReplied;
    }
    // The transfer broke off before any body: a code read from a header that
    // never ended (or whose peer went away inside it) says nothing.
    return TransportFailure(rc);
}

// Runs the transfer in short waits so that a stop is seen within a fraction
// of a second even while the server sends nothing (libcurl's own progress
// calls come only about once a second then).
int CWebFetcher::Transfer() {
    CURL* easy = static_cast<CURL*>(m_curl);
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), easy) != CURLM_OK) {
        return CURLE_FAILED_INIT;
    }
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        bool done = false;
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
            if (message->msg == CURLMSG_DONE) {
                result = message->data.result;
                done = true;
            }
        }
        if (done || running == 0) {
            break;
        }
        if (m_abort.load()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        curl_multi_poll(multi.get(), nullptr, 0, kStopPollMs, nullptr);
    }
    curl_multi_remove_handle(multi.get(), easy);
    return result;
}

int CWebFetcher::TransportFailure(int curlCode) {
    curl_off_t connectUs = 0;
    curl_easy_getinfo(static_cast<CURL*>(m_curl), CURLINFO_CONNECT_TIME_T, &connectUs);
    switch (curlCode) {
        case CURLE_COULDNT_RESOLVE_HOST:
            // A name the resolver does not know is a typing error to fix,
            // not a server that is down.
            if (const std::optional<UrlParts> parts = SplitUrl(m_address)) {
                Fail("cannot resolve " + parts->host);
                return kConnectFailed;
            }
            Fail("connect error");
            return kConnectFailed;
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT:
            Fail("connect error");
            return kConnectFailed;
        case CURLE_OPERATION_TIMEDOUT:
            if (connectUs == 0) {
                Fail("connect error");
                return kConnectFailed;
            }
            break;
        case CURLE_URL_MALFORMAT:
        case CURLE_UNSUPPORTED_PROTOCOL:
            Fail("request error");
            return kRequestFailed;
        default:
            break;
    }
    Fail("Not Found");
    return kNotDownloaded;
}

// A 401: the credentials stored for the site, then the question for as
// long as the server refuses, up to limits::kMaxCredentialTries times.
int CWebFetcher::RetryCredentials(const std::string& server) {
    m_inCredentialRetry = true;
    if (m_credentials != nullptr) {
        if (std::optional<CredentialStore::Pair> saved = m_credentials->Load(server)) {
            m_user = std::move(saved->user);
            m_password = std::move(saved->password);
            if (!ApplyCredentials() || Perform() != kReplied) {
                return kNotDownloaded;
            }
        }
    }
    for (int tries = 0; m_code == 401 && m_prompt != nullptr && !Aborted(); ++tries) {
        // A server that refuses every pair ends the questions as a Cancel would.
        std::optional<JobPrompt::Credentials> answer;
        if (tries < limits::kMaxCredentialTries) {
            answer = m_prompt->AskCredentials(server, m_user, m_password);
        }
        if (!answer) {
            m_abort.store(true);
            m_events->OnAuthCancelled();
            break;
        }
        if (answer->save && m_credentials != nullptr) {
            m_credentials->Save(server, {answer->user, answer->password});
        }
        m_user = answer->user;
        m_password = answer->password;
        if (!ApplyCredentials() || Perform() != kReplied) {
            return kNotDownloaded;
        }
    }
    if (m_code != 401) {
        RaiseCredentials();
    }
    return kReplied;
}

void CWebFetcher::RaiseCredentials() {
    if (!m_credentialsRaised) {
        m_credentialsRaised = true;
        m_events->OnCredentials(m_user, m_password);
    }
}

// The reply code and content type are known once the body starts: a
// refused reply's body is not read at all; a text page goes to the text
// route, anything else is downloaded.
bool CWebFetcher::BeginBody() {
    CURL* curl = static_cast<CURL*>(m_curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &m_code);
    if (m_code != 200) {
        m_route = Route::Refused;
        return false;
    }
    if (m_inCredentialRetry) {
        RaiseCredentials();
    }
    if (StreamServerReply()) {
        m_streamServer = true;
        m_route = Route::Refused;
        return false;
    }
    const char* type = nullptr;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
    const std::string_view contentType =
        std::string_view(type != nullptr ? type : "").substr(0, limits::kHttpReplyValueBytes - 1);
    if (contentType.find("text") != std::string_view::npos) {
        m_route = Route::Text;
        m_textUndecided = true;
    } else {
        m_route = Route::Download;
        curl_off_t length = -1;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        m_replyLength = length > 0 ? static_cast<uint64_t>(length) : 0;
        m_events->OnStreamStart(m_address, 0);
    }
    return true;
}

// A Windows Media server answers a plain request with its stream framing
// (or only the header chunk): a "broadcast" feature, or one of its
// streaming content types. Saved, that is no file a player reads.
bool CWebFetcher::StreamServerReply() {
    CURL* curl = static_cast<CURL*>(m_curl);
    const char* type = nullptr;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
    const std::string contentType = AsciiLower(type != nullptr ? type : "");
    if (contentType.starts_with("application/x-mms-framed") ||
        contentType.starts_with("application/vnd.ms.wms-hdr.asfv1")) {
        return true;
    }
    curl_header* header = nullptr;
    for (size_t i = 0; curl_easy_header(curl, "Pragma", i, CURLH_HEADER, -1, &header) == CURLHE_OK;
         ++i) {
        const std::string value = AsciiLower(header->value != nullptr ? header->value : "");
        if (value.find("features=") != std::string::npos &&
            value.find("broadcast") != std::string::npos) {
            return true;
        }
        if (i + 1 >= header->amount) {
            break;
        }
    }
    return false;
}

size_t CWebFetcher::OnBody(const char* data, size_t size) {
    if (m_route == Route::None && !BeginBody()) {
        m_endedByUs = true;
        return 0;
    }
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(data), size);
    const bool more = m_route == Route::Text       ? TakeText(bytes)
                      : m_route == Route::Download ? ReadToFile(bytes)
                                                   : false;
    if (!more) {
        m_endedByUs = true;
        return 0;
    }
    return size;
}

bool CWebFetcher::TakeText(std::span<const uint8_t> bytes) {
    const size_t room = limits::kWebTextSearchBytes + limits::kWebTextFirstBytes - m_text.size();
    m_text.append(reinterpret_cast<const char*>(bytes.data()), std::min(room, bytes.size()));
    m_totalBytes += static_cast<uint32_t>(bytes.size());
    if (m_textUndecided && m_text.size() >= kAsfHeaderGuid.size()) {
        m_textUndecided = false;
        if (std::memcmp(m_text.data(), kAsfHeaderGuid.data(), kAsfHeaderGuid.size()) == 0) {
            // An ASF file served as text is downloaded like any other, its
            // first bytes first.
            m_route = Route::Download;
            m_events->OnStreamStart(m_address, 0);
            const std::string first = std::move(m_text);
            m_text.clear();
            m_totalBytes -= static_cast<uint32_t>(first.size());
            return ReadToFile(
                std::span(reinterpret_cast<const uint8_t*>(first.data()), first.size()));
        }
    }
    return m_totalBytes <= limits::kWebTextSearchBytes;
}

// The download route, in reads of limits::kWebReadBytes: the abort flag is
// looked at before each one.
bool CWebFetcher::ReadToFile(std::span<const uint8_t> bytes) {
    // The size limit ends a download exactly at the limit, not at the first
    // read past it: an ASF download is then cut back to its whole packets
    // by the job, and stays under the limit.
    uint64_t cap = m_maxBytes;
    if (m_options.sizeLimitOn) {
        const uint64_t limit = static_cast<uint64_t>(std::max(m_options.maxSizeMiB, 0)) * kMiB;
        cap = cap == 0 ? limit : std::min(cap, limit);
    }
    for (size_t at = 0; at < bytes.size(); at += limits::kWebReadBytes) {
        if (Aborted()) {
            return false;
        }
        size_t pieceSize = std::min(limits::kWebReadBytes, bytes.size() - at);
        const bool lastPiece =
            (cap != 0 || m_options.sizeLimitOn) && m_downloaded + pieceSize >= cap;
        if (lastPiece) {
            pieceSize = static_cast<size_t>(cap - std::min(cap, m_downloaded));
        }
        const auto piece = bytes.subspan(at, pieceSize);
        const DownloadWriter::Result written =
            m_writer ? m_writer->Write(piece) : DownloadWriter::Result::Ok;
        if (written == DownloadWriter::Result::Framed) {
            m_streamServer = true;
            return false;
        }
        if (written == DownloadWriter::Result::WriteFailed) {
            // A full disk must not look like a finished download.
            Fail("write error");
            m_writeFailed = true;
            return false;
        }
        m_downloaded += piece.size();
        m_totalBytes += static_cast<uint32_t>(piece.size());
        // A reply of known length gives the share of it read, in hundredths
        // of a percent; one without a length gives none.
        const uint64_t share =
            m_replyLength == 0
                ? 0
                : std::min<uint64_t>(m_downloaded, m_replyLength) * 10'000 / m_replyLength;
        m_events->OnProgress(m_totalBytes, static_cast<uint32_t>(share), 0);
        if (m_out == nullptr || lastPiece) {
            return false;
        }
    }
    return true;
}

void CWebFetcher::FinishText() {
    const size_t at = m_text.find("mms://");
    if (at == std::string::npos) {
        return;
    }
    const size_t quote = m_text.find('"', at);
    // Longer than any address the engines take: not an address.
    if (quote == std::string::npos || quote - at >= limits::kHttpEscapedUrlBytes) {
        return;
    }
    m_events->OnUrlFound(m_text.substr(at, quote - at));
}

int CWebFetcher::Finish() {
    if (m_code == 200 && !m_streamServer && m_route == Route::Download && m_writer) {
        const DownloadWriter::Result end = m_writer->Finish();
        m_streamServer = end == DownloadWriter::Result::Framed;
        if (end == DownloadWriter::Result::WriteFailed && !m_writeFailed) {
            Fail("write error");
            m_writeFailed = true;
        }
    }
    if (m_streamServer) {
        Fail(kStreamServerError);
        return kStreamServer;
    }
    if (m_code != 200) {
        Fail("Not Found");
        return kNotDownloaded;
    }
    if (m_route == Route::None && !BeginBody()) {
        return kNotDownloaded;
    }
    if (m_route == Route::Text) {
        FinishText();
        return kNotDownloaded;
    }
    if (m_writeFailed) {
        return kNotDownloaded;
    }
    return m_downloaded > 0 ? kDownloaded : kNothingRead;
}

}  // namespace tapewell
