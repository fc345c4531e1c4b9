#include "HttpFault.h"

#include <utility>

namespace tapewell::testserver {

std::optional<HttpFault> ParseHttpFault(std::string_view name) {
    static constexpr std::pair<std::string_view, HttpFault> kNames[] = {
        {"stall", HttpFault::Stall},
        {"cut-head", HttpFault::CutHead},
        {"cut-body", HttpFault::CutBody},
        {"drip", HttpFault::Drip},
        {"bad-confirm", HttpFault::BadConfirm},
        {"oversized", HttpFault::Oversized},
        {"endless-head", HttpFault::EndlessHead},
        {"endless-body", HttpFault::EndlessBody},
        {"auth-loop", HttpFault::AuthLoop},
        {"redirect-loop", HttpFault::RedirectLoop},
    };
    for (const auto& [text, fault] : kNames) {
        if (text == name) {
            return fault;
        }
    }
    return std::nullopt;
}

}  // namespace tapewell::testserver
