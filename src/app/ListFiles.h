#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "app/LoginCheck.h"

namespace tapewell {

class ListPrompt;
class RecordList;

// Which rows a list file save writes: the menu's "Only URL...",
// "Only File..." and "All...".
enum class ListSaveMode { OnlyUrl = 0, OnlyFile = 1, All = 2 };

enum class ListSaveResult { Saved, Cancelled, Failed };

// The automatic list: the record list the program saves at exit and loads at
// start, "Tapewell/Tapewell.ibh" under the user's data folder.
std::filesystem::path AutomaticListPath();

// Saves the rows that mode selects, with the title and, when both are set
// and the user answers Yes to the credentials question, the credentials.
// Cancel (or no prompt to ask) leaves any old file untouched; so does a
// failed write, whose reason goes to *error. Called on the list's thread.
ListSaveResult SaveListFile(const RecordList& list, const std::filesystem::path& path,
                            ListSaveMode mode, ListPrompt* prompt, std::string* error = nullptr);

struct ListLoadResult {
    bool loaded = false;  // false: nothing changed, error says why
    std::string error;
    int firstRow = -1;  // first row added, -1 when none
    int rowsAdded = 0;
    // Set when the login check ran.
    std::optional<LoginCheck::Result> login;
};

// Appends the rows of a binary list file (no duplicate check), and takes
// over its title and credentials. When both credentials are set and check
// is given, checks them against the first network address; credentials the
// login loop settled on become the list's. Called on the list's thread.
ListLoadResult LoadListFile(RecordList& list, const std::filesystem::path& path,
                            LoginCheck* check = nullptr);

// Appends a row with mark 1 for each folder of a folder list that has an
// address. loaded is false when the file cannot be read; rowsAdded counts
// the rows, and *files (when given) receives the file's "Files" value.
ListLoadResult LoadFolderList(RecordList& list, const std::filesystem::path& path,
                              long* files = nullptr);

}  // namespace tapewell
