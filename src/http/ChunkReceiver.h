#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "asf/LiveTimeline.h"
#include "asf/StreamSelection.h"
#include "http/StreamInfo.h"

namespace tapewell {

class EngineEvents;
class EngineMessages;
class OutputFile;
class StreamReader;
struct RecordingContinuation;

// The chunk stream that follows the reply header of a stream exchange:
// "$H" chunks carry the ASF header (in one or more parts), "$D" chunks one
// data packet each, "$E" ends the stream. Header parts are assembled in the
// exchange's buffer. Packets of an on-demand stream are written at the place
// their sequence number gives, padded to the packet size, so a resumed
// recording fills in exactly what it lacks. A live stream (a broadcast, or a
// header without a duration) is written in arrival order, whatever location
// numbers a late joiner gets, on a LiveTimeline that starts at 0 with the
// first packet that starts a video key frame (when there is video). A header
// that comes again with the same layout is not written again; one with
// another layout ends the file and continues into the next one the host
// gives (EngineEvents::OnNextOutputFile); so does the header of a stream
// that reconnected into a file a broken exchange left (Job::continuation).
// With a choice of streams (Job::streams) the file gets a header that lists
// only the chosen ones and packets with only their payloads (the server
// may send others: they are taken out, and a packet left with none is not
// written); packets are then written one after another. Layouts are
// compared on the server's headers; a new one is chosen from afresh.
// Runs on the engine's worker thread.
class ChunkReceiver {
public:
    struct Job {
        bool headerOnly = false;    // a probe: stop once the header is read
        OutputFile* out = nullptr;  // none: nothing is written
        uint64_t resumeBytes = 0;   // above 0: the file already holds the header
        uint32_t maxMinutes = 0;    // time limit, 0 for none
        // The settings' "time policy" and "size policy", as MmsClient
        // honours them: stream seconds and bytes written by this exchange,
        // 0 for none. Checked after every saved chunk.
        uint32_t maxSeconds = 0;
        uint64_t maxBytes = 0;
        // A reconnect's: the file out holds (EngineRequest::continuation).
        // A header of its layout is not written; the packets, counts and
        // the time line go on from the file's, and the limits count it.
        const RecordingContinuation* continuation = nullptr;
        // The streams to write (CHttpRecorder's choice, which outlives the
        // run); none, or every one: all of them.
        const StreamChoice* streams = nullptr;
    };

    // buffer must hold limits::kHttpBufferBytes; events receive OnProgress;
    // bytesWritten grows by every byte written into the output file.
    ChunkReceiver(StreamReader& reader, std::span<uint8_t> buffer, EngineMessages& messages,
                  EngineEvents& events, std::function<bool()> aborted, uint32_t& bytesWritten);

    // Runs the loop until "$E", the end of the connection, a framing error,
    // the time limit or an abort. info receives the header's fields; its
    // status becomes 3 for packets this engine cannot place.
    void Run(const Job& job, StreamInfo& info);
    // Whether an ASF header was read in this exchange.
    bool HeaderRead() const { return m_headerRead; }
    // Why the stream ended before its "$E" chunk without a stop or a limit
    // (the connection closed or failed, or the chunk framing was lost), ""
    // when it did not: the recording then lacks its end.
    const std::string& BrokeOff() const { return m_brokeOff; }
    // Why a header could not be recorded as Job::streams asks (none of the
    // chosen streams is in it), "" when it could.
    const std::string& Refusal() const { return m_refusal; }
    // After Run: File Size becomes the file's size; for a live stream also
    // the counts, durations (Play Duration with the preroll, as the cutter
    // writes it), flags (seekable, no longer broadcast) and the Data object
    // fields describe what was written. A write that fails is reported as an
    // error message.
    void UpdateHeader(OutputFile& out, const StreamInfo& info) const;
    // The file written last: Job::out, or the one the host gave after a
    // change of layout. What UpdateHeader must be given after Run.
    OutputFile* Output() const { return m_job.out; }
    // Whether packets go in arrival order on the live time line.
    bool LiveOrder() const { return m_liveOrder; }

private:
    struct Chunk {
        uint16_t type = 0;
        uint32_t length = 0;
        uint32_t sequence = 0;
        uint32_t flags = 0;
    };
    // Next: go on (save the chunk); Skip: drop it and go on; End: end the loop.
    enum class Step { Next, Skip, End };

    std::optional<Chunk> ReadChunkHead();
    // got and bodyLength become the packet size when the packet was
    // rewritten for the chosen streams.
    Step HandleData(Chunk& chunk, size_t& got, size_t& bodyLength, uint32_t& sendTime,
                    StreamInfo& info);
    bool PlaceLivePacket(size_t got, uint32_t& sendTime, const StreamInfo& info);
    bool KeepChosenStreams(size_t got, const StreamInfo& info);
    bool ResentAfterRepeat(size_t got);
    // bodyLength becomes the length of the header the file gets.
    Step HandleHeader(const Chunk& chunk, size_t& bodyLength, StreamInfo& info);
    Step RepeatedHeader(size_t& length, StreamInfo& info);
    bool ReadAsfHeader(size_t& length, StreamInfo& info);
    bool ParseAsfHeader(size_t length, StreamInfo& info);
    // With a choice of streams: the header in the buffer becomes the one
    // the file receives (length and info follow it), and m_keep the streams it
    // keeps. False, with m_refusal, when it keeps none.
    bool SelectStreams(size_t& length, StreamInfo& info);
    // servedLayout: the HeaderLayout of the header as the server sent it.
    void StartFile(const StreamInfo& info, std::vector<uint8_t> servedLayout);
    bool ContinueFile(StreamInfo& info, std::vector<uint8_t> servedLayout);
    bool LimitReached(uint32_t sendTime, uint32_t startBytes) const;
    Step Save(const Chunk& chunk, size_t bodyLength, size_t got, uint32_t progress,
              uint32_t sendTime, const StreamInfo& info);
    void NoteLivePacketLayout(size_t got);
    uint32_t ProgressValue(uint32_t sendTime, const StreamInfo& info) const;

    StreamReader& m_reader;
    std::span<uint8_t> m_buffer;
    EngineMessages& m_messages;
    EngineEvents& m_events;
    std::function<bool()> m_aborted;
    uint32_t& m_bytesWritten;

    Job m_job;
    uint32_t m_largestSendTime = 0;  // as written
    LiveTimeline m_timeline;
    uint32_t m_lastSourceTime = 0;  // the server's send time of the last live packet kept
    bool m_afterRepeat = false;     // a header came again; no packet kept since
    bool m_liveOrder = false;
    std::vector<uint8_t> m_layout;  // HeaderLayout of the header being written, as served
    uint32_t m_packetCount = 0;
    uint64_t m_dataBytes = 0;
    uint64_t m_priorBytes = 0;  // a continued file's bytes before this exchange
    size_t m_headerOffset = 0;  // header bytes already assembled in the buffer
    size_t m_expectedHeader = 0;
    bool m_headerRead = false;
    std::string m_brokeOff;
    bool m_selecting = false;  // the file keeps only m_keep
    std::vector<uint16_t> m_keep;
    std::string m_refusal;
};

}  // namespace tapewell
