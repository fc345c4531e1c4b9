#pragma once

#include <string>
#include <string_view>

namespace tapewell {

// Standard Base64 (RFC 4648 alphabet, '=' padding to a multiple of four), as
// HTTP Basic credentials carry "user:password".
std::string Base64Encode(std::string_view bytes);

}  // namespace tapewell
