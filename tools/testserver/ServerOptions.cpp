#include "ServerOptions.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>
#include <utility>

#include "ServerLimits.h"

namespace tapewell::testserver {

const char kServerUsage[] =
    "Usage: tapewell-testserver --root DIR [options]\n"
    "\n"
    "Serves the ASF files under DIR over MMS (TCP) and Windows Media HTTP\n"
    "streaming, and every other file as plain HTTP. When ready it prints\n"
    "'listening mms=PORT http=PORT' (only the protocols it serves).\n"
    "The root itself (http://HOST:PORT/, mms://HOST:PORT/) is a publishing\n"
    "point: it serves the first .asf/.wmv/.wma file of DIR in name order, in\n"
    "every mode below (404 when DIR holds none).\n"
    "A client's stream selection is honoured over both protocols (MMS stream\n"
    "switch messages, HTTP \"stream-switch-entry\" Pragma lines): a stream\n"
    "switched off (thinning level 2, or replaced by another) has its payloads\n"
    "taken out of every packet, and a packet left empty is not sent (the\n"
    "numbers of those sent stay consecutive); other levels send a stream\n"
    "whole. The header is always the file's own, listing every stream.\n"
    "\n"
    "  --bind ADDR          IPv4 address to listen on (127.0.0.1)\n"
    "  --mms-port N         MMS port (0, the default, picks a free one)\n"
    "  --http-port N        HTTP port (0, the default, picks a free one)\n"
    "  --only mms|http      serve one protocol only\n"
    "  --live               loop each file as a broadcast\n"
    "  --rate max|realtime|KBPS  send as fast as possible (default), at the\n"
    "                       pace of the packets' send times, or at KBPS kbit/s\n"
    "  --header-parts N     split the header over N chunks / header packets\n"
    "  --auth USER:PASS     HTTP: answer 401 until these Basic credentials come\n"
    "  --drop-after N       close the connection after N data packets\n"
    "  --redirect           HTTP: answer 302 for every stream\n"
    "  --ping               MMS: send a keep-alive ping after the connect reply\n"
    "  --mms-fault NAME     MMS: misbehave on purpose. silent-header: send the\n"
    "                       first part of the header, then nothing (connection\n"
    "                       kept open); drip: send every byte alone, with a\n"
    "                       pause; the others strike after 10 data packets:\n"
    "                       silent-data (nothing more, connection kept open),\n"
    "                       close-in-packet / close-in-command (close halfway\n"
    "                       through a data packet / a ping command),\n"
    "                       command-length-negative / command-length-huge (a\n"
    "                       ping whose length field is 0xFFFFFFF8 / 0x7FFFFFF8),\n"
    "                       packet-length-tiny (a data packet length of 4),\n"
    "                       packet-length-huge (a data packet of 0xFFFF bytes,\n"
    "                       longer than the packet size), packet-length-short\n"
    "                       (a length field of half the packet that is then\n"
    "                       sent whole, and the rest of the stream after it)\n"
    "  --http-fault NAME    HTTP: misbehave on purpose (the data faults stall,\n"
    "                       cut-*, bad-confirm and oversized strike after\n"
    "                       --drop-after N data packets, 5 when not given):\n"
    "                       stall        send nothing more, keep the connection\n"
    "                       cut-head     close inside a chunk's 12-byte prefix\n"
    "                       cut-body     close inside a data packet\n"
    "                       drip         send every byte on its own\n"
    "                       bad-confirm  a chunk whose length confirmation differs\n"
    "                       oversized    a chunk of the largest length, filler body\n"
    "                       endless-head a reply header line that never ends\n"
    "                       endless-body plain replies: the file, then spaces forever\n"
    "                       auth-loop    401 for every request, whatever it carries\n"
    "                       redirect-loop  302 to the request's own address, always\n"
    "\n"
    "The habits of a real Windows Media broadcast server:\n"
    "  --header-repeat N    send the header again after every N data packets\n"
    "                       (HTTP: one more \"$H\" chunk; MMS: an end of stream\n"
    "                       with result 1, a stream change report and the\n"
    "                       header packets, then the stream goes on). The\n"
    "                       packets after it step back: those of up to the last\n"
    "                       500 ms (at most N/2 of them) are sent again, under\n"
    "                       new location numbers. With --live the broadcast\n"
    "                       runs on a clock from the server's start: a client\n"
    "                       joining late gets the location numbers and times of\n"
    "                       where it is, and the header says broadcast but keeps\n"
    "                       its play duration and file size\n"
    "  --loop-restart       with --live: every loop of the file starts its times\n"
    "                       at 0 again, behind a repeated header (the location\n"
    "                       numbers go on); joins follow the clock as above\n"
    "  --layout-change N    after N data packets switch, once, to the next file\n"
    "                       of the folder (by name, wrapping) whose packet size\n"
    "                       differs: its header goes out the way --header-repeat\n"
    "                       sends one, then its packets, numbers going on\n"
    "  --plain-get header   HTTP: a GET of a stream without player identification\n"
    "                       (no NSPlayer agent, no xClientGUID pragma) gets 200,\n"
    "                       the headers of a Cougar broadcast server and one\n"
    "                       \"$H\" chunk holding the header, then the close\n";

namespace {

template <typename T>
bool ParseNumber(std::string_view text, T max, T* out) {
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || value > max) {
        return false;
    }
    *out = static_cast<T>(value);
    return true;
}

bool ApplyRate(std::string_view value, ServerOptions& options) {
    if (value == "max") {
        options.rate = Pacer::Mode::Max;
    } else if (value == "realtime") {
        options.rate = Pacer::Mode::Realtime;
    } else if (ParseNumber<uint32_t>(value, 10'000'000, &options.kilobitsPerSecond) &&
               options.kilobitsPerSecond > 0) {
        options.rate = Pacer::Mode::Bitrate;
    } else {
        return false;
    }
    return true;
}

bool ApplyMmsFault(std::string_view value, ServerOptions& options) {
    static constexpr std::pair<std::string_view, MmsFault> kFaults[] = {
        {"silent-header", MmsFault::SilentHeader},
        {"silent-data", MmsFault::SilentData},
        {"close-in-packet", MmsFault::CloseInPacket},
        {"close-in-command", MmsFault::CloseInCommand},
        {"drip", MmsFault::Drip},
        {"command-length-negative", MmsFault::CommandLengthNegative},
        {"command-length-huge", MmsFault::CommandLengthHuge},
        {"packet-length-tiny", MmsFault::PacketLengthTiny},
        {"packet-length-huge", MmsFault::PacketLengthHuge},
        {"packet-length-short", MmsFault::PacketLengthShort},
    };
    for (const auto& [name, fault] : kFaults) {
        if (value == name) {
            options.mmsFault = fault;
            return true;
        }
    }
    return false;
}

bool ApplyOnly(std::string_view value, ServerOptions& options) {
    options.serveMms = value == "mms";
    options.serveHttp = value == "http";
    return options.serveMms || options.serveHttp;
}

// One option that takes a value; false when the value is not acceptable.
bool ApplyValue(std::string_view name, std::string_view value, ServerOptions& options) {
    if (name == "--root") {
        options.root = value;
        return !value.empty();
    }
    if (name == "--bind") {
        options.bind = value;
        return true;
    }
    if (name == "--mms-port")
        return ParseNumber<uint16_t>(value, 65535, &options.mmsPort);
    if (name == "--http-port")
        return ParseNumber<uint16_t>(value, 65535, &options.httpPort);
    if (name == "--only")
        return ApplyOnly(value, options);
    if (name == "--rate")
        return ApplyRate(value, options);
    if (name == "--header-parts") {
        return ParseNumber<unsigned>(value, 1000, &options.headerParts) && options.headerParts > 0;
    }
    if (name == "--auth") {
        options.auth = value;
        return value.find(':') != std::string_view::npos;
    }
    if (name == "--drop-after")
        return ParseNumber<uint64_t>(value, UINT64_MAX, &options.dropAfter);
    if (name == "--header-repeat") {
        return ParseNumber<uint64_t>(value, limits::kMaxPacketCountOption, &options.headerRepeat) &&
               options.headerRepeat > 0;
    }
    if (name == "--layout-change") {
        return ParseNumber<uint64_t>(value, limits::kMaxPacketCountOption,
                                     &options.layoutChangeAfter) &&
               options.layoutChangeAfter > 0;
    }
    if (name == "--plain-get") {
        options.plainGetHeader = value == "header";
        return options.plainGetHeader;
    }
    if (name == "--mms-fault")
        return ApplyMmsFault(value, options);
    if (name == "--http-fault") {
        const std::optional<HttpFault> fault = ParseHttpFault(value);
        options.httpFault = fault.value_or(HttpFault::None);
        return fault.has_value();
    }
    return false;
}

}  // namespace

