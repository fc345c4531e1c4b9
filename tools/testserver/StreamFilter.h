#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "PacketFeed.h"

namespace tapewell::testserver {

// The streams a client has switched off, from its stream selection: an
// MMS stream switch message or the "stream-switch-entry" Pragma lines of
// HTTP streaming. Each entry names a stream to replace (0xFFFF for none),
// the stream wanted and its thinning level; level 2 switches the wanted
// stream off, a replaced stream goes off too. Any other level turns the
// stream on again (key-frame thinning is not done: the stream comes whole).
class StreamSwitchState {
public:
    void Apply(uint16_t from, uint16_t to, uint16_t thinning);
    // The entries of an MMS stream switch message (count at offset 40, then
    // 6-byte entries); those past the message's end or the bound are not
    // read.
    void ApplyMmsMessage(std::span<const uint8_t> message);
    // The value of a "stream-switch-entry=" token: blank-separated
    // "from:to:thinning" entries of hexadecimal numbers; malformed entries
    // are skipped.
    void ApplyPragmaEntries(std::string_view entries);

    bool AnyOff() const { return !m_off.empty(); }
    const std::vector<uint16_t>& Off() const { return m_off; }
    // "2,5": the streams switched off, for the log.
    std::string OffText() const;

private:
    std::vector<uint16_t> m_off;
};

// The packets of a source with the payloads of switched-off streams taken
// out, as a server that honours a selection sends them: each packet
// rewritten in place, and one left with nothing skipped (its header, if
// one was to go before it, goes before the next). The numbers of the
// packets sent stay consecutive.
class StreamFilter : public PacketSource {
public:
    StreamFilter(PacketSource& source, const StreamSwitchState& switches)
        : m_source(source), m_switches(switches) {}

    std::optional<Packet> Next() override;
    bool ReadFailed() const override { return m_source.ReadFailed(); }

private:
    const std::vector<uint16_t>& Kept();

    PacketSource& m_source;
    const StreamSwitchState& m_switches;
    uint64_t m_skipped = 0;
    std::vector<uint16_t> m_keptFor;  // the switched-off set m_kept was made for
    std::vector<uint16_t> m_kept;
};

}  // namespace tapewell::testserver
