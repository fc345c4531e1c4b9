#pragma once

#include <cstdint>

namespace tapewell {

// The job notices a recording job gives its owner: the event code and the
// job number, after the values the owner reads for that code are written.
// OnJobNotice runs on the job's worker thread and must not block: the GUI's
// sink re-posts to the UI thread, the CLI's prints.
class JobSink {
public:
    enum Code : int {
        kConnecting = 0,     // JN_CONNECTING: an engine starts on an address
        kHeader = 2,         // JN_HEADER: output path and duration are known
        kFinished = 3,       // JN_FINISHED: flags, error text and output path are final
        kProgress = 5,       // JN_PROGRESS: bytes written, progress, position
        kCredentials = 9,    // JN_CREDENTIALS: user name and password
        kUrlFound = 10,      // JN_URL_FOUND: the found address
        kSkipped = 11,       // JN_SKIPPED: "Pass" at the file-exists question
        kQuitAll = 12,       // JN_QUIT_ALL: "Quit" at the file-exists question
        kNewFile = 13,       // a further output file began; OutputPath() is the new file
        kReconnecting = 14,  // the stream broke off; ReconnectCount() is the try waited for
    };

    virtual ~JobSink() = default;
    virtual void OnJobNotice(int code, uint16_t jobNumber) = 0;
};

}  // namespace tapewell
