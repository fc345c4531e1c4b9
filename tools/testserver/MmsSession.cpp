// The server side of MMS over TCP: the command exchange, then the ASF header
// and the media as data packets.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "MmsMessage.h"
#include "ServerLimits.h"
#include "Sessions.h"
#include "StreamFilter.h"
#include "StreamPlan.h"
#include "common/LittleEndian.h"
#include "common/TextCodec.h"

namespace tapewell::testserver {
namespace {

using mms::Command;

constexpr uint32_t kNoPacketPair = 0xF0F0F0EF;
constexpr uint32_t kFileNotFound = 0x80070002;  // HRESULT of a missing file
constexpr uint32_t kNoLocation = 0xFFFFFFFF;
constexpr uint32_t kOpenFileId = 1;
// A server that sends a new header in the middle of a stream ends the
// current entry with this result ("another one follows") and reports the
// stream change, naming the header incarnation 0xFF, before the header.
constexpr uint32_t kReportStreamChange = 0x00040020;
constexpr uint32_t kEndOfEntryMoreFollows = 1;
constexpr uint32_t kStreamChangeHeaderIncarnation = 0xFF;
// File attribute bits of the open-file reply.
constexpr uint32_t kAttributeCanSeek = 0x01000000;
constexpr uint32_t kAttributeBroadcast = 0x02000000;

// Command fields, as offsets from the message start.
constexpr size_t kOpenFileIncarnation = 40;
constexpr size_t kReadBlockIncarnation = 80;
constexpr size_t kStartLocation = 60;
constexpr size_t kStartIncarnation = 68;

// Builds a reply body field by field, little-endian. Byte by byte: GCC 12
// at -O3 loses track of the vector's size across resize-then-write and
// reports overflows that cannot happen (-Wstringop-overflow).
class Body {
public:
    Body& U32(uint32_t v) { return Le(v, 4); }
    Body& F64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return Le(bits, 8);
    }
    Body& Zeros(size_t n) {
        for (size_t i = 0; i < n; ++i) {
            m_bytes.push_back(0);
        }
        return *this;
    }
    Body& Text(std::string_view text) {
        const auto units = Utf8ToUtf16Le(text);
        m_bytes.insert(m_bytes.end(), units.begin(), units.end());
        return Zeros(2);
    }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    Body& Le(uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            m_bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
        return *this;
    }

    std::vector<uint8_t> m_bytes;
};

class MmsSession {
public:
    MmsSession(Connection& c, const ServerOptions& o) : m_c(c), m_options(o) {}
    void Run();

private:
    enum class Next { Continue, Close };

    // The next whole command, waiting up to timeoutMs for its bytes; nothing
    // when none came or the connection must end (m_broken says which).
    std::optional<Command> NextCommand(int timeoutMs);
    bool Reply(uint32_t code, const Body& body);
    void Log(const std::string& what) const { LogLine("mms " + m_c.Peer() + " " + what); }
    Next Handle(const Command& command);
    Next OpenFile(const Command& command);
    Next SendHeader(const Command& command);
    Next Play(const Command& command);
    bool KeepStreaming();
    // --mms-fault: what is sent in place of the next data packet; Continue
    // when the stream goes on after it.
    Next Strike(PacketSource& feed, uint8_t incarnation);
    // Appends the messages that announce a header in the middle of the
    // stream, then that header in header packets.
    void AppendStreamChange(std::vector<uint8_t>& out, const ServedFile& file,
                            uint32_t playIncarnation);
    void AppendHeaderPackets(std::vector<uint8_t>& out, std::span<const uint8_t> header);
    // Sends nothing more and waits for the client to give up and close.
    Next Silence();

