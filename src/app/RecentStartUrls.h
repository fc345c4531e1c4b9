#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/ErrorOr.h"

namespace tapewell {

class ProfileStore;

// The start addresses typed into the URL Open dialog, newest first and
// without duplicates, kept in the profile section "RecentUrl\Url" as
// "item0", "item1", ... Only "Play" and "Record" of that dialog store them.
// Used on the UI thread.
class RecentStartUrls {
public:
    static constexpr const char* kSection = "RecentUrl\\Url";
    static constexpr size_t kKept = 30;

    // Replaces the entries by "item0" to "item29", up to the first empty one;
    // a repeated entry is read once.
    void Load(const ProfileStore& profile);
    // Puts address on top, taking an equal entry (compared exactly) out of
    // its old place; an empty address is ignored. Adding does not cut the
    // list, Save does.
    void Add(const std::string& address);
    const std::vector<std::string>& Entries() const { return m_entries; }
    // Clears the section and writes the first kKept entries, in one profile
    // write, so that entries a longer list left behind do not come back.
    ErrorOr<void> Save(ProfileStore& profile) const;

private:
    std::vector<std::string> m_entries;
};

}  // namespace tapewell
