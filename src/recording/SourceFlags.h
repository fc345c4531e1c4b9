#pragma once

#include <string>

namespace tapewell {

// How the recording job classifies an address. Every test is a substring
// search in the lower-cased address, so a match anywhere counts.

// SourceFlags bits.
inline constexpr unsigned kSourceLocalFile = 0x1;
inline constexpr unsigned kSourceNoLocalFile = 0x2;
inline constexpr unsigned kSourceAsxInAsf = 0x10;  // a short local ".asf" holding "<asx"
inline constexpr unsigned kSourceHttp = 0x100;
inline constexpr unsigned kSourceMms = 0x200;
inline constexpr unsigned kSourceMmst = 0x400;
inline constexpr unsigned kSourceMmsu = 0x800;
inline constexpr unsigned kSourceAsx = 0x1000;
inline constexpr unsigned kSourceWmx = 0x2000;
inline constexpr unsigned kSourceWvx = 0x4000;
inline constexpr unsigned kSourceAsf = 0x10000;
inline constexpr unsigned kSourceWma = 0x20000;
inline constexpr unsigned kSourceWmv = 0x40000;

// EngineFlags values.
inline constexpr unsigned kEngineNoMms = 1;            // no "mms:" or "mmst:"
inline constexpr unsigned kEngineMms = 2;              // MmsClient goes first
inline constexpr unsigned kEngineOtherMedia = 0x20;    // .mov .mpg .mpeg .rm .ram .rpm .mp3
inline constexpr unsigned kEngineWindowsMedia = 0x10;  // .asx .asf .wax .wma .wmv
inline constexpr unsigned kEngineNoMediaType = 0x40;

// Looks at the local file system for the 0x1, 0x2 and 0x10 bits (a short
// file's first line is read). Runs on the job's worker thread.
unsigned SourceFlags(const std::string& address);
bool IsPlaylistSource(unsigned sourceFlags);
unsigned EngineFlags(const std::string& address);

}  // namespace tapewell
