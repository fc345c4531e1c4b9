// Feeds arbitrary bytes to the URL sniffer as a run of frames, so that the
// MMS state (player identification) and the titles awaited from MMS and HTTP
// servers carry from frame to frame. Each frame: one byte whose low bit
// picks the link type, a 16-bit little-endian length, then that many bytes
// (fewer at the end).
#include <cstddef>
#include <cstdint>

#include "capture/CaptureSink.h"
#include "capture/UrlSniffer.h"
#include "common/ByteCursor.h"

namespace {

class CountingSink final : public tapewell::CaptureSink {
public:
    void AddItem(const std::string& address, const std::string& name, const std::string& sizeOption,
                 const std::string& agent) override {
        m_bytes += address.size() + name.size() + sizeOption.size() + agent.size();
    }
    void RenameByAddress(const std::string& address, const std::string& name) override {
        m_bytes += address.size() + name.size();
    }
    void OnCaptureEnd(const std::string&, const std::string&) override {}

private:
    size_t m_bytes = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CountingSink sink;
    tapewell::SnifferSettings settings;
    settings.fileTypes = {".wmv", ".ASF", ""};
    tapewell::UrlSniffer sniffer(settings, sink);
    tapewell::ByteCursor input({data, size});
    while (input.Ok() && !input.AtEnd()) {
        const auto link =
            (input.ReadU8() & 1) ? tapewell::LinkType::LinuxCooked : tapewell::LinkType::Ethernet;
        const uint16_t length = input.ReadU16();
        sniffer.Examine(input.ReadAtMost(length), link);
    }
    return 0;
}
