#include "http/StreamReader.h"

#include <algorithm>
#include <cstring>

#include "common/OutputFile.h"
#include "http/EngineMessages.h"

namespace tapewell {

namespace {
constexpr size_t kRing = limits::kHttpRingBytes;
}

StreamReader::StreamReader(StreamSource& source, std::function<bool()> aborted,
                           EngineMessages& messages)
    : m_source(source), m_aborted(std::move(aborted)), m_messages(messages) {}

void StreamReader::Reset() {
    m_read = 0;
    m_write = 0;
    m_endOfStream = false;
    m_exhausted = false;
}

void StreamReader::Refill() {
    size_t freeSpace = (m_read + kRing - m_write) % kRing;
    if (freeSpace == 0) {
        freeSpace = kRing;  // equal indices outside a read mean an empty ring
    }
    if (m_endOfStream || freeSpace <= limits::kHttpRingRefillFree) {
        return;
    }
    // Up to one byte short of the read index, or the run to the ring's end.
    const size_t size = m_read > m_write ? m_read - m_write - 1 : kRing - m_write;
    if (size == 0) {
        return;
    }
    const ssize_t got =
        m_aborted() ? 0 : m_source.Receive(std::span(m_ring).subspan(m_write, size));
    if (got < 0) {
        m_failure = "recv failed: " + m_source.ErrorName();
        m_messages.Error("%s", m_failure.c_str());
        m_endOfStream = true;
    } else if (got == 0) {
        m_endOfStream = true;
    } else {
        const size_t n = std::min(static_cast<size_t>(got), size);
        if (m_raw != nullptr) {
            m_raw->Write(std::span(m_ring).subspan(m_write, n));
        }
        m_write += n;
    }
}

size_t StreamReader::Read(std::span<uint8_t> out) {
    size_t delivered = 0;
    while (!m_exhausted && delivered < out.size()) {
        Refill();
        if (m_read != m_write) {
            m_write %= kRing;
            // The waiting bytes run from the read index to the write index,
            // or, when they wrap, to the ring's end and on from its start; a
            // ring filled right up (write index wrapped onto the read index)
            // is one whole wrapped run. Copied in at most two pieces, up to
            // where the indices meet, as the byte-wise reading would stop.
            const bool wraps = m_read >= m_write;
            delivered += CopyRun(out.subspan(delivered), wraps ? kRing : m_write);
            if (wraps && m_read == 0) {
                delivered += CopyRun(out.subspan(delivered), m_write);
            }
        } else if (m_endOfStream) {
            m_exhausted = true;
        }
    }
    return delivered;
}

size_t StreamReader::CopyRun(std::span<uint8_t> out, size_t runEnd) {
    const size_t n = std::min(runEnd - m_read, out.size());
    std::memcpy(out.data(), m_ring.data() + m_read, n);
    m_read = (m_read + n) % kRing;
    return n;
}

bool StreamReader::ReadByte(uint8_t& byte) {
    return Read(std::span(&byte, 1)) == 1;
}

bool StreamReader::ReadLe(uint32_t& value, size_t bytes) {
    value = 0;
    for (size_t i = 0; i < bytes && i < 4; ++i) {
        uint8_t b = 0;
        if (!ReadByte(b)) {
            return false;
        }
        value |= static_cast<uint32_t>(b) << (8 * i);
    }
    return true;
}

}  // namespace tapewell
