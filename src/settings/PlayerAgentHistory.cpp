#include "settings/PlayerAgentHistory.h"

#include <algorithm>

#include "settings/ProfileStore.h"

namespace tapewell {
namespace {

std::string EntryName(size_t index) {
    return "player" + std::to_string(index);
}

bool Contains(const std::vector<std::string>& list, const std::string& text) {
    return std::find(list.begin(), list.end(), text) != list.end();
}

}  // namespace

std::vector<std::string> PlayerAgentHistory::Load(const ProfileStore& profile) {
    std::vector<std::string> entries;
    for (size_t i = 0; i < kMaxEntries; ++i) {
        std::string entry = profile.GetString(kSection, EntryName(i), "");
        if (entry.empty()) {
            break;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<std::string> PlayerAgentHistory::Trim(const std::vector<std::string>& entries,
                                                  const std::string& current) {
    std::vector<std::string> kept;
    for (const std::string& entry : entries) {
        if (!entry.empty() && !Contains(kept, entry)) {
            kept.push_back(entry);
        }
    }
    if (!current.empty() && !Contains(kept, current)) {
        kept.push_back(current);
    }
    size_t excess = kept.size() > kMaxEntries ? kept.size() - kMaxEntries : 0;
    std::vector<std::string> trimmed;
    trimmed.reserve(kept.size() - excess);
    for (std::string& entry : kept) {
        if (excess > 0 && entry != current) {
            --excess;
            continue;
        }
        trimmed.push_back(std::move(entry));
    }
    return trimmed;
}

void PlayerAgentHistory::Write(ProfileEdit& edit, const std::vector<std::string>& entries,
                               const std::string& current) {
    std::vector<std::string> kept = Trim(entries, current);
    edit.DeleteSection(kSection);
    for (size_t i = 0; i < kept.size(); ++i) {
        edit.WriteString(kSection, EntryName(i), kept[i]);
    }
}

ErrorOr<void> PlayerAgentHistory::Save(ProfileStore& profile,
                                       const std::vector<std::string>& entries,
                                       const std::string& current) {
    return profile.Update([&](ProfileEdit& edit) { Write(edit, entries, current); });
}

}  // namespace tapewell
