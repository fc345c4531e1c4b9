#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace tapewell::test {

// tapewell-testserver run by a test on loopback ports of its own choosing,
// stopped when the object goes. Fails the test (ADD_FAILURE) when it does
// not come up.
class TestServer {
public:
    TestServer(const std::filesystem::path& root, const std::vector<std::string>& options = {});
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    bool Ready() const { return m_pid > 0 && (m_mmsPort != 0 || m_httpPort != 0); }
    uint16_t MmsPort() const { return m_mmsPort; }
    uint16_t HttpPort() const { return m_httpPort; }
    // What the server logged on stderr so far.
    std::string Log() const;
    // Whether the process is still running.
    bool Alive() const;

private:
    pid_t m_pid = -1;
    uint16_t m_mmsPort = 0;
    uint16_t m_httpPort = 0;
    std::filesystem::path m_logPath;
};

// A loopback port that accepts connections (they complete in the listen
// backlog) and then never sends a byte: the silent server that time-outs
// and stops are tested against.
class SilentPeer {
public:
    SilentPeer();
    ~SilentPeer();
    SilentPeer(const SilentPeer&) = delete;
    SilentPeer& operator=(const SilentPeer&) = delete;
    const sockaddr_in& Address() const { return m_address; }
    uint16_t Port() const;

private:
    int m_fd = -1;
    sockaddr_in m_address{};
};

// Connects to 127.0.0.1:port, sends the bytes and collects what comes back
// until the server closes the connection or timeoutMs passes without a byte.
// *closed tells which of the two ended it.
std::vector<uint8_t> Exchange(uint16_t port, std::span<const uint8_t> request, int timeoutMs = 5000,
                              bool* closed = nullptr);
std::vector<uint8_t> Exchange(uint16_t port, const std::string& request, int timeoutMs = 5000,
                              bool* closed = nullptr);

}  // namespace tapewell::test
