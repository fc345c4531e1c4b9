#include "StreamPlan.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "ServerLimits.h"

namespace tapewell::testserver {
namespace {

bool IsStreamable(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".asf" || ext == ".wmv" || ext == ".wma";
}

}  // namespace

StreamPlan::StreamPlan(const ServedFile& file, uint64_t firstPacket, const ServerOptions& options)
    : m_options(options), m_current(&file) {
    StartFeed(firstPacket);
}

void StreamPlan::StartFeed(uint64_t firstPacket) {
    const ServedFile& file = *m_current;
    uint64_t round = 0;
    if (m_options.FieldBroadcast() && file.PacketCount() > 0 && file.LoopSpanMs() > 0) {
        // The broadcast has been running since the server started: find the
        // round and the packet it has reached.
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - m_options.started)
                                 .count();
        const uint64_t ms = static_cast<uint64_t>(std::max<int64_t>(elapsed, 0));
        round = ms / file.LoopSpanMs();
        const std::optional<uint64_t> at =
            file.PacketAtTime(static_cast<uint32_t>(ms % file.LoopSpanMs()));
        firstPacket = at.value_or(0);
        round += at ? 0 : 1;
    }
    m_feed = std::make_unique<PacketFeed>(file, firstPacket, round);
    if (m_options.loopRestart) {
        m_feed->KeepTimesEachRound();
    }
}

std::optional<PacketSource::Packet> StreamPlan::Next() {
    std::span<const uint8_t> header;
    bool newLayout = false;
    if (m_options.layoutChangeAfter != 0 && !m_layoutChanged &&
        m_sent >= m_options.layoutChangeAfter) {
        m_layoutChanged = true;
        if (SwitchLayout()) {
            header = m_current->Header();
            newLayout = true;
        }
    } else if (m_options.headerRepeat != 0 && m_sinceHeader >= m_options.headerRepeat) {
        // As the broadcast server met in the field did: behind the header
        // the stream goes back by about half a second. At most half the
        // packets since the last header go again, so the stream moves on.
        m_feed->StepBack(limits::kHeaderStepBackMs,
                         static_cast<size_t>(std::min<uint64_t>(m_options.headerRepeat / 2,
                                                                limits::kMaxStepBackPackets)));
        header = m_current->Header();
    }
    std::optional<Packet> packet = m_feed->Next();
    if (!packet) {
        return std::nullopt;
    }
    if (header.empty() && m_options.loopRestart && m_feed->BeganRound()) {
        header = m_current->Header();
    }
    if (!header.empty()) {
        m_sinceHeader = 0;
    }
    ++m_sent;
    ++m_sinceHeader;
    packet->header = header;
    packet->newLayout = newLayout;
    return packet;
}

bool StreamPlan::SwitchLayout() {
    std::unique_ptr<ServedFile> next = OpenOtherLayout(*m_current, m_options);
    if (!next) {
        return false;
    }
    const uint64_t number = m_feed->NextNumber();
    m_switchedTo = std::move(next);
    m_current = m_switchedTo.get();
    m_feed.reset();
    m_feed = std::make_unique<PacketFeed>(*m_current, 0);
    if (m_options.loopRestart) {
        m_feed->KeepTimesEachRound();
    }
    m_feed->NumberFrom(number);
    return true;
}

std::unique_ptr<ServedFile> OpenOtherLayout(const ServedFile& file, const ServerOptions& options) {
    std::error_code ec;
    std::vector<std::filesystem::path> names;
    for (std::filesystem::directory_iterator it(file.Path().parent_path(), ec), end;
         !ec && it != end && names.size() < limits::kMaxLayoutCandidates; it.increment(ec)) {
        if (it->is_regular_file(ec) && IsStreamable(it->path())) {
            names.push_back(it->path());
        }
    }
    std::sort(names.begin(), names.end());
    const auto self = std::upper_bound(names.begin(), names.end(), file.Path());
    std::rotate(names.begin(), self, names.end());
    for (const std::filesystem::path& name : names) {
        std::string error;
        auto other = ServedFile::Open(name, options.live, &error, options.FieldBroadcast());
        if (other && other->PacketSize() != file.PacketSize()) {
            return other;
        }
    }
    return nullptr;
}

}  // namespace tapewell::testserver
