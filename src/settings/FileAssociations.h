#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/ErrorOr.h"
#include "settings/MimeGlobs.h"

namespace tapewell {

// The XDG folders that decide which program opens a file type, and the
// program to register. Tests build one on temporary folders.
struct XdgPaths {
    std::filesystem::path configHome;               // $XDG_CONFIG_HOME, ~/.config
    std::vector<std::filesystem::path> configDirs;  // $XDG_CONFIG_DIRS, /etc/xdg
    std::filesystem::path dataHome;                 // $XDG_DATA_HOME, ~/.local/share
    std::vector<std::filesystem::path> dataDirs;    // $XDG_DATA_DIRS, /usr/local/share:/usr/share
    std::vector<std::string> desktops;              // $XDG_CURRENT_DESKTOP, lower case
    std::filesystem::path program;                  // what the desktop entry starts

    // From the environment and the XDG defaults; the program is the running
    // executable (/proc/self/exe resolved).
    static XdgPaths FromEnvironment();
};

// One box of the "Play" page: extensions that are registered together.
struct AssociationGroup {
    std::string_view name;  // "asf", as the command line names it
    std::string_view text;  // the box's label
    std::vector<std::string_view> extensions;
    // URL scheme handlers registered with the group and kept when it is
    // restored, as the MMS address verbs are.
    std::vector<std::string_view> schemes;
};

// File-type associations through XDG MIME Applications: registering a group
// makes tapewell.desktop the default for each MIME type of its extensions in
// the user's mimeapps.list, restoring takes it out again so that the earlier
// or the system default returns. Linux has no default per extension: where
// extensions share a type (.asx, .wax, .wvx and .wmx are all
// audio/x-ms-asx), registering one group takes the others' files too.
class FileAssociations {
public:
    explicit FileAssociations(XdgPaths paths);

    // asf, wma, wmv, ibh, avi, mpg: the page's order.
    static const std::vector<AssociationGroup>& Groups();
    static const AssociationGroup* FindGroup(std::string_view name);
    // Every type the desktop entry declares: those of all groups'
    // extensions and the schemes.
    static std::vector<std::string> AllTypes(const MimeGlobs& globs);

    // The MIME types of the group's extensions, without repeats and without
    // the schemes.
    std::vector<std::string> TypesOf(const AssociationGroup& group) const;
    // The desktop id that opens type: the first item of the first
    // "[Default Applications]" entry for it along the XDG lookup order; ""
    // when none names one.
    std::string DefaultFor(std::string_view type) const;
    // 1 when every type of the group opens in Tapewell, 0 when none does,
    // 2 when some do.
    int State(const AssociationGroup& group) const;

    ErrorOr<void> Register(const AssociationGroup& group);
    ErrorOr<void> Restore(const AssociationGroup& group);

    // The one file written: $XDG_CONFIG_HOME/mimeapps.list.
    std::filesystem::path UserListPath() const;

private:
    std::vector<std::filesystem::path> ListFiles() const;
    ErrorOr<void> Edit(const AssociationGroup& group, bool add);

    XdgPaths m_paths;
    MimeGlobs m_globs;
};

}  // namespace tapewell
