#pragma once

#include <cstdint>
#include <string>

#include "common/ErrorOr.h"

namespace tapewell {

class OutputFile;
struct RecordingContinuation;

// One recording attempt on one address, as the job hands it to an engine.
// Every field has its default, so a caller names only what it sets.
struct EngineRequest {
    OutputFile* output = nullptr;  // none: only whether the address plays is checked
    std::string address{};
    std::string playerAgent{};   // empty: the options' player agent
    uint64_t resumeOffset = 0;   // bytes already in output, for the HTTP engines
    uint32_t resumePackets = 0;  // whole packets already in output, for MMS
    std::string user{};
    std::string password{};
    // The streams to record, as CmmsThread::Item::streams; empty: all.
    std::string streams{};
    // A reconnect after a break: output is the file the broken run left,
    // positioned at continuation->DataEnd(). A stream header of the file's
    // layout is not written again: the packet count goes on from the
    // file's, a live stream's times from its last send time, and an
    // on-demand stream is asked for from the packet after its last one. A
    // header of another layout goes into the host's next file
    // (EngineEvents::OnNextOutputFile). The limits count the whole file.
    // None (the default): a run of its own.
    const RecordingContinuation* continuation = nullptr;
};

// What an engine that reached the address leaves behind.
struct EngineRecording {
    // Bytes this run wrote (MMS: into every file of the session; the web
    // fetcher: read, a text page's too). A check may succeed with 0.
    uint64_t bytes = 0;
    // Why the stream ended before its end without a stop or a limit (the
    // connection closed, the framing was lost, a write or the header repair
    // failed), "" when it did not: what was written is kept, and can often
    // be continued, but it is not a finished recording.
    std::string brokeOff;
};

// How one run ended: the recording, or the Error whose message tells the
// user why the address gave nothing ("" when the engine has no words for
// it, as after a stop).
struct EngineResult {
    ErrorOr<EngineRecording> recording = Error{};
    // The failure's message is only the engine's last word (a message that
    // may even be left from an earlier run) rather than a reason it gave for
    // this run: it explains the failure when nothing else does, and does not
    // replace an error that already stands.
    bool tentativeReason = false;
    // An HTTP server answered on the address's port (any status line): that
    // port speaks HTTP, and MMS sent there would only wait for a reply.
    bool httpAnswered = false;
    // The engine reached the stream, and it cannot be recorded as asked
    // (none of the chosen streams is in it, or the choice cannot be read):
    // another engine would not do better, and a reconnect would not either.
    bool refused = false;
};

// The one shape the job's three engines (MmsClient, CHttpRecorder,
// CWebFetcher) share, so that the job tries them in turn without knowing
// which is which. Progress and the other events of a run still go through
// the engine's EngineEvents; the ending is the result.
//
// Record runs on the job's worker thread; Stop may be called from any
// thread, ends a running Record at once and stays in force for every later
// one until ClearStop, which the worker calls between runs, before anyone
// could stop the next one, so that no stop is lost.
class Engine {
public:
    virtual ~Engine() = default;

    virtual EngineResult Record(const EngineRequest& request) = 0;
    virtual void Stop() = 0;
    virtual void ClearStop() = 0;
};

}  // namespace tapewell
