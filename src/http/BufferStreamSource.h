#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "http/StreamSource.h"

namespace tapewell {

// A source over bytes in memory, handing out at most `piece` bytes per
// receive so that reads meet the ends of receives at every place.
class BufferStreamSource final : public StreamSource {
public:
    explicit BufferStreamSource(std::span<const uint8_t> bytes, size_t piece = SIZE_MAX)
        : m_bytes(bytes), m_piece(piece == 0 ? 1 : piece) {}
    ssize_t Receive(std::span<uint8_t> buffer) override;
    std::string ErrorName() const override { return {}; }
    size_t Receives() const { return m_receives; }

private:
    std::span<const uint8_t> m_bytes;
    size_t m_piece;
    size_t m_receives = 0;
};

}  // namespace tapewell
