#include "http/HttpArgs.h"

#include <cctype>
#include <charconv>

#include "common/Limits.h"
#include "http/EngineMessages.h"

namespace tapewell {

namespace {

// A decimal number as the option reads it: leading digits, anything after
// them ignored, nothing readable giving 0.
uint32_t LeadingNumber(const std::string& text) {
    uint32_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

}  // namespace

HttpArgs ParseHttpArgs(std::span<const std::string> args, EngineMessages& messages) {
    HttpArgs out;
    uint16_t port = 80;
    uint32_t maxMinutes = 0;
    int entry = -1;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.empty() || (arg[0] != '-' && arg[0] != '/')) {
            if (out.rows.size() < limits::kHttpMaxAddresses) {
                out.rows.push_back({arg, port, maxMinutes, entry});
            }
            continue;
        }
        const char option =
            arg.size() > 1 ? static_cast<char>(std::tolower(static_cast<unsigned char>(arg[1])))
                           : '\0';
        if (option == 'm' || option == 'p') {
            if (i + 1 >= args.size()) {
                messages.Error("insufficient args");
                continue;
            }
            const uint32_t value = LeadingNumber(args[++i]);
            if (option == 'm') {
                maxMinutes = value;
            } else {
                port = static_cast<uint16_t>(value);  // the port is held in 16 bits
            }
        } else if (option == 'e') {
            ++entry;
        } else if (option == 'b') {
            out.keepWalking = true;
        } else if (option == 'd') {
            out.debugDump = true;
        } else if (option == 'r') {
            out.rawFile = true;
        }
    }
    return out;
}

}  // namespace tapewell
