#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "common/Limits.h"
#include "http/StreamSource.h"

namespace tapewell {

class EngineMessages;
class OutputFile;

// The receive ring every byte of a reply passes through (readfromstream).
// Small reads are served from the ring; it is refilled by one receive only
// when more than limits::kHttpRingRefillFree bytes are free. Used on the
// engine's worker thread only; `aborted` may be set from any thread.
class StreamReader {
public:
    StreamReader(StreamSource& source, std::function<bool()> aborted, EngineMessages& messages);

    // Both indices 0, both flags clear.
    void Reset();
    // Every received byte is also written here (the "-r" side file); may be
    // null.
    void SetRawFile(OutputFile* raw) { m_raw = raw; }

    // Up to out.size() bytes; fewer only when the connection has ended.
    size_t Read(std::span<uint8_t> out);
    // One byte; false when the connection ended first.
    bool ReadByte(uint8_t& byte);
    // A little-endian field; false (value 0 or partial) when the connection
    // ended inside it.
    bool ReadLe(uint32_t& value, size_t bytes);

    // The connection has ended and every received byte was read.
    bool Exhausted() const { return m_exhausted; }
    // "recv failed: NAME" when a receive failed (a time-out, a reset), ""
    // when the connection ended by a close or not at all.
    const std::string& FailureText() const { return m_failure; }

private:
    void Refill();
    // Copies waiting bytes from the read index up to runEnd (at most
    // kHttpRingBytes) into out, moving the read index; the count copied.
    size_t CopyRun(std::span<uint8_t> out, size_t runEnd);

    StreamSource& m_source;
    std::function<bool()> m_aborted;
    EngineMessages& m_messages;
    OutputFile* m_raw = nullptr;
    std::array<uint8_t, limits::kHttpRingBytes> m_ring{};
    size_t m_read = 0;
    size_t m_write = 0;  // may stand at kHttpRingBytes right after a receive
    bool m_endOfStream = false;
    bool m_exhausted = false;
    std::string m_failure;
};

}  // namespace tapewell