    Connection& m_c;
    const ServerOptions& m_options;
    uint32_t m_sequence = 0;
    std::unique_ptr<ServedFile> m_file;
    bool m_broken = false;
    // The packet type the client asked header packets to carry.
    uint8_t m_headerIncarnation = mms::kHeaderPacketType;
    // The streams the client switched off; their payloads are not sent.
    StreamSwitchState m_streams;
};

std::optional<Command> MmsSession::NextCommand(int timeoutMs) {
    std::string error;
    for (;;) {
        std::vector<uint8_t>& in = m_c.Input();
        if (in.size() >= mms::kPrefixSize) {
            auto length = mms::BodyLength(in, &error);
            if (!length) {
                Log("bad message: " + error);
                m_broken = true;
                return std::nullopt;
            }
            const size_t total = mms::kPrefixSize + *length;
            if (in.size() >= total) {
                auto command = mms::ParseCommand(std::span(in).first(total), &error);
                m_c.Consume(total);
                return command;
            }
        }
        const Connection::Read read = m_c.ReadMore(timeoutMs);
        if (read != Connection::Read::Data) {
            m_broken = read == Connection::Read::Closed || timeoutMs != 0;
            if (read == Connection::Read::Closed && !in.empty()) {
                Log("connection closed inside a message");
            }
            return std::nullopt;
        }
    }
}

bool MmsSession::Reply(uint32_t code, const Body& body) {
    return m_c.Send(mms::BuildCommand(code, m_sequence++, body.Bytes()));
}

void MmsSession::Run() {
    if (m_options.mmsFault == MmsFault::Drip) {
        m_c.Drip(limits::kDripPauseMicros);
    }
    while (!m_broken) {
        auto command = NextCommand(limits::kIdleSeconds * 1000);
        if (!command || Handle(*command) == Next::Close) {
            break;
        }
    }
}

MmsSession::Next MmsSession::Handle(const Command& command) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", command.code);
    switch (command.code) {
        case mms::kConnect:
            Log("connect");
            if (!Reply(mms::kReportConnected, Body()
                                                  .U32(0)
                                                  .U32(kNoPacketPair)
                                                  .U32(0x0004000B)
                                                  .U32(0x0003001C)
                                                  .F64(1.0)
                                                  .U32(1)
                                                  .U32(1)
                                                  .U32(0x8000)
                                                  .U32(10'000'000)
                                                  .U32(11)
                                                  .U32(0)
                                                  .U32(0)
                                                  .U32(0)
                                                  .Text("9.1.1.3862"))) {
                return Next::Close;
            }
            if (m_options.ping && !Reply(mms::kPing, Body().U32(0).U32(0))) {
                return Next::Close;
            }
            return Next::Continue;
        case mms::kFunnelInfo:
            return Reply(mms::kReportFunnelInfo, Body()
                                                     .U32(0)
                                                     .U32(kNoPacketPair)
                                                     .U32(0x00000001)
                                                     .U32(1)
                                                     .U32(0x8000)
                                                     .U32(1)
                                                     .U32(0)
                                                     .U32(1)
                                                     .U32(0)
                                                     .U32(0))
                       ? Next::Continue
                       : Next::Close;
        case mms::kConnectFunnel:
            return Reply(
                       mms::kReportConnectedFunnel,
                       Body().U32(0).U32(0).U32(0).U32(0).U32(0).U32(0).Text("Funnel Of The Gods"))
                       ? Next::Continue
                       : Next::Close;
        case mms::kOpenFile:
            return OpenFile(command);
        case mms::kReadBlock:
            return SendHeader(command);
        case mms::kStreamSwitch:
            m_streams.ApplyMmsMessage(command.bytes);
            Log("stream switch" +
                (m_streams.AnyOff() ? ", streams off: " + m_streams.OffText() : std::string()));
            return Reply(mms::kReportStreamSwitch, Body().U32(0)) ? Next::Continue : Next::Close;
        case mms::kStartPlaying:
            return Play(command);
        case mms::kStopPlaying:
            return Reply(mms::kReportEndOfStream, Body().U32(0).U32(0)) ? Next::Continue
                                                                        : Next::Close;
        case mms::kCloseFile:
            Log("close file");
            m_file.reset();
            return Next::Continue;
        case mms::kPong:
        case mms::kLogging:
            return Next::Continue;
        default:
            Log(std::string("unknown command ") + code + ", closing");
            return Next::Close;
    }
}

MmsSession::Next MmsSession::OpenFile(const Command& command) {
    std::string name = command.Text(mms::kOpenFileNameOffset);
    while (!name.empty() && name.front() == '/') {
        name.erase(0, 1);
    }
    const uint32_t incarnation = command.U32(kOpenFileIncarnation);
    std::string error = "no such file";
    auto path = ResolveServedPath(m_options.root, "/" + name);
    m_file = path ? ServedFile::Open(*path, m_options.live, &error, m_options.FieldBroadcast())
                  : nullptr;
    if (!m_file) {
        Log("open " + name + ": " + error);
        // Clients look for a failure either in the result code or in the
        // file id that follows it; both say no.
        return Reply(mms::kReportOpenFile,
                     Body().U32(kFileNotFound).U32(incarnation).U32(kNoLocation).Zeros(96))
                   ? Next::Continue
                   : Next::Close;
    }
    Log("open " + name);
    const bool live = m_file->Live();
    const uint64_t packets = live ? 0 : m_file->PacketCount();
    return Reply(mms::kReportOpenFile, Body()
                                           .U32(0)
                                           .U32(incarnation)
                                           .U32(kOpenFileId)
                                           .U32(0)
                                           .U32(0)
                                           .U32(live ? kAttributeBroadcast : kAttributeCanSeek)
                                           .F64(live ? 0.0 : m_file->DurationSeconds())
                                           .U32(static_cast<uint32_t>(packets))
                                           .Zeros(16)
                                           .U32(m_file->PacketSize())
                                           .U32(static_cast<uint32_t>(packets))
                                           .U32(static_cast<uint32_t>(packets >> 32))
                                           .U32(m_file->Bitrate())
                                           .U32(static_cast<uint32_t>(m_file->Header().size()))
                                           .Zeros(36))
               ? Next::Continue
               : Next::Close;
}

