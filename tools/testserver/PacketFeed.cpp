#include "PacketFeed.h"

#include <algorithm>
#include <thread>

#include "Connection.h"
#include "ServerLimits.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"

namespace tapewell::testserver {

PacketFeed::PacketFeed(const ServedFile& file, uint64_t firstPacket, uint64_t firstRound)
    : m_file(file),
      m_round(firstRound),
      m_nextIndex(firstPacket),
      m_nextNumber(firstRound * file.PacketCount() + firstPacket),
      m_roundsBegun(firstRound) {}

void PacketFeed::Seek(uint64_t round, uint64_t index) {
    m_round = round;
    m_nextIndex = index;
    m_inBatch = m_batchCount = 0;
}

void PacketFeed::StepBack(uint32_t ms, size_t maxPackets) {
    if (m_recent.empty()) {
        return;
    }
    const uint32_t last = m_recent.back().sendTime;
    size_t back = 0;
    while (back < maxPackets && back < m_recent.size() &&
           last - std::min(last, m_recent[m_recent.size() - 1 - back].sendTime) <= ms) {
        ++back;
    }
    if (back == 0) {
        return;
    }
    const Position to = m_recent[m_recent.size() - back];
    m_recent.resize(m_recent.size() - back);
    Seek(to.round, to.index);
}

bool PacketFeed::Refill() {
    const uint64_t count = m_file.PacketCount();
    if (m_nextIndex >= count) {
        if (!m_file.Live() || count == 0) {
            return false;
        }
        m_nextIndex = 0;
        ++m_round;
    }
    const size_t perBatch = std::max<size_t>(1, limits::kSendBatchBytes / m_file.PacketSize());
    m_batchCount = static_cast<size_t>(std::min<uint64_t>(perBatch, count - m_nextIndex));
    m_batch.clear();
    if (!m_file.ReadPackets(m_nextIndex, m_batchCount, m_batch)) {
        m_readFailed = true;
        return false;
    }
    m_batchFirst = m_nextIndex;
    m_nextIndex += m_batchCount;
    m_inBatch = 0;
    return true;
}

std::optional<PacketFeed::Packet> PacketFeed::Next() {
    if (m_inBatch >= m_batchCount && !Refill()) {
        return std::nullopt;
    }
    const size_t size = m_file.PacketSize();
    std::span<uint8_t> bytes(m_batch.data() + m_inBatch * size, size);
    const uint64_t index = m_batchFirst + m_inBatch++;
    if (m_round > 0 && m_shiftTimes) {
        AsfPacketTools::ShiftPacketTimes(
            bytes, static_cast<uint32_t>(m_round * uint64_t{m_file.LoopSpanMs()}));
    }
    const int at = AsfPacketTools::SendTimeOffset(bytes);
    if (at > 0 && static_cast<size_t>(at) + 4 <= bytes.size()) {
        m_lastSendTime = ReadLe32(&bytes[at]);
    }
    m_beganRound = index == 0 && m_round > m_roundsBegun;
    m_roundsBegun = std::max(m_roundsBegun, m_round);
    m_recent.push_back({m_round, index, m_lastSendTime});
    if (m_recent.size() > limits::kMaxStepBackPackets) {
        m_recent.pop_front();
    }
    return Packet{m_nextNumber++, m_lastSendTime, bytes, {}, false};
}

std::optional<std::chrono::steady_clock::time_point> Pacer::DueTime(uint32_t sendTime,
                                                                    uint64_t bytesSent) {
    using namespace std::chrono;
    if (m_mode == Mode::Max) {
        return std::nullopt;
    }
    if (!m_started) {
        m_started = true;
        m_start = steady_clock::now();
        m_lastSendTime = sendTime;
    }
    steady_clock::time_point due;
    if (m_mode == Mode::Realtime) {
        m_streamMs += sendTime > m_lastSendTime ? sendTime - m_lastSendTime : 0;
        m_lastSendTime = sendTime;
        due = m_start + milliseconds(m_streamMs);
    } else {
        due = m_start + microseconds(bytesSent * 8000 / std::max<uint32_t>(m_kbps, 1));
    }
    if (due <= steady_clock::now()) {
        return std::nullopt;
    }
    return due;
}

namespace {

// Sleeps until due, waking every tenth of a second to ask whether to go on.
bool WaitUntil(std::chrono::steady_clock::time_point due, const std::function<bool()>& keepGoing) {
    using namespace std::chrono;
    while (steady_clock::now() < due) {
        if (keepGoing && !keepGoing()) {
            return false;
        }
        std::this_thread::sleep_until(std::min(due, steady_clock::now() + milliseconds(100)));
    }
    return true;
}

}  // namespace

StreamEnd StreamPackets(Connection& connection, PacketSource& feed, Pacer& pacer,
                        uint64_t dropAfter, const FramePacket& frame,
                        const std::function<bool()>& keepGoing) {
    std::vector<uint8_t> out;
    out.reserve(limits::kSendBatchBytes + 0x10000);
    uint64_t bytesSent = 0;
    auto flush = [&] {
        const bool ok = out.empty() || connection.Send(out);
        bytesSent += out.size();
        out.clear();
        return ok;
    };
    for (uint64_t sent = 0;; ++sent) {
        if (dropAfter != 0 && sent >= dropAfter) {
            return flush() ? StreamEnd::Dropped : StreamEnd::ClientGone;
        }
        auto packet = feed.Next();
        if (!packet) {
            if (!flush()) {
                return StreamEnd::ClientGone;
            }
            return feed.ReadFailed() ? StreamEnd::ReadFailed : StreamEnd::EndOfFile;
        }
        if (auto due = pacer.DueTime(packet->sendTime, bytesSent + out.size())) {
            if (!flush()) {
                return StreamEnd::ClientGone;
            }
            if (!WaitUntil(*due, keepGoing)) {
                return StreamEnd::Stopped;
            }
        }
        frame(out, *packet);
        if (out.size() >= limits::kSendBatchBytes) {
            if (!flush()) {
                return StreamEnd::ClientGone;
            }
            if (keepGoing && !keepGoing()) {
                return StreamEnd::Stopped;
            }
        }
    }
}

}  // namespace tapewell::testserver
