#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/ErrorOr.h"

namespace tapewell {

class ProfileEdit;
class ProfileStore;

// The player agents offered in the Record page of the preferences, oldest
// first, kept in the profile section "settings\NSPlyer" (so spelt) as
// "player0" ... "player49". The agent itself is never stored, every run
// starts with the default one, so this list is how a chosen agent survives.
class PlayerAgentHistory {
public:
    static constexpr const char* kSection = "settings\\NSPlyer";
    // Only player0 ... player49 are ever read back; a longer list would grow
    // the profile with entries no one sees.
    static constexpr size_t kMaxEntries = 50;

    // The stored entries up to the first missing or empty one.
    static std::vector<std::string> Load(const ProfileStore& profile);

    // The list as it will be stored: entries in order without empty ones
    // (an empty value would end the list when it is read) and without
    // repeats, current appended when it is not among them, and when there
    // are more than kMaxEntries the oldest ones other than current dropped.
    static std::vector<std::string> Trim(const std::vector<std::string>& entries,
                                         const std::string& current);
    // Replaces the section by Trim(entries, current) within edit.
    static void Write(ProfileEdit& edit, const std::vector<std::string>& entries,
                      const std::string& current);
    // Write in one profile write of its own.
    static ErrorOr<void> Save(ProfileStore& profile, const std::vector<std::string>& entries,
                              const std::string& current);
};

}  // namespace tapewell
