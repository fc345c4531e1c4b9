#include "ScriptedMmsPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>

#include "MmsMessage.h"
#include "common/LittleEndian.h"

namespace tapewell::test {
namespace {

namespace mms = testserver::mms;

constexpr int kWaitMs = 10'000;
constexpr uint32_t kUnknownReply = 0x00040099;

// Reads exactly n bytes, giving up after kWaitMs of silence or on m_quit.
bool ReadExact(int fd, uint8_t* out, size_t n, const std::atomic<bool>& quit) {
    while (n > 0 && !quit) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 100);
        if (ready < 0) {
            return false;
        }
        if (ready == 0) {
            continue;
        }
        const ssize_t got = ::recv(fd, out, n, 0);
        if (got <= 0) {
            return false;
        }
        out += got;
        n -= static_cast<size_t>(got);
    }
    return n == 0;
}

std::vector<uint8_t> Body(std::initializer_list<uint32_t> fields) {
    std::vector<uint8_t> body(fields.size() * 4);
    size_t at = 0;
    for (uint32_t f : fields) {
        WriteLe32(&body[at], f);
        at += 4;
    }
    return body;
}

}  // namespace

ScriptedMmsPeer::ScriptedMmsPeer(Script script) : m_script(std::move(script)) {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 1) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

ScriptedMmsPeer::~ScriptedMmsPeer() {
    m_quit = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    ::close(m_listenFd);
}

bool ScriptedMmsPeer::SendAll(int fd, const std::vector<uint8_t>& bytes) {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

void ScriptedMmsPeer::Serve() {
    pollfd p{m_listenFd, POLLIN, 0};
    if (::poll(&p, 1, kWaitMs) != 1) {
        return;
    }
    const int fd = ::accept(m_listenFd, nullptr, nullptr);
    if (fd < 0) {
        return;
    }
    uint8_t prefix[mms::kPrefixSize];
    while (ReadExact(fd, prefix, sizeof prefix, m_quit)) {
        std::vector<uint8_t> body(ReadLe32(&prefix[8]));
        if (!ReadExact(fd, body.data(), body.size(), m_quit) || body.size() < 24 ||
            !Answer(fd, ReadLe32(&body[20]))) {
            break;
        }
    }
    ::close(fd);
}

bool ScriptedMmsPeer::Answer(int fd, uint32_t code) {
    auto reply = [&](uint32_t replyCode, const std::vector<uint8_t>& body) {
        return SendAll(fd, mms::BuildCommand(replyCode, m_sequence++, body));
    };
    std::vector<uint8_t> out;
    switch (code) {
        case mms::kConnect:
            if (m_script.unknownReply && !reply(kUnknownReply, Body({7, 7, 7, 7, 7}))) {
                return false;
            }
            return reply(mms::kReportConnected, Body({0, 0, 0, 0}));
        case mms::kFunnelInfo:
            return reply(mms::kReportFunnelInfo, Body({0, 0, 1}));
        case mms::kConnectFunnel:
            return reply(mms::kReportConnectedFunnel, Body({0, 0}));
        case mms::kOpenFile:
            return reply(mms::kReportOpenFile, Body({0, 1, 1, 0}));
        case mms::kReadBlock:
            mms::AppendDataPacket(out, 0, mms::kHeaderPacketType, mms::kHeaderLast,
                                  m_script.header);
            return reply(mms::kReportReadBlock, Body({0, 2, 0})) && SendAll(fd, out);
        case mms::kStreamSwitch:
            // A silent server keeps the connection open and says nothing.
            return m_script.silentAfterHeader || reply(mms::kReportStreamSwitch, Body({0}));
        case mms::kStartPlaying:
            return reply(mms::kReportStartedPlaying, Body({0, 4, 1, 0})) && SendAll(fd, Media()) &&
                   reply(mms::kReportEndOfStream, Body({0, 4}));
        default:
            return true;
    }
}

std::vector<uint8_t> ScriptedMmsPeer::Media() {
    std::vector<uint8_t> out;
    if (m_script.typeThreePacket) {
        mms::AppendDataPacket(out, 0, 3, 0, std::vector<uint8_t>(100, 0xAB));
    }
    uint32_t location = 0;
    for (const auto& packet : m_script.packets) {
        mms::AppendDataPacket(out, location++, mms::kMediaPacketType, 0, packet);
    }
    for (const Segment& segment : m_script.later) {
        if (segment.announced) {
            constexpr uint32_t kMoreFollow = 1;
            const auto endOfEntry =
                mms::BuildCommand(mms::kReportEndOfStream, m_sequence++, Body({kMoreFollow, 4}));
            const auto change = mms::BuildCommand(
                0x00040020, m_sequence++,
                Body({0, 0xFF, 0, static_cast<uint32_t>(segment.header.size()), 0, 0}));
            out.insert(out.end(), endOfEntry.begin(), endOfEntry.end());
            out.insert(out.end(), change.begin(), change.end());
            location = 0;
        }
        const size_t step = (segment.header.size() + segment.headerParts - 1) / segment.headerParts;
        for (size_t at = 0, n = 0; at < segment.header.size(); at += step, ++n) {
            const size_t end = std::min(segment.header.size(), at + step);
            const uint8_t flags =
                end == segment.header.size() ? mms::kHeaderLast : mms::kHeaderMoreFollows;
            mms::AppendDataPacket(
                out, static_cast<uint32_t>(n), mms::kHeaderPacketType, flags,
                std::vector<uint8_t>(segment.header.begin() + static_cast<ptrdiff_t>(at),
                                     segment.header.begin() + static_cast<ptrdiff_t>(end)));
        }
        for (const auto& packet : segment.packets) {
            mms::AppendDataPacket(out, location++, mms::kMediaPacketType, 0, packet);
        }
    }
    return out;
}

}  // namespace tapewell::test
