#include "support/TestServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tapewell::test {
namespace {

constexpr int kStartTimeoutMs = 10000;

std::string ReadLine(int fd) {
    std::string line;
    char c;
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, kStartTimeoutMs) == 1 && read(fd, &c, 1) == 1 && c != '\n') {
        line += c;
    }
    return line;
}

uint16_t PortAfter(const std::string& line, const std::string& key) {
    const size_t at = line.find(key);
    return at == std::string::npos
               ? 0
               : static_cast<uint16_t>(std::stoul(line.substr(at + key.size())));
}

}  // namespace

TestServer::TestServer(const std::filesystem::path& root, const std::vector<std::string>& options) {
    char logTemplate[] = "/tmp/tapewell-testserver-XXXXXX";
    const int logFd = mkstemp(logTemplate);
    m_logPath = logTemplate;
    int out[2];
    if (logFd < 0 || pipe(out) != 0) {
        ADD_FAILURE() << "cannot set up the test server's output";
        return;
    }
    std::vector<std::string> args = {TAPEWELL_BIN_DIR "/tapewell-testserver", "--root",
                                     root.string()};
    args.insert(args.end(), options.begin(), options.end());
    m_pid = fork();
    if (m_pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(logFd, STDERR_FILENO);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(logFd);
    const std::string line = ReadLine(out[0]);
    close(out[0]);
    m_mmsPort = PortAfter(line, "mms=");
    m_httpPort = PortAfter(line, "http=");
    if (!Ready()) {
        ADD_FAILURE() << "tapewell-testserver did not start: '" << line << "'\n" << Log();
    }
}

TestServer::~TestServer() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    std::error_code ec;
    std::filesystem::remove(m_logPath, ec);
}

std::string TestServer::Log() const {
    std::ifstream in(m_logPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool TestServer::Alive() const {
    return m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == 0;
}

std::vector<uint8_t> Exchange(uint16_t port, std::span<const uint8_t> request, int timeoutMs,
                              bool* closed) {
    std::vector<uint8_t> reply;
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        ADD_FAILURE() << "cannot connect to port " << port;
        close(fd);
        return reply;
    }
    if (!request.empty()) {
        send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    }
    bool ended = false;
    pollfd p{fd, POLLIN, 0};
    uint8_t buffer[65536];
    while (poll(&p, 1, timeoutMs) == 1) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            ended = true;
            break;
        }
        reply.insert(reply.end(), buffer, buffer + n);
    }
    close(fd);
    if (closed) {
        *closed = ended;
    }
    return reply;
}

std::vector<uint8_t> Exchange(uint16_t port, const std::string& request, int timeoutMs,
                              bool* closed) {
    return Exchange(port,
                    std::span(reinterpret_cast<const uint8_t*>(request.data()), request.size()),
                    timeoutMs, closed);
}

SilentPeer::SilentPeer() {
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    m_address.sin_family = AF_INET;
    m_address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof m_address;
    if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&m_address), sizeof m_address) != 0 ||
        listen(m_fd, 4) != 0 ||
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&m_address), &length) != 0) {
        ADD_FAILURE() << "cannot listen on a loopback port";
    }
}

SilentPeer::~SilentPeer() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

uint16_t SilentPeer::Port() const {
    return ntohs(m_address.sin_port);
}

}  // namespace tapewell::test
