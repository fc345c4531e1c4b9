#pragma once

#include <string>

namespace tapewell {

class JobPrompt;
class ProfileStore;

// The site check run after a list file brought credentials: one plain
// "GET" of the list's first network address (spoken as HTTP whatever its
// scheme), and on 401 the login loop: first the credentials stored for the
// site (profile section "NetPassword\<host>"), then the credentials
// question until the server accepts or the user cancels. Answers the user
// asks to keep are stored for the site.
//
// Blocks the calling thread for at most limits::kLoginCheckTotalTimeoutMs
// per request (the question's own time aside). The desktop program calls it
// on its UI thread as the original did, under a busy cursor.
class LoginCheck {
public:
    struct Result {
        bool contacted = false;  // false when the address is not a URL
        long status = 0;         // last HTTP status; 0 when no reply came
        // When the login loop ended with 200: the credentials that got it.
        bool credentialsChanged = false;
        std::string userName;
        std::string password;
    };

    static constexpr const char* kAgent = "NSPlayer/4.1.0.3856";

    // prompt and profile may be null: no question, no stored credentials.
    LoginCheck(JobPrompt* prompt, ProfileStore* profile) : m_prompt(prompt), m_profile(profile) {}

    Result Run(const std::string& address, const std::string& userName,
               const std::string& password);

private:
    long LoginLoop(const std::string& url, const std::string& host, Result& result);

    JobPrompt* m_prompt;
    ProfileStore* m_profile;
};

}  // namespace tapewell
