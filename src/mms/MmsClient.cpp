#include "mms/MmsClient.h"

#include <algorithm>
#include <limits>

#include "asf/AsfPacketTools.h"
#include "common/Limits.h"
#include "common/OutputFile.h"
#include "common/TextFormat.h"
#include "common/UrlParts.h"
#include "mms/MmsFileRepair.h"
#include "mms/MmsProtocol.h"
#include "mms/MmsTransport.h"
#include "recording/EngineEvents.h"

namespace tapewell {
namespace {

// Packet sizes from here on cannot come whole in one data packet.
constexpr uint32_t kMaxPacketSize = 0xFFFF;
constexpr uint32_t kFullProgress = 10'000;
constexpr uint64_t kMiB = 1u << 20;
constexpr uint64_t kHundredNsPerMs = 10'000;

EngineEvents g_noEvents;

constexpr const char* kClosedEarly = "connection closed before the end of the stream";

uint32_t Clamp32(uint64_t value) {
    return static_cast<uint32_t>(std::min<uint64_t>(value, std::numeric_limits<uint32_t>::max()));
}

}  // namespace

MmsClient::MmsClient(const AppSettings& settings, EngineEvents* events)
    : m_settings(settings),
      m_events(events ? *events : g_noEvents),
      m_idleTimeoutMs(limits::kReceiveIdleTimeoutMs) {}

void MmsClient::ResetSession(OutputFile* output, const std::string& address,
                             const std::string& playerAgent, uint32_t startPacket) {
    m_messages.Reset();
    m_header.Reset();
    m_output = output;
    m_address = address;
    m_playerAgent = playerAgent.empty() ? m_settings.m_playerAgent : playerAgent;
    m_startPacket = startPacket;
    m_local = {};
    m_endOfStream = false;
    m_headerComplete = false;
    m_haveLocation = false;
    m_lastLocation = 0;
    m_packetSize = 0;
    m_durationMs = 0;
    m_bytesWritten = 0;
    m_firstSendTime = 0;
    m_latestSendTime = 0;
    m_packetCount = 0;
    m_dataSize = 0;
}

uint64_t MmsClient::Run(OutputFile* output, const std::string& address,
                        const std::string& playerAgent, uint32_t startPacket) {
    m_events.OnStatus(address, MmsPortOf(address));
    MmsTransport transport(m_stop);
    transport.SetIdleTimeoutMs(m_idleTimeoutMs);
    if (!transport.OpenConnection(address, m_events)) {
        return 0;
    }
    const sockaddr_in local = transport.LocalAddress().value_or(sockaddr_in{});
    const uint64_t written = RunOn(transport, output, address, playerAgent, startPacket, local);
    transport.Close();
    return written;
}

uint64_t MmsClient::RunOn(MmsByteStream& stream, OutputFile* output, const std::string& address,
                          const std::string& playerAgent, uint32_t startPacket, sockaddr_in local) {
    ResetSession(output, address, playerAgent, startPacket);
    m_local = local;
    if (!stream.Send(m_messages.Connect(m_playerAgent))) {
        return 0;
    }
    while (!m_stop.Raised() && !m_endOfStream && ReadUnit(stream)) {
    }
    if (m_header.GetProperties() && m_bytesWritten > 0 && m_output) {
        Repair();
    }
    return m_bytesWritten;
}

bool MmsClient::ReadUnit(MmsByteStream& stream) {
    MmsUnit unit = m_reader.ReadUnit(stream);
    switch (unit.kind) {
        case MmsUnit::Kind::End:
            // The session only ends well at the server's end-of-stream
            // report, a limit or a stop: a recording cut short by the
            // network is told as such, not passed off as complete.
            if (!m_stop.Raised()) {
                m_events.OnError(unit.error.empty() ? kClosedEarly : unit.error);
            }
            return false;
        case MmsUnit::Kind::Command:
            return OnCommand(unit, stream);
        case MmsUnit::Kind::Packet:
            if (unit.type == mms::kHeaderPacketType) {
                return OnHeaderPacket(unit.payload, unit.flags, stream);
            }
            if (unit.type == mms::kMediaPacketType) {
                return InSequence(unit.location) && OnMediaPacket(unit.payload);
            }
            return true;  // a packet type we do not record
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
                m_events.OnError("Url not found");
                return false;
            }
            stream.Send(m_messages.ReadHeaderBlock());
            break;
        case mms::kReportStreamSwitch:
            stream.Send(m_messages.StartPlaying(m_startPacket));
            break;
        case mms::kPing:
            stream.Send(m_messages.Pong(unit.code));
            break;
        case mms::kReportEndOfStream:
            m_endOfStream = true;
            break;
        default:
            break;  // replies this client does not act on
    }
    return true;
}

