#pragma once

#include <string>

namespace tapewell {

// The values of the preferences that the download engines read, and only
// those: the caption font or the window flags are no business of theirs.
// Filled from the settings store above the engines (see
// recording/EngineSettings.h); a default-constructed one is the program's
// defaults.
struct EngineOptions {
    // The MMS player agent sent when a job names none.
    std::string playerAgent = "NSPlayer/9.0.0.2980; {3300AD50-2C39-46c0-AE0A-59FCD8CF430E}";

    // "Use Proxy" with its server and port; "Bypass Proxy" sends requests to
    // this machine's own address on that port instead (see ChooseProxy).
    bool useProxy = false;
    std::string proxyServer;
    int proxyPort = 0;
    bool bypassProxy = false;

    // The "time policy" and "size policy": a recording ends once it holds
    // this many stream seconds or MiB. The values count only while on.
    bool timeLimitOn = false;
    int maxTimeSeconds = 1800;
    bool sizeLimitOn = false;
    int maxSizeMiB = 10;

    // "Live Content Save Time Info": a live MMS recording's packet times are
    // put on one time line from 0 rather than kept as served.
    bool liveSaveTimeInfo = true;
};

}  // namespace tapewell
