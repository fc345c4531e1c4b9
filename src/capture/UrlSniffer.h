#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tapewell {

class AppSettings;
class CaptureSink;
struct TcpSegment;

// The link-layer framing of captured frames: Ethernet (also what Linux uses
// on the loopback device) and Linux cooked capture (the "any" device).
enum class LinkType { Ethernet, LinuxCooked };

// What the sniffer looks for, taken from the settings when capture starts.
struct SnifferSettings {
    bool captureHttp = true;
    bool captureMms = true;
    bool captureRtsp = true;
    // Media types (".wmv", ...); an HTTP path that holds one past its first
    // character, compared without case, names a stream.
    std::vector<std::string> fileTypes;

    static SnifferSettings From(const AppSettings& settings);
};

// Finds stream addresses in captured frames: HTTP GET requests for media
// files on ports 80 and 8080, RTSP DESCRIBE requests on port 554, and MMS
// sessions on port 1755 (the file opened, the player that opened it), and
// the title in the ASF header the server sends back to an MMS session or to
// an HTTP media request (plain or streaming, whose "$H" chunk carries it). Frames are examined one
// by one without TCP reassembly: a request split over two segments is missed.
//
// It does no I/O: each finding is a call of the sink, made on the thread
// that calls Examine. Not thread-safe; one sniffer per capture.
class UrlSniffer {
public:
    UrlSniffer(SnifferSettings settings, CaptureSink& sink);

    void Examine(std::span<const uint8_t> frame, LinkType link);

private:
    void ExamineType(uint16_t type, std::span<const uint8_t> body);
    void ExaminePppoe(std::span<const uint8_t> body);
    void ExamineIpv4(std::span<const uint8_t> packet);
    void ExamineTcp(std::span<const uint8_t> segment, uint32_t source, uint32_t destination);
    void ExamineHttp(const TcpSegment& segment);
    void ExamineRtsp(const TcpSegment& segment);
    void ExamineMms(const TcpSegment& segment);
    bool ExamineMmsCommand(const TcpSegment& segment);

    // An address whose title the server's next ASF header gives: the
    // server, and the ports of the connection the header comes back on (0
    // for any client port).
    struct TitleWatch {
        bool waiting = false;
        std::string address;
        uint32_t server = 0;
        uint16_t serverPort = 0;
        uint16_t clientPort = 0;
    };
    void LookForTitle(const TcpSegment& segment, TitleWatch& watch);

    SnifferSettings m_settings;
    CaptureSink& m_sink;
    // Sent as the agent of captured MMS addresses until a player's connect
    // command names the player.
    std::string m_playerId = "NSPlayer/4.1.0.3928; {3300AD50-2C39-46C0-AE0A-21A0EBC0721E}";
    // The last MMS address captured: waiting is set by each MMS command and
    // cleared when the server's ASF header has given the session's title.
    TitleWatch m_mmsTitle;
    // The last HTTP media address captured, on the connection that asked.
    TitleWatch m_httpTitle;
};

}  // namespace tapewell
