#include "asf/SimpleIndex.h"

#include <algorithm>
#include <array>

#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/Limits.h"
#include "common/LittleEndian.h"

namespace tapewell {
namespace {

using AsfPacketTools::PayloadInfo;

constexpr size_t kFileIdAt = asf::si::kFileId;
constexpr size_t kIntervalAt = asf::si::kEntryTimeInterval;
constexpr size_t kMaxPacketCountAt = asf::si::kMaxPacketCount;
constexpr size_t kEntriesCountAt = asf::si::kEntriesCount;
constexpr size_t kEntriesAt = asf::si::kEntries;
constexpr size_t kEntrySize = asf::kSimpleIndexEntrySize;
constexpr uint64_t kHundredNsPerMs = 10'000;
constexpr uint32_t kMaxEntryPacketCount = 0xFFFF;
// Never more entries than the cutter takes over from a source whose index
// it copies: a month of media at one entry a second.
constexpr uint64_t kMaxEntries = (limits::kMaxSimpleIndexBytes - kEntriesAt) / kEntrySize;
// A multiple-payload packet counts its payloads in five bits.
constexpr size_t kMaxPayloads = 31;

// The first entry whose time (entry number x interval) is at or after t:
// from there on, an object starting at t is a place a player may start.
uint32_t FirstEntryAtOrAfter(uint32_t timeMs, uint32_t intervalMs) {
    return timeMs / intervalMs + (timeMs % intervalMs != 0 ? 1 : 0);
}

}  // namespace

SimpleIndexBuilder::SimpleIndexBuilder(std::span<const uint8_t> videoStreams, uint32_t intervalMs)
    : m_videoStreams(videoStreams.begin(), videoStreams.end()),
      m_intervalMs(std::max<uint32_t>(intervalMs, 1)) {}

void SimpleIndexBuilder::AddPacket(uint32_t number, std::span<const uint8_t> packet) {
    // The payloads are taken only once the whole layout proved sound: a
    // damaged packet must not leave half of itself in the index.
    std::array<PayloadInfo, kMaxPayloads> payloads;
    size_t count = 0;
    const int walked = AsfPacketTools::ForEachPayload(packet, [&](const PayloadInfo& payload) {
        payloads[count++] = payload;
        return count < payloads.size();
    });
    if (walked != 0) {
        m_open = false;
        return;
    }
    bool continued = false;
    for (size_t i = 0; i < count; ++i) {
        const PayloadInfo& payload = payloads[i];
        if (payload.hasTime) {
            m_latestTimeMs = std::max(m_latestTimeMs, payload.presentationTime);
        }
        if (m_open && payload.stream == m_openStream) {
            if (!payload.compressed && payload.objectOffset != 0 &&
                payload.objectNumber == m_openObject) {
                continued = ContinueOpen(number) || continued;
                continue;
            }
            m_open = false;  // the stream has gone on to its next object
        }
        if (IsIndexStart(payload)) {
            continued = AddStart(number, payload) || continued;
        }
    }
    // An object's fragments follow one another packet by packet; one that
    // skips a packet is no longer followed.
    m_open = m_open && continued;
}

bool SimpleIndexBuilder::IsIndexStart(const PayloadInfo& payload) const {
    if (!payload.hasTime || (!payload.compressed && payload.objectOffset != 0)) {
        return false;  // a start without a time has no place in the index
    }
    if (m_videoStreams.empty()) {
        return true;  // every audio object decodes on its own
    }
    return payload.keyFrame && std::find(m_videoStreams.begin(), m_videoStreams.end(),
                                         payload.stream) != m_videoStreams.end();
}

bool SimpleIndexBuilder::ContinueOpen(uint32_t number) {
    KeyStart& start = m_starts.back();
    const uint64_t last = uint64_t{start.packet} + start.packets - 1;
    if (number == last) {
        return true;  // another fragment in the same packet
    }
    if (number != last + 1) {
        return false;
    }
    ++start.packets;
    return true;
}

bool SimpleIndexBuilder::AddStart(uint32_t number, const PayloadInfo& payload) {
    const KeyStart start{payload.presentationTime, number, 1};
    // Of the starts that first serve the same entry, only the latest in
    // time is ever named, so it replaces the one before: hours of audio
    // objects keep two starts per interval at most. The very first start
    // stays, for the entries before it.
    if (m_starts.size() >= 2 && FirstEntryAtOrAfter(m_starts.back().timeMs, m_intervalMs) ==
                                    FirstEntryAtOrAfter(start.timeMs, m_intervalMs)) {
        if (start.timeMs < m_starts.back().timeMs) {
            return false;  // the start kept stays the one followed
        }
        m_starts.back() = start;
    } else {
        m_starts.push_back(start);
    }
    // A compressed payload holds its objects whole.
    m_open = !payload.compressed;
    m_openStream = payload.stream;
    m_openObject = payload.objectNumber;
    return m_open;
}

bool SimpleIndexBuilder::HasEntries() const {
    return !m_starts.empty();
}

std::vector<uint8_t> SimpleIndexBuilder::Object(const Guid& fileId) const {
    if (!HasEntries()) {
        return {};
    }
    const uint64_t entries =
        std::min<uint64_t>(uint64_t{m_latestTimeMs} / m_intervalMs + 1, kMaxEntries);
    std::vector<uint8_t> object(kEntriesAt + entries * kEntrySize);
    std::copy(guids::kSimpleIndex.bytes.begin(), guids::kSimpleIndex.bytes.end(), object.begin());
    WriteLe64(&object[asf::kObjectSizeField], object.size());
    std::copy(fileId.bytes.begin(), fileId.bytes.end(), object.begin() + kFileIdAt);
    WriteLe64(&object[kIntervalAt], m_intervalMs * kHundredNsPerMs);
    WriteLe32(&object[kEntriesCountAt], static_cast<uint32_t>(entries));

    // Entry i names the latest start at or before i x interval (later in
    // the file on equal times); before the first start, the first start.
    std::vector<KeyStart> byTime = m_starts;
    std::stable_sort(byTime.begin(), byTime.end(),
                     [](const KeyStart& a, const KeyStart& b) { return a.timeMs < b.timeMs; });
    uint32_t maxPacketCount = 0;
    size_t next = 0;
    for (uint64_t i = 0; i < entries; ++i) {
        const uint64_t entryTime = i * m_intervalMs;
        while (next < byTime.size() && byTime[next].timeMs <= entryTime) {
            ++next;
        }
        const KeyStart& start = next == 0 ? m_starts.front() : byTime[next - 1];
        const uint32_t packets = std::min(start.packets, kMaxEntryPacketCount);
        maxPacketCount = std::max(maxPacketCount, packets);
        uint8_t* entry = &object[kEntriesAt + i * kEntrySize];
        WriteLe32(entry, start.packet);
        WriteLe16(entry + 4, static_cast<uint16_t>(packets));
    }
    WriteLe32(&object[kMaxPacketCountAt], maxPacketCount);
    return object;
}

}  // namespace tapewell
