#include "mms/MmsMessages.h"

#include <algorithm>

#include "common/Limits.h"
#include "common/LittleEndian.h"
#include "common/TextCodec.h"
#include "common/TextFormat.h"
#include "mms/MmsProtocol.h"

namespace tapewell {
namespace {

// Time stamps, as the bits of the doubles Windows Media Player sends.
constexpr uint64_t kStampConnect = 0x3F847AE147AE147B;      // 0.01
constexpr uint64_t kStampFunnelInfo = 0x3F847AE11EB851EC;   // 0.0099999988
constexpr uint64_t kStampOpen = 0x3FC1EB851EB851EC;         // 0.14
constexpr uint64_t kStampReadBlock = 0x3FD0000000000000;    // 0.25
constexpr uint64_t kStampSelection = 0x3FF07EF9DB22D0E5;    // 1.031
constexpr uint64_t kStampPlay = 0x3FF9A1CAC083126F;         // 1.602
constexpr uint64_t kStampPong = 0x408F23220DE56042;         // 996.39
constexpr uint64_t kReadBlockSeconds = 0x40AC200000000000;  // 3600.0

constexpr uint32_t kStartPlayingSequence = 6;
constexpr uint32_t kNoPacketPair = 0xF0F0F0EF;
// A server code 0x0004xxxx answered by the client code 0x0003xxxx.
constexpr uint32_t kServerToClient = 0x00010000;

constexpr size_t kConnectSize = 176;
constexpr size_t kShortSize = 48;
constexpr size_t kTransportHeadSize = 60;
constexpr size_t kOpenFileHeadSize = 56;
constexpr size_t kReadBlockSize = 88;
constexpr size_t kSelectionSize = 64;
// A stream switch entry: source stream (none), destination stream, thinning.
constexpr size_t kSwitchEntrySize = 6;
constexpr size_t kSwitchEntriesAt = 44;
constexpr uint16_t kNoStream = 0xFFFF;
constexpr uint16_t kThinningNone = 0;    // every media object of the stream
constexpr uint16_t kThinningAllOff = 2;  // none of them
constexpr size_t kStartPlayingSize = 88;
constexpr size_t kChunk = 8;
constexpr size_t kMaxAgentUnits = (kConnectSize - mms::kConnectPlayerIdOffset) / 2;

void Put32(std::vector<uint8_t>& m, size_t at, uint32_t v) {
    WriteLe32(&m[at], v);
}

void Put64(std::vector<uint8_t>& m, size_t at, uint64_t v) {
    WriteLe64(&m[at], v);
}

// Puts UTF-16LE units at `at`; the message must already be long enough.
void PutText(std::vector<uint8_t>& m, size_t at, const std::vector<uint8_t>& units) {
    std::copy(units.begin(), units.end(), m.begin() + static_cast<ptrdiff_t>(at));
}

}  // namespace

std::vector<uint8_t> MmsMessages::WireText(std::string_view text, size_t maxUnits) {
    std::vector<uint8_t> units = Utf8ToUtf16Le(text);
    if (units.size() > maxUnits * 2) {
        units.resize(maxUnits * 2);
    }
    for (size_t i = units.size(); i >= 2; i -= 2) {
        if (units[i - 2] == ' ' && units[i - 1] == 0) {
            units[i - 2] = 0;
            break;
        }
    }
    return units;
}

std::vector<uint8_t> MmsMessages::Start(size_t totalSize, uint32_t code, uint64_t timeStampBits,
                                        bool advance) {
    std::vector<uint8_t> m(totalSize, 0);
    const uint32_t length = static_cast<uint32_t>(totalSize - mms::kPrefixSize);
    const uint32_t chunks = length / kChunk;
    m[0] = mms::kCommandMarker;
    Put32(m, 4, mms::kSessionSignature);
    Put32(m, 8, length);
    m[12] = 'M';
    m[13] = 'M';
    m[14] = 'S';
    m[15] = ' ';
    Put32(m, 16, chunks);
    Put32(m, 20, advance ? m_sequence++ : kStartPlayingSequence);
    Put64(m, 24, timeStampBits);
    Put32(m, 32, chunks - 2);
    Put32(m, mms::kCommandCodeOffset, code);
    return m;
}

std::vector<uint8_t> MmsMessages::Connect(std::string_view playerAgent) {
    std::vector<uint8_t> m = Start(kConnectSize, mms::kConnect, kStampConnect);
    Put32(m, 40, 0xF0F0F0F0);
    Put32(m, 44, 0x0004000B);
    Put32(m, 48, 0x0003001C);
    std::vector<uint8_t> agent = Utf8ToUtf16Le(playerAgent);
    if (agent.size() > kMaxAgentUnits * 2) {
        agent.resize(kMaxAgentUnits * 2);
    }
    PutText(m, mms::kConnectPlayerIdOffset, agent);
    return m;
}

std::vector<uint8_t> MmsMessages::FunnelInfo() {
    std::vector<uint8_t> m = Start(kShortSize, mms::kFunnelInfo, kStampFunnelInfo);
    Put32(m, 40, kNoPacketPair);
    Put32(m, 44, 0x0004000B);
    return m;
}

std::vector<uint8_t> MmsMessages::Transport(in_addr localAddress, uint16_t localPort) {
    const uint32_t host = ntohl(localAddress.s_addr);
    const std::string text =
        FormatText("\\\\%u.%u.%u.%u\\TCP\\%u %03x", host >> 24, (host >> 16) & 0xFF,
                   (host >> 8) & 0xFF, host & 0xFF, static_cast<unsigned>(localPort), 0x0Fu);
    const std::vector<uint8_t> units = WireText(text, text.size());
    std::vector<uint8_t> m =
        Start(kTransportHeadSize + units.size(), mms::kConnectFunnel, kStampOpen);
    Put32(m, 40, kNoPacketPair);
    Put32(m, 44, 0xFFFFFFFF);
    Put32(m, 52, 0x000A0000);
    Put32(m, 56, 2);
    PutText(m, kTransportHeadSize, units);
    return m;
}

std::vector<uint8_t> MmsMessages::OpenFile(std::string_view object) {
    if (!object.empty()) {
        object.remove_prefix(1);
    }
    const std::string text =
        FormatText("%.*s %02x.", static_cast<int>(object.size()), object.data(), 0x18u);
    const std::vector<uint8_t> units = WireText(text, limits::kMaxMmsPathUnits);
    std::vector<uint8_t> m = Start(kOpenFileHeadSize + units.size(), mms::kOpenFile, kStampOpen);
    Put32(m, 40, 1);
    Put32(m, 44, 0xFFFFFFFF);
    PutText(m, mms::kOpenFileNameOffset, units);
    return m;
}

std::vector<uint8_t> MmsMessages::ReadHeaderBlock() {
    std::vector<uint8_t> m = Start(kReadBlockSize, mms::kReadBlock, kStampReadBlock);
    Put32(m, 40, 1);
    Put32(m, 52, 0x00008000);
    Put32(m, 56, 0xFFFFFFFF);
    Put32(m, 60, 0x006B0065);
    Put64(m, 72, kReadBlockSeconds);
    Put32(m, 80, mms::kHeaderPacketType);
    return m;
}

std::vector<uint8_t> MmsMessages::StreamSelection(std::span<const StreamSwitch> streams) {
    const bool allOn =
        std::all_of(streams.begin(), streams.end(), [](const StreamSwitch& s) { return s.on; });
    if (!allOn) {
        // The entries, then zeros up to a whole number of 8-byte chunks.
        const size_t size =
            (kSwitchEntriesAt + streams.size() * kSwitchEntrySize + kChunk - 1) / kChunk * kChunk;
        std::vector<uint8_t> m = Start(size, mms::kStreamSwitch, kStampSelection);
        Put32(m, 40, static_cast<uint32_t>(streams.size()));
        size_t at = kSwitchEntriesAt;
        for (const StreamSwitch& s : streams) {
            WriteLe16(&m[at], kNoStream);
            WriteLe16(&m[at + 2], s.number);
            WriteLe16(&m[at + 4], s.on ? kThinningNone : kThinningAllOff);
            at += kSwitchEntrySize;
        }
        return m;
    }
    std::vector<uint8_t> m = Start(kSelectionSize, mms::kStreamSwitch, kStampSelection);
    Put32(m, 40, 2);
    Put32(m, 44, 0x0001FFFF);
    Put32(m, 48, 0xFFFF0000);
    Put32(m, 52, 2);
    Put32(m, 56, 0xFFFFFFFF);
    Put32(m, 60, 0x006B0065);
    return m;
}

std::vector<uint8_t> MmsMessages::StartPlaying(uint32_t startPacket) {
    std::vector<uint8_t> m = Start(kStartPlayingSize, mms::kStartPlaying, kStampPlay, false);
    Put32(m, 40, 1);
    Put32(m, 44, 0x0001FFFF);
    Put32(m, 56, 0xFFFFFFFF);
    Put32(m, 60, startPacket);
    Put32(m, 68, mms::kMediaPacketType);
    Put32(m, 72, 0x7FFFFFFF);
    Put32(m, 80, 0x7FFFFFFF);
    return m;
}

std::vector<uint8_t> MmsMessages::Pong(uint32_t pingCode) {
    std::vector<uint8_t> m = Start(kShortSize, pingCode - kServerToClient, kStampPong);
    Put32(m, 40, 0x000005D2);
    Put32(m, 44, 0x00000476);
    return m;
}

}  // namespace tapewell
