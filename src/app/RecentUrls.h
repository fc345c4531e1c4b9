#pragma once

#include <string>
#include <vector>

#include "common/ErrorOr.h"

namespace tapewell {

class ProfileStore;

// The recently opened addresses and files, newest first and without
// duplicates, at most limits::kRecentUrlsKept of them. Kept in the profile
// section "FileMRUList\url" as "File0", "File1", ... Used on the list's
// thread.
class RecentUrls {
public:
    static constexpr const char* kSection = "FileMRUList\\url";

    // Moves address to the front (an equal entry, compared exactly, goes).
    void Add(const std::string& address);
    const std::vector<std::string>& Entries() const { return m_entries; }

    // Replaces the list by the stored one, up to the first empty entry,
    // keeping only entries that name an existing file or hold "http:",
    // "mms:", "mmst:" or "mmsu:".
    void Load(const ProfileStore& profile);
    // Rewrites the section with the list in one profile write.
    ErrorOr<void> Save(ProfileStore& profile) const;

private:
    std::vector<std::string> m_entries;
};

}  // namespace tapewell
