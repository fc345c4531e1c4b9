#pragma once

#include <cstdint>
#include <string>

namespace tapewell {

class OutputFile;

// What the download engines (MmsClient, CHttpRecorder, CWebFetcher) tell the
// recording job that runs them while they run (how a run ended is its
// EngineResult, see Engine.h). Every event is raised on the job's worker
// thread, synchronously; the job stores the values and then notifies its
// owner. The defaults do nothing, so a host overrides only what it uses.
//
// Progress travels as three unsigned 32-bit numbers: bytes written, progress
// in hundredths of a percent (0 to 10,000) and stream position in ms.
class EngineEvents {
public:
    virtual ~EngineEvents() = default;

    // An engine starts on an address (MMS: the address and its port).
    virtual void OnStatus(const std::string& /*text*/, int /*number*/) {}
    // A stream header arrived; durationMs is 0 for a live stream.
    virtual void OnStreamStart(const std::string& /*address*/, uint32_t /*durationMs*/) {}
    virtual void OnProgress(uint32_t /*bytesWritten*/, uint32_t /*progress*/,
                            uint32_t /*positionMs*/) {}
    virtual void OnStreamEnd(uint32_t /*bytesWritten*/) {}
    virtual void OnTrace(const std::string& /*text*/) {}
    // A reason the run fails or breaks off, told as it happens (formatted
    // into 4,096 bytes by the engine, see FormatText), for a log or a
    // terminal. The run's ending is its EngineResult, which carries the
    // last reason: a job takes the text it shows from there.
    virtual void OnError(const std::string& /*text*/) {}
    // New credentials were obtained for a retry; later jobs should use them.
    virtual void OnCredentials(const std::string& /*user*/, const std::string& /*password*/) {}
    // The user cancelled the credentials question: no fall-back, no next item.
    virtual void OnAuthCancelled() {}
    // The web fetcher found a stream address in a page.
    virtual void OnUrlFound(const std::string& /*address*/) {}
    // In the middle of a recording the stream brought a header of another
    // layout (other streams, another packet size), which cannot share a file
    // with what was written. The engine has finished the current file (its
    // header describes what it holds); the host opens the next file beside
    // it and returns it, owning it, or returns nullptr to end the recording
    // there. The engine writes the new header and goes on into that file.
    virtual OutputFile* OnNextOutputFile() { return nullptr; }
};

}  // namespace tapewell
