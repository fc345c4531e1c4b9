#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tapewell {

class MimeGlobs;

// What the record list reads from an address (a URL or a local path) and
// the texts it shows in its cells. Pure functions, except that KindFlags
// and DeriveName look at the file system and the MIME database; any thread
// may call them.

// Bits of KindFlags.
namespace kind {
inline constexpr uint32_t kExists = 0x1;
inline constexpr uint32_t kMissing = 0x2;
inline constexpr uint32_t kAsxInAsf = 0x10;  // ASX text stored under an ".asf" name
inline constexpr uint32_t kIbh = 0x20;
inline constexpr uint32_t kUrh = 0x30;  // both 0x10 and 0x20
inline constexpr uint32_t kIbl = 0x40;
inline constexpr uint32_t kHttp = 0x100;
inline constexpr uint32_t kMms = 0x200;
inline constexpr uint32_t kMmst = 0x400;
inline constexpr uint32_t kMmsu = 0x800;
inline constexpr uint32_t kAsx = 0x1000;
inline constexpr uint32_t kWmx = 0x2000;
inline constexpr uint32_t kWvx = 0x4000;
inline constexpr uint32_t kPlaylistUnused = 0x8000;  // never set, still tested as a playlist bit
inline constexpr uint32_t kAsf = 0x10000;
inline constexpr uint32_t kWma = 0x20000;
inline constexpr uint32_t kWmv = 0x40000;
// An existing ".ibh" file, and an existing ".urh" file, give exactly these.
inline constexpr uint32_t kIbhFile = kExists | kIbh;
inline constexpr uint32_t kUrhFile = kExists | kUrh;
}  // namespace kind

// A local path starts with "/" after leading blanks; anything else is a
// network address.
bool IsLocalPath(std::string_view address);

// The media type word of the Type column ("asf", "wmv", ...; "" when none).
std::string TypeWord(std::string_view address);

// The OR of the kind bits above for path.
uint32_t KindFlags(const std::string& path);

// Whether KindFlags describe an existing file that is not a playlist (none
// of the ASX bits, nor ASX text under an ".asf" name): such a row is played,
// never recorded.
bool IsPlainLocalMedia(uint32_t kindFlags);

// The display name made from an address: its last path piece without its
// extension. globs decides which extensions are registered file types
// (default: the system's MIME database).
std::string DeriveName(std::string_view address);
std::string DeriveName(std::string_view address, const MimeGlobs& globs);

// Size cell: "%dM" above 1048575 bytes, "%dK" above 1023, else "%dB".
std::string SizeText(uint64_t length);
// Time cell: "%d:%02d:%02d".
std::string DurationText(uint32_t seconds);
// Play cell of the playing row: "%d:%02d:%02d" from an hour on, else "%3d:%02d".
std::string PositionText(uint32_t seconds);

// Record cell of a recording job: "%d:%d(%d %%)" under an hour, else
// "%d:%d:%d(%d %%)", from the recorded time and the progress in hundredths
// of a percent; minutes and seconds are not zero-padded.
std::string ProgressText(uint32_t positionMs, uint32_t progress);
// Size cell of a recording job: "%dK" of the bytes written, whole KiB
// rounded down.
std::string RecordedSizeText(uint32_t bytesWritten);

}  // namespace tapewell
