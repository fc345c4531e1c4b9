#include "http/BufferStreamSource.h"

#include <algorithm>
#include <cstring>

namespace tapewell {

ssize_t BufferStreamSource::Receive(std::span<uint8_t> buffer) {
    ++m_receives;
    const size_t n = std::min({buffer.size(), m_bytes.size(), m_piece});
    std::memcpy(buffer.data(), m_bytes.data(), n);
    m_bytes = m_bytes.subspan(n);
    return static_cast<ssize_t>(n);
}

}  // namespace tapewell
