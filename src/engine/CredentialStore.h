#pragma once

#include <optional>
#include <string>

namespace tapewell {

// Credentials kept per site (a host name, or "host:port"), which an engine
// tries after a 401 before it asks, and saves when the user ticks "save?".
// The desktop program and the CLI keep them in the user's profile (see
// recording/EngineSettings.h). Called on the job's worker thread.
class CredentialStore {
public:
    struct Pair {
        std::string user;
        std::string password;
    };

    virtual ~CredentialStore() = default;
    // The pair saved for site; nullopt unless both halves are there.
    virtual std::optional<Pair> Load(const std::string& site) const = 0;
    virtual void Save(const std::string& site, const Pair& pair) = 0;
};

}  // namespace tapewell
