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

}  // namespace tapewell::limits
