#pragma once

#include <string>

#include "common/ErrorOr.h"

namespace tapewell {

class LoginCheck;
class RecentUrls;
class RecordList;

// Opens a path or an address into the record list, the way every open
// command, drop and hand-over does:
// - an existing ".ibh" list file is loaded (its credentials checked with
//   check when given) and an existing ".urh" folder list is read;
// - a playlist (".asx", ".wmx", ".wvx", or ASX text under a small ".asf"
//   name) smaller than limits::kOpenPlaylistMaxBytes becomes one row per
//   address it holds, named NAME0, NAME1, ... when it holds several;
// - anything else becomes one row (AddItem, with option as its size option).
// Returns the row of the item (the first playlist address), or -1: for an
// empty path, a playlist without addresses, and always for a list file,
// which has no one row to play or record. The one failure is a list file
// that could not be read. Playlists and single items move path to the front
// of recent. When warning is given it receives what the user should be told
// of an open that did add rows (a list file read only in part, see
// ListLoadResult::warning), and is emptied otherwise. Called on the list's
// thread.
ErrorOr<int> OpenItem(RecordList& list, RecentUrls& recent, const std::string& path,
                      const std::string& name, const std::string& option, LoginCheck* check,
                      std::string* warning = nullptr);

}  // namespace tapewell
