#include "mms/MmsClient.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <limits>
#include <string_view>

#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/Limits.h"
#include "common/OutputFile.h"
#include "common/TextFormat.h"
#include "common/UrlParts.h"
#include "engine/EngineEvents.h"
#include "mms/MmsFileRepair.h"
#include "mms/MmsProtocol.h"
#include "mms/MmsTransport.h"

namespace tapewell {
namespace {

// Packet sizes from here on cannot come whole in one data packet.
constexpr uint32_t kMaxPacketSize = 0xFFFF;
constexpr uint32_t kFullProgress = 10'000;
constexpr uint64_t kMiB = 1u << 20;
constexpr uint64_t kHundredNsPerMs = 10'000;
constexpr uint32_t kMaxResentMs = limits::kMmsResentMs;
constexpr size_t kMaxResentPackets = limits::kMmsResentPackets;

EngineEvents g_noEvents;

constexpr const char* kClosedEarly = "connection closed before the end of the stream";
constexpr const char* kClosedUnanswered = "the server closed the connection without an MMS reply";

uint32_t Clamp32(uint64_t value) {
    return static_cast<uint32_t>(std::min<uint64_t>(value, std::numeric_limits<uint32_t>::max()));
}

}  // namespace

MmsClient::MmsClient(const EngineOptions& options, EngineEvents* events)
    : m_options(options),
      m_events(events ? *events : g_noEvents),
      m_idleTimeoutMs(limits::kReceiveIdleTimeoutMs) {}

void MmsClient::ResetSession(const EngineRequest& request) {
    m_messages.Reset();
    m_header.Reset();
    m_incoming.Reset();
    m_file = FileState{};
    m_file.output = request.output;
    m_file.packetCount = request.resumePackets;
    m_check = request.output == nullptr;
    m_address = request.address;
    m_playerAgent = request.playerAgent.empty() ? m_options.playerAgent : request.playerAgent;
    m_startPacket = request.resumePackets;
    m_local = {};
    m_replied = false;
    m_endOfStream = false;
    m_headerComplete = false;
    m_haveLocation = false;
    m_lastLocation = 0;
    m_packetSize = 0;
    m_durationMs = 0;
    m_live = false;
    m_afterRepeat = false;
    m_recentPackets.clear();
    m_latestSourceTime = 0;
    m_bytesWritten = 0;
    m_earlierFilesMs = 0;
    m_failure.clear();
    m_continuation = request.continuation;
    m_priorBytes = 0;
    m_continued = false;
    m_served.Reset();
    m_choice = StreamChoice{};
    m_keep.clear();
    m_switches.clear();
    m_selecting = false;
    m_playAsked = false;
    m_refused = false;
}

void MmsClient::Fail(std::string text) {
    m_events.OnError(text);
    m_failure = std::move(text);
}

void MmsClient::Refuse(std::string text) {
    m_refused = true;
    Fail(std::move(text));
}

EngineResult MmsClient::Result() const {
    EngineResult result;
    if (m_bytesWritten == 0 && !m_continued) {
        result.recording = Error::FromMessage(m_failure);
    } else {
        result.recording = EngineRecording{m_bytesWritten, m_failure};
    }
    result.refused = m_refused;
    return result;
}

EngineResult MmsClient::Record(const EngineRequest& request) {
    m_events.OnStatus(request.address, MmsPortOf(request.address));
    MmsTransport transport(m_stop);
    // A stop during the connect fails without a reason: nothing is told.
    if (ErrorOr<void> opened = transport.OpenConnection(request.address); !opened) {
        if (!opened.error().message.empty()) {
            m_events.OnError(opened.error().message);
        }
        return EngineResult{std::move(opened).error()};
    }
    const sockaddr_in local = transport.LocalAddress().value_or(sockaddr_in{});
    EngineResult result = RecordOn(transport, request, local);
    transport.Close();
    return result;
}

EngineResult MmsClient::RecordOn(MmsByteStream& stream, const EngineRequest& request,
                                 sockaddr_in local) {
    ResetSession(request);
    m_local = local;
    // A check only asks whether the stream plays: every stream does.
    if (!m_check) {
        ErrorOr<StreamChoice> choice = ParseStreamChoice(request.streams);
        if (!choice) {
            Refuse("Streams: " + choice.error().message);
            return Result();
        }
        m_choice = std::move(*choice);
        if (!m_choice.KeepsAll() && m_startPacket != 0) {
            Refuse("a recording of chosen streams cannot be resumed");
            return Result();
        }
    }
    stream.SetReceiveTimeoutMs(std::min(kFirstReplyTimeoutMs, m_idleTimeoutMs));
    if (!stream.Send(m_messages.Connect(m_playerAgent))) {
        return Result();
    }
    while (!m_stop.Raised() && !m_endOfStream && ReadUnit(stream)) {
    }
    FinishFile();
    return Result();
}

bool MmsClient::ReadUnit(MmsByteStream& stream) {
    const MmsUnit unit = m_reader.ReadUnit(stream, !m_replied);
    switch (unit.kind) {
        case MmsUnit::Kind::End:
            return OnEnd(unit, stream);
        case MmsUnit::Kind::Command:
            if (!m_replied) {
                m_replied = true;
                stream.SetReceiveTimeoutMs(m_idleTimeoutMs);
            }
            return OnCommand(unit, stream);
        case MmsUnit::Kind::Packet:
            if (unit.type == mms::kHeaderPacketType) {
                return OnHeaderPacket(unit, stream);
            }
            if (unit.type == mms::kMediaPacketType) {
                return InSequence(unit.location) && OnMediaPacket(unit.payload);
            }
            return true;  // a packet type we do not record
    }
    return false;
}

bool MmsClient::OnEnd(const MmsUnit& unit, const MmsByteStream& stream) {
    // The session only ends well at the server's end-of-stream report, a
    // limit or a stop: a recording cut short by the network is told as
    // such, not passed off as complete.
    if (m_stop.Raised()) {
        return false;
    }
    if (!m_replied && stream.LastError() == ETIMEDOUT) {
        Fail(FormatText("no MMS reply within %d s: not an MMS server",
                        std::min(kFirstReplyTimeoutMs, m_idleTimeoutMs) / 1000));
    } else if (!unit.error.empty()) {
        Fail(unit.error);
    } else {
        Fail(m_replied ? kClosedEarly : kClosedUnanswered);
    }
    return false;
}

bool MmsClient::OnCommand(const MmsUnit& unit, MmsByteStream& stream) {
    // Sends are not checked: a message that did not go out shows as the
    // missing reply, which ends the session at the idle time-out.
    switch (unit.code) {
        case mms::kReportConnected:
            stream.Send(m_messages.FunnelInfo());
            break;
        case mms::kReportFunnelInfo:
            stream.Send(m_messages.Transport(m_local.sin_addr, ntohs(m_local.sin_port)));
            break;
        case mms::kReportConnectedFunnel: {
            const std::optional<UrlParts> parts = SplitUrl(m_address);
            stream.Send(m_messages.OpenFile(parts ? parts->object : "/"));
            break;
        }
        case mms::kReportOpenFile:
            if (unit.openResult < 0) {
                Fail("Url not found");
                return false;
            }
            stream.Send(m_messages.ReadHeaderBlock());
            break;
        case mms::kReportStreamSwitch:
            // A selection sent again for a new layout is answered too, while
            // the stream plays: play is asked for once.
            if (!m_playAsked) {
                m_playAsked = true;
                stream.Send(m_messages.StartPlaying(m_startPacket));
            }
            break;
        case mms::kPing:
            stream.Send(m_messages.Pong(unit.code));
            break;
        case mms::kReportEndOfStream:
            // Only the playlist entry ended when a stream change follows:
            // its header comes next on this connection.
            m_endOfStream = unit.result != mms::kEndOfEntryMoreFollow;
            break;
        default:
            break;  // replies this client does not act on (the stream change among them)
    }
    return true;
}

bool MmsClient::OnHeaderPacket(const MmsUnit& unit, MmsByteStream& stream) {
    if (m_headerComplete) {
        return OnLaterHeaderPacket(unit, stream);
    }
    if (!m_header.Append(unit.payload)) {
        Fail("stream header too large");
        return false;
    }
    const bool wasKnown = m_header.GetProperties().has_value();
    if (((unit.flags & mms::kHeaderLast) || unit.flags == mms::kHeaderMoreFollows) && !wasKnown &&
        m_header.FindProperties() && !TakeProperties()) {
        return false;
    }
    m_events.OnStreamStart(m_address, m_durationMs);
    // More header packets follow while the flags say exactly that.
    if (unit.flags == mms::kHeaderMoreFollows) {
        return true;
    }
    m_headerComplete = true;
    std::optional<MmsStreamHeader> written = SelectStreams(std::move(m_header));
    if (!written) {
        return false;
    }
    m_header = std::move(*written);
    if (m_continuation != nullptr && !m_check) {
        if (!ContinueFile()) {
            return false;
        }
    } else {
        m_file.timeline.AwaitKeyFrame(AsfPacketTools::VideoStreamNumbers(m_header.Bytes()));
        // The header goes into the file whole, once its last packet is in: a
        // session cut off inside the header leaves no torn header behind. A
        // resumed file has its header already.
        if (m_startPacket == 0 && !WriteHeader()) {
            return false;
        }
    }
    stream.Send(m_messages.StreamSelection(m_switches));
    return true;
}

std::optional<MmsStreamHeader> MmsClient::SelectStreams(MmsStreamHeader served) {
    m_selecting = false;
    m_keep.clear();
    m_switches.clear();
    if (m_choice.KeepsAll()) {
        return served;
    }
    const std::vector<AsfStreamEntry> streams = ListAsfStreams(served.Bytes());
    std::vector<uint16_t> keep = ChooseStreams(m_choice, streams);
    if (keep.empty()) {
        Refuse(NoChosenStreamText(m_choice, streams));
        return std::nullopt;
    }
    m_switches = StreamSwitches(streams, keep);
    if (keep.size() == streams.size()) {
        return served;  // the choice keeps them all: the stream as it comes
    }
    const ErrorOr<std::vector<uint8_t>> bytes = HeaderWithStreams(served.Bytes(), keep);
    MmsStreamHeader written;
    if (!bytes) {
        Refuse(bytes.error().message);
        return std::nullopt;
    }
    // Never longer than the server's header, which fitted.
    written.Append(*bytes);
    written.FindProperties();
    m_keep = std::move(keep);
    m_selecting = true;
    m_served = std::move(served);
    return written;
}

// A reconnect after a break: with the file's layout the stream goes on in
// the file, whose header stays as it is (the repair patches its fields
// where they are, whatever the new header's other objects); another layout
// cannot share the file and goes into the next one.
bool MmsClient::ContinueFile() {
    if (!m_header.GetProperties()) {
        Fail("a stream header without File Properties");
        return false;
    }
    const RecordingContinuation& c = *m_continuation;
    MmsStreamHeader written;
    const bool readable = written.Append(c.header) && written.FindProperties();
    if (m_live) {
        m_file.timeline.ContinueAfter(c.lastSendTime, c.lastPresentationTime);
    }
    m_priorBytes = c.DataEnd();
    if (!readable || !m_header.SameLayout(written)) {
        MmsStreamHeader next = std::move(m_header);
        return StartNextFile(std::move(next));
    }
    if (m_selecting && !m_live) {
        Refuse(
            "an on-demand recording of chosen streams cannot go on after a break: the server "
            "numbers its packets otherwise than the file");
        return false;
    }
    m_header = std::move(written);
    m_continued = true;
    m_file.packetCount = c.packets;
    m_file.bytes = c.DataEnd();
    // A broadcast plays from where it is now, whatever is asked.
    m_startPacket = m_live ? 0 : static_cast<uint32_t>(std::min<uint64_t>(c.packets, UINT32_MAX));
    m_file.timeline.AwaitKeyFrame(AsfPacketTools::VideoStreamNumbers(m_header.Bytes()));
    return true;
}

// A header while media flows: the server's source looped, or the next entry
// of its playlist began. Nothing is sent back; the media follow by
// themselves, numbered afresh when the entry changed.
bool MmsClient::OnLaterHeaderPacket(const MmsUnit& unit, MmsByteStream& stream) {
    if (m_check) {
        return true;
    }
    if (unit.location == 0) {
        m_incoming.Reset();  // a header begins (the first header packet is number 0)
    }
    if (!m_incoming.Append(unit.payload)) {
        Fail("stream header too large");
        return false;
    }
    if (unit.flags == mms::kHeaderMoreFollows) {
        return true;
    }
    MmsStreamHeader next = std::move(m_incoming);
    m_incoming.Reset();
    m_haveLocation = false;
    if (!next.FindProperties()) {
        Fail("a new stream header without File Properties");
        return false;
    }
    if (next.SameLayout(ServedHeader())) {
        m_file.timeline.NewSegment();
        m_afterRepeat = true;
        return true;
    }
    std::optional<MmsStreamHeader> written = SelectStreams(std::move(next));
    if (!written || !StartNextFile(std::move(*written))) {
        return false;
    }
    // The streams of the new layout are chosen again: the numbers asked for
    // before may name other streams now, or none.
    if (!m_choice.KeepsAll()) {
        stream.Send(m_messages.StreamSelection(m_switches));
    }
    return true;
}

// Two layouts cannot share a file: this one is finished as it stands, and
// the recording goes on in the next file the host gives, from time 0.
bool MmsClient::StartNextFile(MmsStreamHeader next) {
    FinishFile();
    m_earlierFilesMs += m_live ? m_file.timeline.LastSendTime() : 0;
    OutputFile* output = m_events.OnNextOutputFile();
    if (!output) {
        return false;  // the host ends the recording here
    }
    m_header = std::move(next);
    m_file = FileState{};
    m_file.output = output;
    m_afterRepeat = false;
    m_recentPackets.clear();
    m_latestSourceTime = 0;
    if (!TakeProperties()) {
        return false;
    }
    m_events.OnStreamStart(m_address, m_durationMs);
    m_file.timeline.AwaitKeyFrame(AsfPacketTools::VideoStreamNumbers(m_header.Bytes()));
    return WriteHeader();
}

bool MmsClient::WriteHeader() {
    if (m_file.output && !m_file.output->Write(m_header.Bytes())) {
        return false;
    }
    m_file.bytes += m_header.Size();
    m_bytesWritten += m_header.Size();
    return true;
}

bool MmsClient::TakeProperties() {
    const MmsStreamHeader::Properties& p = *m_header.GetProperties();
    if (p.minPacketSize == 0 || p.minPacketSize >= kMaxPacketSize ||
        p.minPacketSize != p.maxPacketSize) {
        Fail("not supported");
        return false;
    }
    m_packetSize = p.minPacketSize;
    m_packet.assign(m_packetSize, 0);
    const uint64_t playMs = p.playDuration / kHundredNsPerMs;
    // A broadcast's header may carry the play duration of what the server
    // has sent so far; the broadcast flag says it is live all the same.
    m_live = p.playDuration == 0 || playMs <= p.preroll || (p.flags & asf::kFlagBroadcast) != 0;
    m_durationMs = m_live ? 0 : Clamp32(playMs - p.preroll);
    return true;
}

uint32_t MmsClient::PacketTime(std::span<uint8_t> packet, bool* found) {
    if (!m_live) {
        // Recorded as served: the stream's own times, from its own start.
        const int at = AsfPacketTools::SendTimeOffset(packet);
        *found = at > 0 && static_cast<size_t>(at) + 4 <= packet.size();
        return *found ? ReadLe32(&packet[static_cast<size_t>(at)]) : 0;
    }
    // Without "Live Content Save Time Info" the packet is written as
    // served, but its place on the time line still counts for the limits
    // and the header.
    std::span<uint8_t> placed = packet;
    if (!m_options.liveSaveTimeInfo) {
        m_scratch.assign(packet.begin(), packet.end());
        placed = m_scratch;
    }
    const std::optional<uint32_t> t = m_file.timeline.Place(placed);
    *found = t.has_value();
    return t.value_or(0);
}
bool MmsClient::SentAgain(std::span<const uint8_t> packet) {
    const int at = AsfPacketTools::SendTimeOffset(packet);
    const uint32_t t =
        at > 0 && static_cast<size_t>(at) + 4 <= packet.size() ? ReadLe32(&packet[at]) : 0;
    const size_t hash = std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(packet.data()), packet.size()));
    if (m_afterRepeat && uint64_t{t} + kMaxResentMs >= m_latestSourceTime &&
        std::find(m_recentPackets.begin(), m_recentPackets.end(), hash) != m_recentPackets.end()) {
        return true;
    }
    m_afterRepeat = false;
    m_latestSourceTime = std::max(m_latestSourceTime, t);
    if (m_recentPackets.size() == kMaxResentPackets) {
        m_recentPackets.pop_front();
    }
    m_recentPackets.push_back(hash);
    return false;
}

