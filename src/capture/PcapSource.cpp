#include "capture/PcapSource.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <pcap/pcap.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/Limits.h"

namespace tapewell {

namespace {

constexpr int kReadTimeoutMs = 1000;
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
        text +=
            "\nCapturing needs root or the cap_net_raw capability; grant it with:\n"
            "  sudo setcap cap_net_raw,cap_net_admin=eip " +
            ExecutablePath();
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
        adapters.push_back({d->name, d->description ? d->description : ""});
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

// Takes the handle over when its link type is one the sniffer reads.
ErrorOr<std::unique_ptr<PcapSource>> PcapSource::Adopt(pcap* handle, bool live) {
    LinkType link;
    const int dlt = pcap_datalink(handle);
    if (dlt == DLT_EN10MB) {
        link = LinkType::Ethernet;
    } else if (dlt == DLT_LINUX_SLL) {
        link = LinkType::LinuxCooked;
    } else {
        const char* name = pcap_datalink_val_to_name(dlt);
        Error error =
            Error::FromMessage(std::string("link type ") + (name ? name : std::to_string(dlt)) +
                               " is not supported (Ethernet and Linux cooked capture are)");
        pcap_close(handle);
        return error;
    }
    std::unique_ptr<PcapSource> source(new PcapSource(handle, link, live));
    source->m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (source->m_wakeFd < 0) {
        const int code = errno;
        return Error::FromErrno(code, std::string("eventfd: ") + std::strerror(code));
    }
    return source;
}

void PcapSource::Start(FrameHandler onFrame, EndHandler onEnd) {
    if (!m_handle || m_thread.joinable()) {
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
    const std::string error = m_live ? ReceiveLive() : ReceiveFile(warning);
    pcap_close(m_handle);
    m_handle = nullptr;
    m_running = false;
    m_onEnd(error, warning);
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
