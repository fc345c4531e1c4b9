// tapewell-testserver: serves ASF files over MMS and Windows Media HTTP
// streaming for the tests and benchmarks, with switches that make it behave
// like the awkward servers recorders meet.
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <thread>

#include "Sessions.h"

namespace {

using namespace tapewell::testserver;

// Accepts for ever; each client is served on a thread of its own.
void AcceptLoop(int listener, void (*serve)(Connection&, const ServerOptions&),
                const ServerOptions& options) {
    for (;;) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE || errno == ENFILE) {
                continue;
            }
            std::perror("accept");
            return;
        }
        std::thread([fd, serve, &options] {
            Connection connection(fd);
            serve(connection, options);
        }).detach();
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    bool help = false;
    std::string error;
    auto options = ParseServerOptions(std::span<char* const>(argv + 1, argc > 0 ? argc - 1 : 0),
                                      &help, &error);
    if (help) {
        std::fputs(kServerUsage, stdout);
        return 0;
    }
    if (!options) {
        std::fprintf(stderr, "tapewell-testserver: %s\n\n%s", error.c_str(), kServerUsage);
        return 64;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(options->root, ec)) {
        std::fprintf(stderr, "tapewell-testserver: %s is not a folder\n", options->root.c_str());
        return 1;
    }
    int mms = -1;
    int http = -1;
    uint16_t mmsPort = 0;
    uint16_t httpPort = 0;
    if ((options->serveMms &&
         (mms = ListenTcp(options->bind, options->mmsPort, &mmsPort, &error)) < 0) ||
        (options->serveHttp &&
         (http = ListenTcp(options->bind, options->httpPort, &httpPort, &error)) < 0)) {
        std::fprintf(stderr, "tapewell-testserver: cannot listen on %s\n", error.c_str());
        return 1;
    }
    std::string ready = "listening";
    if (mms >= 0)
        ready += " mms=" + std::to_string(mmsPort);
    if (http >= 0)
        ready += " http=" + std::to_string(httpPort);
    std::printf("%s\n", ready.c_str());
    std::fflush(stdout);

    std::thread mmsThread;
    if (mms >= 0) {
        mmsThread = std::thread(AcceptLoop, mms, ServeMms, std::cref(*options));
    }
    if (http >= 0) {
        AcceptLoop(http, ServeHttp, *options);
    }
    if (mmsThread.joinable()) {
        mmsThread.join();
    }
    return 1;
}
