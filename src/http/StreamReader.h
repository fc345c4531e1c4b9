#pragma once

#include <sys/types.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "common/Limits.h"

namespace tapewell {

class EngineMessages;
class OutputFile;

// Where the bytes of a reply come from: a TCP connection in the engine, a
// byte buffer in tests and fuzzers.
class StreamSource {
public:
    virtual ~StreamSource() = default;
    // One receive: the count received, 0 at the end of the stream, -1 on a
    // failure (ErrorName() then names it).
    virtual ssize_t Receive(std::span<uint8_t> buffer) = 0;
    virtual std::string ErrorName() const = 0;
};

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

private:
    void Refill();

    StreamSource& m_source;
    std::function<bool()> m_aborted;
    EngineMessages& m_messages;
    OutputFile* m_raw = nullptr;
    std::array<uint8_t, limits::kHttpRingBytes> m_ring{};
    size_t m_read = 0;
    size_t m_write = 0;  // may stand at kHttpRingBytes right after a receive
    bool m_endOfStream = false;
    bool m_exhausted = false;
};

}  // namespace tapewell
