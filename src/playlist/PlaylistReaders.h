#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "playlist/ExpandPlaylist.h"

namespace tapewell {

// The recording job's reading of a playlist file: the addresses in document
// order and the "moreinfo" href (the item's information address).
struct JobPlaylist {
    std::vector<std::string> addresses;
    std::string moreInfo;
};

// The readers of the recording job and of the record list. They scan ASX
// text with the same tag scanner as the engine, but: no printable test,
// "Entry" has no effect, a "[" or a first word ends the scan (list files
// yield nothing), and a text without any reference that is longer than
// limits::kPlaylistMinWholeTextBytes is taken whole as one address. They
// keep at most limits::kPlaylistMaxAddresses addresses and
// limits::kPlaylistAddressTextBytes of address text (terminators counted);
// later addresses are dropped. Both run on the caller's thread, and the
// callbacks run there during the call.
JobPlaylist ReadJobPlaylist(std::string_view text, const PlaylistMessageCallback& onMessage);

// The record list's reader: hands each address to onAddress as it is found
// (the whole-text address after the scan). Returns how many it handed over.
size_t ReadListPlaylist(std::string_view text, const PlaylistMessageCallback& onMessage,
                        const std::function<void(const std::string&)>& onAddress);

}  // namespace tapewell
