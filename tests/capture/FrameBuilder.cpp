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

// Byte by byte: GCC 12 at -O3 reads a range insert behind a small vector's
// fixed-size start as an out-of-bounds copy (-Warray-bounds).
void Append(Bytes& out, const Bytes& more) {
    out.reserve(out.size() + more.size());
    for (const uint8_t byte : more) {
        out.push_back(byte);
    }
}

void AppendLe(Bytes& out, uint64_t v, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

Bytes Utf16Z(std::string_view text) {
    Bytes out = Utf8ToUtf16Le(text);
    out.insert(out.end(), {0, 0});
    return out;
}

}  // namespace

Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes Ipv4(const TcpPacket& p) {
    Bytes out(p.ipHeaderLength + p.tcpHeaderLength, 0);
    out[0] = static_cast<uint8_t>(0x40 | (p.ipHeaderLength / 4 & 0x0F));
    PutBe16(out, 2, static_cast<uint16_t>(out.size() + p.payload.size() + p.totalLengthExtra));
    PutBe16(out, 6, p.fragment);
    out[9] = p.protocol;
    PutBe16(out, 12, p.source >> 16);
    PutBe16(out, 14, p.source & 0xFFFF);
    PutBe16(out, 16, p.destination >> 16);
    PutBe16(out, 18, p.destination & 0xFFFF);
    PutBe16(out, p.ipHeaderLength, p.sourcePort);
    PutBe16(out, p.ipHeaderLength + 2, p.destinationPort);
    out[p.ipHeaderLength + 12] = static_cast<uint8_t>((p.tcpHeaderLength / 4) << 4);
    Append(out, p.payload);
    return out;
}

Bytes Link(uint16_t type, const Bytes& body, bool cooked) {
    Bytes out(cooked ? 16 : 14, 0x02);
    PutBe16(out, out.size() - 2, type);
    Append(out, body);
    return out;
}

Bytes TcpFrame(const TcpPacket& packet) {
    return Link(0x0800, Ipv4(packet));
}

Bytes Pppoe(const Bytes& ipv4, bool compressedProtocol, uint8_t code) {
    Bytes out = {0x11, code, 0x12, 0x34, 0, 0};
    Append(out, compressedProtocol ? Bytes{0x21} : Bytes{0x00, 0x21});
    PutBe16(out, 4, static_cast<uint16_t>(out.size() - 6 + ipv4.size()));
    Append(out, ipv4);
    return out;
}

// The 32-byte TCP header (its length field counts all after the first 16
// bytes), the message's chunk length and identifier, the fields before the
// string (connect: 12 bytes, open: 16), the string, padding to 8 bytes.
Bytes MmsCommand(uint32_t messageId, std::string_view text) {
    Bytes c(40 + (messageId == 0x00030001 ? 12 : 16), 0);
    c[0] = 0x01;
    WriteLe32(&c[4], 0xB00BFACE);
    WriteLe32(&c[12], 0x20534D4D);  // "MMS "
    WriteLe32(&c[36], messageId);
    Append(c, Utf16Z(text));
    c.resize((c.size() + 7) / 8 * 8, 0);
    WriteLe32(&c[8], static_cast<uint32_t>(c.size() - 16));
    return c;
}

namespace {

// The start of an ASF Header object holding a Content Description.
Bytes AsfHeaderStart(std::string_view title) {
    const Bytes titleText = title.empty() ? Bytes{} : Utf16Z(title);
    const Bytes author = Utf16Z("someone");
    Bytes content(guids::kContentDescription.bytes.begin(), guids::kContentDescription.bytes.end());
    AppendLe(content, 34 + titleText.size() + author.size(), 8);
    for (size_t length : {titleText.size(), author.size(), size_t{0}, size_t{0}, size_t{0}}) {
        AppendLe(content, length, 2);
    }
    Append(content, titleText);
    Append(content, author);

    Bytes header(guids::kHeader.bytes.begin(), guids::kHeader.bytes.end());
    AppendLe(header, 30 + content.size(), 8);
    AppendLe(header, 1, 4);  // one object
    header.insert(header.end(), {1, 2});
    Append(header, content);
    return header;
}

}  // namespace

Bytes AsfHeaderPacket(std::string_view title) {
    Bytes packet = {0, 0, 0, 0, 0, 0x0C, 0, 0};  // location, incarnation, flags, size
    Append(packet, AsfHeaderStart(title));
    WriteLe16(&packet[6], static_cast<uint16_t>(packet.size()));
    return packet;
}

// The reply's header lines, then the "$H" chunk: its type and length, the
// 8-byte data packet header (location, incarnation, flags, length again) and
// the ASF header.
Bytes HttpHeaderReply(std::string_view title) {
    Bytes reply = Text(
        "HTTP/1.0 200 OK\r\nServer: Cougar/9.01.01.3814\r\n"
        "Content-Type: application/vnd.ms.wms-hdr.asfv1\r\nPragma: no-cache\r\n\r\n");
    const Bytes header = AsfHeaderStart(title);
    const size_t length = 8 + header.size();
    reply.insert(reply.end(), {'$', 'H'});
    AppendLe(reply, length, 2);
    AppendLe(reply, 0, 4);
    reply.insert(reply.end(), {0, 0x0C});
    AppendLe(reply, length, 2);
    Append(reply, header);
    return reply;
}

void WritePcap(const std::filesystem::path& path, const std::vector<Bytes>& frames,
               uint32_t linkType) {
    Bytes file;
    for (uint32_t field : {0xA1B2C3D4u, 0x00040002u, 0u, 0u, 262144u, linkType}) {
        AppendLe(file, field, 4);
    }
    uint32_t n = 0;
    for (const auto& frame : frames) {
        for (uint32_t field :
             {1700000000u, ++n * 1000, uint32_t(frame.size()), uint32_t(frame.size())}) {
            AppendLe(file, field, 4);
        }
        Append(file, frame);
    }
    WriteFileBytes(path, file);
}

}  // namespace tapewell::test
