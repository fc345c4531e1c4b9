#pragma once

#include <optional>
#include <string>

namespace tapewell {

// The questions a recording job asks while it runs. The desktop program
// shows a dialog on the UI thread while the worker waits, the CLI answers
// from its flags or the terminal, and tests script the answers. Every
// question is asked on the job's worker thread and blocks it until answered.
class JobPrompt {
public:
    virtual ~JobPrompt() = default;

    struct Credentials {
        std::string user;
        std::string password;
        bool save = false;  // "save?": keep them for this site
    };
    // "Username and Password Required" for site, with the fields filled with
    // user and password. nullopt when cancelled; an answer has both fields
    // non-empty.
    virtual std::optional<Credentials> AskCredentials(const std::string& site, const std::string& user,
                                                      const std::string& password) = 0;
};

}  // namespace tapewell
