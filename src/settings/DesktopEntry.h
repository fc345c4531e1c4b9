#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ErrorOr.h"

// What the desktop needs to know Tapewell as a handler: the desktop entry
// "tapewell.desktop" (open, play and record, as the program's /Open, /Play
// and /Record start modes) and the shared-mime-info package that names the
// ".ibh" record list type.
namespace tapewell::desktop_entry {

inline constexpr std::string_view kDesktopId = "tapewell.desktop";
inline constexpr std::string_view kListType = "application/x-tapewell-list";
// Desktop entries are small; one larger than this is not ours to read.
inline constexpr size_t kMaxEntryBytes = 64u << 10;

// The Exec value that starts program with mode ("/Open") and the address
// or file the desktop passes: the path quoted and escaped as desktop
// entries require, so that any path (blanks, quotes, "%", "$") survives.
std::string ExecLine(const std::filesystem::path& program, std::string_view mode);

// The program an Exec value starts: its first argument, unescaped and
// unquoted; nothing when the value is malformed.
std::optional<std::string> ExecProgram(std::string_view execValue);

// The text of tapewell.desktop for program, handling mimeTypes.
std::string EntryText(const std::filesystem::path& program,
                      const std::vector<std::string>& mimeTypes);

// The text of the MIME package tapewell.xml.
std::string MimePackageText();

struct InstallResult {
    bool entryWritten = false;
    bool packageWritten = false;
};

// Writes tapewell.desktop into dataHome/applications, unless an entry of
// that name in one of dataDirs already starts program (an installed
// program's own entry is kept), and tapewell.xml into
// dataHome/mime/packages. Files whose content is already right are not
// written again.
ErrorOr<InstallResult> Install(const std::filesystem::path& dataHome,
                               const std::vector<std::filesystem::path>& dataDirs,
                               const std::filesystem::path& program,
                               const std::vector<std::string>& mimeTypes);

// Rebuilds the user's MIME database and desktop-entry cache after Install
// changed something, with update-mime-database and update-desktop-database
// when they exist. Their failures are written to stderr and go no further:
// the associations in mimeapps.list work without the caches.
void RefreshCaches(const std::filesystem::path& dataHome, const InstallResult& installed);

// Runs argv (searched in PATH, no shell) with stdout discarded, and kills
// it after timeoutMs. The error says why it did not run or end well; a
// program that is not there gives ENOENT.
ErrorOr<void> RunTool(const std::vector<std::string>& argv, int timeoutMs);

}  // namespace tapewell::desktop_entry
