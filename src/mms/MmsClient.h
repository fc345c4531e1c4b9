#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "asf/LiveTimeline.h"
#include "asf/RecordingContinuation.h"
#include "asf/StreamSelection.h"
#include "common/Limits.h"
#include "common/StopSignal.h"
#include "engine/Engine.h"
#include "engine/EngineOptions.h"
#include "mms/MmsMessages.h"
#include "mms/MmsStreamHeader.h"
#include "mms/MmsUnitReader.h"

namespace tapewell {

class EngineEvents;
class MmsByteStream;
class OutputFile;

// Records one mms:// stream into an already opened ASF file: the command
// exchange, the stream header, every media packet padded to the packet size
// (live times put on one time line from 0 when "Live Content Save Time
// Info" is on), the "time policy" and "size policy" limits, and the repair
// of the header at the end. A session that ends without the server's
// end-of-stream report, a limit or a stop (a silent or vanished server, a
// broken frame) gives the reason as the result's brokeOff (or as its error
// when nothing was written); whatever whole packets came are kept and the
// file is repaired. Every reason is also told through OnError as it comes.
//
// A header that comes again while media flows (a broadcast whose source
// loops, the next entry of a server-side playlist) is not written again
// when its layout is the file's; the time line goes on. A header of another
// layout closes the file (repaired) and the recording goes on in the file
// the host returns from OnNextOutputFile, or ends when it returns none. A
// session that reconnects after a break (EngineRequest::continuation) meets
// the stream's header in the same way: the file's layout goes on in the
// file, another one goes into the next.
//
// A request for some of the stream's streams (EngineRequest::streams) asks
// the server for those alone once the header is in, writes a header that
// lists only them, and writes only their payloads, whatever else the server
// sends; packets left with none are not written. Layouts are compared on
// the server's headers; a new layout is chosen from afresh (the same
// choice, not the same numbers) and asked for again. A stream that has none
// of the chosen streams fails the recording with the reason (refused).
// Such a recording is not resumed, nor continued on demand: the server's
// packet numbers do not count the packets in the file.
//
// Record, and everything it reports through EngineEvents, happens on the
// calling (job worker) thread; Stop may be called from any thread. One
// object runs one session at a time and may run many in turn.
class MmsClient final : public Engine {
public:
    // See limits::kMmsFirstReplyTimeoutMs.
    static constexpr int kFirstReplyTimeoutMs = limits::kMmsFirstReplyTimeoutMs;

    // Keeps its own copy of the options; events may be null.
    MmsClient(const EngineOptions& options, EngineEvents* events);
    MmsClient(const MmsClient&) = delete;
    MmsClient& operator=(const MmsClient&) = delete;

    // Records the request's address into its output ("wb", or "rb+" at its
    // end when resumePackets is the number of packets already there; no
    // header is written then). The recording's bytes are those written into
    // all the session's files; with no output, the header length once the
    // first media packet shows that the stream plays. Nothing written is a
    // failure, except in a session that continues a file with the stream's
    // layout. OnProgress counts the bytes of the current file. The
    // request's credentials are not used.
    EngineResult Record(const EngineRequest& request) override;
    // Ends a running session at once, as a closed connection would; the file
    // is still repaired. The stop stays until ClearStop, so that a stop that
    // comes between two sessions (two entries of a playlist) is not lost.
    void Stop() override { m_stop.Raise(); }
    void ClearStop() override { m_stop.Reset(); }

    // The session after the connection is made, on any byte stream: the
    // connect message, the exchange and the repair. Record uses it; so does
    // the fuzzer, with the server's bytes from a buffer.
    EngineResult RecordOn(MmsByteStream& stream, const EngineRequest& request, sockaddr_in local);

    // For tests: how long a silent server is waited for (60 s otherwise;
    // the first reply is waited for no longer than kFirstReplyTimeoutMs).
    void SetIdleTimeoutMs(int ms) { m_idleTimeoutMs = ms; }

private:
    // What belongs to the file being written; a new layout starts afresh.
    struct FileState {
        OutputFile* output = nullptr;
        LiveTimeline timeline;
        uint64_t bytes = 0;        // header and packets written into it by this session
        uint64_t packetCount = 0;  // in the file: a resumed file's earlier ones count
    };

