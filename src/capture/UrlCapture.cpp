#include "capture/UrlCapture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "capture/CaptureSink.h"

namespace tapewell {

namespace {

// The helper's own words are a few lines; more is noise that is cut, and
// said to be.
constexpr size_t kMaxHelperMessage = 16 * 1024;
// How long a helper asked to stop may take before it is killed.
constexpr auto kStopGrace = std::chrono::milliseconds(1000);

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool IsExecutableFile(const std::filesystem::path& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

}  // namespace

// The running helper: its standard error is collected, its end is waited
// for, and a stop asked of it becomes SIGTERM, then SIGKILL when it has not
// gone after the grace period. Only the supervising thread signals or reaps
// the process, so no signal can reach a recycled process id.
class UrlCapture::HelperProcess {
public:
    // On success out is the read end of the helper's standard output.
    static ErrorOr<std::unique_ptr<HelperProcess>> Spawn(const std::filesystem::path& helper,
                                                         const std::string& device, int& out);

    ~HelperProcess() {
        RequestStop();
        Wait();
        close(m_wakeFd);
    }

    // Any thread; returns at once.
    void RequestStop() {
        const uint64_t one = 1;
        (void)!write(m_wakeFd, &one, sizeof one);
    }

    // Waits until the helper has been reaped; gives the reason for the user
    // when it failed, or an empty text when it ended as asked or by itself.
    std::string Wait() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
        if (WIFEXITED(m_status) && WEXITSTATUS(m_status) == 0) {
            return {};
        }
        const std::string said = Trimmed(m_stderr);
        if (WIFSIGNALED(m_status)) {
            if ((WTERMSIG(m_status) == SIGTERM && m_sentTerm) ||
                (WTERMSIG(m_status) == SIGKILL && m_sentKill)) {
                return {};  // ours
            }
            const std::string why = "the capture helper was ended by signal " +
                                    std::to_string(WTERMSIG(m_status)) + " (" +
                                    strsignal(WTERMSIG(m_status)) + ")";
            return said.empty() ? why : why + ": " + said;
        }
        if (!said.empty()) {
            return said;
        }
        return "the capture helper ended with exit status " + std::to_string(WEXITSTATUS(m_status));
    }

private:
    HelperProcess(pid_t pid, int errFd, int wakeFd) : m_pid(pid), m_errFd(errFd), m_wakeFd(wakeFd) {
        m_thread = std::thread(&HelperProcess::Supervise, this);
    }

    void Supervise();
    void ReadStderr();

    const pid_t m_pid;
    int m_errFd;
    const int m_wakeFd;
    // Written by the supervising thread, read after joining it.
    int m_status = 0;
    bool m_sentTerm = false;
    bool m_sentKill = false;
    std::string m_stderr;
    std::thread m_thread;
};

ErrorOr<std::unique_ptr<UrlCapture::HelperProcess>> UrlCapture::HelperProcess::Spawn(
    const std::filesystem::path& helper, const std::string& device, int& out) {
    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        const int code = errno;
        return Error::FromErrno(code, std::string("eventfd: ") + std::strerror(code));
    }
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        const int code = errno;
        if (errPipe[0] < 0 && outPipe[0] >= 0) {
            close(outPipe[0]);
            close(outPipe[1]);
        }
        close(wakeFd);
        return Error::FromErrno(code, std::string("pipe: ") + std::strerror(code));
    }
    // Only our end waits for nothing: the helper's end is a description of
    // its own and stays blocking.
    fcntl(errPipe[0], F_SETFL, O_NONBLOCK);
    // The helper gets its two pipes and /dev/null, nothing else of ours:
    // not our other descriptors, not our environment. It runs in a process
    // group of its own, so a terminal's Ctrl+C is ours to pass on and a stop
    // reaches whatever a helper script started too.
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&files, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&files, errPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&files, STDERR_FILENO + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGTERM, SIGINT, SIGPIPE, SIGHUP}) {
        sigaddset(&defaults, sig);
    }
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    const std::string program = helper.string();
    char* const argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("-i"),
                          const_cast<char*>(device.c_str()), nullptr};
    char* const environment[] = {const_cast<char*>("PATH=/usr/local/bin:/usr/bin:/bin"), nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &files, &attributes, argv, environment);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawned != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        close(wakeFd);
        return Error::FromErrno(
            spawned, "cannot start the capture helper " + program + ": " + std::strerror(spawned));
    }
    out = outPipe[0];
    return std::unique_ptr<HelperProcess>(new HelperProcess(pid, errPipe[0], wakeFd));
}

void UrlCapture::HelperProcess::ReadStderr() {
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(m_errFd, chunk, sizeof chunk);
        if (got > 0) {
            const size_t room = kMaxHelperMessage - std::min(m_stderr.size(), kMaxHelperMessage);
            m_stderr.append(chunk, std::min(room, static_cast<size_t>(got)));
            if (room < static_cast<size_t>(got) && !m_stderr.ends_with("[...]")) {
                m_stderr += "\n[...]";
            }
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got == 0 || errno != EAGAIN) {
            close(m_errFd);  // the end, or nothing more to be had from it
            m_errFd = -1;
        }
        return;
    }
}

