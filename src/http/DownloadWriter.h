#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "asf/LiveTimeline.h"
#include "common/ErrorOr.h"

namespace tapewell {

class OutputFile;

// Where the web fetcher's download bytes go on their way into the output
// file. Two kinds of reply are not what they seem:
// - a Windows Media server's framed stream ("$H" chunk first), which would
//   leave a file no player reads: nothing is written, and Framed() says so;
// - a live ASF stream served as one endless body, whose header says
//   broadcast or counts no packets: its packets go onto a LiveTimeline and
//   its header is repaired at the end, as the streaming engines do, so the
//   file describes what it holds.
// Any other download is written byte for byte. One object per download,
// used on the fetcher's thread.
class DownloadWriter {
public:
    enum class Result { Ok, WriteFailed, Framed };

    // skip: the reply's first bytes that the file already holds (a resumed
    // download); they are looked at to judge the reply but not written, and
    // such a download is written byte for byte after them.
    explicit DownloadWriter(OutputFile& out, uint64_t skip = 0) : m_out(out), m_skip(skip) {}

    Result Write(std::span<const uint8_t> bytes);
    // At the end of the download: writes what is still held (a packet cut
    // off by the end is dropped) and repairs a live header; WriteFailed when
    // a field of that header could not be written.
    Result Finish();
    // Whether the download was a live ASF stream whose header was repaired.
    bool Repaired() const { return m_state == State::LivePackets; }
    uint64_t PacketsWritten() const { return m_packets; }

private:
    enum class State { Start, Header, PassThrough, LivePackets };

    Result TakeStart();
    Result TakeHeader();
    Result TakePackets(std::span<const uint8_t> bytes);
    Result Flush();
    Result WritePlain(std::span<const uint8_t> bytes);
    bool ReadLiveHeader();
    ErrorOr<void> RepairHeader();

    OutputFile& m_out;
    uint64_t m_skip;  // bytes still to drop before writing
    State m_state = State::Start;
    std::vector<uint8_t> m_held;  // bytes not written yet
    uint64_t m_start = 0;         // where the download began in the file
    uint64_t m_headerBytes = 0;   // Header object + the Data object's own fields
    size_t m_propertiesAt = 0;
    uint32_t m_packetSize = 0;
    uint32_t m_preroll = 0;
    uint64_t m_packets = 0;
    uint32_t m_largestSendTime = 0;
    LiveTimeline m_timeline;
};

}  // namespace tapewell
