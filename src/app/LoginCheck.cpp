#include "app/LoginCheck.h"

#include <curl/curl.h>

#include <memory>

#include "common/Limits.h"
#include "common/TextFormat.h"
#include "common/UrlParts.h"
#include "engine/JobPrompt.h"
#include "settings/ProfileStore.h"

namespace tapewell {
namespace {

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

void InitCurlOnce() {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    (void)initialised;
}

// Only the status is wanted: the body is refused at its first bytes, which
// ends the transfer without reading a whole stream.
size_t RefuseBody(char*, size_t, size_t, void*) {
    return 0;
}

// One GET with these credentials; the HTTP status, or 0 when no reply came.
long Request(const std::string& url, const std::string& user, const std::string& password) {
    InitCurlOnce();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        return 0;
    }
    // Fetched from the server, never from a cache on the way.
    std::unique_ptr<curl_slist, CurlDeleter> headers(
        curl_slist_append(nullptr, "Pragma: no-cache"));
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(c, CURLOPT_USERAGENT, LoginCheck::kAgent);
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, limits::kLoginCheckConnectTimeoutMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, limits::kLoginCheckTotalTimeoutMs);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, RefuseBody);
    if (!user.empty() || !password.empty()) {
        curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(c, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.c_str());
    }
    curl_easy_perform(c);
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

std::string SiteSection(const std::string& host) {
    return "NetPassword\\" + host;
}

}  // namespace

LoginCheck::Result LoginCheck::Run(const std::string& address, const std::string& userName,
                                   const std::string& password) {
    Result result;
    const std::optional<UrlParts> parts = SplitUrl(address);
    if (!parts) {
        return result;
    }
    const bool ipv6 = parts->host.find(':') != std::string::npos;
    const std::string port = parts->port != 0 ? FormatText(":%d", parts->port) : std::string();
    const std::string url =
        FormatText(ipv6 ? "http://[%s]%s%s" : "http://%s%s%s", parts->host.c_str(), port.c_str(),
                   parts->object.empty() ? "/" : parts->object.c_str());
    result.contacted = true;
    result.userName = userName;
    result.password = password;
    result.status = Request(url, userName, password);
    if (result.status == 401) {
        result.status = LoginLoop(url, parts->host, result);
        result.credentialsChanged =
            result.status == 200 && (result.userName != userName || result.password != password);
    }
    return result;
}

long LoginCheck::LoginLoop(const std::string& url, const std::string& host, Result& result) {
    long status = 401;
    if (m_profile != nullptr) {
        const std::string user = m_profile->GetString(SiteSection(host), "User", "");
        const std::string password = m_profile->GetString(SiteSection(host), "Password", "");
        if (!user.empty() && !password.empty()) {
            result.userName = user;
            result.password = password;
            status = Request(url, user, password);
            if (status == 0) {
                return 0;
            }
        }
    }
    while (status == 401 && m_prompt != nullptr) {
        auto answer = m_prompt->AskCredentials(host, result.userName, result.password);
        if (!answer) {
            break;
        }
        result.userName = answer->user;
        result.password = answer->password;
        status = Request(url, answer->user, answer->password);
        if (status == 200 && answer->save && m_profile != nullptr) {
            // Remembering them is a convenience; the check has its answer.
            (void)m_profile->Update([&](ProfileEdit& edit) {
                edit.WriteString(SiteSection(host), "User", answer->user);
                edit.WriteString(SiteSection(host), "Password", answer->password);
            });
        }
    }
    return status;
}

}  // namespace tapewell
