#pragma once

#include <cstddef>
#include <cstdint>

// Bounds the test server puts on what clients send it. Requests beyond them
// are refused; the server never grows a buffer for a peer.
namespace tapewell::testserver::limits {

// An HTTP request head (request line and header lines). Real streaming
// clients send well under 1 KiB.
inline constexpr size_t kMaxHttpHead = 16 * 1024;

// The part of an MMS command message after its 16-byte prefix. The largest
// message a client sends is the logging report, about 1.5 KiB.
inline constexpr uint32_t kMaxMmsCommandBody = 64 * 1024;

// Served ASF headers; a real one is a few kilobytes.
inline constexpr uint64_t kMaxServedHeader = 1u << 20;

// Packets are read from disk and framed for the socket in batches of about
// this many bytes, so a fast client is never waiting on small writes.
inline constexpr size_t kSendBatchBytes = 256 * 1024;

// A client that sends nothing for this long is dropped.
inline constexpr int kIdleSeconds = 30;

// --mms-fault: the mid-stream faults strike after this many data packets,
// so that the client has a recording to repair. --mms-fault drip and
// --http-fault drip pause this long after each byte, so that the client's
// reads see them one by one (a few kilobytes take about a second).
inline constexpr uint64_t kMmsFaultAfterPackets = 10;
inline constexpr int kDripPauseMicros = 50;

// --http-fault: the data faults strike after this many data packets went
// out whole (unless --drop-after says otherwise), so that the client has a
// header and something to keep.
inline constexpr uint64_t kFaultAfterPackets = 5;

// --http-fault endless-head / endless-body: "endless" stops here, so that a
// client that never gives up fails its test instead of hanging it.
inline constexpr uint64_t kFaultEndlessBytes = 64u << 20;

// --http-fault stall: how long a stalled connection is held open at most.
inline constexpr int kFaultStallSeconds = 60;

// --header-repeat / --layout-change: the largest packet count they take.
inline constexpr uint64_t kMaxPacketCountOption = 1'000'000'000;

// --header-repeat: after a repeated header the stream steps back by the
// packets of at most this many milliseconds, as the broadcast server met in
// the field did (about half a second), and at most by this many packets,
// which is also how many recent packets the feed remembers for it.
inline constexpr uint32_t kHeaderStepBackMs = 500;
inline constexpr size_t kMaxStepBackPackets = 256;

// Stream selections: entries read from one MMS stream switch message or
// one Pragma line, and streams held switched off (ASF numbers them 1 to
// 127).
inline constexpr size_t kMaxStreamSwitches = 128;

// --layout-change: how many files of the folder are looked at for one with
// another packet size.
inline constexpr size_t kMaxLayoutCandidates = 1000;

}  // namespace tapewell::testserver::limits