    void ResetSession(const EngineRequest& request);
    // A reason the session ends badly: told at once, and kept for the result.
    void Fail(std::string text);
    EngineResult Result() const;
    // One unit off the stream and the reaction to it; false ends the session.
    bool ReadUnit(MmsByteStream& stream);
    bool OnEnd(const MmsUnit& unit, const MmsByteStream& stream);
    bool OnCommand(const MmsUnit& unit, MmsByteStream& stream);
    bool OnHeaderPacket(const MmsUnit& unit, MmsByteStream& stream);
    bool OnLaterHeaderPacket(const MmsUnit& unit, MmsByteStream& stream);
    // The header the file gets for the server's header served: served
    // itself when the choice keeps every stream, else the header of the
    // chosen ones (m_served keeps served then). Sets m_keep, m_switches and
    // m_selecting. Nothing, with the reason given, when the choice keeps
    // none of its streams.
    std::optional<MmsStreamHeader> SelectStreams(MmsStreamHeader served);
    // What the server's next header is compared with: the current file's
    // header as the server sent it.
    const MmsStreamHeader& ServedHeader() const { return m_selecting ? m_served : m_header; }
    // Fail, for a reason no reconnect or other engine would mend.
    void Refuse(std::string text);
    bool ContinueFile();
    bool StartNextFile(MmsStreamHeader next);
    bool WriteHeader();
    bool TakeProperties();
    bool InSequence(uint32_t location);
    bool OnMediaPacket(std::span<const uint8_t> payload);
    // Whether a live packet behind a header sent again is one the server
    // went back for, written already (the same bytes as one of the last
    // ones written, its time close behind); remembers it when it is not.
    bool SentAgain(std::span<const uint8_t> packet);
    // The packet's send time as the file will have it (0 when it has none,
    // *found then false); a live packet is put on the time line.
    uint32_t PacketTime(std::span<uint8_t> packet, bool* found);
    bool LimitReached(uint32_t timeMs) const;
    void FinishFile();

    EngineOptions m_options;
    EngineEvents& m_events;
    StopSignal m_stop;
    int m_idleTimeoutMs;
    MmsMessages m_messages;
    MmsUnitReader m_reader;
    MmsStreamHeader m_header;        // the current file's, as written into it
    MmsStreamHeader m_served;        // with a selection: m_header as the server sent it
    MmsStreamHeader m_incoming;      // a header coming again while media flows
    std::vector<uint8_t> m_packet;   // one media packet, padded to the packet size
    std::vector<uint8_t> m_scratch;  // a live packet's times worked out, not written

    // One session's state, reset by ResetSession.
    FileState m_file;
    bool m_check = false;  // no output: only whether the stream plays
    std::string m_address;
    std::string m_playerAgent;
    uint32_t m_startPacket = 0;
    sockaddr_in m_local{};
    bool m_replied = false;  // an MMS command came from the server
    bool m_endOfStream = false;
    bool m_headerComplete = false;  // its last header packet came and it was written
    bool m_haveLocation = false;    // a media packet came, numbered m_lastLocation
    uint32_t m_lastLocation = 0;
    uint32_t m_packetSize = 0;
    uint32_t m_durationMs = 0;  // 0 for a live stream
    bool m_live = false;
    bool m_afterRepeat = false;          // a header of the same layout came again
    std::deque<size_t> m_recentPackets;  // hashes of the last packets written, as served
    uint32_t m_latestSourceTime = 0;     // the largest send time written, as served
    uint64_t m_bytesWritten = 0;         // into every file of the session
    uint64_t m_earlierFilesMs = 0;       // the time lines of files closed for a new layout
    std::string m_failure;               // the last reason given by Fail
    const RecordingContinuation* m_continuation = nullptr;  // the file a reconnect goes on in
    uint64_t m_priorBytes = 0;  // in that file before this session: the size limit counts them
    // The stream came with the continued file's layout: the session reached
    // it, even when it ends before another packet comes.
    bool m_continued = false;
    StreamChoice m_choice;                 // the request's; every stream for a check
    std::vector<uint16_t> m_keep;          // the streams written, when m_selecting
    std::vector<StreamSwitch> m_switches;  // the selection sent; none when the choice is all
    bool m_selecting = false;              // the current file keeps only m_keep
    bool m_playAsked = false;              // the stream switch was answered and play asked for
    bool m_refused = false;                // see Refuse
};

}  // namespace tapewell
