#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace tapewell::test {

// A one-connection MMS server on a loopback port that plays a fixed script,
// for the server behaviours the test server does not have: an unknown reply
// code, a data packet of another type, payloads shorter than the packet
// size, any header bytes, and falling silent after the header.
class ScriptedMmsPeer {
public:
    struct Script {
        std::vector<uint8_t> header;                // sent as one header packet
        std::vector<std::vector<uint8_t>> packets;  // media payloads
        bool unknownReply = false;                  // a reply 0x00040099 before the connected reply
        bool typeThreePacket = false;               // a data packet of type 3 before the media
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

    Script m_script;
    int m_listenFd = -1;
    uint16_t m_port = 0;
    uint32_t m_sequence = 0;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

}  // namespace tapewell::test
