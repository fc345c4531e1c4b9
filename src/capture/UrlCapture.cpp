#include "capture/UrlCapture.h"

#include "capture/CaptureSink.h"

namespace tapewell {

UrlCapture::~UrlCapture() {
    m_source.reset();  // joins the thread before the sniffer it uses goes
}

ErrorOr<void> UrlCapture::StartLive(const std::string& device, const SnifferSettings& settings) {
    m_source.reset();
    return Begin(PcapSource::OpenLive(device), settings);
}

ErrorOr<void> UrlCapture::StartFile(const std::filesystem::path& file,
                                    const SnifferSettings& settings) {
    m_source.reset();
    return Begin(PcapSource::OpenFile(file), settings);
}

void UrlCapture::Stop() {
    if (m_source) {
        m_source->Stop();
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
            m_sink.OnCaptureEnd(error, warning);
        });
    return {};
}

}  // namespace tapewell
