#pragma once

#include <sys/types.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "capture/UrlSniffer.h"
#include "common/ErrorOr.h"

struct pcap;
struct pcap_pkthdr;

namespace tapewell {

struct CaptureAdapter {
    std::string name;         // what OpenLive takes: "eth0", "lo", "any"
    std::string description;  // libpcap's description, often empty on Linux
    bool up = false;          // administratively up
    bool running = false;     // up and with a carrier: frames can arrive

    bool IsUpAndRunning() const { return up && running; }
};

// Frames from a network device, a pcap file or a pcap stream (a pipe from
// the capture helper, standard input), read by libpcap on a receive thread
// of its own. A device is opened in promiscuous mode with an 8 MiB
// kernel buffer and a 1,000 ms read time-out, and read without blocking: the
// thread waits in poll() on the device and on a wake-up descriptor, so Stop
// takes effect at once rather than at the next time-out. A stream is read
// the same way: Stop ends it at once even while no byte comes.
class PcapSource {
public:
    // Called on the receive thread for each frame, in capture order.
    using FrameHandler = std::function<void(std::span<const uint8_t> frame, LinkType link)>;
    // Called once on the receive thread as it ends, after the device or file
    // is closed: with an empty error after a stop or at the end of a file,
    // with libpcap's error text when reading failed. A file that ends inside
    // a frame, as one cut off while it was written does (a capture program
    // killed), is no error: it ends with a warning that says so, after the
    // frames before it were delivered.
    using EndHandler = std::function<void(const std::string& error, const std::string& warning)>;

    ~PcapSource();
    PcapSource(const PcapSource&) = delete;
    PcapSource& operator=(const PcapSource&) = delete;

    // The devices libpcap can capture on, or libpcap's reason it cannot
    // list them.
    static ErrorOr<std::vector<CaptureAdapter>> ListAdapters();

    // On failure the error is a text for the user that carries libpcap's own
    // words (and, when capture is not permitted, how to permit it).
    static ErrorOr<std::unique_ptr<PcapSource>> OpenLive(const std::string& device);
    static ErrorOr<std::unique_ptr<PcapSource>> OpenFile(const std::filesystem::path& file);
    // Takes fd over. Its pcap header is read on the receive thread, so a
    // writer that has not started yet holds up no caller; a stream that is
    // not pcap, or ends inside a frame (its writer died mid-write), ends
    // the capture with an error.
    static ErrorOr<std::unique_ptr<PcapSource>> OpenStream(int fd);

    // For a stream only once its header has been read.
    LinkType Link() const { return m_link; }

    // Starts the receive thread; once per source.
    void Start(FrameHandler onFrame, EndHandler onEnd);
    // Asks the receive thread to end and returns at once; the thread closes
    // the device and calls the end handler right after. Any thread.
    void Stop();
    // Whether the receive thread is still running. Any thread.
    bool IsRunning() const { return m_running; }

private:
    PcapSource(pcap* handle, LinkType link, bool live);
    static ErrorOr<std::unique_ptr<PcapSource>> Adopt(pcap* handle, bool live);
    static ErrorOr<LinkType> LinkOf(pcap* handle);
    ErrorOr<void> CreateWakeFd();

    void Receive();
    std::string OpenStreamHandle();
    std::string ReceiveLive();
    std::string ReceiveFile(std::string& warning);
    static ssize_t ReadStream(void* cookie, char* buffer, size_t size);
    static int CloseStream(void* cookie);
    static void OnPacket(unsigned char* user, const pcap_pkthdr* header,
                         const unsigned char* bytes);

    pcap* m_handle;
    LinkType m_link;
    bool m_live;
    bool m_stream = false;
    int m_streamFd = -1;  // owned until the stream's handle is open
    int m_wakeFd = -1;
    std::atomic<bool> m_running{false};
    FrameHandler m_onFrame;
    EndHandler m_onEnd;
    std::thread m_thread;
};

}  // namespace tapewell
