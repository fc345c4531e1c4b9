#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/StopSignal.h"
#include "common/TcpStream.h"
#include "engine/Engine.h"
#include "engine/EngineOptions.h"
#include "http/EngineMessages.h"
#include "http/HttpArgs.h"
#include "http/StreamInfo.h"
#include "http/StreamRequest.h"

namespace tapewell {

class CredentialStore;
class EngineEvents;
class JobPrompt;
class OutputFile;

// The HTTP streaming engine: records Windows Media streams served over
// HTTP ("NSPlayer" requests, "$H"/"$D"/"$E" chunks) into the output file
// the recording job opened. Driven by an argument vector (EngineMain) or by
// one address (Record); for each address it sends a probe request for
// the ASF header, classifies the reply, asks for credentials on a 401, and
// for a stream sends the stream request and writes what arrives.
//
// A Record that asks for some of the stream's streams (EngineRequest::
// streams) chooses them from the probe's header, asks for those alone in
// the stream request and writes only them (see ChunkReceiver). A stream
// with none of them fails with the reason, refused; so does a resumed or
// continued on-demand recording of chosen streams, whose byte offsets and
// packet numbers are not the server's.
//
// Threads: everything runs on the recording job's worker thread, which also
// receives the events, the messages and the credentials question. Only
// Stop() may be called from another thread.
class CHttpRecorder : public Engine {
public:
    // events may be null (nothing is told); prompt and credentials may be
    // null (no question is asked; no credentials are stored or read).
    CHttpRecorder(const EngineOptions& options, EngineEvents* events, JobPrompt* prompt = nullptr,
                  CredentialStore* credentials = nullptr);
    ~CHttpRecorder() override;
    CHttpRecorder(const CHttpRecorder&) = delete;
    CHttpRecorder& operator=(const CHttpRecorder&) = delete;

    // Records one address into the request's output (none: the address is
    // only probed) with its credentials; resumeOffset is the byte offset
    // asked of an on-demand stream when the file is empty; a continuation
    // goes on in the file a broken run left. The recording's bytes are
    // those written by this run; a probe succeeds when it found a live or
    // on-demand stream, and so does a continuation, whose stream may end
    // before another packet comes. A failure's message is the engine's
    // last message (tentative: it may be one from an earlier run).
    EngineResult Record(const EngineRequest& request) override;
    // Runs the argument vector (element 0 a placeholder, then addresses and
    // the options -m -p -e -b -d -r) into the output file given before.
    // Always 0.
    int EngineMain(std::span<const std::string> args);

    void SetOutputFile(OutputFile* out) { m_out = out; }
    void SetCredentials(const std::string& user, const std::string& password);
    // The output file's name, which the "-r" side file is named after.
    void SetOutputPath(const std::filesystem::path& path) { m_outputPath = path; }
    void SetMessageCallback(EngineMessages::Callback callback);
    void SetTimeouts(int connectMs, int idleMs);

    // Any thread: ends the running exchange and the walk. Stays in force
    // until ClearStop (the engine clears only its own abort flag between
    // exchanges), and interrupts a blocked connect or receive at once.
    void Stop() override;
    // Worker thread, between runs: lifts an earlier Stop, so that one job
    // object can check address after address.
    void ClearStop() override;

    const std::string& LastMessage() const { return m_messages.LastMessage(); }
    uint32_t BytesWritten() const { return m_bytesWritten; }
    const std::string& User() const { return m_user; }
    const std::string& Password() const { return m_password; }

private:
    // Where the exchanges of one address connect.
    struct Peer {
        std::string hostText;
        std::optional<HostAddress> lookup;
        std::optional<in_addr> numeric;
        uint16_t port = 80;
    };
    struct Exchange {
        std::string request;
        bool headerOnly = true;
        OutputFile* raw = nullptr;
        OutputFile* out = nullptr;
        uint64_t resumeBytes = 0;
        uint32_t maxMinutes = 0;
        const RecordingContinuation* continuation = nullptr;
        const StreamChoice* streams = nullptr;  // ChunkReceiver::Job::streams
    };
    enum class RowEnd { Next, StreamDone, EndWalk };

    bool Aborted() const;
    RowEnd RecordRow(const AddressRow& row);
    bool ResolvePeer(const StreamTarget& target, Peer& peer);
    bool Probe(const AddressRow& row, StreamTarget& target, Peer& peer, const std::string& guid,
               StreamInfo& info);
    void StreamExchange(const AddressRow& row, StreamTarget& target, Peer& peer,
                        const std::string& guid, const StreamInfo& probe);
    bool ConnectAndSend(TcpStream& tcp, const Exchange& exchange, Peer& peer);
    bool RunRequest(const Exchange& exchange, Peer& peer, StreamInfo& info);
    bool AskCredentials(const std::string& site, int retry);
    // The playlist hand-over: a local playlist file named by an address, or
    // the body of a playlist reply, becomes a vector that a nested
    // EngineMain records (see ExpandPlaylist). True when it was a playlist.
    // Playlists leading to playlists are followed limits::kMaxPlaylistDepth
    // deep.
    bool HandOverPlaylist(const std::string* fileName, std::span<const uint8_t> body,
                          const AddressRow& row);
    std::unique_ptr<OutputFile> OpenRawFile();
    // The stream switches of the stream request: none for every stream.
    // False, refused, when the probe's header has none of the chosen
    // streams.
    bool ChooseFromProbe(const StreamInfo& probe, std::vector<StreamSwitch>& switches);
    // The exchange ends here for a reason no reconnect or other engine
    // would mend (EngineResult::refused).
    void Refuse(const std::string& text);

    EngineOptions m_options;
    EngineEvents* m_events;
    JobPrompt* m_prompt;
    CredentialStore* m_credentials;
    EngineMessages m_messages;

    OutputFile* m_out = nullptr;
    std::filesystem::path m_outputPath;
    std::string m_address;
    std::string m_playerAgent;  // kept for the job; requests carry their own agent
    uint32_t m_startOffset = 0;
    std::string m_user;
    std::string m_password;
    uint32_t m_bytesWritten = 0;
    bool m_streamFound = false;  // a live or on-demand stream, in this Record

    std::string m_proxy;
    bool m_keepWalking = false;  // "-b", "-d" and "-r" stay once given
    bool m_debugDump = false;
    bool m_rawFile = false;

    // The engine's own abort (a cancelled credentials question), cleared
    // before every exchange; and the host's stop, which is never cleared.
    std::atomic<bool> m_abort{false};
    StopSignal m_stop;
    int m_connectTimeoutMs;
    int m_idleTimeoutMs;
    std::vector<uint8_t> m_buffer;
    int m_playlistDepth = 0;
    // The addresses whose playlists are being walked, outermost first: one
    // that leads back to any of them is not followed again.
    std::vector<std::string> m_playlistChain;
    int m_playlistsWalked = 0;  // remote playlists in this walk (limits::kMaxPlaylistsPerWalk)
    std::string m_brokeOff;     // ChunkReceiver::BrokeOff of this Record's stream
    // The file a reconnect goes on in (EngineRequest::continuation), for
    // this Record's stream.
    const RecordingContinuation* m_continuation = nullptr;
    bool m_chunksRead = false;      // the last exchange reached its chunk loop
    bool m_serverAnswered = false;  // any status line, in this Record
    StreamChoice m_choice;          // this Record's; every stream otherwise
    std::string m_refusal;          // see Refuse; "" when none in this Record
};

}  // namespace tapewell
