// Rewrites arbitrary bytes as a stream's header and as one data packet for
// the streams the first input byte names (bit n: stream n + 1), and checks
// that what comes out is what a recording may hold: a header listing only
// kept streams, a packet of the same size whose payloads are all kept, and
// both left as they are by a second pass. The bytes are also read as a
// Streams text, which must read back the same from its written form.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "asf/AsfPacketTools.h"
#include "asf/StreamSelection.h"

namespace {

using namespace tapewell;

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

bool Kept(const std::vector<uint16_t>& keep, unsigned stream) {
    return std::find(keep.begin(), keep.end(), stream) != keep.end();
}

void Header(const std::vector<uint8_t>& header, const std::vector<uint16_t>& keep) {
    ErrorOr<std::vector<uint8_t>> rewritten = HeaderWithStreams(header, keep);
    if (!rewritten) {
        return;
    }
    for (const AsfStreamEntry& s : ListAsfStreams(*rewritten)) {
        Check(Kept(keep, s.number));
    }
    ErrorOr<std::vector<uint8_t>> again = HeaderWithStreams(*rewritten, keep);
    Check(again && *again == *rewritten);
}

void Packet(const std::vector<uint8_t>& input, const std::vector<uint16_t>& keep) {
    // A copy of exactly the packet size, so ASan sees any step past it.
    std::vector<uint8_t> packet = input;
    if (!KeepStreamsInPacket(packet, keep)) {
        Check(packet == input);
        return;
    }
    const std::vector<uint8_t> once = packet;
    Check(KeepStreamsInPacket(packet, keep) && packet == once);
    // The rest of the program reads every payload length as 16 bits.
    const bool multiple = packet[3] & 1;
    const size_t flagsAt = static_cast<size_t>(AsfPacketTools::SendTimeOffset(packet)) + 6;
    const unsigned lengthType = multiple && flagsAt < packet.size() ? packet[flagsAt] >> 6 : 0;
    if (AsfPacketTools::SendTimeOffset(packet) > 0 && (lengthType == 0 || lengthType == 2)) {
        const int walked =
            AsfPacketTools::ForEachPayload(packet, [&](const AsfPacketTools::PayloadInfo& p) {
                Check(Kept(keep, p.stream));
                return true;
            });
        Check(walked == 0);
    }
}

void Choice(const std::vector<uint8_t>& bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const ErrorOr<StreamChoice> choice = ParseStreamChoice(text);
    if (!choice) {
        return;
    }
    const ErrorOr<StreamChoice> again = ParseStreamChoice(StreamChoiceText(*choice));
    Check(again && again->kind == choice->kind && again->numbers == choice->numbers);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    std::vector<uint16_t> keep;
    for (uint16_t n = 1; n <= 8; ++n) {
        if (data[0] & (1u << (n - 1))) {
            keep.push_back(n);
        }
    }
    const std::vector<uint8_t> bytes(data + 1, data + size);
    Header(bytes, keep);
    Packet(bytes, keep);
    Choice(bytes);
    return 0;
}
