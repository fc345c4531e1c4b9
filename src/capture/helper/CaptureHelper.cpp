// tapewell-capture-helper: the one program of Tapewell that holds the right
// to capture. It opens a device, gives up every capability, and writes the
// frames that pass the fixed port filter to standard output as a pcap
// stream. It parses no payload and reads no settings: the dissecting is done
// by the unprivileged program that reads the stream, so the code that runs
// with cap_net_raw stays this small.
//
// Usage: tapewell-capture-helper -i DEVICE
// Exit status: 0 after SIGTERM or SIGINT, or when the reader closes the
// stream; 1 when the device cannot be opened or read (the reason on standard
// error); 64 on a usage error.
#include <linux/capability.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <pcap/pcap.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "capture/CaptureFilter.h"
#include "common/Limits.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 64;

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) {
    g_stop = 1;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "tapewell-capture-helper: %s\n", text.c_str());
    return kExitFailure;
}

std::string OwnPath() {
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<size_t>(length) >= path.size()) {
        return "tapewell-capture-helper";
    }
    path.resize(static_cast<size_t>(length));
    return path;
}

// Signals are blocked except while waiting in ppoll, so a stop can neither
// slip in between the look at g_stop and the wait nor cut a write short.
bool CatchStopSignals(sigset_t& waitMask) {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    // A reader that goes away shows as EPIPE on the next write, not as a
    // signal that would end us without a word.
    if (sigaction(SIGTERM, &action, nullptr) != 0 || sigaction(SIGINT, &action, nullptr) != 0 ||
        sigaction(SIGPIPE, &ignore, nullptr) != 0 ||
        sigprocmask(SIG_BLOCK, &stops, &waitMask) != 0) {
        return false;
    }
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    return true;
}

// Once the device is open nothing here needs a privilege: every capability
// goes, from every set, for good. A helper that cannot shed them stops
// rather than go on capturing with them.
bool DropCapabilities() {
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        return false;
    }
    // The bounding set can only be narrowed with CAP_SETPCAP, which a helper
    // given cap_net_raw alone does not have; with an empty permitted set and
    // no new privileges it cannot matter then.
    for (unsigned long cap = 0; cap <= 63; ++cap) {
        if (prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0 && errno == EINVAL) {
            break;  // past the kernel's last capability
        }
    }
    (void)prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capset, &header, data) != 0) {
        return false;
    }
    __user_cap_data_struct check[2] = {};
    if (syscall(SYS_capget, &header, check) != 0) {
        return false;
    }
    for (const auto& set : check) {
        if (set.effective != 0 || set.permitted != 0 || set.inheritable != 0) {
            return false;
        }
    }
    return true;
}

std::string OpenError(pcap_t* handle, int status) {
    std::string text = pcap_geterr(handle);
    if (text.empty()) {
        text = pcap_statustostr(status);
    }
    if (status == PCAP_ERROR_PERM_DENIED || status == PCAP_ERROR_PROMISC_PERM_DENIED ||
        text.find("Operation not permitted") != std::string::npos) {
        text += tapewell::capture::kGrantCaptureHint + OwnPath();
    }
    return text;
}

// A reader that closed its end shows as an error on the pipe before any
// write fails; an idle network would otherwise keep us waiting for a frame.
bool ReaderGone(const pollfd& out) {
    return (out.revents & (POLLERR | POLLHUP)) != 0;
}

int Capture(const char* device) {
    sigset_t waitMask;
    if (!CatchStopSignals(waitMask)) {
        return Fail(std::string("cannot set up signal handling: ") + std::strerror(errno));
    }
    const std::string failed = std::string("cannot capture on '") + device + "': ";
    char errbuf[PCAP_ERRBUF_SIZE] = "";
    pcap_t* handle = pcap_create(device, errbuf);
    if (!handle) {
        return Fail(failed + errbuf);
    }
    pcap_set_snaplen(handle, tapewell::limits::kPcapSnapLength);
    pcap_set_promisc(handle, 1);
    pcap_set_timeout(handle, tapewell::capture::kReadTimeoutMs);
    pcap_set_buffer_size(handle, tapewell::limits::kPcapKernelBuffer);
    // A warning (promiscuous mode refused on "any") leaves a working capture.
    const int status = pcap_activate(handle);
    if (status < 0) {
        const std::string text = OpenError(handle, status);
        pcap_close(handle);
        return Fail(failed + text);
    }
    if (!DropCapabilities()) {
        pcap_close(handle);
        return Fail(std::string("cannot give up the capabilities: ") + std::strerror(errno));
    }
    bpf_program filter{};
    errbuf[0] = '\0';
    if (pcap_compile(handle, &filter, tapewell::capture::kCaptureFilter, 1, PCAP_NETMASK_UNKNOWN) !=
            0 ||
        pcap_setfilter(handle, &filter) != 0 || pcap_setnonblock(handle, 1, errbuf) != 0) {
        const std::string text = errbuf[0] ? errbuf : pcap_geterr(handle);
        pcap_freecode(&filter);
        pcap_close(handle);
        return Fail(failed + text);
    }
    pcap_freecode(&filter);
    pcap_dumper_t* dumper = pcap_dump_fopen(handle, stdout);
    if (!dumper) {
        const std::string text = pcap_geterr(handle);
        pcap_close(handle);
        return Fail("cannot write the capture stream: " + text);
    }
    // The header goes out at once: the reader learns the link type and
    // knows the device is open before the first frame comes.
    int result = kExitOk;
    pollfd fds[2] = {{pcap_get_selectable_fd(handle), POLLIN, 0}, {STDOUT_FILENO, 0, 0}};
    bool open = pcap_dump_flush(dumper) == 0;
    while (open && !g_stop) {
        const timespec timeout{tapewell::capture::kReadTimeoutMs / 1000, 0};
        const int ready = ppoll(fds, 2, &timeout, &waitMask);
        if (ready < 0 && errno != EINTR) {
            result = Fail(std::string("poll: ") + std::strerror(errno));
            break;
        }
        if (ready <= 0 || g_stop) {
            continue;
        }
        if (ReaderGone(fds[1])) {
            break;
        }
        if (pcap_dispatch(handle, -1, pcap_dump, reinterpret_cast<u_char*>(dumper)) == PCAP_ERROR) {
            result = Fail(failed + pcap_geterr(handle));
            break;
        }
        // A failed write means the reader is gone (EPIPE): the program that
        // started us has stopped reading.
        open = pcap_dump_flush(dumper) == 0 && !std::ferror(stdout);
    }
    pcap_dump_close(dumper);
    pcap_close(handle);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::strcmp(argv[1], "-i") != 0 || argv[2][0] == '\0') {
        std::fputs("Usage: tapewell-capture-helper -i DEVICE\n", stderr);
        return kExitUsage;
    }
    return Capture(argv[2]);
}
