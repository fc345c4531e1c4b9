#include "http/BufferStreamSource.h"

#include <algorithm>

namespace tapewell {

ssize_t BufferStreamSource::Receive(std::span<uint8_t> buffer) {
    ++m_receives;
    const size_t n = std::min({buffer.size(), m_bytes.size(), m_piece});
    std::copy_n(m_bytes.begin(), n, buffer.begin());
    m_bytes = m_bytes.subspan(n);
    return static_cast<ssize_t>(n);
}

}  // namespace tapewell
