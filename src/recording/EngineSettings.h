#pragma once

#include <optional>
#include <string>

#include "engine/CredentialStore.h"
#include "engine/EngineOptions.h"

namespace tapewell {

class AppSettings;
class ProfileStore;

// The engines' share of the preferences: what the recording job and the
// CLI commands that run an engine by itself hand to the engines they build.
EngineOptions ToEngineOptions(const AppSettings& settings);

// Credentials per site in the user's profile, section "NetPassword\<site>",
// values "User" and "Password": the desktop program's login check reads
// and writes the same ones.
class ProfileCredentials final : public CredentialStore {
public:
    // profile may be null: nothing is stored or found.
    explicit ProfileCredentials(ProfileStore* profile) : m_profile(profile) {}

    std::optional<Pair> Load(const std::string& site) const override;
    void Save(const std::string& site, const Pair& pair) override;

private:
    ProfileStore* m_profile;
};

}  // namespace tapewell
