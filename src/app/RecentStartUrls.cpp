#include "app/RecentStartUrls.h"

#include <algorithm>

#include "settings/ProfileStore.h"

namespace tapewell {
namespace {

std::string EntryName(size_t index) {
    return "item" + std::to_string(index);
}

}  // namespace

void RecentStartUrls::Load(const ProfileStore& profile) {
    m_entries.clear();
    for (size_t i = 0; i < kKept; ++i) {
        std::string entry = profile.GetString(kSection, EntryName(i), "");
        if (entry.empty()) {
            break;
        }
        if (std::find(m_entries.begin(), m_entries.end(), entry) == m_entries.end()) {
            m_entries.push_back(std::move(entry));
        }
    }
}

void RecentStartUrls::Add(const std::string& address) {
    if (address.empty()) {
        return;
    }
    std::erase(m_entries, address);
    m_entries.insert(m_entries.begin(), address);
}

ErrorOr<void> RecentStartUrls::Save(ProfileStore& profile) const {
    return profile.Update([this](ProfileEdit& edit) {
        edit.DeleteSection(kSection);
        for (size_t i = 0; i < m_entries.size() && i < kKept; ++i) {
            edit.WriteString(kSection, EntryName(i), m_entries[i]);
        }
    });
}

}  // namespace tapewell
