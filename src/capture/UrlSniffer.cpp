#include "capture/UrlSniffer.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "asf/AsfGuids.h"
#include "capture/CaptureSink.h"
#include "common/ByteCursor.h"
#include "common/Limits.h"
#include "common/TextCodec.h"
#include "mms/MmsProtocol.h"
#include "settings/AppSettings.h"

namespace tapewell {

// The parts of a TCP segment the protocol rules look at.
struct TcpSegment {
    uint32_t source = 0;
    uint32_t destination = 0;
    uint16_t sourcePort = 0;
    uint16_t destinationPort = 0;
    std::span<const uint8_t> payload;
};

namespace {

// Anything this short cannot hold a request worth reporting behind its
// headers, so it is dropped before any parsing.
constexpr size_t kSkippedFrameLength = 96;

constexpr size_t kEthernetHeader = 14;
constexpr size_t kEthernetTypeOffset = 12;
constexpr size_t kCookedHeader = 16;
constexpr size_t kCookedTypeOffset = 14;

constexpr uint16_t kTypeIpv4 = 0x0800;
constexpr uint16_t kTypePppoeDiscovery = 0x8863;
constexpr uint16_t kTypePppoeSession = 0x8864;
constexpr uint8_t kPppoeSessionData = 0;
constexpr uint16_t kPppIpv4 = 0x21;
constexpr uint8_t kProtocolTcp = 6;
constexpr uint16_t kFragmentMask = 0x3FFF;  // more-fragments flag and offset
constexpr size_t kMinIpv4Header = 20;
constexpr size_t kMinTcpHeader = 20;

constexpr uint16_t kHttpPort = 80;
constexpr uint16_t kHttpAltPort = 8080;
constexpr uint16_t kRtspPort = 554;

bool StartsWith(std::span<const uint8_t> bytes, std::string_view prefix) {
    return bytes.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), bytes.begin(),
                      [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

// A request line's target: up to the next blank or control byte (the space
// before the protocol version, or the line end of a version-less request),
// cut at its bound.
std::string RequestTarget(std::span<const uint8_t> bytes) {
    auto end = std::find_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b <= ' '; });
    size_t length = std::min<size_t>(end - bytes.begin(), limits::kCapturedRequestPath);
    return std::string(bytes.begin(), bytes.begin() + length);
}

std::string DottedAddress(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFF,
                  (address >> 8) & 0xFF, address & 0xFF);
    return text;
}

bool IsMediaPath(const std::string& path, const std::vector<std::string>& fileTypes) {
    const std::string lower = AsciiLower(path);
    return std::any_of(fileTypes.begin(), fileTypes.end(), [&](const std::string& type) {
        return lower.find(type, 1) != std::string::npos;
    });
}

}  // namespace

SnifferSettings SnifferSettings::From(const AppSettings& settings) {
    SnifferSettings s;
    s.captureHttp = settings.m_captureHttp;
    s.captureMms = settings.m_captureMms;
    s.captureRtsp = settings.m_captureRtsp;
    s.fileTypes = settings.m_fileTypes;
    return s;
}

UrlSniffer::UrlSniffer(SnifferSettings settings, CaptureSink& sink)
    : m_settings(std::move(settings)), m_sink(sink) {
    // Types are compared with the lower-cased path, so a ".WMV" typed into
    // the list matches too; an empty entry would match every path.
    for (auto& type : m_settings.fileTypes) {
        type = AsciiLower(type);
    }
    std::erase(m_settings.fileTypes, std::string());
}

void UrlSniffer::Examine(std::span<const uint8_t> frame, LinkType link) {
    if (frame.size() <= kSkippedFrameLength) {
        return;
    }
    const bool cooked = link == LinkType::LinuxCooked;
    ByteCursor cursor(frame);
    cursor.Skip(cooked ? kCookedTypeOffset : kEthernetTypeOffset);
    const uint16_t type = cursor.ReadU16Be();
    ExamineType(type, frame.subspan(cooked ? kCookedHeader : kEthernetHeader));
}

void UrlSniffer::ExamineType(uint16_t type, std::span<const uint8_t> body) {
    if (type == kTypeIpv4) {
        ExamineIpv4(body);
    } else if (type == kTypePppoeDiscovery || type == kTypePppoeSession) {
        ExaminePppoe(body);
    }
}

