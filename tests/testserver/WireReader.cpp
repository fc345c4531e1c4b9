#include "WireReader.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "MmsMessage.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"
#include "common/TextCodec.h"

namespace tapewell::test {

namespace mms = testserver::mms;

HttpReply SplitReply(const std::vector<uint8_t>& bytes) {
    HttpReply reply;
    const std::string text(bytes.begin(), bytes.end());
    const size_t end = text.find("\r\n\r\n");
    if (end == std::string::npos) {
        reply.head = text;
        return reply;
    }
    reply.head = text.substr(0, end + 4);
    size_t at = end + 4;
    while (at + 4 <= bytes.size() && bytes[at] == '$') {
        const char type = static_cast<char>(bytes[at + 1]);
        const size_t length = ReadLe16(&bytes[at + 2]);
        if (type == 'E' || at + 4 + length > bytes.size() || length < 8) {
            reply.chunks.push_back({type, 0, 0, {}});
            break;
        }
        const uint8_t* p = &bytes[at + 4];
        reply.chunks.push_back({type, ReadLe32(p), p[5], {p + 8, p + length}});
        at += 4 + length;
    }
    return reply;
}

std::string ProbeRequest(const std::string& target) {
    return "GET " + target +
           " HTTP/1.0\r\nAccept: */*\r\nUser-Agent: NSPlayer/4.1.0.3856\r\nHost: 127.0.0.1\r\n"
           "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=0:0,request-context=1,"
           "max-duration=0\r\nPragma: xClientGUID={3300AD50-2C39-46C0-AE0A-60D0E0F0A0B0}\r\n"
           "Connection: Close\r\n\r\n";
}

std::string StreamRequest(const std::string& target, uint64_t heldBytes) {
    const std::string offset = heldBytes ? std::to_string(heldBytes) : "4294967295";
    return "GET " + target +
           " HTTP/1.0\r\nAccept: */*\r\nUser-Agent: NSPlayer/4.1.0.3856\r\nHost: 127.0.0.1\r\n"
           "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=" +
           (heldBytes ? "0" : "4294967295") + ":" + offset +
           ",request-context=2,max-duration=0\r\nPragma: xPlayStrm=1\r\n"
           "Pragma: xClientGUID={3300AD50-2C39-46C0-AE0A-60D0E0F0A0B0}\r\n"
           "Pragma: stream-switch-count=1\r\nPragma: stream-switch-entry=ffff:1:0\r\n"
           "Connection: Close\r\n\r\n";
}

namespace {

// Reads the reply to request until the server closes, maxBytes have come,
// enough(reply) holds or timeoutMs pass without a byte.
std::vector<uint8_t> ReadUntil(uint16_t port, std::span<const uint8_t> request, size_t maxBytes,
                               int timeoutMs,
                               const std::function<bool(const std::vector<uint8_t>&)>& enough) {
    std::vector<uint8_t> reply;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        ADD_FAILURE() << "cannot connect to port " << port;
        if (fd >= 0)
            close(fd);
        return reply;
    }
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    pollfd p{fd, POLLIN, 0};
    std::vector<uint8_t> buffer(65536);
    while (reply.size() < maxBytes && !(enough && enough(reply)) && poll(&p, 1, timeoutMs) == 1) {
        const ssize_t n =
            recv(fd, buffer.data(), std::min(buffer.size(), maxBytes - reply.size()), 0);
        if (n <= 0) {
            break;
        }
        reply.insert(reply.end(), buffer.begin(), buffer.begin() + n);
    }
    close(fd);
    return reply;
}

}  // namespace

std::vector<uint8_t> ReadAtMost(uint16_t port, std::span<const uint8_t> request, size_t maxBytes,
                                int timeoutMs) {
    return ReadUntil(port, request, maxBytes, timeoutMs, {});
}

std::vector<uint8_t> ReadMms(uint16_t port, std::span<const uint8_t> request, size_t maxBytes,
                             size_t units) {
    return ReadUntil(port, request, maxBytes, 5000, [units](const std::vector<uint8_t>& bytes) {
        const std::vector<MmsUnit> read = SplitMms(bytes);
        if (units > 0) {
            return read.size() >= units;
        }
        return std::any_of(read.begin(), read.end(), [](const MmsUnit& unit) {
            return unit.command && unit.code == mms::kReportEndOfStream && unit.U32(40) == 0;
        });
    });
}

