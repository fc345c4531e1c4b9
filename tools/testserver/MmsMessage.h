#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The framing of MMS over TCP, as the test server reads and writes it:
// command messages in both directions and the data packets that carry the
// ASF header and media.
namespace tapewell::testserver::mms {

inline constexpr uint32_t kSessionSignature = 0xB00BFACE;
// Marker, session signature, length, seal: the bytes before the length
// field's count starts.
inline constexpr size_t kPrefixSize = 16;
// A message up to and including its command code.
inline constexpr size_t kCommandHeaderSize = 40;
inline constexpr size_t kDataPacketPrefixSize = 8;
// A data packet's length field is 16 bits and counts its own prefix.
inline constexpr size_t kMaxDataPayload = 0xFFFF - kDataPacketPrefixSize;

// Client to server.
inline constexpr uint32_t kConnect = 0x00030001;
inline constexpr uint32_t kConnectFunnel = 0x00030002;
inline constexpr uint32_t kOpenFile = 0x00030005;
inline constexpr uint32_t kStartPlaying = 0x00030007;
inline constexpr uint32_t kStopPlaying = 0x00030009;
inline constexpr uint32_t kCloseFile = 0x0003000D;
inline constexpr uint32_t kReadBlock = 0x00030015;
inline constexpr uint32_t kFunnelInfo = 0x00030018;
inline constexpr uint32_t kPong = 0x0003001B;
inline constexpr uint32_t kLogging = 0x00030032;
inline constexpr uint32_t kStreamSwitch = 0x00030033;

// Server to client.
inline constexpr uint32_t kReportConnected = 0x00040001;
inline constexpr uint32_t kReportConnectedFunnel = 0x00040002;
inline constexpr uint32_t kReportStartedPlaying = 0x00040005;
inline constexpr uint32_t kReportOpenFile = 0x00040006;
inline constexpr uint32_t kReportReadBlock = 0x00040011;
inline constexpr uint32_t kReportFunnelInfo = 0x00040015;
inline constexpr uint32_t kPing = 0x0004001B;
inline constexpr uint32_t kReportEndOfStream = 0x0004001E;
inline constexpr uint32_t kReportStreamSwitch = 0x00040021;

// Flags byte of a header data packet.
inline constexpr uint8_t kHeaderMoreFollows = 0x04;
inline constexpr uint8_t kHeaderLast = 0x08;

// A complete command message.
struct Command {
    uint32_t code = 0;
    std::vector<uint8_t> bytes;  // the whole message, prefix included

    // The 32-bit field at that offset from the message start; 0 past the end.
    uint32_t U32(size_t offset) const;
    // UTF-16LE text from that offset up to a zero unit or the end.
    std::string Text(size_t offset) const;
};

// The number of bytes that follow a 16-byte prefix, or nothing when the
// prefix is not a command message of a size this server accepts (*error
// says why).
std::optional<uint32_t> BodyLength(std::span<const uint8_t> prefix, std::string* error);

// A whole message (prefix and the body BodyLength announced) as a command.
std::optional<Command> ParseCommand(std::span<const uint8_t> message, std::string* error);

// A message with that command code whose fields from offset 40 on are body,
// padded with zeros to a whole number of 8-byte chunks.
std::vector<uint8_t> BuildCommand(uint32_t code, uint32_t sequence, std::span<const uint8_t> body);

// Appends one data packet: location number, incarnation (the packet type
// the client asked for), flags and the payload, which must not exceed
// kMaxDataPayload.
void AppendDataPacket(std::vector<uint8_t>& out, uint32_t location, uint8_t incarnation,
                      uint8_t flags, std::span<const uint8_t> payload);

}  // namespace tapewell::testserver::mms
