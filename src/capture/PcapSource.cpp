#include "capture/PcapSource.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <pcap/pcap.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "capture/CaptureFilter.h"
#include "common/Limits.h"

namespace tapewell {

namespace {

using capture::kReadTimeoutMs;
// Frames read from a file between two looks at the running flag.
constexpr int kFileBatch = 4096;

std::string ExecutablePath() {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("PROGRAM") : path.string();
}

std::string ActivateError(pcap_t* handle, int status) {
    std::string text = pcap_geterr(handle);
    if (text.empty()) {
        text = pcap_statustostr(status);
    }
    if (status == PCAP_ERROR_PERM_DENIED || status == PCAP_ERROR_PROMISC_PERM_DENIED) {
        text += capture::kGrantCaptureHint + ExecutablePath();
    }
    return text;
}

}  // namespace

PcapSource::PcapSource(pcap* handle, LinkType link, bool live)
    : m_handle(handle), m_link(link), m_live(live) {}

PcapSource::~PcapSource() {
    Stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_handle) {
        pcap_close(m_handle);  // opened but never started
    }
    if (m_streamFd >= 0) {
        close(m_streamFd);  // a stream never started
    }
    if (m_wakeFd >= 0) {
        close(m_wakeFd);
    }
}

ErrorOr<std::vector<CaptureAdapter>> PcapSource::ListAdapters() {
    char errbuf[PCAP_ERRBUF_SIZE] = "";
    pcap_if_t* devices = nullptr;
    if (pcap_findalldevs(&devices, errbuf) != 0) {
        return Error::FromMessage(errbuf);
    }
    std::vector<CaptureAdapter> adapters;
    for (pcap_if_t* d = devices; d; d = d->next) {
        adapters.push_back({d->name, d->description ? d->description : "",
                            (d->flags & PCAP_IF_UP) != 0, (d->flags & PCAP_IF_RUNNING) != 0});
    }
    pcap_freealldevs(devices);
    return adapters;
}

ErrorOr<std::unique_ptr<PcapSource>> PcapSource::OpenLive(const std::string& device) {
    const std::string failed = "Unable to open the driver '" + device + "': ";
    char errbuf[PCAP_ERRBUF_SIZE] = "";
    pcap_t* handle = pcap_create(device.c_str(), errbuf);
    if (!handle) {
        return Error::FromMessage(failed + errbuf);
    }
    pcap_set_snaplen(handle, limits::kPcapSnapLength);
    pcap_set_promisc(handle, 1);
    pcap_set_timeout(handle, kReadTimeoutMs);
    pcap_set_buffer_size(handle, limits::kPcapKernelBuffer);
    // A warning (status above 0, such as promiscuous mode refused on the
    // "any" device) still leaves a working capture.
    const int status = pcap_activate(handle);
    if (status < 0) {
        Error error = Error::FromMessage(failed + ActivateError(handle, status));
        pcap_close(handle);
        return error;
    }
    if (pcap_setnonblock(handle, 1, errbuf) != 0) {
        pcap_close(handle);
        return Error::FromMessage(failed + errbuf);
    }
    return Adopt(handle, true);
}

ErrorOr<std::unique_ptr<PcapSource>> PcapSource::OpenFile(const std::filesystem::path& file) {
    char errbuf[PCAP_ERRBUF_SIZE] = "";
    pcap_t* handle = pcap_open_offline(file.c_str(), errbuf);
    if (!handle) {
        return Error::FromMessage("cannot read '" + file.string() + "': " + errbuf);
    }
    return Adopt(handle, false);
}

ErrorOr<std::unique_ptr<PcapSource>> PcapSource::OpenStream(int fd) {
    std::unique_ptr<PcapSource> source(new PcapSource(nullptr, LinkType::Ethernet, false));
    source->m_stream = true;
    source->m_streamFd = fd;
    if (auto made = source->CreateWakeFd(); !made) {
        return std::move(made).error();
    }
    return source;
}

// Takes the handle over when its link type is one the sniffer reads.
ErrorOr<std::unique_ptr<PcapSource>> PcapSource::Adopt(pcap* handle, bool live) {
    auto link = LinkOf(handle);
    if (!link) {
        pcap_close(handle);
        return std::move(link).error();
    }
    std::unique_ptr<PcapSource> source(new PcapSource(handle, *link, live));
    if (auto made = source->CreateWakeFd(); !made) {
        return std::move(made).error();
    }
    return source;
}

ErrorOr<LinkType> PcapSource::LinkOf(pcap* handle) {
    const int dlt = pcap_datalink(handle);
    if (dlt == DLT_EN10MB) {
        return LinkType::Ethernet;
    }
    if (dlt == DLT_LINUX_SLL) {
        return LinkType::LinuxCooked;
    }
    const char* name = pcap_datalink_val_to_name(dlt);
    return Error::FromMessage(std::string("link type ") + (name ? name : std::to_string(dlt)) +
                              " is not supported (Ethernet and Linux cooked capture are)");
}

