#include "mms/MmsUnitReader.h"

#include "common/ByteCursor.h"
#include "common/Limits.h"
#include "common/LittleEndian.h"
#include "common/TcpStream.h"
#include "common/TextFormat.h"
#include "mms/MmsProtocol.h"

namespace tapewell {
namespace {

constexpr size_t kResultOffset = 40;
constexpr size_t kOpenResultOffset = 48;
constexpr size_t kLengthOffset = 8;

// Why a unit could not be read whole: a failed or timed-out receive, or a
// close that cut the unit named by `inside` short.
std::string EndText(ReceiveEnd end, const MmsByteStream& stream, const char* inside) {
    if (end == ReceiveEnd::Failed) {
        return FormatText("recv failed: %s", SocketErrorName(stream.LastError()).c_str());
    }
    return FormatText("connection closed inside an MMS %s", inside);
}

// The first bytes of a reply that is not MMS, as text a user can place
// ("HTTP/1.0"); bytes that are not printable show as '.'.
std::string Printable(std::span<const uint8_t> bytes) {
    std::string text;
    for (const uint8_t b : bytes) {
        text += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
    }
    return text;
}

}  // namespace

MmsUnitReader::MmsUnitReader()
    : m_message(mms::kPrefixSize + limits::kMaxMmsCommandBody), m_payload(mms::kMaxDataPayload) {}

MmsUnit MmsUnitReader::ReadUnit(MmsByteStream& stream, bool commandOnly) {
    size_t received = 0;
    const ReceiveEnd end =
        ReceiveExact(stream, std::span(m_message).first(mms::kDataPacketPrefixSize), &received);
    if (end != ReceiveEnd::Complete) {
        MmsUnit unit;
        if (end == ReceiveEnd::Failed || received > 0) {
            unit.error = EndText(end, stream, "message");
        }
        return unit;
    }
    // Both kinds start with 8 bytes; only a command carries the session
    // signature in the second four.
    if (ReadLe32(&m_message[4]) == mms::kSessionSignature) {
        return ReadCommand(stream);
    }
    if (commandOnly) {
        MmsUnit unit;
        unit.error =
            FormatText("not an MMS server: its reply starts with \"%s\"",
                       Printable(std::span(m_message).first(mms::kDataPacketPrefixSize)).c_str());
        return unit;
    }
    return ReadPacket(stream);
}

MmsUnit MmsUnitReader::ReadCommand(MmsByteStream& stream) {
    MmsUnit unit;
    const auto rest = std::span(m_message).subspan(mms::kDataPacketPrefixSize,
                                                   mms::kPrefixSize - mms::kDataPacketPrefixSize);
    if (const ReceiveEnd end = ReceiveExact(stream, rest); end != ReceiveEnd::Complete) {
        unit.error = EndText(end, stream, "command");
        return unit;
    }
    const uint32_t length = ReadLe32(&m_message[kLengthOffset]);
    if (length > limits::kMaxMmsCommandBody) {
        unit.error = FormatText("MMS command of %u bytes refused", length);
        return unit;
    }
    const auto body = std::span(m_message).subspan(mms::kPrefixSize, length);
    if (const ReceiveEnd end = ReceiveExact(stream, body); end != ReceiveEnd::Complete) {
        unit.error = EndText(end, stream, "command");
        return unit;
    }
    // A message too short for a field leaves it 0: an unknown code, a
    // result that is not a failure.
    const std::span<const uint8_t> message = std::span(m_message).first(mms::kPrefixSize + length);
    ByteCursor code{message};
    code.Skip(mms::kCommandCodeOffset);
    unit.code = code.ReadU32();
    ByteCursor result{message};
    result.Skip(kResultOffset);
    unit.result = result.ReadU32();
    ByteCursor openResult{message};
    openResult.Skip(kOpenResultOffset);
    unit.openResult = static_cast<int32_t>(openResult.ReadU32());
    unit.kind = MmsUnit::Kind::Command;
    return unit;
}

MmsUnit MmsUnitReader::ReadPacket(MmsByteStream& stream) {
    MmsUnit unit;
    const uint16_t total = ReadLe16(&m_message[6]);
    if (total < mms::kDataPacketPrefixSize) {
        unit.error = FormatText("MMS data packet with length %u refused", total);
        return unit;
    }
    const auto payload = std::span(m_payload).first(total - mms::kDataPacketPrefixSize);
    if (const ReceiveEnd end = ReceiveExact(stream, payload); end != ReceiveEnd::Complete) {
        unit.error = EndText(end, stream, "data packet");
        return unit;
    }
    unit.kind = MmsUnit::Kind::Packet;
    unit.location = ReadLe32(&m_message[0]);
    unit.type = m_message[4];
    unit.flags = m_message[5];
    unit.payload = payload;
    return unit;
}

}  // namespace tapewell
