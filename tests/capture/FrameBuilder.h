#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

// Frames as a capture device delivers them, built byte by byte, and pcap
// files that hold them.
namespace tapewell::test {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return uint32_t{a} << 24 | uint32_t{b} << 16 | uint32_t{c} << 8 | d;
}

// A TCP segment in an IPv4 datagram, whose headers can lie about the bytes
// that are there.
struct TcpPacket {
    uint32_t source = Ip(10, 0, 0, 2);
    uint32_t destination = Ip(10, 0, 0, 5);
    uint16_t sourcePort = 40000;
    uint16_t destinationPort = 80;
    Bytes payload;
    uint16_t fragment = 0;       // flags and fragment offset
    size_t ipHeaderLength = 20;  // claimed; a multiple of 4
    size_t tcpHeaderLength = 20;
    int totalLengthExtra = 0;  // added to the true total length
    uint8_t protocol = 6;
};

Bytes Text(std::string_view text);
Bytes Ipv4(const TcpPacket& packet);
// An Ethernet header, or a Linux cooked one, before the body.
Bytes Link(uint16_t type, const Bytes& body, bool cooked = false);
Bytes TcpFrame(const TcpPacket& packet);  // Ethernet, IPv4, TCP
// A PPPoE frame body around an IPv4 datagram, the PPP protocol in one byte
// (compressed) or two.
Bytes Pppoe(const Bytes& ipv4, bool compressedProtocol, uint8_t code = 0);

// A player's MMS connect command (0x00030001) with its identification, or
// file open (0x00030005) with the file name.
Bytes MmsCommand(uint32_t messageId, std::string_view text);
// The server's answer: an MMS data packet prefix and the start of an ASF
// Header object holding a Content Description with this title.
Bytes AsfHeaderPacket(std::string_view title);
// An HTTP streaming server's answer to a media request: the reply's header
// lines and a "$H" chunk with the same ASF header start.
Bytes HttpHeaderReply(std::string_view title);

void WritePcap(const std::filesystem::path& path, const std::vector<Bytes>& frames,
               uint32_t linkType = 1);

}  // namespace tapewell::test
