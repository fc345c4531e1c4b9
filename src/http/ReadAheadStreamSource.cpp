#include "http/ReadAheadStreamSource.h"

#include <algorithm>
#include <cstring>

namespace tapewell {

ssize_t ReadAheadStreamSource::Receive(std::span<uint8_t> buffer) {
    if (buffer.empty()) {
        return 0;
    }
    if (m_begin == m_end) {
        if (buffer.size() >= m_buffer.size()) {
            return m_source.Receive(buffer);  // nothing to gain from a copy
        }
        const ssize_t got = m_source.Receive(m_buffer);
        if (got <= 0) {
            return got;
        }
        m_begin = 0;
        m_end = std::min(static_cast<size_t>(got), m_buffer.size());
    }
    const size_t n = std::min(buffer.size(), m_end - m_begin);
    std::memcpy(buffer.data(), m_buffer.data() + m_begin, n);
    m_begin += n;
    return static_cast<ssize_t>(n);
}

}  // namespace tapewell
