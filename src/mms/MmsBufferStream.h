#pragma once

#include <span>

#include "mms/MmsByteStream.h"

namespace tapewell {

// A stream that replays bytes held in memory and drops what is sent.
class MmsBufferStream final : public MmsByteStream {
public:
    explicit MmsBufferStream(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
    ssize_t Receive(std::span<uint8_t> buffer) override;
    bool Send(std::span<const uint8_t> bytes) override;
    size_t MessagesSent() const { return m_sent; }

private:
    std::span<const uint8_t> m_bytes;
    size_t m_position = 0;
    size_t m_sent = 0;
};

}  // namespace tapewell