// PPPoE: version/type, code, session id and length, then the PPP protocol
// field, one byte when its first byte is odd (field compression) and two
// when only the second is.
void UrlSniffer::ExaminePppoe(std::span<const uint8_t> body) {
    ByteCursor cursor(body);
    cursor.Skip(1);
    const uint8_t code = cursor.ReadU8();
    cursor.Skip(4);
    const uint8_t first = cursor.ReadU8();
    uint16_t protocol = first;
    if ((first & 1) == 0) {
        const uint8_t second = cursor.ReadU8();
        if ((second & 1) == 0) {
            return;
        }
        protocol = static_cast<uint16_t>(first << 8 | second);
    }
    if (cursor.Ok() && code == kPppoeSessionData && protocol == kPppIpv4) {
        ExamineIpv4(body.subspan(cursor.Position()));
    }
}

// Only whole, unfragmented TCP datagrams: without reassembly a later
// fragment has no TCP header and the first holds only part of the segment.
// The total length, not the frame, bounds the datagram (Ethernet pads short
// frames); one claiming more than was captured is dropped.
void UrlSniffer::ExamineIpv4(std::span<const uint8_t> packet) {
    ByteCursor ip(packet);
    const uint8_t versionAndLength = ip.ReadU8();
    ip.Skip(1);
    const uint16_t totalLength = ip.ReadU16Be();
    ip.Skip(2);
    const uint16_t fragment = ip.ReadU16Be();
    ip.Skip(1);
    const uint8_t protocol = ip.ReadU8();
    ip.Skip(2);
    const uint32_t source = ip.ReadU32Be();
    const uint32_t destination = ip.ReadU32Be();
    const size_t headerLength = size_t{versionAndLength & 0x0Fu} * 4;
    if (!ip.Ok() || protocol != kProtocolTcp || (fragment & kFragmentMask) != 0 ||
        headerLength < kMinIpv4Header || totalLength > packet.size() ||
        totalLength < headerLength) {
        return;
    }
    ExamineTcp(packet.subspan(headerLength, totalLength - headerLength), source, destination);
}

void UrlSniffer::ExamineTcp(std::span<const uint8_t> segment, uint32_t source,
                            uint32_t destination) {
    ByteCursor tcp(segment);
    TcpSegment s;
    s.source = source;
    s.destination = destination;
    s.sourcePort = tcp.ReadU16Be();
    s.destinationPort = tcp.ReadU16Be();
    tcp.Skip(8);  // sequence and acknowledgement numbers
    const size_t headerLength = size_t{tcp.ReadU8()} >> 4 << 2;
    if (!tcp.Ok() || headerLength < kMinTcpHeader || headerLength > segment.size()) {
        return;
    }
    s.payload = segment.subspan(headerLength);
    const uint16_t port = s.destinationPort;
    if (m_settings.captureHttp && (port == kHttpPort || port == kHttpAltPort)) {
        ExamineHttp(s);
    } else if (m_settings.captureHttp && m_httpTitle.waiting &&
               (s.sourcePort == kHttpPort || s.sourcePort == kHttpAltPort)) {
        LookForTitle(s, m_httpTitle);
    } else if (m_settings.captureRtsp && port == kRtspPort) {
        ExamineRtsp(s);
    } else if (m_settings.captureMms && (port == mms::kPort || s.sourcePort == mms::kPort)) {
        ExamineMms(s);
    }
}

// The media type test runs on the lower-cased path; the address keeps the
// path as the browser sent it. A proxy request already carries the whole
// address, which is kept as it is.
void UrlSniffer::ExamineHttp(const TcpSegment& s) {
    if (!StartsWith(s.payload, "GET ")) {
        return;
    }
    const std::string path = RequestTarget(s.payload.subspan(4));
    if (!IsMediaPath(path, m_settings.fileTypes)) {
        return;
    }
    std::string address;
    if (AsciiLower(path.substr(0, 7)) == "http://") {
        address = path;
    } else if (s.destinationPort == kHttpPort) {
        address = "http://" + DottedAddress(s.destination) + path;
    } else {
        address = "http://" + DottedAddress(s.destination) + ":" +
                  std::to_string(s.destinationPort) + path;
    }
    m_sink.AddItem(address, "", "", "");
    m_httpTitle = {true, address, s.destination, s.destinationPort, s.sourcePort};
}

