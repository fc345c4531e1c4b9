#include "PacketFeed.h"

#include <algorithm>
#include <thread>

#include "Connection.h"
#include "ServerLimits.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"

namespace tapewell::testserver {

PacketFeed::PacketFeed(const ServedFile& file, uint64_t firstPacket)
    : m_file(file), m_nextIndex(firstPacket) {}

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
    if (m_round > 0) {
        AsfPacketTools::ShiftPacketTimes(
            bytes, static_cast<uint32_t>(m_round * uint64_t{m_file.LoopSpanMs()}));
    }
    const int at = AsfPacketTools::SendTimeOffset(bytes);
    if (at > 0 && static_cast<size_t>(at) + 4 <= bytes.size()) {
        m_lastSendTime = ReadLe32(&bytes[at]);
    }
    return Packet{m_round * m_file.PacketCount() + index, m_lastSendTime, bytes};
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
        m_firstSendTime = sendTime;
    }
    steady_clock::time_point due;
    if (m_mode == Mode::Realtime) {
        due = m_start + milliseconds(sendTime > m_firstSendTime ? sendTime - m_firstSendTime : 0);
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

StreamEnd StreamPackets(Connection& connection, PacketFeed& feed, Pacer& pacer, uint64_t dropAfter,
                        const FramePacket& frame, const std::function<bool()>& keepGoing) {
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