MmsSession::Next MmsSession::SendHeader(const Command& command) {
    if (!m_file) {
        Log("header asked for before a file was opened, closing");
        return Next::Close;
    }
    const uint32_t incarnation = command.U32(kReadBlockIncarnation);
    m_headerIncarnation = static_cast<uint8_t>(incarnation);
    if (!Reply(mms::kReportReadBlock, Body().U32(0).U32(incarnation).U32(0))) {
        return Next::Close;
    }
    std::vector<uint8_t> out;
    const bool stall = m_options.mmsFault == MmsFault::SilentHeader;
    const auto parts = SplitHeader(
        m_file->Header(), std::max(stall ? 2u : 1u, m_options.headerParts), mms::kMaxDataPayload);
    if (stall) {
        mms::AppendDataPacket(out, 0, static_cast<uint8_t>(incarnation), mms::kHeaderMoreFollows,
                              parts[0]);
        return m_c.Send(out) ? Silence() : Next::Close;
    }
    AppendHeaderPackets(out, m_file->Header());
    return m_c.Send(out) ? Next::Continue : Next::Close;
}

void MmsSession::AppendHeaderPackets(std::vector<uint8_t>& out, std::span<const uint8_t> header) {
    const auto parts = SplitHeader(header, m_options.headerParts, mms::kMaxDataPayload);
    for (size_t i = 0; i < parts.size(); ++i) {
        const uint8_t flags = i + 1 == parts.size() ? mms::kHeaderLast : mms::kHeaderMoreFollows;
        mms::AppendDataPacket(out, static_cast<uint32_t>(i), m_headerIncarnation, flags, parts[i]);
    }
}

void MmsSession::AppendStreamChange(std::vector<uint8_t>& out, const ServedFile& file,
                                    uint32_t playIncarnation) {
    const std::vector<uint8_t> end =
        mms::BuildCommand(mms::kReportEndOfStream, m_sequence++,
                          Body().U32(kEndOfEntryMoreFollows).U32(playIncarnation).Bytes());
    const std::vector<uint8_t> change =
        mms::BuildCommand(kReportStreamChange, m_sequence++,
                          Body()
                              .U32(0)
                              .U32(kStreamChangeHeaderIncarnation)
                              .U32(file.PacketSize())
                              .U32(static_cast<uint32_t>(file.Header().size()))
                              .U32(file.Bitrate())
                              .U32(0)
                              .Bytes());
    out.insert(out.end(), end.begin(), end.end());
    out.insert(out.end(), change.begin(), change.end());
    AppendHeaderPackets(out, file.Header());
}

// Between batches: answers what the client sent meanwhile; false when it
// asked to stop or the connection broke.
bool MmsSession::KeepStreaming() {
    while (auto command = NextCommand(0)) {
        if (command->code == mms::kStopPlaying || command->code == mms::kCloseFile) {
            return false;
        }
        if (command->code == mms::kStreamSwitch) {
            // A client answers a stream change by choosing its streams again.
            m_streams.ApplyMmsMessage(command->bytes);
            if (!Reply(mms::kReportStreamSwitch, Body().U32(0))) {
                return false;
            }
        } else if (command->code != mms::kPong && command->code != mms::kLogging) {
            Log("unexpected command while streaming");
        }
    }
    return !m_broken;
}

