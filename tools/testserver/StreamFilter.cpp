#include "StreamFilter.h"

#include <algorithm>
#include <charconv>

#include "ServerLimits.h"
#include "asf/StreamSelection.h"
#include "common/LittleEndian.h"

namespace tapewell::testserver {
namespace {

constexpr uint16_t kNoStream = 0xFFFF;
constexpr uint16_t kThinningAllOff = 2;
constexpr uint16_t kMaxStreamNumber = 127;
constexpr size_t kMmsEntryCountAt = 40;
constexpr size_t kMmsEntriesAt = 44;
constexpr size_t kMmsEntrySize = 6;

bool ParseHex16(std::string_view text, uint16_t* out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out, 16);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

void StreamSwitchState::Apply(uint16_t from, uint16_t to, uint16_t thinning) {
    const auto set = [this](uint16_t stream, bool off) {
        const auto at = std::find(m_off.begin(), m_off.end(), stream);
        if (!off && at != m_off.end()) {
            m_off.erase(at);
        } else if (off && at == m_off.end() && m_off.size() < limits::kMaxStreamSwitches) {
            m_off.push_back(stream);
        }
    };
    if (from != kNoStream && from != to) {
        set(from, true);
    }
    if (to != kNoStream) {
        set(to, thinning == kThinningAllOff);
    }
}

void StreamSwitchState::ApplyMmsMessage(std::span<const uint8_t> message) {
    if (message.size() < kMmsEntriesAt) {
        return;
    }
    const size_t room = (message.size() - kMmsEntriesAt) / kMmsEntrySize;
    const size_t count =
        std::min<size_t>({ReadLe32(&message[kMmsEntryCountAt]), room, limits::kMaxStreamSwitches});
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* entry = &message[kMmsEntriesAt + i * kMmsEntrySize];
        Apply(ReadLe16(entry), ReadLe16(entry + 2), ReadLe16(entry + 4));
    }
}

void StreamSwitchState::ApplyPragmaEntries(std::string_view entries) {
    for (size_t read = 0; !entries.empty() && read < limits::kMaxStreamSwitches; ++read) {
        const size_t blank = entries.find(' ');
        const std::string_view entry = entries.substr(0, blank);
        entries = blank == std::string_view::npos ? std::string_view() : entries.substr(blank + 1);
        const size_t first = entry.find(':');
        const size_t second = first == std::string_view::npos ? first : entry.find(':', first + 1);
        uint16_t from = 0;
        uint16_t to = 0;
        uint16_t thinning = 0;
        if (second != std::string_view::npos && ParseHex16(entry.substr(0, first), &from) &&
            ParseHex16(entry.substr(first + 1, second - first - 1), &to) &&
            ParseHex16(entry.substr(second + 1), &thinning)) {
            Apply(from, to, thinning);
        }
    }
}

std::string StreamSwitchState::OffText() const {
    std::string text;
    for (const uint16_t n : m_off) {
        text += (text.empty() ? "" : ",") + std::to_string(n);
    }
    return text;
}

const std::vector<uint16_t>& StreamFilter::Kept() {
    if (m_kept.empty() || m_keptFor != m_switches.Off()) {
        m_keptFor = m_switches.Off();
        m_kept.clear();
        for (uint16_t n = 1; n <= kMaxStreamNumber; ++n) {
            if (std::find(m_keptFor.begin(), m_keptFor.end(), n) == m_keptFor.end()) {
                m_kept.push_back(n);
            }
        }
    }
    return m_kept;
}

std::optional<PacketSource::Packet> StreamFilter::Next() {
    std::span<const uint8_t> header;
    bool newLayout = false;
    while (std::optional<Packet> packet = m_source.Next()) {
        if (!packet->header.empty()) {
            header = packet->header;
            newLayout = newLayout || packet->newLayout;
        }
        if (m_switches.AnyOff() && !KeepStreamsInPacket(packet->bytes, Kept())) {
            ++m_skipped;
            continue;
        }
        packet->number -= m_skipped;
        packet->header = header;
        packet->newLayout = newLayout;
        return packet;
    }
    return std::nullopt;
}

}  // namespace tapewell::testserver
