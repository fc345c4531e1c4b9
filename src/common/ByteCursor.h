#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/LittleEndian.h"

namespace tapewell {

// A reader over untrusted bytes that never steps past its end. A read that
// does not fit yields zero, leaves the position where it was and marks the
// cursor failed; the failure is sticky so a parser can check once at the end.
class ByteCursor {
public:
    ByteCursor() = default;
    explicit ByteCursor(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    size_t Position() const { return m_pos; }
    size_t Size() const { return m_bytes.size(); }
    size_t Remaining() const { return m_bytes.size() - m_pos; }
    bool Ok() const { return m_ok; }
    bool AtEnd() const { return m_pos == m_bytes.size(); }

    bool Has(size_t n) const { return n <= Remaining(); }

    uint8_t ReadU8() { return Take(1) ? m_bytes[m_pos - 1] : 0; }
    uint16_t ReadU16() { return Take(2) ? ReadLe16(&m_bytes[m_pos - 2]) : 0; }
    uint32_t ReadU32() { return Take(4) ? ReadLe32(&m_bytes[m_pos - 4]) : 0; }
    uint64_t ReadU64() { return Take(8) ? ReadLe64(&m_bytes[m_pos - 8]) : 0; }

    // Network byte order, for the fields of captured frames.
    uint16_t ReadU16Be() { return Take(2) ? ReadBe16(&m_bytes[m_pos - 2]) : 0; }
    uint32_t ReadU32Be() {
        return Take(4) ? static_cast<uint32_t>(ReadBe16(&m_bytes[m_pos - 4])) << 16 |
                             ReadBe16(&m_bytes[m_pos - 2])
                       : 0;
    }

    // The next n bytes, or an empty span (and failure) when fewer remain.
    std::span<const uint8_t> ReadBytes(size_t n) {
        if (!Take(n)) {
            return {};
        }
        return m_bytes.subspan(m_pos - n, n);
    }

    // Up to n bytes: what is there when fewer remain, without failing.
    std::span<const uint8_t> ReadAtMost(size_t n) {
        size_t take = n < Remaining() ? n : Remaining();
        m_pos += take;
        return m_bytes.subspan(m_pos - take, take);
    }

    bool Skip(size_t n) { return Take(n); }

private:
    static uint16_t ReadBe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

    bool Take(size_t n) {
        if (!m_ok || n > Remaining()) {
            m_ok = false;
            return false;
        }
        m_pos += n;
        return true;
    }

    std::span<const uint8_t> m_bytes;
    size_t m_pos = 0;
    bool m_ok = true;
};

}  // namespace tapewell
