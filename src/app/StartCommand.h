#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tapewell {

// What the program was started to do with the item of its command line, and
// what a second start hands over to the first: 0 open and play ("/Open"),
// 1 play ("/Play", or no switch), 2 record ("/Rec", "/Record").
inline constexpr int kStartOpen = 0;
inline constexpr int kStartPlay = 1;
inline constexpr int kStartRecord = 2;

struct StartCommand {
    int mode = kStartPlay;
    std::string item;  // empty when the command line names none
};

// Reads the arguments after the program name. An argument equal, ignoring
// case, to "/Open", "/Play", "/Rec" or "/Record" is a switch (a path of
// ours starts with "/" too, so anything longer is an item). The mode comes
// from the first argument when it is a switch, tested with case: "/Open"
// gives 0, "/Play" 1, "/Rec..." 2, and any other spelling ("/open") 1. The
// item is the first argument that is not a switch; a "file://" URI becomes
// its local path.
StartCommand ParseStartMode(const std::vector<std::string>& args);

// The local path of a "file://" URI (host empty or "localhost", %XX
// decoded); any other text comes back unchanged.
std::string FileUriToPath(std::string_view text);

// An item text is up to three parts separated by "&&": address, name and
// an option that suppresses the size lookup of a new row. Without a second
// or third part the name is "" and the option "0"; past the second "&&"
// the rest of the text, further "&&" included, is the option.
struct ItemText {
    std::string address;
    std::string name;
    std::string option;
};
ItemText SplitItemText(std::string_view text);

}  // namespace tapewell
