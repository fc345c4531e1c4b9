#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace tapewell::test {

// A one-connection MMS server on a loopback port that plays a fixed script,
// for the server behaviours the test server does not have: an unknown reply
// code, a data packet of another type, payloads shorter than the packet
// size, any header bytes, falling silent after the header, and headers in
// the middle of the media.
class ScriptedMmsPeer {
public:
    // A header sent again after the media so far, and the media after it.
    struct Segment {
        std::vector<uint8_t> header;
        size_t headerParts = 1;
        // Announced as the next playlist entry (an end-of-stream report
        // saying more follows, then a stream change report), with packet
        // numbers from 0; else sent bare, the numbers going on.
        bool announced = false;
        std::vector<std::vector<uint8_t>> packets;
    };
    struct Script {
        std::vector<uint8_t> header;                // sent as one header packet
        std::vector<std::vector<uint8_t>> packets;  // media payloads
        std::vector<Segment> later;
        bool unknownReply = false;     // a reply 0x00040099 before the connected reply
        bool typeThreePacket = false;  // a data packet of type 3 before the media
        bool silentAfterHeader = false;
    };

    explicit ScriptedMmsPeer(Script script);
    ~ScriptedMmsPeer();
    ScriptedMmsPeer(const ScriptedMmsPeer&) = delete;
    ScriptedMmsPeer& operator=(const ScriptedMmsPeer&) = delete;

    uint16_t Port() const { return m_port; }

private:
    void Serve();
    // Answers one client command; false when the connection is to end.
    bool Answer(int fd, uint32_t code);
    bool SendAll(int fd, const std::vector<uint8_t>& bytes);
    // The media of the script, later segments included, as one byte string
    // of data packets and commands.
    std::vector<uint8_t> Media();

    Script m_script;
    int m_listenFd = -1;
    uint16_t m_port = 0;
    uint32_t m_sequence = 0;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

}  // namespace tapewell::test
