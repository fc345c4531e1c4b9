// Windows Media HTTP streaming and plain HTTP downloads, one request per
// connection.
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

#include "HttpRequest.h"
#include "ServerLimits.h"
#include "Sessions.h"
#include "StreamPlan.h"
#include "common/Base64.h"
#include "common/LittleEndian.h"

namespace tapewell::testserver {
namespace {

constexpr size_t kChunkPrefixSize = 12;  // type, length, sequence, incarnation, flags, length again
constexpr uint8_t kFirstHeaderPart = 0x04;
constexpr uint8_t kLastHeaderPart = 0x08;
// "$E" with the reason S_OK: the stream is over.
constexpr uint8_t kEndOfStream[] = {'$', 'E', 4, 0, 0, 0, 0, 0};
constexpr uint8_t kStreamChange[] = {'$', 'C', 4, 0, 0, 0, 0, 0};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string LowerExtension(const std::filesystem::path& path) {
    return Lower(path.extension().string());
}

bool IsAsfFile(const std::string& ext) {
    return ext == ".asf" || ext == ".wmv" || ext == ".wma";
}

std::string PlainContentType(const std::string& ext) {
    if (ext == ".asx" || ext == ".asf")
        return "video/x-ms-asf";
    if (ext == ".wax")
        return "audio/x-ms-wax";
    if (ext == ".wvx")
        return "video/x-ms-wvx";
    if (ext == ".wmv")
        return "video/x-ms-wmv";
    if (ext == ".wma")
        return "audio/x-ms-wma";
    if (ext == ".html" || ext == ".htm")
        return "text/html";
    if (ext == ".txt")
        return "text/plain";
    return "application/octet-stream";
}

bool SendStatus(Connection& c, int code, std::string_view reason, std::string_view extra = {}) {
    const std::string body = std::to_string(code) + " " + std::string(reason) + "\n";
    return c.Send("HTTP/1.0 " + std::to_string(code) + " " + std::string(reason) +
                  "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
                  "\r\n" + std::string(extra) + "Connection: close\r\n\r\n" + body);
}

// Appends one framed chunk: "$" and its letter, the length of what follows
// the length field, then the data packet header and the body.
void AppendChunk(std::vector<uint8_t>& out, char type, uint32_t sequence, uint8_t flags,
                 std::span<const uint8_t> body) {
    const size_t at = out.size();
    const uint16_t length = static_cast<uint16_t>(8 + body.size());
    out.resize(at + kChunkPrefixSize);
    out[at] = '$';
    out[at + 1] = static_cast<uint8_t>(type);
    WriteLe16(&out[at + 2], length);
    WriteLe32(&out[at + 4], sequence);
    out[at + 8] = 0;
    out[at + 9] = flags;
    WriteLe16(&out[at + 10], length);
    out.insert(out.end(), body.begin(), body.end());
}

// Appends the header as "$H" chunks: parts of it, flagged first and last.
void AppendHeaderChunks(std::vector<uint8_t>& out, std::span<const uint8_t> header,
                        unsigned parts) {
    const auto pieces = SplitHeader(header, parts, 0xFFFF - 8);
    for (size_t i = 0; i < pieces.size(); ++i) {
        const uint8_t flags =
            (i == 0 ? kFirstHeaderPart : 0) | (i + 1 == pieces.size() ? kLastHeaderPart : 0);
        AppendChunk(out, 'H', static_cast<uint32_t>(i), flags, pieces[i]);
    }
}

// Appends one data packet as a "$D" chunk, behind the header that goes
// before it when there is one. The broadcast server met in the field sent
// its own header again as a bare "$H" chunk; a new layout is announced the
// way a server switches playlist entries, by a "$C" stream change (its
// 4-byte reason S_OK, laid out like "$E") before the "$H".
void AppendPacketChunks(std::vector<uint8_t>& out, const PacketSource::Packet& packet,
                        unsigned headerParts) {
    if (packet.newLayout) {
        out.insert(out.end(), std::begin(kStreamChange), std::end(kStreamChange));
    }
    if (!packet.header.empty()) {
        AppendHeaderChunks(out, packet.header, headerParts);
    }
    AppendChunk(out, 'D', static_cast<uint32_t>(packet.number), 0, packet.bytes);
}

// The first packet a client holding resumeBytes of a recording lacks: a
// packet only partly in the file is sent again.
uint64_t ResumePacket(const ServedFile& file, const HttpRequest& request) {
    if (file.Live() || !request.resumeBytes || *request.resumeBytes <= file.Header().size()) {
        return 0;
    }
    const uint64_t packet = (*request.resumeBytes - file.Header().size()) / file.PacketSize();
    return std::min(packet, file.PacketCount());
}

// Sends the bytes one at a time, each in a send of its own.
bool DripSend(Connection& c, std::span<const uint8_t> bytes) {
    for (const uint8_t byte : bytes) {
        if (!c.Send(std::span(&byte, 1))) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(limits::kDripPauseMicros));
    }
    return true;
}

// Sends the byte over and over until the client goes or the cap is reached.
void SendForever(Connection& c, uint8_t byte) {
    const std::vector<uint8_t> block(4096, byte);
    uint64_t sent = 0;
    while (sent < limits::kFaultEndlessBytes && c.Send(block)) {
        sent += block.size();
    }
    LogLine("http " + c.Peer() + (sent < limits::kFaultEndlessBytes ? " left after " : " cut at ") +
            std::to_string(sent) + " endless bytes");
}

// Holds the connection open, saying nothing, until the client closes it.
void Stall(Connection& c) {
    for (int waited = 0; waited < limits::kFaultStallSeconds; ++waited) {
        if (c.ReadMore(1000) == Connection::Read::Closed) {
            LogLine("http " + c.Peer() + " left the stalled stream");
            return;
        }
        c.Input().clear();
    }
}

// Whether a request names a Windows Media player: its agent, or the client
// GUID that players put into a Pragma line.
bool PlayerIdentified(const HttpRequest& request) {
    const std::string* agent = request.Header("User-Agent");
    if (agent && agent->find("NSPlayer") != std::string::npos) {
        return true;
    }
    for (const auto& [name, value] : request.headers) {
        if (Lower(name) == "pragma" && Lower(value).find("xclientguid") != std::string::npos) {
            return true;
        }
    }
    return false;
}

class HttpSession {
public:
    HttpSession(Connection& c, const ServerOptions& o) : m_c(c), m_options(o) {}
    void Run();

private:
    bool ReadHead(std::string* head);
    void Log(int code, const std::string& what) const;
    bool Authorized() const;
    void ServeStream(const std::filesystem::path& file);
    void ServePlain(const std::filesystem::path& file, const std::string& ext);
    bool ServeFault();
    void ServePlainGetHeader(const std::filesystem::path& file);
    void StreamWithFault(PacketSource& feed, Pacer& pacer);
    void DripStream(std::vector<uint8_t>& head, PacketSource& feed);
    FramePacket Framer() const;