bool MmsClient::OnHeaderPacket(std::span<const uint8_t> payload, uint8_t flags,
                               MmsByteStream& stream) {
    if (m_headerComplete) {
        return true;  // a header nobody asked for must not land among the media packets
    }
    if (!m_header.Append(payload)) {
        m_events.OnError("stream header too large");
        return false;
    }
    const bool wasKnown = m_header.GetProperties().has_value();
    if (((flags & mms::kHeaderLast) || flags == mms::kHeaderMoreFollows) && !wasKnown &&
        m_header.FindProperties() && !TakeProperties()) {
        return false;
    }
    m_events.OnStreamStart(m_address, m_durationMs);
    // More header packets follow while the flags say exactly that.
    if (flags == mms::kHeaderMoreFollows) {
        return true;
    }
    m_headerComplete = true;
    // The header goes into the file whole, once its last packet is in: a
    // session cut off inside the header leaves no torn header behind. A
    // resumed file has its header already.
    if (m_startPacket == 0) {
        if (m_output && !m_output->Write(m_header.Bytes())) {
            return false;
        }
        m_bytesWritten += m_header.Size();
    }
    stream.Send(m_messages.StreamSelection());
    return true;
}

bool MmsClient::TakeProperties() {
    const MmsStreamHeader::Properties& p = *m_header.GetProperties();
    if (p.minPacketSize == 0 || p.minPacketSize >= kMaxPacketSize ||
        p.minPacketSize != p.maxPacketSize) {
        m_events.OnError("not supported");
        return false;
    }
    m_packetSize = p.minPacketSize;
    m_packet.assign(m_packetSize, 0);
    const uint64_t playMs = p.playDuration / kHundredNsPerMs;
    m_durationMs = p.playDuration == 0 || playMs <= p.preroll ? 0 : Clamp32(playMs - p.preroll);
    return true;
}

uint32_t MmsClient::PacketTime(std::span<uint8_t> packet, bool* found) {
    const int at = AsfPacketTools::SendTimeOffset(packet);
    *found = at > 0 && static_cast<size_t>(at) + 4 <= packet.size();
    if (!*found) {
        return 0;
    }
    uint32_t t = ReadLe32(&packet[static_cast<size_t>(at)]);
    if (m_firstSendTime == 0) {
        m_firstSendTime = t;
    }
    if (m_durationMs == 0) {
        t = t > m_firstSendTime ? t - m_firstSendTime : 0;
        if (m_settings.m_liveSaveTimeInfo) {
            AsfPacketTools::RebasePacketTimes(packet, m_firstSendTime);
        }
    }
    return t;
}

// Media packets come numbered one after the other. A number that does not
// follow means the framing was lost (a length field that did not match
// what was sent), and the bytes read as a packet are not media.
bool MmsClient::InSequence(uint32_t location) {
    if (m_haveLocation && location != m_lastLocation + 1) {
        m_events.OnError(FormatText("MMS data packet %u out of sequence (%u expected)", location,
                                    m_lastLocation + 1));
        return false;
    }
    m_haveLocation = true;
    m_lastLocation = location;
    return true;
}

bool MmsClient::OnMediaPacket(std::span<const uint8_t> payload) {
    if (!m_output) {
        return false;  // the stream plays: that is all a check wants to know
    }
    if (m_packetSize == 0) {
        return true;  // no usable header yet: the packet cannot be placed
    }
    if (payload.size() > m_packetSize) {
        m_events.OnError(FormatText("data packet of %zu bytes is longer than the packet size %u",
                                    payload.size(), m_packetSize));
        return false;
    }
    std::copy(payload.begin(), payload.end(), m_packet.begin());
    std::fill(m_packet.begin() + static_cast<ptrdiff_t>(payload.size()), m_packet.end(), 0);
    bool found = false;
    const uint32_t t = PacketTime(m_packet, &found);
    const uint32_t progress = m_durationMs == 0
                                  ? 0
                                  : Clamp32(std::min<uint64_t>(
                                        kFullProgress, uint64_t{t} * kFullProgress / m_durationMs));
    if (!m_output->Write(m_packet)) {
        return false;
    }
    m_bytesWritten += m_packetSize;
    if (found) {
        m_events.OnProgress(Clamp32(m_bytesWritten), progress, t);
    }
    m_latestSendTime = std::max(m_latestSendTime, t);
    ++m_packetCount;
    m_dataSize += m_packetSize;
    return !LimitReached(t) && !m_stop.Raised();
}

bool MmsClient::LimitReached(uint32_t timeMs) const {
    if (m_settings.m_timeLimitOn && int64_t{timeMs / 1000} >= m_settings.m_maxTimeSeconds) {
        return true;
    }
    return m_settings.m_sizeLimitOn &&
           static_cast<int64_t>(m_bytesWritten / kMiB) >= m_settings.m_maxSizeMiB;
}

void MmsClient::Repair() {
    const MmsStreamHeader::Properties& p = *m_header.GetProperties();
    MmsRecordingFacts facts;
    facts.filePropertiesOffset = p.offset;
    facts.dataObjectOffset = m_header.DataObjectOffset();
    facts.describeWritten = m_durationMs == 0 && m_settings.m_liveSaveTimeInfo;
    facts.preroll = p.preroll;
    facts.latestSendTime = m_latestSendTime;
    facts.packetCount = m_packetCount;
    facts.dataSize = m_dataSize;
    if (!RepairMmsRecording(*m_output, facts)) {
        m_events.OnError("the recording's header could not be repaired");
    }
}

}  // namespace tapewell