void UrlCapture::HelperProcess::Supervise() {
    // A process descriptor turns the helper's end into a poll event, even
    // when something it started keeps its standard error open.
    const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
    std::chrono::steady_clock::time_point killAt;
    bool stopping = false;
    for (;;) {
        pollfd fds[3] = {{m_wakeFd, POLLIN, 0}, {m_errFd, POLLIN, 0}, {pidFd, POLLIN, 0}};
        const int timeout = stopping || pidFd < 0 ? 50 : -1;
        if (poll(fds, 3, timeout) < 0 && errno != EINTR) {
            break;  // cannot happen with valid descriptors; reap below
        }
        if (m_errFd >= 0 && fds[1].revents != 0) {
            ReadStderr();
        }
        // Reaped before any signal is sent: a helper that died of its own
        // accord is not mistaken for one we ended.
        if (waitpid(m_pid, &m_status, WNOHANG) == m_pid) {
            break;
        }
        uint64_t requests = 0;
        if (fds[0].revents != 0 && read(m_wakeFd, &requests, sizeof requests) > 0 && !stopping) {
            stopping = true;
            m_sentTerm = kill(-m_pid, SIGTERM) == 0;
            killAt = std::chrono::steady_clock::now() + kStopGrace;
        }
        if (stopping && !m_sentKill && std::chrono::steady_clock::now() >= killAt) {
            m_sentKill = kill(-m_pid, SIGKILL) == 0;
        }
    }
    if (waitpid(m_pid, &m_status, WNOHANG) == 0) {
        m_sentKill = kill(-m_pid, SIGKILL) == 0;
        waitpid(m_pid, &m_status, 0);
    }
    if (m_errFd >= 0) {
        ReadStderr();  // what it wrote just before it ended
        if (m_errFd >= 0) {
            close(m_errFd);
            m_errFd = -1;
        }
    }
    if (pidFd >= 0) {
        close(pidFd);
    }
}

UrlCapture::UrlCapture(CaptureSink& sink) : m_sink(sink) {}

UrlCapture::~UrlCapture() {
    Reset();
}

void UrlCapture::Reset() {
    Stop();
    m_source.reset();  // joins the thread before the sniffer it uses goes
    m_helper.reset();
}

ErrorOr<void> UrlCapture::StartLive(const std::string& device, const SnifferSettings& settings) {
    Reset();
    return Begin(PcapSource::OpenLive(device), settings);
}

ErrorOr<void> UrlCapture::StartFile(const std::filesystem::path& file,
                                    const SnifferSettings& settings) {
    Reset();
    return Begin(PcapSource::OpenFile(file), settings);
}

ErrorOr<void> UrlCapture::StartStream(int fd, const SnifferSettings& settings) {
    Reset();
    return Begin(PcapSource::OpenStream(fd), settings);
}

ErrorOr<void> UrlCapture::StartHelper(const std::filesystem::path& helper,
                                      const std::string& device, const SnifferSettings& settings) {
    Reset();
    if (!IsExecutableFile(helper)) {
        return Error::FromErrno(ENOENT, "the capture helper is not installed: " + helper.string() +
                                            " is missing or not executable");
    }
    int out = -1;
    auto spawned = HelperProcess::Spawn(helper, device, out);
    if (!spawned) {
        return std::move(spawned).error();
    }
    m_helper = std::move(*spawned);
    auto source = PcapSource::OpenStream(out);
    if (!source) {
        m_helper.reset();
    }
    return Begin(std::move(source), settings);
}

std::filesystem::path UrlCapture::HelperPath() {
    const char* chosen = std::getenv("TAPEWELL_CAPTURE_HELPER");
    if (chosen && *chosen) {
        return chosen;
    }
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const auto installed =
        (self.parent_path() / ".." / "libexec" / "tapewell" / "tapewell-capture-helper")
            .lexically_normal();
    if (!ec && IsExecutableFile(installed)) {
        return installed;
    }
#ifdef TAPEWELL_BUILT_CAPTURE_HELPER
    if (IsExecutableFile(TAPEWELL_BUILT_CAPTURE_HELPER)) {
        return TAPEWELL_BUILT_CAPTURE_HELPER;
    }
#endif
    return installed;
}

void UrlCapture::Stop() {
    if (m_source) {
        m_source->Stop();
    }
    if (m_helper) {
        m_helper->RequestStop();
    }
}

ErrorOr<void> UrlCapture::Begin(ErrorOr<std::unique_ptr<PcapSource>> source,
                                const SnifferSettings& settings) {
    if (!source) {
        return std::move(source).error();
    }
    m_source = std::move(*source);
    m_sniffer = std::make_unique<UrlSniffer>(settings, m_sink);
    m_source->Start(
        [this](std::span<const uint8_t> frame, LinkType link) { m_sniffer->Examine(frame, link); },
        [this](const std::string& error, const std::string& warning) {
            // The stream's end is the helper's too: it is asked to go, and
            // how it went is the better reason when it failed (no
            // permission, no such device) than the stream that broke off.
            std::string reason = error;
            if (m_helper) {
                m_helper->RequestStop();
                if (std::string said = m_helper->Wait(); !said.empty()) {
                    reason = std::move(said);
                }
            }
            m_sink.OnCaptureEnd(reason, warning);
        });
    return {};
}

}  // namespace tapewell
