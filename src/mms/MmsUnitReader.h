#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "mms/MmsByteStream.h"

namespace tapewell {

// One thing read off an MMS connection: a command message from the server
// or a data packet.
struct MmsUnit {
    enum class Kind {
        End,      // the connection ended, or what came was refused (see error)
        Command,  // a command message; code and openResult are set
        Packet,   // a data packet; type, flags and payload are set
    };
    Kind kind = Kind::End;
    uint32_t code = 0;
    // The signed value at offset 48 of a command (the open-file reply's
    // result; negative for a failure), 0 when the message is shorter.
    int32_t openResult = 0;
    // The result (hr) at offset 40 of a command, 0 when the message is shorter.
    uint32_t result = 0;
    uint32_t location = 0;  // a data packet's location number: its place in the stream
    uint8_t type = 0;
    uint8_t flags = 0;
    std::span<uint8_t> payload;  // valid until the next ReadUnit
    // Why a unit was refused or cut short (a failed receive, a close inside
    // it); empty when the connection ended between two units.
    std::string error;
};

// Reads the units of one connection into two bounded buffers that it owns:
// one command body of up to limits::kMaxMmsCommandBody bytes and one data
// packet payload (the 16-bit length field bounds it). Used by one session's
// thread.
class MmsUnitReader {
public:
    MmsUnitReader();
    // The next unit; Kind::End when the stream ended or failed, or when a
    // command announced a body over the bound or a data packet a length
    // below its own 8-byte prefix (error then says which). With
    // commandOnly (the server's first reply), anything but a command
    // message ends it at once: a peer that speaks another protocol (an
    // HTTP server's "HTTP/1.1 400") is not read on as a data packet.
    MmsUnit ReadUnit(MmsByteStream& stream, bool commandOnly = false);

private:
    MmsUnit ReadCommand(MmsByteStream& stream);
    MmsUnit ReadPacket(MmsByteStream& stream);

    std::vector<uint8_t> m_message;  // the 16-byte prefix, then the body
    std::vector<uint8_t> m_payload;
};

}  // namespace tapewell
