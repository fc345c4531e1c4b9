#include "common/SetAside.h"

#include <string>
#include <system_error>

namespace tapewell {
namespace {

constexpr int kSetAsideNames = 100;

}  // namespace

std::optional<std::filesystem::path> SetFileAside(const std::filesystem::path& path,
                                                  std::string_view suffix, SetAsideBy how) {
    for (int attempt = 0; attempt < kSetAsideNames; ++attempt) {
        std::filesystem::path aside = path;
        aside += suffix;
        if (attempt > 0) {
            aside += "." + std::to_string(attempt);
        }
        std::error_code error;
        if (std::filesystem::exists(aside, error) || error) {
            continue;
        }
        if (how == SetAsideBy::kMove) {
            std::filesystem::rename(path, aside, error);
        } else {
            std::filesystem::copy_file(path, aside, error);
        }
        if (!error) {
            return aside;
        }
        // Another writer took the name in the meantime: try the next one.
        // Any other failure would fail for every name.
        if (!std::filesystem::exists(aside, error)) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace tapewell
