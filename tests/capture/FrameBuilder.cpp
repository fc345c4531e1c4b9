#include "capture/FrameBuilder.h"

#include "asf/AsfGuids.h"
#include "common/LittleEndian.h"
#include "common/TextCodec.h"
#include "support/TestSupport.h"

namespace tapewell::test {
namespace {

void PutBe16(Bytes& out, size_t at, uint16_t v) {
    out[at] = static_cast<uint8_t>(v >> 8);
    out[at + 1] = static_cast<uint8_t>(v);
}

void PutBe32(Bytes& out, size_t at, uint32_t v) {
    PutBe16(out, at, static_cast<uint16_t>(v >> 16));
    PutBe16(out, at + 2, static_cast<uint16_t>(v));
}

void Append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

void AppendLe32(Bytes& out, uint32_t v) {
    out.resize(out.size() + 4);
    WriteLe32(&out[out.size() - 4], v);
}

// The 32-byte MMS TCP header, the message length field counting everything
// after its first 16 bytes, then the message starting with its chunk length
// and identifier, its fields, and a terminated UTF-16 string.
Bytes MmsCommand(uint32_t messageId, size_t fieldBytes, std::string_view text) {
    Bytes c(40 + fieldBytes, 0);
    c[0] = 0x01;
    WriteLe32(&c[4], 0xB00BFACE);
    WriteLe32(&c[12], 0x20534D4D);  // "MMS "
    WriteLe32(&c[36], messageId);
    Append(c, Utf8ToUtf16Le(text));
    c.resize(c.size() + 2 + (8 - (c.size() + 2) % 8) % 8, 0);
    WriteLe32(&c[8], static_cast<uint32_t>(c.size() - 16));
    return c;
}

}  // namespace

Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes Ipv4(const TcpPacket& p) {
    Bytes out(p.ipHeaderLength + p.tcpHeaderLength, 0);
    out[0] = static_cast<uint8_t>(0x40 | (p.ipHeaderLength / 4 & 0x0F));
    size_t total = out.size() + p.payload.size();
    PutBe16(out, 2, static_cast<uint16_t>(static_cast<int>(total) + p.totalLengthExtra));
    PutBe16(out, 6, p.fragment);
    out[8] = 64;
    out[9] = p.protocol;
    PutBe32(out, 12, p.source);
    PutBe32(out, 16, p.destination);
    const size_t tcp = p.ipHeaderLength;
    PutBe16(out, tcp, p.sourcePort);
    PutBe16(out, tcp + 2, p.destinationPort);
    out[tcp + 12] = static_cast<uint8_t>((p.tcpHeaderLength / 4) << 4);
    out[tcp + 13] = 0x18;  // PSH, ACK
    Append(out, p.payload);
    return out;
}

Bytes Ethernet(uint16_t type, const Bytes& body) {
    Bytes out(14, 0);
    for (size_t i = 0; i < 12; ++i) {
        out[i] = static_cast<uint8_t>(0x02 + i);
    }
    PutBe16(out, 12, type);
    Append(out, body);
    return out;
}

Bytes LinuxCooked(uint16_t type, const Bytes& body) {
    Bytes out(16, 0);
    PutBe16(out, 0, 4);  // sent by us
    PutBe16(out, 2, 1);  // ARPHRD_ETHER
    PutBe16(out, 4, 6);
    PutBe16(out, 14, type);
    Append(out, body);
    return out;
}

Bytes PppoeSession(const Bytes& ipv4, bool compressedProtocol, uint8_t code) {
    Bytes out = {0x11, code, 0x12, 0x34, 0, 0};
    if (compressedProtocol) {
        out.push_back(0x21);
    } else {
        out.insert(out.end(), {0x00, 0x21});
    }
    PutBe16(out, 4, static_cast<uint16_t>(out.size() - 6 + ipv4.size()));
    Append(out, ipv4);
    return out;
}

Bytes TcpFrame(const TcpPacket& packet) {
    return Ethernet(0x0800, Ipv4(packet));
}

Bytes MmsConnect(std::string_view playerId) {
    return MmsCommand(0x00030001, 12, playerId);  // play incarnation, two revisions
}

Bytes MmsOpenFile(std::string_view fileName) {
    return MmsCommand(0x00030005, 16, fileName);  // incarnation, spare, token, token length
}

Bytes AsfHeaderPacket(std::string_view title) {
    Bytes titleText = Utf8ToUtf16Le(title);
    if (!titleText.empty()) {
        titleText.insert(titleText.end(), {0, 0});
    }
    Bytes author = Utf8ToUtf16Le("someone");
    author.insert(author.end(), {0, 0});

    Bytes content(guids::kContentDescription.bytes.begin(), guids::kContentDescription.bytes.end());
    const uint64_t contentSize = 34 + titleText.size() + author.size();
    content.resize(content.size() + 8);
    WriteLe64(&content[16], contentSize);
    for (size_t length : {titleText.size(), author.size(), size_t{0}, size_t{0}, size_t{0}}) {
        content.resize(content.size() + 2);
        WriteLe16(&content[content.size() - 2], static_cast<uint16_t>(length));
    }
    Append(content, titleText);
    Append(content, author);

    Bytes packet = {0, 0, 0, 0, 0, 0x0C, 0, 0};  // location, incarnation, AF flags, size
    Append(packet, Bytes(guids::kHeader.bytes.begin(), guids::kHeader.bytes.end()));
    packet.resize(packet.size() + 8 + 6);
    WriteLe64(&packet[8 + 16], 30 + content.size());
    WriteLe32(&packet[8 + 24], 1);
    packet[8 + 28] = 1;  // the two reserved bytes
    packet[8 + 29] = 2;
    Append(packet, content);
    WriteLe16(&packet[6], static_cast<uint16_t>(packet.size()));
    return packet;
}

void WritePcap(const std::filesystem::path& path, const std::vector<Bytes>& frames,
               uint32_t linkType) {
    Bytes file;
    AppendLe32(file, 0xA1B2C3D4);
    AppendLe32(file, 0x00040002);  // version 2.4
    AppendLe32(file, 0);
    AppendLe32(file, 0);
    AppendLe32(file, 262144);
    AppendLe32(file, linkType);
    uint32_t usec = 0;
    for (const auto& frame : frames) {
        AppendLe32(file, 1700000000);
        AppendLe32(file, usec += 1000);
        AppendLe32(file, static_cast<uint32_t>(frame.size()));
        AppendLe32(file, static_cast<uint32_t>(frame.size()));
        Append(file, frame);
    }
    WriteFileBytes(path, file);
}

}  // namespace tapewell::test