// Media packets come numbered one after the other. A number that does not
// follow means the framing was lost (a length field that did not match
// what was sent), and the bytes read as a packet are not media.
bool MmsClient::InSequence(uint32_t location) {
    if (m_haveLocation && location != m_lastLocation + 1) {
        Fail(FormatText("MMS data packet %u out of sequence (%u expected)", location,
                        m_lastLocation + 1));
        return false;
    }
    m_haveLocation = true;
    m_lastLocation = location;
    return true;
}

bool MmsClient::OnMediaPacket(std::span<const uint8_t> payload) {
    if (m_check) {
        return false;  // the stream plays: that is all a check wants to know
    }
    if (m_packetSize == 0) {
        return true;  // no usable header yet: the packet cannot be placed
    }
    if (payload.size() > m_packetSize) {
        Fail(FormatText("data packet of %zu bytes is longer than the packet size %u",
                        payload.size(), m_packetSize));
        return false;
    }
    std::copy(payload.begin(), payload.end(), m_packet.begin());
    std::fill(m_packet.begin() + static_cast<ptrdiff_t>(payload.size()), m_packet.end(), 0);
    // Resent packets are known by their bytes as served; the layout byte
    // may change when other streams' payloads are taken out.
    if ((m_live && SentAgain(m_packet)) ||
        (m_selecting && !KeepStreamsInPacket(m_packet, m_keep)) ||
        (m_live && !m_file.timeline.Admits(m_packet))) {
        return !m_stop.Raised();
    }
    bool found = false;
    const uint32_t t = PacketTime(m_packet, &found);
    const uint32_t progress = m_durationMs == 0
                                  ? 0
                                  : Clamp32(std::min<uint64_t>(
                                        kFullProgress, uint64_t{t} * kFullProgress / m_durationMs));
    if (!m_file.output->Write(m_packet)) {
        return false;
    }
    m_bytesWritten += m_packetSize;
    m_file.bytes += m_packetSize;
    if (found) {
        m_events.OnProgress(Clamp32(m_file.bytes), progress, t);
    }
    ++m_file.packetCount;
    return !LimitReached(t) && !m_stop.Raised();
}

