#pragma once

#include <filesystem>
#include <string>

#include "common/ErrorOr.h"

namespace tapewell {

class ListPrompt;

enum class AsxWriteResult { Written, Declined };

// Writes the one-entry ASX playlist of a record list item:
//   <ASX version="3.0">, <Entry>, <TITLE>title</TITLE>,
//   <ref href="address"/>, </Entry>, </ASX>
// one per line with CR LF line ends, as Windows players read it. Title and
// address are escaped (& < > " ' as references), so that any text keeps the
// file well-formed and the playlist readers give back the same address; the
// bytes are otherwise written as they are (UTF-8). An existing file is
// replaced only after prompt->ConfirmOverwrite says Yes (no prompt: never),
// and only by a whole new file. A failed write's error is the strerror
// text. Called on the list's thread.
// The document WriteAsx writes.
std::string AsxText(const std::string& title, const std::string& address);

ErrorOr<AsxWriteResult> WriteAsx(const std::filesystem::path& path, const std::string& title,
                                 const std::string& address, ListPrompt* prompt);

// Makes an item name usable as a file name in place and returns it: the
// characters Windows reserves in file names, \ / : * ? " < > |, become "_",
// and so do control characters, which a file name should not carry either.
std::string& ReplaceReservedFileNameChars(std::string& text);

// folder/<name>.asx, or folder/noname.asx for an empty name.
std::filesystem::path AsxPathFor(const std::filesystem::path& folder, const std::string& name);

}  // namespace tapewell
