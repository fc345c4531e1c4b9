#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "app/LoginCheck.h"
#include "common/ErrorOr.h"

namespace tapewell {

class ListPrompt;
class RecordList;

// Which rows a list file save writes: the menu's "Only URL...",
// "Only File..." and "All...".
enum class ListSaveMode { OnlyUrl = 0, OnlyFile = 1, All = 2 };

enum class ListSaveResult { Saved, Cancelled };

// The automatic list: the record list the program saves at exit and loads at
// start, "Tapewell/Tapewell.ibh" under the user's data folder.
std::filesystem::path AutomaticListPath();

// Saves the rows that mode selects, with the title and, when both are set
// and the user answers Yes to the credentials question, the credentials.
// Cancel (or no prompt to ask) leaves any old file untouched; so does a
// failed write. Called on the list's thread.
ErrorOr<ListSaveResult> SaveListFile(const RecordList& list, const std::filesystem::path& path,
                                     ListSaveMode mode, ListPrompt* prompt);

// What a load added. A load that fails changes nothing.
struct ListLoadResult {
    int firstRow = -1;  // first row added, -1 when none
    int rowsAdded = 0;
    // Set when the login check ran.
    std::optional<LoginCheck::Result> login;
    // Set when the file holds rows that were not read, so that a damaged list
    // does not pass for a whole one: "list file is truncated: N of M rows"
    // when it ends inside a row (M counts that cut row), "list file holds M
    // rows; only the first N are read" past the row limit.
    std::string warning;
};

// Appends the rows of a binary list file (no duplicate check), and takes
// over its title and credentials; a file cut off inside a row keeps the
// rows before it and says so in the warning. When both credentials are set
// and check is given, checks them against the first network address;
// credentials the login loop settled on become the list's. Called on the
// list's thread.
ErrorOr<ListLoadResult> LoadListFile(RecordList& list, const std::filesystem::path& path,
                                     LoginCheck* check = nullptr);

// Appends a row with mark 1 for each folder of a folder list that has an
// address. Fails when the file cannot be read; rowsAdded counts the rows,
// and *files (when given) receives the file's "Files" value.
ErrorOr<ListLoadResult> LoadFolderList(RecordList& list, const std::filesystem::path& path,
                                       long* files = nullptr);

}  // namespace tapewell