std::optional<ServerOptions> ParseServerOptions(std::span<char* const> args, bool* help,
                                                std::string* error) {
    ServerOptions options;
    *help = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view name = args[i];
        if (name == "--help" || name == "-h") {
            *help = true;
            return options;
        }
        if (name == "--loop-restart") {
            options.loopRestart = true;
            continue;
        }
        if (name == "--live" || name == "--redirect" || name == "--ping") {
            (name == "--live"   ? options.live
             : name == "--ping" ? options.ping
                                : options.redirect) = true;
            continue;
        }
        if (!name.starts_with("--") || i + 1 >= args.size()) {
            *error = "unexpected argument '" + std::string(name) + "'";
            return std::nullopt;
        }
        if (!ApplyValue(name, args[++i], options)) {
            *error = "bad value '" + std::string(args[i]) + "' for " + std::string(name);
            return std::nullopt;
        }
    }
    if (options.root.empty()) {
        *error = "--root is required";
        return std::nullopt;
    }
    if (options.loopRestart && !options.live) {
        *error = "--loop-restart needs --live";
        return std::nullopt;
    }
    return options;
}

namespace {

bool IsStreamExtension(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".asf" || ext == ".wmv" || ext == ".wma";
}

// A broadcast server publishes a stream at its root; ours publishes the
// first stream file of the folder by name, so the choice never depends on
// the order the directory happens to list them in.
std::optional<std::filesystem::path> RootPublishingPoint(const std::filesystem::path& root) {
    std::optional<std::filesystem::path> first;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(root, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError) || !IsStreamExtension(it->path())) {
            continue;
        }
        if (!first || it->path().filename() < first->filename()) {
            first = it->path();
        }
    }
    return first;
}

}  // namespace

std::optional<std::filesystem::path> ResolveServedPath(const std::filesystem::path& root,
                                                       const std::string& requestPath) {
    std::filesystem::path resolved = root;
    bool named = false;
    std::string_view rest = requestPath;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part == "..") {
            return std::nullopt;
        }
        if (!part.empty() && part != ".") {
            resolved /= std::string(part);
            named = true;
        }
    }
    if (!named) {
        return RootPublishingPoint(root);
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(resolved, ec)) {
        return std::nullopt;
    }
    return resolved;
}

std::vector<std::span<const uint8_t>> SplitHeader(std::span<const uint8_t> header, unsigned parts,
                                                  size_t maxPart) {
    size_t count = std::max<size_t>(parts, (header.size() + maxPart - 1) / maxPart);
    count = std::max<size_t>(1, std::min(count, header.size()));
    // Equal pieces and a shorter last one, the way a server cuts a header
    // that does not fit one packet.
    const size_t piece = (header.size() + count - 1) / count;
    std::vector<std::span<const uint8_t>> pieces;
    for (size_t at = 0; at < header.size(); at += piece) {
        pieces.push_back(header.subspan(at, std::min(piece, header.size() - at)));
    }
    return pieces;
}

}  // namespace tapewell::testserver