MmsSession::Next MmsSession::Play(const Command& command) {
    if (!m_file) {
        Log("play asked for before a file was opened, closing");
        return Next::Close;
    }
    const uint32_t incarnation = command.U32(kStartIncarnation);
    uint32_t location = command.U32(kStartLocation);
    if (location == kNoLocation || m_file->Live()) {
        location = 0;
    }
    Log("play from packet " + std::to_string(location));
    if (!Reply(mms::kReportStartedPlaying,
               Body().U32(0).U32(incarnation).U32(kOpenFileId).Zeros(12))) {
        return Next::Close;
    }
    StreamPlan plan(*m_file, location, m_options);
    StreamFilter feed(plan, m_streams);
    Pacer pacer(m_options.rate, m_options.kilobitsPerSecond);
    const auto frame = [this, &plan, incarnation](std::vector<uint8_t>& out,
                                                  const PacketSource::Packet& p) {
        if (!p.header.empty()) {
            AppendStreamChange(out, plan.CurrentFile(), incarnation);
        }
        mms::AppendDataPacket(out, static_cast<uint32_t>(p.number),
                              static_cast<uint8_t>(incarnation), 0, p.bytes);
    };
    const bool strikes = m_options.mmsFault != MmsFault::None &&
                         m_options.mmsFault != MmsFault::Drip &&
                         m_options.mmsFault != MmsFault::SilentHeader;
    StreamEnd end = StreamPackets(m_c, feed, pacer,
                                  strikes ? limits::kMmsFaultAfterPackets : m_options.dropAfter,
                                  frame, [this] { return KeepStreaming(); });
    if (strikes && end == StreamEnd::Dropped) {
        if (Strike(feed, static_cast<uint8_t>(incarnation)) == Next::Close) {
            return Next::Close;
        }
        end = StreamPackets(m_c, feed, pacer, 0, frame, [this] { return KeepStreaming(); });
    }
    switch (end) {
        case StreamEnd::EndOfFile:
        case StreamEnd::Stopped:
            if (m_broken) {
                return Next::Close;
            }
            return Reply(mms::kReportEndOfStream, Body().U32(0).U32(incarnation)) ? Next::Continue
                                                                                  : Next::Close;
        default:
            Log("stream cut");
            return Next::Close;
    }
}

MmsSession::Next MmsSession::Strike(PacketSource& feed, uint8_t incarnation) {
    const std::optional<PacketSource::Packet> packet = feed.Next();
    if (!packet) {
        Log("fault: the file ended first");
        return Next::Close;
    }
    std::vector<uint8_t> out;
    mms::AppendDataPacket(out, static_cast<uint32_t>(packet->number), incarnation, 0,
                          packet->bytes);
    std::vector<uint8_t> ping =
        mms::BuildCommand(mms::kPing, m_sequence++, Body().U32(0).U32(0).Bytes());
    constexpr size_t kLengthField = 8;
    constexpr size_t kPacketLengthField = 6;
    switch (m_options.mmsFault) {
        case MmsFault::CloseInPacket:
            out.resize(out.size() / 2);
            Log("fault: closing inside a data packet");
            m_c.Send(out);
            return Next::Close;
        case MmsFault::CloseInCommand:
            ping.resize(ping.size() / 2);
            Log("fault: closing inside a command");
            m_c.Send(ping);
            return Next::Close;
        case MmsFault::CommandLengthNegative:
        case MmsFault::CommandLengthHuge:
            WriteLe32(&ping[kLengthField],
                      m_options.mmsFault == MmsFault::CommandLengthHuge ? 0x7FFFFFF8 : 0xFFFFFFF8);
            ping.insert(ping.end(), out.begin(), out.end());
            out = ping;
            break;
        case MmsFault::PacketLengthTiny:
            WriteLe16(&out[kPacketLengthField], 4);
            break;
        case MmsFault::PacketLengthHuge:
            out.resize(mms::kDataPacketPrefixSize + mms::kMaxDataPayload, 0);
            WriteLe16(&out[kPacketLengthField], 0xFFFF);
            break;
        case MmsFault::PacketLengthShort:
            WriteLe16(&out[kPacketLengthField],
                      static_cast<uint16_t>(mms::kDataPacketPrefixSize + packet->bytes.size() / 2));
            Log("fault: a data packet length of half the packet");
            return m_c.Send(out) ? Next::Continue : Next::Close;
        default:
            return Silence();
    }
    Log("fault: a bad length field");
    return m_c.Send(out) ? Silence() : Next::Close;
}

MmsSession::Next MmsSession::Silence() {
    Log("fault: falling silent");
    for (;;) {
        m_c.Input().clear();
        if (m_c.ReadMore(limits::kIdleSeconds * 1000) != Connection::Read::Data) {
            return Next::Close;
        }
    }
}

}  // namespace

void ServeMms(Connection& connection, const ServerOptions& options) {
    MmsSession(connection, options).Run();
}

}  // namespace tapewell::testserver
