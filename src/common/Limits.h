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

// Settings file: far beyond any real profile; the rest of a larger file is
// ignored rather than read into memory.
inline constexpr size_t kMaxProfileFileBytes = 16u << 20;

// Folder creation copies the path into a buffer of this many bytes
// (terminator included); longer paths are refused.
inline constexpr size_t kFolderPathBuffer = 1024;

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

// Frame snapshots: N seconds and M pictures each range from 0 to this.
inline constexpr long kMaxSnapshotSetting = 100;
// tapewell-cli play --seconds: at most a day.
inline constexpr long kMaxPlaySeconds = 24 * 3600;

}  // namespace tapewell::limits
