#include "MmsMessage.h"

#include <cstring>

#include "ServerLimits.h"
#include "common/LittleEndian.h"
#include "common/TextCodec.h"

namespace tapewell::testserver::mms {
namespace {

constexpr size_t kLengthField = 8;
constexpr size_t kChunkCount = 16;
constexpr size_t kSequence = 20;
constexpr size_t kTimeSent = 24;
constexpr size_t kChunkLength = 32;
constexpr uint8_t kSeal[4] = {'M', 'M', 'S', ' '};

}  // namespace

uint32_t Command::U32(size_t offset) const {
    return offset + 4 <= bytes.size() ? ReadLe32(&bytes[offset]) : 0;
}

std::string Command::Text(size_t offset) const {
    if (offset >= bytes.size()) {
        return {};
    }
    return Utf16LeToUtf8(std::span(bytes).subspan(offset));
}

std::optional<uint32_t> BodyLength(std::span<const uint8_t> prefix, std::string* error) {
    if (prefix.size() < kPrefixSize || ReadLe32(&prefix[4]) != kSessionSignature) {
        *error = "not an MMS command message";
        return std::nullopt;
    }
    const uint32_t length = ReadLe32(&prefix[kLengthField]);
    if (length < kCommandHeaderSize - kPrefixSize) {
        *error = "command message too short";
        return std::nullopt;
    }
    if (length > limits::kMaxMmsCommandBody) {
        *error = "command message too long";
        return std::nullopt;
    }
    return length;
}

std::optional<Command> ParseCommand(std::span<const uint8_t> message, std::string* error) {
    auto length = BodyLength(message, error);
    if (!length) {
        return std::nullopt;
    }
    if (message.size() != kPrefixSize + *length) {
        *error = "command message length does not match its length field";
        return std::nullopt;
    }
    Command command;
    command.code = ReadLe32(&message[kCommandCodeOffset]);
    command.bytes.assign(message.begin(), message.end());
    return command;
}

std::vector<uint8_t> BuildCommand(uint32_t code, uint32_t sequence, std::span<const uint8_t> body) {
    const size_t unpadded = kCommandHeaderSize + body.size();
    std::vector<uint8_t> message((unpadded + 7) / 8 * 8, 0);
    const uint32_t length = static_cast<uint32_t>(message.size() - kPrefixSize);
    message[0] = 0x01;
    WriteLe32(&message[4], kSessionSignature);
    WriteLe32(&message[kLengthField], length);
    std::memcpy(&message[12], kSeal, sizeof kSeal);
    WriteLe32(&message[kChunkCount], length / 8);
    WriteLe32(&message[kSequence], sequence);
    WriteLe64(&message[kTimeSent], 0);
    WriteLe32(&message[kChunkLength], length / 8 - 2);
    WriteLe32(&message[kCommandCodeOffset], code);
    if (!body.empty()) {
        std::memcpy(&message[kCommandHeaderSize], body.data(), body.size());
    }
    return message;
}

void AppendDataPacket(std::vector<uint8_t>& out, uint32_t location, uint8_t incarnation,
                      uint8_t flags, std::span<const uint8_t> payload) {
    const size_t at = out.size();
    out.resize(at + kDataPacketPrefixSize);
    WriteLe32(&out[at], location);
    out[at + 4] = incarnation;
    out[at + 5] = flags;
    WriteLe16(&out[at + 6], static_cast<uint16_t>(kDataPacketPrefixSize + payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
}

}  // namespace tapewell::testserver::mms
