#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/ErrorOr.h"

namespace tapewell {

// What a playlist text makes for the HTTP streaming engine: whether it is a
// playlist at all, the argument vector ("Quillon", "-m" MIN, "-p" PORT, then
// "-e" before each entry's references) and how many references it holds.
struct PlaylistExpansion {
    bool isPlaylist = false;
    std::vector<std::string> args;
    int references = 0;
};

// Receives the syntax messages ("ASF syntax error N!\n"); the engine issues
// them at notice level.
using PlaylistMessageCallback = std::function<void(const char*)>;
// Runs the engine on a vector (EngineMain on the same object and thread).
using PlaylistRunCallback = std::function<void(std::span<const std::string>)>;

// The engine's reading of a text: a byte outside TAB, LF, CR and 32-127
// makes it no playlist; ASX tags ("ASX", "Entry", "Ref"/"EntryRef" href),
// a "[Reference]" list or a plain list of addresses.
PlaylistExpansion BuildPlaylistVector(std::string_view text, uint32_t maxMinutes, uint16_t port,
                                      const PlaylistMessageCallback& onMessage);

// A local file's whole text, when the name is not a network address, the
// file opens and is at most limits::kMaxPlaylistFileBytes long; else "cannot
// read NAME (or larger than N bytes)", with the errno when the file system
// gave one.
ErrorOr<std::string> ReadPlaylistFile(const std::string& fileName);

// The engine's hand-over: reads the file (when no text is given) or the
// text, and when it found at least one reference runs the vector before it
// returns. True when the text is a playlist (even one without usable
// references); false when it is not, and the caller then treats the file
// name as an address. Runs on the engine's worker thread.
bool ExpandPlaylist(const std::string* fileName, std::span<const uint8_t> text, uint32_t maxMinutes,
                    uint16_t port, const PlaylistMessageCallback& onMessage,
                    const PlaylistRunCallback& run);

}  // namespace tapewell