void UrlSniffer::ExamineRtsp(const TcpSegment& s) {
    constexpr std::string_view kDescribe = "DESCRIBE ";
    if (s.payload.size() <= 10 || !StartsWith(s.payload, kDescribe)) {
        return;
    }
    const std::string url = RequestTarget(s.payload.subspan(kDescribe.size()));
    if (!url.empty()) {
        m_sink.AddItem(url, "", "", "");
    }
}

void UrlSniffer::ExamineMms(const TcpSegment& s) {
    if (s.destinationPort == mms::kPort && ExamineMmsCommand(s)) {
        m_mmsTitle.waiting = true;
        return;
    }
    if (m_mmsTitle.waiting) {
        LookForTitle(s, m_mmsTitle);
    }
}

// A player's connect command names the player; its file-open command names
// the stream. Strings are read no further than the command's own length,
// and a command is only read when all of it is in the segment.
bool UrlSniffer::ExamineMmsCommand(const TcpSegment& s) {
    ByteCursor cursor(s.payload);
    const uint8_t first = cursor.ReadU8();
    cursor.Skip(3);  // version, minor version, padding
    const uint32_t sessionId = cursor.ReadU32();
    const uint32_t length = cursor.ReadU32();
    cursor.Skip(4);  // seal "MMS "
    if (!cursor.Ok() || first != mms::kCommandMarker || sessionId != mms::kSessionSignature) {
        return false;
    }
    // A command cut off by the end of the segment would give a cut name.
    if (length > s.payload.size() - mms::kPrefixSize) {
        return false;
    }
    const auto command = s.payload.first(mms::kPrefixSize + length);
    ByteCursor fields(command);
    fields.Skip(mms::kCommandCodeOffset);
    const uint32_t messageId = fields.ReadU32();
    if (messageId == mms::kOpenFile && command.size() > mms::kOpenFileNameOffset) {
        const std::string name =
            Utf16LeToUtf8(command.subspan(mms::kOpenFileNameOffset), limits::kCapturedFileName);
        m_mmsTitle.address = "mms://" + DottedAddress(s.destination) + "/" + name;
        m_mmsTitle.server = s.destination;
        m_mmsTitle.serverPort = mms::kPort;
        m_sink.AddItem(m_mmsTitle.address, "", "", m_playerId);
    } else if (messageId == mms::kConnect && command.size() > mms::kConnectPlayerIdOffset) {
        m_playerId =
            Utf16LeToUtf8(command.subspan(mms::kConnectPlayerIdOffset), limits::kCapturedPlayerId);
    }
    return true;
}

// The server sends the ASF header inside MMS data packets, behind their own
// 8-byte prefix and often after a reply in the same segment, or in an HTTP
// reply (after its header lines, and in a "$H" chunk when streaming), so the
// Content Description object is searched for anywhere in the server's
// segments. Its body starts with the five string lengths, the title's first.
void UrlSniffer::LookForTitle(const TcpSegment& s, TitleWatch& watch) {
    if (s.source != watch.server || s.sourcePort != watch.serverPort ||
        (watch.clientPort != 0 && s.destinationPort != watch.clientPort) || watch.address.empty()) {
        return;
    }
    const auto& guid = guids::kContentDescription.bytes;
    const auto found = std::search(s.payload.begin(), s.payload.end(), guid.begin(), guid.end());
    if (found == s.payload.end()) {
        return;
    }
    ByteCursor cursor(s.payload.subspan(found - s.payload.begin()));
    cursor.Skip(16 + 8);  // object GUID and size
    const uint16_t titleLength = cursor.ReadU16();
    cursor.Skip(8);  // the other four lengths
    const auto titleBytes = cursor.ReadBytes(titleLength);
    watch.waiting = false;
    const std::string title = Utf16LeToUtf8(titleBytes, limits::kCapturedTitle);
    if (cursor.Ok() && !title.empty()) {
        m_sink.RenameByAddress(watch.address, title);
    }
}

}  // namespace tapewell
