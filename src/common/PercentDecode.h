#pragma once

#include <string>
#include <string_view>

namespace tapewell {

// "%" and two hex digits give that byte; any other "%" is taken literally,
// so a hand-written "100%" survives. Used for file:// URIs and the escaped
// texts of the settings file.
std::string PercentDecode(std::string_view text);

}  // namespace tapewell
