#include "http/CHttpRecorder.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

#include "asf/AsfObjects.h"
#include "asf/RecordingContinuation.h"
#include "common/Limits.h"
#include "common/OutputFile.h"
#include "engine/CredentialStore.h"
#include "engine/EngineEvents.h"
#include "engine/JobPrompt.h"
#include "http/ChunkReceiver.h"
#include "http/HttpReply.h"
#include "http/ReadAheadStreamSource.h"
#include "http/StreamReader.h"
#include "playlist/ExpandPlaylist.h"

namespace tapewell {

namespace {

constexpr uint64_t kBytesPerMiB = 1u << 20;  // the "Max Size" unit

// The reply of an exchange comes off its TCP connection.
class TcpStreamSource final : public StreamSource {
public:
    explicit TcpStreamSource(TcpStream& tcp) : m_tcp(tcp) {}
    ssize_t Receive(std::span<uint8_t> buffer) override { return m_tcp.Receive(buffer); }
    std::string ErrorName() const override { return SocketErrorName(m_tcp.LastError()); }

private:
    TcpStream& m_tcp;
};

EngineEvents& NoEvents() {
    static EngineEvents none;
    return none;
}

// No offset asked of an on-demand stream.
constexpr uint32_t kNoOffset = 0xFFFFFFFF;

}  // namespace

CHttpRecorder::CHttpRecorder(const EngineOptions& options, EngineEvents* events, JobPrompt* prompt,
                             CredentialStore* credentials)
    : m_options(options),
      m_events(events != nullptr ? events : &NoEvents()),
      m_prompt(prompt),
      m_credentials(credentials),
      m_connectTimeoutMs(limits::kConnectTimeoutMs),
      m_idleTimeoutMs(limits::kReceiveIdleTimeoutMs),
      m_buffer(limits::kHttpBufferBytes) {}

CHttpRecorder::~CHttpRecorder() = default;

void CHttpRecorder::SetCredentials(const std::string& user, const std::string& password) {
    m_user = user;
    m_password = password;
}

void CHttpRecorder::SetMessageCallback(EngineMessages::Callback callback) {
    m_messages.SetCallback(std::move(callback));
}

void CHttpRecorder::SetTimeouts(int connectMs, int idleMs) {
    m_connectTimeoutMs = connectMs;
    m_idleTimeoutMs = idleMs;
}

void CHttpRecorder::ClearStop() {
    m_stop.Reset();
    m_abort.store(false);
}

void CHttpRecorder::Stop() {
    m_abort.store(true);
    m_stop.Raise();
}

bool CHttpRecorder::Aborted() const {
    return m_abort.load() || m_stop.Raised();
}

bool CHttpRecorder::HandOverPlaylist(const std::string* fileName, std::span<const uint8_t> body,
                                     const AddressRow& row) {
    if (m_playlistDepth >= limits::kMaxPlaylistDepth) {
        if (fileName != nullptr) {
            return false;
        }
        m_messages.Warning("playlist nesting deeper than %d levels, skipped\n",
                           limits::kMaxPlaylistDepth);
        return true;
    }
    ++m_playlistDepth;
    // The vector is built (its text copied out of the reply buffer) before
    // the nested walk reuses that buffer for its own exchanges.
    const bool isPlaylist = ExpandPlaylist(
        fileName, body, row.maxMinutes, row.port,
        [this](const char* text) { m_messages.Notice("%s", text); },
        [this](std::span<const std::string> args) { EngineMain(args); });
    --m_playlistDepth;
    return isPlaylist;
}

EngineResult CHttpRecorder::Record(const EngineRequest& request) {
    m_out = request.output;
    m_address = request.address.substr(0, limits::kHttpEscapedUrlBytes - 1);
    m_playerAgent = request.playerAgent;
    m_startOffset = static_cast<uint32_t>(std::min<uint64_t>(request.resumeOffset, UINT32_MAX));
    m_streamFound = false;
    m_serverAnswered = false;
    m_brokeOff.clear();
    m_continuation = request.continuation;
    m_refusal.clear();
    EngineResult result;
    // A probe only asks whether the stream plays: every stream does.
    if (request.output != nullptr) {
        ErrorOr<StreamChoice> choice = ParseStreamChoice(request.streams);
        if (!choice) {
            Refuse("Streams: " + choice.error().message);
            result.recording = Error::FromMessage(m_refusal);
            result.refused = true;
            return result;
        }
        m_choice = std::move(*choice);
    }
    SetCredentials(request.user, request.password);
    const uint32_t before = m_bytesWritten;
    const std::string args[] = {" ", m_address};
    EngineMain(args);
    m_choice = StreamChoice{};  // EngineMain called by itself records every stream

    result.httpAnswered = m_serverAnswered;
    const uint32_t bytes = m_bytesWritten - before;
    if (!m_refusal.empty()) {
        result.refused = true;
        if (bytes == 0) {
            result.recording = Error::FromMessage(m_refusal);
            return result;
        }
    }
    if (bytes == 0 &&
        !((request.output == nullptr || m_continuation != nullptr) && m_streamFound)) {
        result.recording = Error::FromMessage(m_messages.LastMessage());
        result.tentativeReason = true;
        return result;
    }
    EngineRecording recording{bytes, {}};
    // A stream that broke off is kept (it can be resumed); a stopped one
    // ended as asked.
    if (request.output != nullptr && !m_stop.Raised()) {
        recording.brokeOff = m_brokeOff;
    }
    result.recording = std::move(recording);
    return result;
}

int CHttpRecorder::EngineMain(std::span<const std::string> args) {
    if (args.size() <= 1) {
        return 0;
    }
    m_abort.store(false);
    if (m_playlistDepth == 0) {
        m_playlistsWalked = 0;  // a walk of its own, not one a playlist started
    }
    const HttpArgs parsed = ParseHttpArgs(args, m_messages);
    m_keepWalking = m_keepWalking || parsed.keepWalking;
    m_debugDump = m_debugDump || parsed.debugDump;
    m_rawFile = m_rawFile || parsed.rawFile;
    m_proxy = ChooseProxy(m_options);
    const std::vector<AddressRow>& rows = parsed.rows;
    for (size_t i = 0; i < rows.size(); ++i) {
        // The host's stop ends the walk even with "-b"; "-b" keeps it going
        // only past the engine's own aborts.
        if (m_stop.Raised() || (m_abort.load() && !m_keepWalking)) {
            break;
        }
        const RowEnd end = RecordRow(rows[i]);
        if (end == RowEnd::EndWalk) {
            break;
        }
        // One reference per playlist entry is recorded: the rest of the
        // entry's references are alternatives.
        while (end == RowEnd::StreamDone && rows[i].entry != -1 && i + 1 < rows.size() &&
               rows[i + 1].entry == rows[i].entry) {
            ++i;
        }
    }
    return 0;
}

CHttpRecorder::RowEnd CHttpRecorder::RecordRow(const AddressRow& row) {
    if (HandOverPlaylist(&row.address, {}, row)) {
        return RowEnd::Next;
    }
    std::optional<StreamTarget> target =
        ParseStreamAddress(row.address, row.port, m_proxy, m_messages);
    if (!target) {
        return RowEnd::Next;
    }
    Peer peer;
    const bool resolved = ResolvePeer(*target, peer);
    if (Aborted() && !m_keepWalking) {
        return RowEnd::EndWalk;
    }
    if (!resolved) {
        return RowEnd::Next;
    }
    const std::string guid = MakeClientGuid();
    m_events->OnStreamStart(row.address, 0);
    StreamInfo probe;
    if (!Probe(row, *target, peer, guid, probe) || Aborted()) {
        return RowEnd::Next;
    }
    if (probe.status == kStatusPlaylist) {
        if (std::find(m_playlistChain.begin(), m_playlistChain.end(), row.address) !=
            m_playlistChain.end()) {
            m_messages.Warning("playlist refers to itself, skipped: %s\n", row.address.c_str());
            return RowEnd::Next;
        }
        if (m_playlistsWalked >= limits::kMaxPlaylistsPerWalk) {
            m_messages.Warning("more than %d playlists behind one address, skipped\n",
                               limits::kMaxPlaylistsPerWalk);
            return RowEnd::Next;
        }
        ++m_playlistsWalked;
        m_playlistChain.push_back(row.address);
        HandOverPlaylist(nullptr, std::span(m_buffer).first(probe.bodyLength), row);
        m_playlistChain.pop_back();
        return RowEnd::Next;
    }
    if (probe.status != kStatusLive && probe.status != kStatusOnDemand) {
        return RowEnd::Next;
    }
    m_streamFound = true;
    m_events->OnStreamStart(row.address, probe.durationMs);
    if (m_out == nullptr) {
        m_events->OnStreamEnd(m_bytesWritten);
        return RowEnd::Next;
    }
    StreamExchange(row, *target, peer, guid, probe);
    m_events->OnStreamEnd(m_bytesWritten);
    return RowEnd::StreamDone;
}

bool CHttpRecorder::ResolvePeer(const StreamTarget& target, Peer& peer) {
    peer.hostText = target.host;
    peer.port = target.port;
    m_messages.Progress("Resolving host: '%s'\n", target.host.c_str());
    if (std::isalpha(static_cast<unsigned char>(target.host[0])) != 0) {
        peer.lookup = ResolveIPv4(target.host);
        if (!peer.lookup) {
            m_messages.Error("Unable to resolve host '%s'!", target.host.c_str());
        }
    } else {
        peer.numeric = ParseIPv4(target.host);
        if (peer.numeric) {
            if (std::optional<std::string> name = ReverseLookupIPv4(*peer.numeric)) {
                peer.hostText = name->substr(0, limits::kHttpHostBytes - 1);
            }
        }
    }
    return peer.lookup || peer.numeric;
}

// The probe, repeated after a 401 for as long as credentials come, up to
// limits::kMaxCredentialTries of them. False when the row ends here.
bool CHttpRecorder::Probe(const AddressRow& row, StreamTarget& target, Peer& peer,
                          const std::string& guid, StreamInfo& info) {
    for (int retry = 0;; ++retry) {
        if (Aborted()) {
            return false;
        }
        RequestFields fields{target.requestTarget, target.viaProxy ? std::string() : peer.hostText,
                             BasicCredentials(m_user, m_password), guid};
        Exchange exchange;
        exchange.request = BuildProbeRequest(fields);
        exchange.maxMinutes = row.maxMinutes;
        m_abort.store(false);
        RunRequest(exchange, peer, info);
        if (info.status != kStatusAuthRequired) {
            return true;
        }
        if (retry >= limits::kMaxCredentialTries || !AskCredentials(peer.hostText, retry)) {
            m_messages.Error("Authorization cancelled!");
            m_abort.store(true);
            m_events->OnAuthCancelled();
            return false;
        }
        m_events->OnCredentials(m_user, m_password);
    }
}

void CHttpRecorder::StreamExchange(const AddressRow& row, StreamTarget& target, Peer& peer,
                                   const std::string& guid, const StreamInfo& probe) {
    std::unique_ptr<OutputFile> raw = m_rawFile ? OpenRawFile() : nullptr;
    RequestFields fields{target.requestTarget, target.viaProxy ? std::string() : peer.hostText,
                         BasicCredentials(m_user, m_password), guid};
    Exchange exchange;
    exchange.headerOnly = false;
    exchange.raw = raw.get();
    exchange.out = m_out;
    exchange.maxMinutes = row.maxMinutes;
    exchange.continuation = m_continuation;
    exchange.streams = &m_choice;
    std::vector<StreamSwitch> switches;
    if (!ChooseFromProbe(probe, switches)) {
        return;
    }
    if (probe.status == kStatusOnDemand) {
        exchange.resumeBytes =
            m_continuation != nullptr ? m_continuation->DataEnd() : m_out->SeekEnd().value_or(0);
        uint32_t offset = kNoOffset;
        uint32_t offsetTime = kNoOffset;
        if (exchange.resumeBytes > 0) {
            m_messages.Notice("Appending to existing file!\n");
            offset = static_cast<uint32_t>(exchange.resumeBytes);
            offsetTime = 0;
        } else if (m_startOffset != 0) {
            offset = m_startOffset;
            offsetTime = 0;
        }
        if (!switches.empty() && offset != kNoOffset) {
            Refuse(
                "an on-demand recording of chosen streams cannot go on where it stopped: the "
                "server counts its bytes otherwise than the file");
            return;
        }
        exchange.request =
            BuildOnDemandRequest(fields, offsetTime, offset, probe.durationMs, switches);
    } else {
        exchange.request = BuildLiveRequest(fields, switches);
    }
    m_abort.store(false);
    StreamInfo info;
    RunRequest(exchange, peer, info);
    // A continuation whose stream request never got to its chunks (the
    // server went away since the probe) is as short of its end as one
    // whose connection closed among them.
    if (m_continuation != nullptr && !m_chunksRead && !Aborted()) {
        m_brokeOff = m_messages.LastMessage().empty() ? "the stream request failed"
                                                      : m_messages.LastMessage();
    }
}

bool CHttpRecorder::ChooseFromProbe(const StreamInfo& probe, std::vector<StreamSwitch>& switches) {
    if (m_choice.KeepsAll()) {
        return true;
    }
    // The probe left the stream's header, with the Data object's head, at
    // the start of the buffer.
    const size_t length =
        probe.headerLength == 0 ? 0 : size_t{probe.headerLength} + asf::kDataObjectHeaderSize;
    const std::vector<AsfStreamEntry> streams =
        ListAsfStreams(std::span(m_buffer).first(std::min(length, m_buffer.size())));
    const std::vector<uint16_t> keep = ChooseStreams(m_choice, streams);
    if (keep.empty()) {
        Refuse(NoChosenStreamText(m_choice, streams));
        return false;
    }
    if (keep.size() < streams.size()) {
        switches = StreamSwitches(streams, keep);
    }
    return true;
}

void CHttpRecorder::Refuse(const std::string& text) {
    m_refusal = text;
    m_messages.Error("%s", text.c_str());
}

std::unique_ptr<OutputFile> CHttpRecorder::OpenRawFile() {
    if (m_outputPath.empty()) {
        return nullptr;
    }
    std::filesystem::path raw = m_outputPath;
    const std::string stem = raw.stem().string();
    raw.replace_filename(raw.has_extension() ? stem + "_raw" + raw.extension().string()
                                             : raw.filename().string() + "_raw");
    m_messages.Notice("Opening raw file '%s' for output\r\n", raw.c_str());
    std::unique_ptr<OutputFile> file = StdioOutputFile::Open(raw, "ab");
    if (!file) {
        m_messages.Error("Failed to open %s'.", raw.c_str());
    }
    return file;
}

// Connects to the peer and sends the request; false (with the error
// issued) when the exchange ends here.
bool CHttpRecorder::ConnectAndSend(TcpStream& tcp, const Exchange& exchange, Peer& peer) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(peer.port);
    if (peer.lookup) {
        address.sin_addr = peer.lookup->address;
        peer.hostText = peer.lookup->officialName.substr(0, limits::kHttpHostBytes - 1);
    } else {
        address.sin_addr = *peer.numeric;
    }
    tcp.SetIdleTimeoutMs(m_idleTimeoutMs);
    if (tcp.Open() < 0) {
        m_messages.Error("socket() failed: %s", SocketErrorName(tcp.LastError()).c_str());
        return false;
    }
    m_messages.Progress("connecting to: %s", peer.hostText.c_str());
    if (tcp.Connect(address, m_connectTimeoutMs) < 0) {
        m_messages.Error("connect() failed: %s", SocketErrorName(tcp.LastError()).c_str());
        return false;
    }
    if (tcp.Stopped()) {
        return false;
    }
    m_messages.Progress("sending request [%d bytes]", static_cast<int>(exchange.request.size()));
    const auto* bytes = reinterpret_cast<const uint8_t*>(exchange.request.data());
    if (tcp.Send(std::span(bytes, exchange.request.size())) < 0) {
        m_messages.Error("send() failed: %s", SocketErrorName(tcp.LastError()).c_str());
        return false;
    }
    return true;
}

