#include "cli/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "common/Limits.h"

namespace tapewell::cli {

std::optional<std::string> ParseArgs(std::span<char* const> args, std::span<const OptionDef> known,
                                     ParsedArgs& out) {
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            out.positional.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            out.help = true;
            continue;
        }
        std::string_view name = arg.substr(0, arg.find('='));
        const OptionDef* option = nullptr;
        for (const auto& candidate : known) {
            if (candidate.name == name) {
                option = &candidate;
            }
        }
        if (!option) {
            return "unknown option '" + std::string(arg) + "'";
        }
        std::string value;
        if (name.size() < arg.size()) {
            if (!option->takesValue) {
                return "option '" + std::string(name) + "' takes no value";
            }
            value = arg.substr(name.size() + 1);
        } else if (option->takesValue) {
            if (i + 1 >= args.size()) {
                return "option '" + std::string(name) + "' needs a value";
            }
            value = args[++i];
        }
        out.options[std::string(name)] = value;
    }
    return std::nullopt;
}

std::optional<int> StartCommand(std::string_view command, std::span<char* const> args,
                                std::span<const OptionDef> known, const char* usage, size_t files,
                                ParsedArgs& out) {
    if (auto error = ParseArgs(args, known, out)) {
        return UsageError(command, *error);
    }
    if (out.help) {
        std::fputs(usage, stdout);
        return kExitOk;
    }
    if (out.positional.size() > files) {
        return UsageError(command, files == 0 ? "unexpected argument '" + out.positional[0] + "'"
                                              : std::string("too many files"));
    }
    if (out.positional.size() < files) {
        return UsageError(command, "missing FILE");
    }
    return std::nullopt;
}

std::optional<uint64_t> ParseNumber(std::string_view text) {
    uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() ||
        value > limits::kMaxOptionNumber) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> IntOption(const ParsedArgs& args, std::string_view name, long min,
                                     long max, long& value) {
    auto it = args.options.find(name);
    if (it == args.options.end()) {
        return std::nullopt;
    }
    // Options take no signs, so a number below 0 is never there to compare.
    const std::optional<uint64_t> parsed = ParseNumber(it->second);
    if (!parsed || max < 0 || *parsed < static_cast<uint64_t>(std::max(min, 0L)) ||
        *parsed > static_cast<uint64_t>(max)) {
        return "option '" + std::string(name) + "' needs a number from " + std::to_string(min) +
               " to " + std::to_string(max);
    }
    value = static_cast<long>(*parsed);
    return std::nullopt;
}

namespace {

// Letters, digits, '-' and '_' in dot-separated labels; bytes past ASCII
// are left to the resolver (international names).
bool IsHostName(std::string_view host) {
    const bool charsOk = std::all_of(host.begin(), host.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' ||
               c == '.' || static_cast<unsigned char>(c) >= 0x80;
    });
    return charsOk && host.front() != '.' && host.find("..") == std::string_view::npos;
}

bool IsIpv6Literal(std::string_view host) {
    return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) != 0 || c == ':' || c == '.';
    });
}

}  // namespace

std::optional<std::string> AddressProblem(std::string_view address) {
    const size_t schemeEnd = address.find("://");
    if (schemeEnd == std::string_view::npos) {
        return std::nullopt;
    }
    const size_t start = schemeEnd + 3;
    std::string_view authority = address.substr(start, address.find_first_of("/?#", start) - start);
    if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
        authority.remove_prefix(at + 1);
    }
    std::string_view host = authority;
    std::optional<std::string_view> port;
    bool hostOk = false;
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        const std::string_view rest =
            close == std::string_view::npos ? "" : authority.substr(close + 1);
        host = authority.substr(1, close == std::string_view::npos ? close : close - 1);
        hostOk = close != std::string_view::npos && IsIpv6Literal(host) &&
                 (rest.empty() || rest[0] == ':');
        if (hostOk && !rest.empty()) {
            port = rest.substr(1);
        }
    } else {
        if (const size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
            host = authority.substr(0, colon);
            port = authority.substr(colon + 1);
        }
        if (host.empty()) {
            return std::string("the address names no host");
        }
        hostOk = IsHostName(host);
    }
    if (!hostOk) {
        return "the host '" + std::string(host) + "' is not a host name or an IP address";
    }
    if (port) {
        unsigned number = 0;
        const auto [end, error] =
            std::from_chars(port->data(), port->data() + port->size(), number);
        if (port->empty() || error != std::errc() || end != port->data() + port->size() ||
            number == 0 || number > 65535) {
            return "the port '" + std::string(*port) + "' is not a number from 1 to 65535";
        }
    }
    return std::nullopt;
}

int UsageError(std::string_view command, std::string_view message) {
    std::fprintf(stderr, "tapewell-cli%s%.*s: %.*s\nTry 'tapewell-cli %.*s%s--help'.\n",
                 command.empty() ? "" : " ", static_cast<int>(command.size()), command.data(),
                 static_cast<int>(message.size()), message.data(), static_cast<int>(command.size()),
                 command.data(), command.empty() ? "" : " ");
    return kExitUsage;
}

}  // namespace tapewell::cli
