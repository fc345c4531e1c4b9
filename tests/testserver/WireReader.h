#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

// What the test server sends, read the way a client reads it: the chunks of
// a Windows Media HTTP stream and the commands and data packets of an MMS
// session, plus the requests of a player.
namespace tapewell::test {

struct Chunk {
    char type;
    uint32_t sequence;
    uint8_t flags;
    std::vector<uint8_t> body;
};

struct HttpReply {
    std::string head;
    std::vector<Chunk> chunks;
};

// Splits a streaming reply into its head and its "$X" chunks. An "$E" chunk,
// or one cut short, ends the list with an empty body.
HttpReply SplitReply(const std::vector<uint8_t>& bytes);

// The requests of a Windows Media player: the probe, and the stream request
// with the bytes it already holds.
std::string ProbeRequest(const std::string& target);
std::string StreamRequest(const std::string& target, uint64_t heldBytes);

// Connects to 127.0.0.1:port, sends the request and reads until the server
// closes, maxBytes have come or timeoutMs pass without a byte: a client of
// an endless broadcast that hangs up when it has seen enough.
std::vector<uint8_t> ReadAtMost(uint16_t port, std::span<const uint8_t> request, size_t maxBytes,
                                int timeoutMs = 5000);

// One unit of an MMS session as the server sends it: a command message or a
// data packet.
struct MmsUnit {
    bool command;
    uint32_t code;                      // command code; for a data packet 0
    std::vector<uint8_t> bytes;         // a command: the whole message; a packet: its payload
    uint32_t location;                  // data packet: location number
    uint8_t incarnation;                // data packet: the packet type
    uint8_t flags;                      // data packet: header flags
    uint32_t U32(size_t offset) const;  // a command's field at offset; 0 past the end
};

// Every command a client sends to play a file from its start, at once;
// streamSwitch, when given, is the stream switch message sent.
std::vector<uint8_t> MmsPlayRequest(const std::string& file,
                                    std::span<const uint8_t> streamSwitch = {});

// The units of an MMS session up to the first one cut short.
std::vector<MmsUnit> SplitMms(const std::vector<uint8_t>& bytes);

// As ReadAtMost for an MMS session, which the server keeps open after a
// stream: the read also ends once `units` units have come or, when units
// is 0, at the report of the stream's real end (end of stream, result 0).
std::vector<uint8_t> ReadMms(uint16_t port, std::span<const uint8_t> request,
                             size_t maxBytes = SIZE_MAX, size_t units = 0);

// The send time of an ASF data packet, or nothing when it has none.
std::optional<uint32_t> SendTime(std::span<const uint8_t> packet);

}  // namespace tapewell::test