ErrorOr<void> PcapSource::CreateWakeFd() {
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        const int code = errno;
        return Error::FromErrno(code, std::string("eventfd: ") + std::strerror(code));
    }
    return {};
}

void PcapSource::Start(FrameHandler onFrame, EndHandler onEnd) {
    if ((!m_handle && m_streamFd < 0) || m_thread.joinable()) {
        return;
    }
    m_onFrame = std::move(onFrame);
    m_onEnd = std::move(onEnd);
    m_running = true;
    m_thread = std::thread(&PcapSource::Receive, this);
}

void PcapSource::Stop() {
    if (m_running.exchange(false) && m_wakeFd >= 0) {
        const uint64_t one = 1;
        (void)!write(m_wakeFd, &one, sizeof one);
    }
}

void PcapSource::Receive() {
    std::string warning;
    std::string error = m_stream ? OpenStreamHandle() : std::string();
    if (m_handle) {
        error = m_live ? ReceiveLive() : ReceiveFile(warning);
        pcap_close(m_handle);
        m_handle = nullptr;
    }
    if (m_stream && !m_running) {
        error.clear();  // the stream was cut short by our own stop
    }
    m_running = false;
    m_onEnd(error, warning);
}

// The stream is read through a stdio cookie rather than fdopen so that a
// read waits on the wake-up descriptor too: a stop then ends the stream at
// once, as an end of file, instead of when the writer next writes.
std::string PcapSource::OpenStreamHandle() {
    const cookie_io_functions_t io{&PcapSource::ReadStream, nullptr, nullptr,
                                   &PcapSource::CloseStream};
    std::FILE* file = fopencookie(this, "rb", io);
    if (!file) {
        return std::string("cannot read the capture stream: ") + std::strerror(errno);
    }
    char errbuf[PCAP_ERRBUF_SIZE] = "";
    pcap_t* handle = pcap_fopen_offline(file, errbuf);
    if (!handle) {
        std::fclose(file);
        return std::string("the capture stream is not readable: ") + errbuf;
    }
    auto link = LinkOf(handle);
    if (!link) {
        pcap_close(handle);
        return link.error().message;
    }
    m_link = *link;
    m_handle = handle;
    return {};
}

ssize_t PcapSource::ReadStream(void* cookie, char* buffer, size_t size) {
    auto* self = static_cast<PcapSource*>(cookie);
    while (self->m_running) {
        pollfd fds[2] = {{self->m_streamFd, POLLIN, 0}, {self->m_wakeFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (fds[1].revents != 0) {
            break;
        }
        const ssize_t got = read(self->m_streamFd, buffer, size);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        return got;
    }
    return 0;
}

int PcapSource::CloseStream(void* cookie) {
    auto* self = static_cast<PcapSource*>(cookie);
    const int result = close(self->m_streamFd);
    self->m_streamFd = -1;
    return result;
}

std::string PcapSource::ReceiveLive() {
    pollfd fds[2] = {{pcap_get_selectable_fd(m_handle), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    while (m_running) {
        const int ready = poll(fds, 2, kReadTimeoutMs);
        if (ready < 0 && errno != EINTR) {
            return std::string("poll: ") + std::strerror(errno);
        }
        if (!m_running || ready <= 0) {
            continue;
        }
        // Non-blocking: delivers what the kernel buffer holds, or nothing
        // when the block time-out only woke us.
        if (pcap_dispatch(m_handle, -1, &PcapSource::OnPacket,
                          reinterpret_cast<unsigned char*>(this)) == PCAP_ERROR) {
            return pcap_geterr(m_handle);
        }
    }
    return {};
}

std::string PcapSource::ReceiveFile(std::string& warning) {
    while (m_running) {
        const int read = pcap_dispatch(m_handle, kFileBatch, &PcapSource::OnPacket,
                                       reinterpret_cast<unsigned char*>(this));
        if (read == PCAP_ERROR) {
            // A read that ran into the end of the file met a record cut off
            // there; anything else (a record claiming an impossible length)
            // is damage.
            std::FILE* file = pcap_file(m_handle);
            if (m_stream && file && std::feof(file)) {
                // A pipe ends inside a frame only when its writer died
                // mid-write: what it had still to send is lost.
                return std::string("the capture stream ends inside a frame (") +
                       pcap_geterr(m_handle) + ")";
            }
            if (file && std::feof(file)) {
                warning = std::string(
                              "the capture file ends inside a frame, as one cut off "
                              "while it was written does (") +
                          pcap_geterr(m_handle) + "); the frames before it were read";
                return {};
            }
            return pcap_geterr(m_handle);
        }
        if (read <= 0) {
            break;  // end of the file, or a stop seen within the batch
        }
    }
    return {};
}

void PcapSource::OnPacket(unsigned char* user, const pcap_pkthdr* header,
                          const unsigned char* bytes) {
    auto* self = reinterpret_cast<PcapSource*>(user);
    if (!self->m_running) {
        pcap_breakloop(self->m_handle);
        return;
    }
    self->m_onFrame({bytes, header->caplen}, self->m_link);
}

}  // namespace tapewell