uint32_t MmsUnit::U32(size_t offset) const {
    return offset + 4 <= bytes.size() ? ReadLe32(&bytes[offset]) : 0;
}

std::vector<uint8_t> MmsPlayRequest(const std::string& file,
                                    std::span<const uint8_t> streamSwitch) {
    std::vector<uint8_t> request;
    auto add = [&](uint32_t code, std::vector<uint8_t> body) {
        const auto message = mms::BuildCommand(code, 0, body);
        request.insert(request.end(), message.begin(), message.end());
    };
    auto u32 = [](std::initializer_list<uint32_t> values) {
        std::vector<uint8_t> body;
        for (const uint32_t v : values) {
            body.resize(body.size() + 4);
            WriteLe32(&body[body.size() - 4], v);
        }
        return body;
    };
    add(mms::kConnect, {});
    add(mms::kFunnelInfo, {});
    add(mms::kConnectFunnel, {});
    std::vector<uint8_t> open = u32({1, 0xFFFFFFFF, 0, 0});
    const auto name = Utf8ToUtf16Le(file);
    open.insert(open.end(), name.begin(), name.end());
    open.insert(open.end(), {0, 0});
    add(mms::kOpenFile, open);
    // The read-block and start-playing fields the server reads: the header
    // and media packet types at offsets 80 and 68, the start at offset 60.
    add(mms::kReadBlock, u32({1, 0, 0, 0x8000, 0xFFFFFFFF, 0, 0, 0, 0, 0, mms::kHeaderPacketType}));
    if (streamSwitch.empty()) {
        add(mms::kStreamSwitch, u32({2, 0x0001FFFF, 0xFFFF0000, 2, 0xFFFFFFFF, 0x006B0065}));
    } else {
        request.insert(request.end(), streamSwitch.begin(), streamSwitch.end());
    }
    add(mms::kStartPlaying,
        u32({1, 0x0001FFFF, 0, 0, 0xFFFFFFFF, 0, 0, mms::kMediaPacketType, 0x7FFFFFFF}));
    return request;
}

std::vector<MmsUnit> SplitMms(const std::vector<uint8_t>& bytes) {
    std::vector<MmsUnit> units;
    size_t at = 0;
    while (at + mms::kDataPacketPrefixSize <= bytes.size()) {
        const std::span<const uint8_t> rest = std::span(bytes).subspan(at);
        if (ReadLe32(&rest[4]) == mms::kSessionSignature) {
            std::string error;
            const auto length = rest.size() >= mms::kPrefixSize
                                    ? mms::BodyLength(rest.first(mms::kPrefixSize), &error)
                                    : std::nullopt;
            if (!length || mms::kPrefixSize + *length > rest.size()) {
                break;
            }
            const size_t total = mms::kPrefixSize + *length;
            units.push_back({true,
                             ReadLe32(&rest[mms::kCommandCodeOffset]),
                             {rest.begin(), rest.begin() + static_cast<ptrdiff_t>(total)},
                             0,
                             0,
                             0});
            at += total;
            continue;
        }
        const size_t total = ReadLe16(&rest[6]);
        if (total < mms::kDataPacketPrefixSize || total > rest.size()) {
            break;
        }
        units.push_back({false,
                         0,
                         {rest.begin() + mms::kDataPacketPrefixSize,
                          rest.begin() + static_cast<ptrdiff_t>(total)},
                         ReadLe32(&rest[0]),
                         rest[4],
                         rest[5]});
        at += total;
    }
    return units;
}

std::optional<uint32_t> SendTime(std::span<const uint8_t> packet) {
    const int at = AsfPacketTools::SendTimeOffset(packet);
    if (at <= 0 || static_cast<size_t>(at) + 4 > packet.size()) {
        return std::nullopt;
    }
    return ReadLe32(&packet[at]);
}

}  // namespace tapewell::test
