#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The per-user folders that stand in for the registry and the "c:\temp"
// recording folder, found the way freedesktop.org programs find them.
namespace tapewell::user_folders {

// $HOME, else the home folder of the password database.
std::filesystem::path Home();

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
std::filesystem::path ConfigHome();

// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
std::filesystem::path DataHome();

// XDG_VIDEOS_DIR from ConfigHome()/user-dirs.dirs when it names a folder
// other than the home folder itself, else ~/Videos.
std::filesystem::path Videos();

// The value of one "KEY=\"...\"" line of a user-dirs.dirs text, with a
// leading $HOME expanded to home. nullopt when the key is absent or its value
// is neither absolute nor relative to $HOME, as xdg-user-dirs requires.
std::optional<std::string> FindUserDir(std::string_view fileText, std::string_view key,
                                       const std::string& home);

}  // namespace tapewell::user_folders
