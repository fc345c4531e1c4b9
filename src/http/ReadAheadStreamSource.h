#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/Limits.h"
#include "http/StreamSource.h"

namespace tapewell {

// Puts a read-ahead buffer between the receive ring and the connection: the
// ring's small receives are served from one large receive, so a recording
// costs one system call per limits::kHttpReadAheadBytes instead of one per
// refill of the ring. The bytes, their order, the end and a failure (after
// every byte that came before it) reach the ring exactly as they left the
// connection. Used on the engine's worker thread only.
class ReadAheadStreamSource final : public StreamSource {
public:
    explicit ReadAheadStreamSource(StreamSource& source) : m_source(source) {}

    // Waiting bytes first; otherwise one receive from the connection.
    ssize_t Receive(std::span<uint8_t> buffer) override;
    std::string ErrorName() const override { return m_source.ErrorName(); }

private:
    StreamSource& m_source;
    std::vector<uint8_t> m_buffer = std::vector<uint8_t>(limits::kHttpReadAheadBytes);
    size_t m_begin = 0;  // the waiting bytes are [m_begin, m_end)
    size_t m_end = 0;
};

}  // namespace tapewell
