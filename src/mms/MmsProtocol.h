#pragma once

#include <cstddef>
#include <cstdint>

// The wire facts of MMS over TCP that every part of the program which
// speaks or watches the protocol shares: the recorder, the URL capture and
// the test server.
namespace tapewell::mms {

inline constexpr uint16_t kPort = 1755;

// A command message starts with the byte 0x01 (three more zero bytes follow)
// and carries this session signature at offset 4.
inline constexpr uint8_t kCommandMarker = 0x01;
inline constexpr uint32_t kSessionSignature = 0xB00BFACE;
// Marker, signature, length, seal: the bytes before the length field's
// count starts.
inline constexpr size_t kPrefixSize = 16;
inline constexpr size_t kCommandCodeOffset = 36;
// A message up to and including its command code.
inline constexpr size_t kCommandHeaderSize = 40;

// Where the texts sit in the two messages that name the player and the file.
inline constexpr size_t kConnectPlayerIdOffset = 52;
inline constexpr size_t kOpenFileNameOffset = 56;

// A data packet: location number, incarnation (the packet type), flags and a
// 16-bit length that counts these 8 bytes.
inline constexpr size_t kDataPacketPrefixSize = 8;
inline constexpr size_t kMaxDataPayload = 0xFFFF - kDataPacketPrefixSize;
// Flags of a header data packet.
inline constexpr uint8_t kHeaderMoreFollows = 0x04;
inline constexpr uint8_t kHeaderLast = 0x08;

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
// The next entry of a server-side playlist starts: its header follows in
// header data packets on the same connection.
inline constexpr uint32_t kReportStreamChange = 0x00040020;
inline constexpr uint32_t kReportStreamSwitch = 0x00040021;

// The end-of-stream report's result when only the current playlist entry
// ended and a stream change follows.
inline constexpr uint32_t kEndOfEntryMoreFollow = 1;

// Data packet types: the client asks for these numbers in its read-header
// and start-playing messages, and the server puts them into the packets.
inline constexpr uint8_t kHeaderPacketType = 2;
inline constexpr uint8_t kMediaPacketType = 4;

}  // namespace tapewell::mms