// One exchange: connect, send, read and classify the reply, and for a
// stream receive its chunks. Returns the abort state.
bool CHttpRecorder::RunRequest(const Exchange& exchange, Peer& peer, StreamInfo& info) {
    info = StreamInfo{};
    m_chunksRead = false;
    if (m_debugDump) {
        m_messages.Notice("\nHTTP-Request:\n%s", exchange.request.c_str());
    }
    TcpStream tcp(m_stop);
    if (!ConnectAndSend(tcp, exchange, peer)) {
        return Aborted();
    }
    m_messages.Progress("waiting for reply...");
    TcpStreamSource connection(tcp);
    ReadAheadStreamSource source(connection);
    StreamReader reader(
        source, [this] { return Aborted(); }, m_messages);
    reader.SetRawFile(exchange.raw);
    const ReplyHeader header = ReadReplyHeader(reader, m_messages);
    m_serverAnswered = m_serverAnswered || header.statusLineOk;
    info.status = ClassifyReply(header, reader, m_buffer, &info.bodyLength, m_messages);
    if (m_debugDump) {
        m_messages.Notice("\nHTTP-Reply:\n%s\n", header.copy.c_str());
    }
    if (reader.Exhausted() || (info.status != kStatusLive && info.status != kStatusOnDemand)) {
        return Aborted();
    }
    ChunkReceiver receiver(
        reader, m_buffer, m_messages, *m_events, [this] { return Aborted(); }, m_bytesWritten);
    ChunkReceiver::Job job{exchange.headerOnly, exchange.out, exchange.resumeBytes,
                           exchange.maxMinutes};
    job.continuation = exchange.continuation;
    job.streams = exchange.streams;
    if (m_options.timeLimitOn && m_options.maxTimeSeconds > 0) {
        job.maxSeconds = static_cast<uint32_t>(m_options.maxTimeSeconds);
    }
    if (m_options.sizeLimitOn && m_options.maxSizeMiB > 0) {
        job.maxBytes = static_cast<uint64_t>(m_options.maxSizeMiB) * kBytesPerMiB;
    }
    m_chunksRead = true;
    receiver.Run(job, info);
    if (OutputFile* written = receiver.Output(); written != nullptr) {
        // After a change of layout the stream went on in the host's next
        // file: that one is finished here, and later rows go into it too.
        receiver.UpdateHeader(*written, info);
        m_brokeOff = receiver.BrokeOff();
        m_out = written;
    }
    if (!receiver.Refusal().empty()) {
        m_refusal = receiver.Refusal();
    }
    if (Aborted()) {
        m_messages.Error("Transfer aborted!");
    }
    return Aborted();
}

// Credentials for a retry after a 401: first the ones stored for the site,
// or the ones the engine already has, without asking; then the question.
bool CHttpRecorder::AskCredentials(const std::string& site, int retry) {
    if (retry == 0) {
        if (m_credentials != nullptr) {
            if (const std::optional<CredentialStore::Pair> saved = m_credentials->Load(site)) {
                SetCredentials(saved->user, saved->password);
            }
        }
        if (!m_user.empty() && !m_password.empty()) {
            return true;
        }
    }
    if (m_prompt == nullptr || Aborted()) {
        return false;
    }
    std::optional<JobPrompt::Credentials> answer =
        m_prompt->AskCredentials(site, m_user, m_password);
    if (!answer || answer->user.empty() || answer->password.empty()) {
        return false;
    }
    if (answer->save && m_credentials != nullptr) {
        m_credentials->Save(site, {answer->user, answer->password});
    }
    SetCredentials(answer->user, answer->password);
    return true;
}

}  // namespace tapewell
