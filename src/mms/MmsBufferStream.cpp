#include "mms/MmsBufferStream.h"

#include <algorithm>

namespace tapewell {

ssize_t MmsBufferStream::Receive(std::span<uint8_t> buffer) {
    // Hands the bytes out in pieces, as a connection does, so that the
    // reader's loops over partial receives run.
    constexpr size_t kMaxPiece = 4096;
    const size_t take = std::min({buffer.size(), m_bytes.size() - m_position, kMaxPiece});
    std::copy_n(m_bytes.begin() + static_cast<ptrdiff_t>(m_position), take, buffer.begin());
    m_position += take;
    return static_cast<ssize_t>(take);
}

bool MmsBufferStream::Send(std::span<const uint8_t> bytes) {
    m_sent += bytes.empty() ? 0 : 1;
    return true;
}

}  // namespace tapewell