    Connection& m_c;
    const ServerOptions& m_options;
    HttpRequest m_request;
};

bool HttpSession::ReadHead(std::string* head) {
    for (;;) {
        std::vector<uint8_t>& in = m_c.Input();
        const std::string_view text(reinterpret_cast<const char*>(in.data()), in.size());
        if (const size_t end = FindHeadEnd(text); end != 0) {
            *head = std::string(text.substr(0, end));
            m_c.Consume(end);
            return true;
        }
        if (in.size() > limits::kMaxHttpHead) {
            SendStatus(m_c, 431, "Request Header Fields Too Large");
            return false;
        }
        if (m_c.ReadMore(limits::kIdleSeconds * 1000) != Connection::Read::Data) {
            return false;
        }
    }
}

void HttpSession::Log(int code, const std::string& what) const {
    LogLine("http " + m_c.Peer() + " " + m_request.method + " " + m_request.target + " -> " +
            std::to_string(code) + " " + what);
}

bool HttpSession::Authorized() const {
    if (m_options.auth.empty()) {
        return true;
    }
    const std::string* value = m_request.Header("Authorization");
    return value && *value == "Basic " + Base64Encode(m_options.auth);
}

void HttpSession::Run() {
    std::string head;
    if (!ReadHead(&head)) {
        LogLine("http " + m_c.Peer() + " closed before a whole request");
        return;
    }
    std::string error;
    auto request = ParseHttpRequest(head, &error);
    if (!request) {
        LogLine("http " + m_c.Peer() + " bad request: " + error);
        SendStatus(m_c, 400, "Bad Request");
        return;
    }
    m_request = std::move(*request);
    if (m_request.method != "GET") {
        Log(501, "method not served");
        SendStatus(m_c, 501, "Not Implemented");
        return;
    }
    if (ServeFault()) {
        return;
    }
    if (!Authorized()) {
        Log(401, "credentials wanted");
        SendStatus(m_c, 401, "Unauthorized", "WWW-Authenticate: Basic realm=\"tapewell\"\r\n");
        return;
    }
    auto file = ResolveServedPath(m_options.root, m_request.path);
    if (!file) {
        Log(404, "no such file");
        SendStatus(m_c, 404, "Not Found");
        return;
    }
    const std::string ext = LowerExtension(*file);
    const std::string* agent = m_request.Header("User-Agent");
    const bool player =
        m_request.hasPragma || (agent && agent->find("NSPlayer") != std::string::npos);
    if (IsAsfFile(ext) && player) {
        ServeStream(*file);
    } else if (IsAsfFile(ext) && m_options.plainGetHeader && !PlayerIdentified(m_request)) {
        ServePlainGetHeader(*file);
    } else {
        ServePlain(*file, ext);
    }
}

void HttpSession::ServeStream(const std::filesystem::path& path) {
    if (m_options.redirect) {
        const std::string* host = m_request.Header("Host");
        Log(302, "redirect");
        SendStatus(m_c, 302, "Found",
                   "Location: http://" + (host ? *host : m_options.bind) + m_request.path + "\r\n");
        return;
    }
    std::string error;
    auto file = ServedFile::Open(path, m_options.live, &error, m_options.FieldBroadcast());
    if (!file) {
        Log(500, error);
        SendStatus(m_c, 500, "Internal Server Error");
        return;
    }
    const bool play = m_request.playStream;
    const uint64_t first = play ? ResumePacket(*file, m_request) : 0;
    Log(200,
        std::string(play ? "stream" : "header") +
            (first ? " from packet " + std::to_string(first) : "") +
            (m_request.streams.AnyOff() ? " without streams " + m_request.streams.OffText() : ""));
    std::string reply =
        "HTTP/1.0 200 OK\r\nServer: tapewell-testserver\r\nContent-Type: "
        "application/octet-stream\r\n"
        "Cache-Control: no-cache\r\nPragma: no-cache\r\nPragma: client-id=1\r\n";
    reply += file->Live() ? "Pragma: features=\"broadcast\"\r\n"
                          : "Pragma: features=\"seekable,stridable\"\r\n";
    reply += "Connection: close\r\n\r\n";
    std::vector<uint8_t> out(reply.begin(), reply.end());
    AppendHeaderChunks(out, file->Header(), m_options.headerParts);
    StreamPlan plan(*file, first, m_options);
    StreamFilter feed(plan, m_request.streams);
    if (m_options.httpFault == HttpFault::Drip) {
        if (play) {
            DripStream(out, feed);
        } else {
            DripSend(m_c, out);
        }
        return;
    }
    if (!m_c.Send(out) || !play) {
        return;
    }
    Pacer pacer(m_options.rate, m_options.kilobitsPerSecond);
    if (IsDataFault(m_options.httpFault)) {
        StreamWithFault(feed, pacer);
        return;
    }
    const StreamEnd end = StreamPackets(m_c, feed, pacer, m_options.dropAfter, Framer(), {});
    if (end == StreamEnd::EndOfFile) {
        m_c.Send(kEndOfStream);
    }
}

FramePacket HttpSession::Framer() const {
    return [parts = m_options.headerParts](std::vector<uint8_t>& o, const PacketSource::Packet& p) {
        AppendPacketChunks(o, p, parts);
    };
}

// --plain-get header: what the broadcast server met in the field answers a
// GET that names no player: its reply head and the header in one "$H"
// chunk, whatever the request asked for.
void HttpSession::ServePlainGetHeader(const std::filesystem::path& path) {
    std::string error;
    auto file = ServedFile::Open(path, m_options.live, &error, m_options.FieldBroadcast());
    if (!file) {
        Log(500, error);
        SendStatus(m_c, 500, "Internal Server Error");
        return;
    }
    Log(200, "header for a plain GET");
    const std::string reply =
        "HTTP/1.0 200 OK\r\nContent-type: application/octet-stream\r\n"
        "Server: Cougar 4.1.0.3921\r\nPragma: features=\"broadcast\"\r\n"
        "Connection: close\r\n\r\n";
    std::vector<uint8_t> out(reply.begin(), reply.end());
    AppendHeaderChunks(out, file->Header(), 1);
    m_c.Send(out);
}

void HttpSession::ServePlain(const std::filesystem::path& path, const std::string& ext) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        Log(404, "cannot open");
        SendStatus(m_c, 404, "Not Found");
        if (fd >= 0)
            close(fd);
        return;
    }
    // A file "NAME.EXT.gz" holds gzip data and is sent as NAME.EXT with
    // "Content-Encoding: gzip", as a web server compressing on the fly would.
    const bool gzip = ext == ".gz";
    const std::string type = PlainContentType(gzip ? LowerExtension(path.stem()) : ext);
    Log(200, gzip ? "download gzip" : "download");
    const bool endless = m_options.httpFault == HttpFault::EndlessBody;
    m_c.Send("HTTP/1.0 200 OK\r\nServer: tapewell-testserver\r\nContent-Type: " + type +
             (gzip ? "\r\nContent-Encoding: gzip" : "") +
             (endless ? std::string() : "\r\nContent-Length: " + std::to_string(st.st_size)) +
             "\r\nConnection: close\r\n\r\n");
    off_t offset = 0;
    while (offset < st.st_size) {
        const ssize_t n = sendfile(m_c.Fd(), fd, &offset, static_cast<size_t>(st.st_size - offset));
        if (n <= 0) {
            break;
        }
    }
    close(fd);
    if (endless) {
        SendForever(m_c, ' ');
    }
}

