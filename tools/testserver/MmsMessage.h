#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mms/MmsProtocol.h"

// The framing of MMS over TCP, as the test server reads and writes it:
// command messages in both directions and the data packets that carry the
// ASF header and media.
namespace tapewell::testserver::mms {

// The protocol's constants are shared with the rest of the program.
using namespace tapewell::mms;

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
