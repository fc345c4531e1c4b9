#include "AsfBuilder.h"

namespace tapewell::test {

void PutLe(Bytes& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

Bytes ObjectClaiming(const Guid& id, uint64_t claimedSize, const Bytes& body) {
    Bytes out(id.bytes.begin(), id.bytes.end());
    PutLe(out, claimedSize, 8);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes Object(const Guid& id, const Bytes& body) {
    return ObjectClaiming(id, 24 + body.size(), body);
}

Bytes FilePropertiesObject(uint32_t packetSize, uint64_t packets, uint64_t playDuration,
                           uint64_t preroll) {
    Bytes body(16, 0x5A);  // File ID
    PutLe(body, 0, 8);     // File Size
    PutLe(body, 0, 8);     // Creation Date
    PutLe(body, packets, 8);
    PutLe(body, playDuration, 8);
    PutLe(body, playDuration, 8);
    PutLe(body, preroll, 8);
    PutLe(body, 2, 4);
    PutLe(body, packetSize, 4);
    PutLe(body, packetSize, 4);
    PutLe(body, 100000, 4);
    return Object(guids::kFileProperties, body);
}

Bytes HeaderObject(const std::vector<Bytes>& children) {
    Bytes body;
    PutLe(body, children.size(), 4);
    body.push_back(1);
    body.push_back(2);
    for (const auto& child : children) {
        body.insert(body.end(), child.begin(), child.end());
    }
    return Object(guids::kHeader, body);
}

Bytes DataObject(uint64_t packets, uint32_t packetSize, uint64_t claimedPackets) {
    Bytes body(16, 0x5A);
    PutLe(body, claimedPackets, 8);
    PutLe(body, 0x0101, 2);
    Bytes out = ObjectClaiming(guids::kData, 50 + claimedPackets * packetSize, body);
    for (uint64_t i = 0; i < packets; ++i) {
        Bytes packet(packetSize, 0);
        packet[0] = 0x82;
        out.insert(out.end(), packet.begin(), packet.end());
    }
    return out;
}

Bytes Concat(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const auto& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

}  // namespace tapewell::test