// The faults that answer a request before any file is looked at. True when
// the request was answered.
bool HttpSession::ServeFault() {
    switch (m_options.httpFault) {
        case HttpFault::AuthLoop:
            Log(401, "credentials never enough");
            SendStatus(m_c, 401, "Unauthorized", "WWW-Authenticate: Basic realm=\"tapewell\"\r\n");
            return true;
        case HttpFault::RedirectLoop: {
            const std::string* host = m_request.Header("Host");
            const std::string self =
                m_request.target.starts_with("/")
                    ? "http://" + (host ? *host : m_options.bind) + m_request.target
                    : m_request.target;
            Log(302, "redirect to itself");
            SendStatus(m_c, 302, "Found", "Location: " + self + "\r\n");
            return true;
        }
        case HttpFault::EndlessHead:
            Log(200, "endless header line");
            m_c.Send("HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nX-Filler: ");
            SendForever(m_c, 'x');
            return true;
        default:
            return false;
    }
}

// The stream up to the fault (after --drop-after packets when given), the
// fault, and for the faults the stream survives, the rest of it.
void HttpSession::StreamWithFault(PacketSource& feed, Pacer& pacer) {
    const FramePacket frame = Framer();
    const uint64_t faultAfter =
        m_options.dropAfter != 0 ? m_options.dropAfter : limits::kFaultAfterPackets;
    if (StreamPackets(m_c, feed, pacer, faultAfter, frame, {}) != StreamEnd::Dropped) {
        return;
    }
    const std::optional<PacketSource::Packet> next = feed.Next();
    if (!next) {
        return;
    }
    std::vector<uint8_t> chunk;
    AppendChunk(chunk, 'D', static_cast<uint32_t>(next->number), 0, next->bytes);
    switch (m_options.httpFault) {
        case HttpFault::Stall:
            Log(200, "stalled");
            Stall(m_c);
            return;
        case HttpFault::CutHead:
            Log(200, "cut inside a chunk prefix");
            m_c.Send(std::span(chunk).first(kChunkPrefixSize / 2));
            return;
        case HttpFault::CutBody:
            Log(200, "cut inside a data packet");
            m_c.Send(std::span(chunk).first(kChunkPrefixSize + next->bytes.size() / 2));
            return;
        case HttpFault::BadConfirm:
            Log(200, "length confirmation off by one");
            WriteLe16(&chunk[10], static_cast<uint16_t>(ReadLe16(&chunk[2]) - 1));
            break;
        case HttpFault::Oversized: {
            Log(200, "oversized chunk");
            chunk.clear();
            const std::vector<uint8_t> filler(0xFFFF - 8, 0xEE);
            AppendChunk(chunk, 'D', static_cast<uint32_t>(next->number), 0, filler);
            break;
        }
        default:
            return;
    }
    if (!m_c.Send(chunk) || StreamPackets(m_c, feed, pacer, 0, frame, {}) != StreamEnd::EndOfFile) {
        return;
    }
    m_c.Send(kEndOfStream);
}

// The whole stream a byte at a time: the reply and header already framed in
// head, then the packets (--drop-after of them when given) and "$E".
void HttpSession::DripStream(std::vector<uint8_t>& head, PacketSource& feed) {
    Log(200, "dripping");
    if (!DripSend(m_c, head)) {
        return;
    }
    std::vector<uint8_t> chunk;
    for (uint64_t sent = 0; m_options.dropAfter == 0 || sent < m_options.dropAfter; ++sent) {
        const std::optional<PacketSource::Packet> packet = feed.Next();
        chunk.clear();
        if (!packet) {
            DripSend(m_c, kEndOfStream);
            return;
        }
        AppendPacketChunks(chunk, *packet, m_options.headerParts);
        if (!DripSend(m_c, chunk)) {
            return;
        }
    }
}

}  // namespace

void ServeHttp(Connection& connection, const ServerOptions& options) {
    HttpSession(connection, options).Run();
}

}  // namespace tapewell::testserver
