#pragma once

#include <cstddef>
#include <cstdint>

// Every bound the core puts on untrusted input, kept together so that the
// limits can be read and reviewed in one place.
namespace tapewell::limits {

// ASF files. A real header holds a few dozen objects and none of the objects
// whose contents we keep is more than a few hundred kilobytes; anything past
// these bounds is a damaged or hostile file, and the walk stops there.
inline constexpr size_t kMaxAsfObjectEntries = 100'000;
inline constexpr size_t kMaxKeptAsfObjectBody = 1u << 20;
// The cutter holds the whole Header object in memory to copy it and rewrite
// its File Properties; real headers are a few kilobytes.
inline constexpr size_t kMaxAsfHeaderBytes = 16u << 20;
// The cutter copies packets through one buffer of this many bytes, as many
// whole packets at a time as fit; a larger packet goes through it in pieces.
inline constexpr size_t kCutCopyBufferBytes = 1u << 20;
// The recorders take packets of up to 64 KiB (a stream chunk's length is 16
// bits); a recording's header naming larger ones is not read back.
inline constexpr uint32_t kMaxAsfPacketBytes = 65'535;
// A live recording that joins between two key frames waits for the start
// of a video key frame before it writes anything; a stream whose key
// frames carry no flag starts anyway after this much stream time or this
// many packets.
inline constexpr uint32_t kLiveKeyFrameWaitMs = 10'000;
inline constexpr uint32_t kLiveKeyFrameWaitPackets = 4096;
// A source's Simple Index is rewritten for the cut in memory; one entry a
// second makes this a month of media; a larger one is replaced, not copied.
inline constexpr size_t kMaxSimpleIndexBytes = 16u << 20;

// Settings file: far beyond any real profile; the rest of a larger file is
// ignored rather than read into memory.
inline constexpr size_t kMaxProfileFileBytes = 16u << 20;

// Folder creation copies the path into a buffer of this many bytes
// (terminator included); longer paths are refused.
inline constexpr size_t kFolderPathBuffer = 1024;

// A recording's output file collects this many bytes before each write to
// disk (stdio's own 4 KiB would cost two system calls per 8,000-byte packet).
inline constexpr size_t kOutputFileBufferBytes = 256u << 10;
// ...but is written out at least this often, so that a reader of the growing
// file (time-shift, playback through the engines) is never far behind: the
// whole buffer holds half a minute of a 64 kbit/s stream.
inline constexpr int kOutputFileFlushMs = 1000;

// Attempts at a free temporary name beside an output file before giving up.
inline constexpr int kMaxTempNameTries = 100;

// URL capture copies what it keeps from a captured frame into bounded
// texts; longer values are cut at these sizes (UTF-8 bytes): the HTTP
// request path and RTSP request URL, the MMS file name, the stream title of
// a captured ASF header, and the player identification of an MMS connect.
inline constexpr size_t kCapturedRequestPath = 1024;
inline constexpr size_t kCapturedFileName = 1024;
inline constexpr size_t kCapturedTitle = 1024;
inline constexpr size_t kCapturedPlayerId = 60;

// Packet capture: the kernel buffer that holds frames until the receive
// thread reads them (a smaller one drops frames on a busy link, and the
// frame lost may be the very request looked for), and the bytes kept of
// each frame (the whole of any frame on loopback, whose MTU is 64 KiB).
inline constexpr int kPcapKernelBuffer = 8 << 20;
inline constexpr int kPcapSnapLength = 262'144;

// Numbers given to command-line options: beyond any real count or number of
// seconds, and far from overflowing once turned into milliseconds.
inline constexpr uint64_t kMaxOptionNumber = 1'000'000'000;

// SAMI caption files. A feature film's captions are a few hundred kilobytes
// in a few thousand cues; a larger file is read only up to the bound, and a
// cue's text past its bound is cut (a caption band shows a line or two).
inline constexpr size_t kMaxSamiFileBytes = 8u << 20;
inline constexpr size_t kMaxSamiCues = 100'000;
inline constexpr size_t kMaxCaptionTextBytes = 4096;
// Cue start times past this (100 hours, in milliseconds) are not media times.
inline constexpr uint64_t kMaxSamiStartMs = 100ull * 3600 * 1000;

// Player. Events and captions wait in bounded queues until the window polls;
// an unpolled queue drops its oldest entries rather than grow.
inline constexpr size_t kMaxQueuedPlayerEvents = 64;
inline constexpr size_t kMaxQueuedCaptions = 64;
// How long GetCaptionText waits for a caption.
inline constexpr int kCaptionWaitMs = 100;
// How long Open waits for the first picture and sound to be ready (a plain
// HTTP source has to connect and fill its buffer first).
inline constexpr int kOpenWaitMs = 30'000;
// How long a seek or rate change waits for the pipeline to settle.
inline constexpr int kSeekWaitMs = 10'000;
// A growing file read for playback is looked at again this often while its
// writer has nothing new.
inline constexpr int kFeedPollMs = 150;
// The player's source queue for a growing file: enough for a few seconds
// of a Windows Media stream, small enough that a close does not wait on it.
inline constexpr size_t kFeedQueueBytes = 256u << 10;
// The pieces the feed hands the player.
inline constexpr size_t kFeedChunkBytes = 64u << 10;

// Frame snapshots: N seconds and M pictures each range from 0 to this.
inline constexpr long kMaxSnapshotSetting = 100;
// tapewell-cli play --seconds: at most a day.
inline constexpr long kMaxPlaySeconds = 24 * 3600;

// Network waits of the recording engines: a peer that does not accept the
// connection within the first, or sends nothing for the second while a
// reply or stream is expected, is treated as gone.
inline constexpr int kConnectTimeoutMs = 15'000;
inline constexpr int kReceiveIdleTimeoutMs = 60'000;

// MMS replies the recorder acts on are a few hundred bytes; a command message
// announcing a longer body is refused rather than read into memory.
inline constexpr size_t kMaxMmsCommandBody = 64u << 10;
// The ASF header of an MMS stream is kept whole (it may arrive in several
// header packets) to find File Properties and to repair it at the end; real
// headers are a few kilobytes, so a longer one is refused.
inline constexpr size_t kMaxMmsHeaderBytes = 16u << 20;
// UTF-16 units of the open-file path; a longer path is cut.
inline constexpr size_t kMaxMmsPathUnits = 1024;

// Texts the engines format for their messages and errors are cut here.
inline constexpr size_t kMessageTextBytes = 4096;

// HTTP streaming engine. The request texts are built in fixed buffers whose
// sizes the servers of this dialect are used to: an address whose escaped
// form, host or path does not fit is refused as "Invalid URL format!", a
// proxy text that does not fit as "Invalid proxy URL format!"; the
// "user:password" text is cut.
inline constexpr size_t kHttpEscapedUrlBytes = 1024;
inline constexpr size_t kHttpHostBytes = 512;
inline constexpr size_t kHttpPathBytes = 512;
inline constexpr size_t kHttpProxyBytes = 512;
inline constexpr size_t kHttpCredentialBytes = 512;
// An argument vector records at most this many addresses; later ones are
// dropped (a playlist is not a crawl).
inline constexpr size_t kHttpMaxAddresses = 99;
// Reply headers: a line longer than this is cut, the copy kept for the "-d"
// dump stops growing, and content type and features values are cut.
inline constexpr size_t kHttpReplyLineBytes = 512;
inline constexpr size_t kHttpReplyCopyBytes = 1024;
inline constexpr size_t kHttpReplyValueBytes = 256;
// A whole reply header: a server's is a few hundred bytes, so one that has
// not ended by this many is broken or hostile and the exchange ends there.
inline constexpr size_t kHttpReplyHeaderBytes = 65'536;
// Credentials a 401 is answered with, per address, before the engine or the
// web fetcher gives up as if the question had been cancelled: a server that
// refuses every pair would otherwise be asked forever.
inline constexpr int kMaxCredentialTries = 5;
// The one buffer of an exchange: request text, reply body, chunk bodies and
// the whole assembled ASF header (a chunk's length field is 16 bits, so one
// chunk always fits; a header in parts that outgrows it is refused).
inline constexpr size_t kHttpBufferBytes = 65'536;
// Every byte of a reply passes through this receive ring; it is refilled by
// one receive only when more than kHttpRingRefillFree bytes are free, so the
// one- and two-byte reads of headers cost no system call each.
inline constexpr size_t kHttpRingBytes = 4096;
inline constexpr size_t kHttpRingRefillFree = 2048;
// Below the ring, one receive from the connection takes up to this many
// bytes and serves the ring's receives from them: a 4,096-byte ring alone
// cost a recording one system call per 3 KiB on average.
inline constexpr size_t kHttpReadAheadBytes = 65'536;
// A data chunk is placed at its sequence number times the packet size; a
// place beyond this (far past any real recording) comes from a damaged or
// hostile sequence number and the chunk is dropped rather than seeking the
// file out to terabytes.
inline constexpr uint64_t kHttpMaxPacketOffset = 1ull << 40;

// Record list and its files. A list file's rows past this count come from a
// damaged or hostile file (a real list holds a few hundred) and are not read.
inline constexpr size_t kMaxListFileRows = 100'000;
// A folder list (".urh") is a small INI text; a larger file is refused, and
// its "Files" count is believed only up to this many sections.
inline constexpr size_t kMaxFolderListBytes = 1u << 20;
inline constexpr long kMaxFolderListSections = 10'000;
// Folder list values are read into 200-byte buffers by the program that
// writes them: 199 characters count, the rest is dropped.
inline constexpr size_t kFolderListValueChars = 199;
// The recent-address list keeps this many entries from one run to the next.
inline constexpr size_t kRecentUrlsKept = 20;
// An ".asf" file smaller than this whose first line (at most this many
// bytes) holds "<asx" is an ASX playlist under a media name.
inline constexpr uintmax_t kAsxUnderAsfMaxBytes = 3072;
inline constexpr size_t kAsxUnderAsfLineBytes = 1023;
// shared-mime-info glob files are a few hundred kilobytes; the rest of a
// larger one is not read.
inline constexpr size_t kMaxMimeGlobsBytes = 8u << 20;
// The login check after a list with credentials is loaded: the connect
// time-out of the design, and a bound on the whole exchange so that a
// silent server cannot hold the list window.
inline constexpr long kLoginCheckConnectTimeoutMs = 2000;
inline constexpr long kLoginCheckTotalTimeoutMs = 10'000;
// ASX playlists. The tag scanner keeps a tag's name and the text of its
// attributes (names and values, each with its terminator) in fixed buffers;
// a longer name or attribute text is cut. A tag keeps at most
// kAsxMaxAttributes attributes (only the first one is ever looked at).
inline constexpr size_t kAsxTagNameBytes = 128;
inline constexpr size_t kAsxAttributeTextBytes = 512;
inline constexpr size_t kAsxMaxAttributes = 64;
// The "[Reference]" and plain-list readings go line by line: a longer line
// is not an address and is skipped; a longer section name is cut.
inline constexpr size_t kAsxLineBytes = 512;
inline constexpr size_t kAsxSectionBytes = 128;
// The argument vector a playlist becomes: element slots and one text pool
// for all elements (each with its terminator); what does not fit is dropped.
inline constexpr size_t kAsxVectorSlots = 132;
inline constexpr size_t kAsxVectorPoolBytes = 4096;
// A local file is read whole to see whether it is a playlist; a larger one
// is not a playlist (real ones are a few kilobytes).
inline constexpr size_t kMaxPlaylistFileBytes = 1u << 20;
// Playlists that lead to playlists are followed this deep; a server that
// answers every request with a playlist would otherwise recurse forever.
inline constexpr int kMaxPlaylistDepth = 8;
// Remote playlists one address may lead to in all, over every level: a
// playlist whose entries each lead to further playlists would otherwise
// multiply its requests level by level within the depth bound.
inline constexpr int kMaxPlaylistsPerWalk = 32;
// The recording job's and the record list's readers keep this many
// addresses and this much address text (terminators included); later
// addresses are dropped. A text that is taken whole as one address must fit
// the same text room.
inline constexpr size_t kPlaylistMaxAddresses = 100;
inline constexpr size_t kPlaylistAddressTextBytes = 4096;
// A text without any reference is taken whole as one address only when it
// is longer than this.
inline constexpr size_t kPlaylistMinWholeTextBytes = 10;

// Web fetcher: connect time-out, the size of each read, the first look at a
// text reply, the part of a text reply searched for an "mms://" address, and
// how long a transfer may sit without receiving a byte before it fails.
inline constexpr long kWebConnectTimeoutMs = 5000;
inline constexpr size_t kWebReadBytes = 4096;
inline constexpr size_t kWebTextFirstBytes = 1024;
inline constexpr size_t kWebTextSearchBytes = 1'048'576;
inline constexpr long kWebIdleTimeoutSeconds = 60;
// Redirects a fetch follows before it gives up.
inline constexpr long kWebMaxRedirects = 10;

// Recording job: the error text the owner shows, as the engines format it
// (FormatText's buffer).
inline constexpr size_t kJobErrorTextBytes = 4096;
// An output name (item name or the address's last part) is
// cut to this many bytes, leaving room under the file system's 255 for
// "(99)" and an extension.
inline constexpr size_t kOutputNameBytes = 200;
// The extension taken from the address is cut to this many bytes (dot
// included), so name, extension and "(99)" stay under 255.
inline constexpr size_t kOutputExtensionBytes = 40;
// "x(0).asf" ... "x(99).asf" are tried for a free name; when all exist the
// job refuses to write rather than overwrite one of them.
inline constexpr int kUniquePathTries = 100;
// A local ".asf" this short whose first line holds "<asx" is a playlist in
// disguise; the first line is read up to kPlaylistSniffLineBytes.
inline constexpr uint64_t kPlaylistSniffFileBytes = 3072;
inline constexpr size_t kPlaylistSniffLineBytes = 1023;
// A playlist file of this size or more is not read by the job.
inline constexpr uint64_t kJobPlaylistFileBytes = 102'400;
// The record list reads a playlist it opens only below this size; a larger
// one becomes a row of its own.
inline constexpr uint64_t kOpenPlaylistMaxBytes = 102'400;
// A download of a known media type below this many bytes is taken for an
// error page and deleted.
inline constexpr uint32_t kTooSmallRecordingBytes = 0x40000;

// A peer that does not answer the MMS connect message within this time is
// not an MMS server (an HTTP server waits for the end of a request that
// never comes); the idle time-out applies once MMS messages flow.
inline constexpr int kMmsFirstReplyTimeoutMs = 5000;
// Behind a header sent again, a broadcast server may go back and send the
// packets of about the last half second once more. MMS: a packet the same as
// one of the last kMmsResentPackets written, no more than kMmsResentMs behind
// the latest send time written, is one of those. HTTP streaming: a packet
// right after the header whose send time is at most kHttpResentWindowMs
// behind the last one kept. A source that starts again from its beginning
// goes back further.
inline constexpr uint32_t kMmsResentMs = 1000;
inline constexpr size_t kMmsResentPackets = 512;
inline constexpr uint32_t kHttpResentWindowMs = 2'000;
// The web fetcher holds back at most this much of a download while it
// decides whether it is a live ASF whose header it must repair.
inline constexpr uint64_t kWebFetchHeldHeaderBytes = kHttpBufferBytes;

}  // namespace tapewell::limits
