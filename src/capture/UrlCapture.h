#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "capture/PcapSource.h"
#include "capture/UrlSniffer.h"
#include "common/ErrorOr.h"

namespace tapewell {

class CaptureSink;

// URL capture as the "Url Capture" toggle drives it: frames from a device
// (or a pcap file) go through a sniffer whose findings reach the sink on
// the receive thread. Start and Stop are called from one owner thread.
class UrlCapture {
public:
    explicit UrlCapture(CaptureSink& sink);
    // Stops and waits for the receive thread.
    ~UrlCapture();
    UrlCapture(const UrlCapture&) = delete;
    UrlCapture& operator=(const UrlCapture&) = delete;

    // Starts capturing, or gives the text for the user why it cannot. A
    // capture still running is stopped first.
    ErrorOr<void> StartLive(const std::string& device, const SnifferSettings& settings);
    ErrorOr<void> StartFile(const std::filesystem::path& file, const SnifferSettings& settings);
    // Starts the privileged capture helper on device and sniffs the pcap
    // stream it writes. Returns at once: the stream's header is read on the
    // receive thread. A helper that is not there fails with code ENOENT; a
    // helper that fails later (no permission, no such device) ends the
    // capture with its own words in OnCaptureEnd.
    ErrorOr<void> StartHelper(const std::filesystem::path& helper, const std::string& device,
                              const SnifferSettings& settings);
    // Sniffs a pcap stream read from fd (taken over), such as standard
    // input fed by a capture program, until its end or Stop. The stream's
    // header is read on the receive thread.
    ErrorOr<void> StartStream(int fd, const SnifferSettings& settings);

    // Where the capture helper is: $TAPEWELL_CAPTURE_HELPER when set, else
    // ../libexec/tapewell/tapewell-capture-helper beside the running
    // program, else the build tree's. The path is returned even when no
    // file is there, so a message can name it.
    static std::filesystem::path HelperPath();

    // Returns at once; the sink's OnCaptureEnd follows from the receive
    // thread as soon as it has let go of the device.
    void Stop();
    bool IsRunning() const { return m_source && m_source->IsRunning(); }

private:
    class HelperProcess;

    // Stops a capture under way and waits until it has ended.
    void Reset();
    ErrorOr<void> Begin(ErrorOr<std::unique_ptr<PcapSource>> source,
                        const SnifferSettings& settings);

    CaptureSink& m_sink;
    std::unique_ptr<UrlSniffer> m_sniffer;
    // Outlives the source's receive thread, which asks it how the helper
    // ended before it reports the end.
    std::unique_ptr<HelperProcess> m_helper;
    std::unique_ptr<PcapSource> m_source;
};

}  // namespace tapewell
