#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "HttpFault.h"
#include "PacketFeed.h"

namespace tapewell::testserver {

// Ways the MMS side can misbehave on purpose, so that clients can be tested
// against broken servers (see kServerUsage for what each one does).
enum class MmsFault {
    None,
    SilentHeader,
    SilentData,
    CloseInPacket,
    CloseInCommand,
    Drip,
    CommandLengthNegative,
    CommandLengthHuge,
    PacketLengthTiny,
    PacketLengthHuge,
    PacketLengthShort,
};

struct ServerOptions {
    std::filesystem::path root;
    std::string bind = "127.0.0.1";
    uint16_t mmsPort = 0;
    uint16_t httpPort = 0;
    bool serveMms = true;
    bool serveHttp = true;
    bool live = false;
    Pacer::Mode rate = Pacer::Mode::Max;
    uint32_t kilobitsPerSecond = 0;
    unsigned headerParts = 1;
    std::string auth;        // "user:password", empty for none
    uint64_t dropAfter = 0;  // data packets before the connection is cut; 0 for never
    bool redirect = false;
    bool ping = false;  // MMS: send a keep-alive ping right after the connect reply
    MmsFault mmsFault = MmsFault::None;
    HttpFault httpFault = HttpFault::None;  // HTTP: how the server misbehaves (--http-fault)

    // The habits of a real broadcast server (see kServerUsage).
    uint64_t headerRepeat = 0;       // data packets between repeated headers; 0 for none
    bool loopRestart = false;        // live: times start again at 0 on every loop
    uint64_t layoutChangeAfter = 0;  // data packets before the switch to another layout; 0 never
    bool plainGetHeader = false;     // HTTP: a GET without player identification gets "$H"
    // When the server started: a live broadcast with repeated headers runs
    // on this clock, so that a client joining late meets it where it is.
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();

    // Whether live files are sent the way the broadcast server met in the
    // field sends them: joined where the clock says, and with a header that
    // says broadcast but keeps its play duration.
    bool FieldBroadcast() const { return live && (headerRepeat != 0 || loopRestart); }
};

// Nothing on a usage error (*error says what); *help is set for --help.
std::optional<ServerOptions> ParseServerOptions(std::span<char* const> args, bool* help,
                                                std::string* error);
extern const char kServerUsage[];

// The file a request path names under the root, or nothing when the path
// leaves the root or does not name a regular file. A path naming the root
// itself ("/", "") gets the root's first stream file by name, if any.
std::optional<std::filesystem::path> ResolveServedPath(const std::filesystem::path& root,
                                                       const std::string& requestPath);

// The header cut into parts of nearly equal size: at least `parts` of them,
// more when a part would not fit one frame of maxPart bytes.
std::vector<std::span<const uint8_t>> SplitHeader(std::span<const uint8_t> header, unsigned parts,
                                                  size_t maxPart);

}  // namespace tapewell::testserver