// Both limits count what was written, over every file of the session, and
// what a file that the session continues held before.
bool MmsClient::LimitReached(uint32_t timeMs) const {
    const uint64_t recordedMs = m_earlierFilesMs + timeMs;
    if (m_options.timeLimitOn &&
        static_cast<int64_t>(recordedMs / 1000) >= m_options.maxTimeSeconds) {
        return true;
    }
    return m_options.sizeLimitOn &&
           static_cast<int64_t>((m_priorBytes + m_bytesWritten) / kMiB) >= m_options.maxSizeMiB;
}

// However the file ends, its header is made to describe it; once only.
void MmsClient::FinishFile() {
    if (!m_file.output || m_file.bytes == 0 || !m_header.GetProperties()) {
        return;
    }
    const MmsStreamHeader::Properties& p = *m_header.GetProperties();
    MmsRecordingFacts facts;
    facts.filePropertiesOffset = p.offset;
    facts.dataObjectOffset = m_header.DataObjectOffset();
    facts.describeWritten = m_live;
    facts.preroll = p.preroll;
    facts.latestSendTime = m_file.timeline.LastSendTime();
    facts.packetCount = m_file.packetCount;
    facts.dataSize = m_file.packetCount * m_packetSize;
    if (!RepairMmsRecording(*m_file.output, facts)) {
        Fail("the recording's header could not be repaired");
    }
    m_file.bytes = 0;
}

}  // namespace tapewell
