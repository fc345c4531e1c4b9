#pragma once

#include <filesystem>
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
    virtual std::optional<Credentials> AskCredentials(const std::string& site,
                                                      const std::string& user,
                                                      const std::string& password) = 0;

    // "%s \n\n File exist. Resumable?" for a partial recording that can be
    // continued. true (OK) continues it; false (Cancel) goes on to the
    // file-exists question below, as for a file that cannot be continued.
    // The default continues, which loses nothing.
    virtual bool AskResume(const std::filesystem::path& /*path*/) { return true; }

    // The file-exists question ("%s \n\n File exist. Overwrite?") and its
    // buttons; "All" (with Pass) skips every later existing file of the run.
    enum class ExistsAnswer { Ok, Cancel, SaveAs, Pass, Quit };
    struct ExistsChoice {
        ExistsAnswer answer = ExistsAnswer::Cancel;
        bool all = false;
    };
    // The default cancels: nothing is overwritten unasked.
    virtual ExistsChoice AskFileExists(const std::filesystem::path& /*path*/) { return {}; }

    // "Save As": another file for the recording, starting from path (an
    // existing file, or one that could not be created). nullopt when
    // cancelled, which is the default.
    virtual std::optional<std::filesystem::path> AskSaveAsPath(
        const std::filesystem::path& /*path*/) {
        return std::nullopt;
    }

    // Any thread: the owner stops the job (Record Stop, exit). A question
    // being asked now, and every later one, gets its default answer at once,
    // so that the worker is not left waiting on a user who is not asked any
    // more (the desktop program closes its dialog).
    virtual void Cancel() {}
};

}  // namespace tapewell
