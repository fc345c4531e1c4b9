#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "PacketFeed.h"
#include "ServedFile.h"
#include "ServerOptions.h"

namespace tapewell::testserver {

// What one session sends after the header it opened with: the packets of
// its file, and with the switches that make the server behave like a real
// broadcast server, the headers it puts between them (--header-repeat,
// --loop-restart) and the switch to a file of another layout
// (--layout-change). Without those switches it is the file's PacketFeed.
class StreamPlan : public PacketSource {
public:
    // firstPacket is where an on-demand client resumes; a live broadcast
    // with repeated headers starts where the server's clock says instead.
    StreamPlan(const ServedFile& file, uint64_t firstPacket, const ServerOptions& options);

    std::optional<Packet> Next() override;
    bool ReadFailed() const override { return m_feed->ReadFailed(); }
    // The file whose packets go out now (another one after a layout change).
    const ServedFile& CurrentFile() const { return *m_current; }

private:
    void StartFeed(uint64_t firstPacket);
    bool SwitchLayout();

    const ServerOptions& m_options;
    const ServedFile* m_current;
    std::unique_ptr<ServedFile> m_switchedTo;
    std::unique_ptr<PacketFeed> m_feed;
    uint64_t m_sent = 0;         // data packets given
    uint64_t m_sinceHeader = 0;  // data packets given since the last header
    bool m_layoutChanged = false;
};

// The first file after this one in name order among the streamable files of
// its folder (wrapping round) whose packet size differs from its own, opened
// the way the options say; nothing when there is none.
std::unique_ptr<ServedFile> OpenOtherLayout(const ServedFile& file, const ServerOptions& options);

}  // namespace tapewell::testserver
