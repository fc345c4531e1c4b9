#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "asf/StreamSelection.h"

// The command messages the MMS recorder sends, built byte for byte. Each
// message is a 40-byte head (marker, session signature, length, "MMS ",
// chunk counts, sequence number, time stamp, command code) and a body; the
// fields a server does not need are zero.
namespace tapewell {

class MmsMessages {
public:
    // Every session numbers its messages from 0 again.
    void Reset() { m_sequence = 0; }
    uint32_t NextSequence() const { return m_sequence; }

    // The player agent text fills bytes 52 to 175; a longer text is cut.
    std::vector<uint8_t> Connect(std::string_view playerAgent);
    // Sent on the connected reply.
    std::vector<uint8_t> FunnelInfo();
    // Names our end of the connection ("\\10.0.0.7\TCP\3056" and "00f").
    std::vector<uint8_t> Transport(in_addr localAddress, uint16_t localPort);
    // object is the address's path and query with its leading "/".
    std::vector<uint8_t> OpenFile(std::string_view object);
    std::vector<uint8_t> ReadHeaderBlock();
    // The streams to send: one entry per switch, each stream's thinning
    // level all or nothing. With no switches, or every one on, the message
    // the recorder has always sent (streams 1 and 2 in full), byte for byte.
    std::vector<uint8_t> StreamSelection(std::span<const StreamSwitch> streams = {});
    // Always carries sequence number 6 and does not advance the counter;
    // startPacket is the first media packet wanted (0, or a resume point).
    std::vector<uint8_t> StartPlaying(uint32_t startPacket);
    // The answer to a ping: the ping's code with the server direction
    // replaced by ours.
    std::vector<uint8_t> Pong(uint32_t pingCode);

    // UTF-16LE text whose last blank (scanning from the end) has become a
    // zero unit, at most maxUnits units: how the transport and path texts
    // separate their two parts.
    static std::vector<uint8_t> WireText(std::string_view text, size_t maxUnits);

private:
    // A zero-filled message of totalSize bytes with its head filled in.
    std::vector<uint8_t> Start(size_t totalSize, uint32_t code, uint64_t timeStampBits,
                               bool advance = true);

    uint32_t m_sequence = 0;
};

}  // namespace tapewell
