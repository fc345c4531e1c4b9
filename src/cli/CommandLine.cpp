#include "cli/CommandLine.h"

#include <charconv>
#include <cstdio>

namespace tapewell::cli {

std::optional<std::string> ParseArgs(std::span<char* const> args, std::span<const OptionSpec> known,
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
        const OptionSpec* option = nullptr;
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

std::optional<std::string> IntOption(const ParsedArgs& args, std::string_view name, long min,
                                     long max, long& value) {
    auto it = args.options.find(name);
    if (it == args.options.end()) {
        return std::nullopt;
    }
    const std::string& text = it->second;
    long parsed = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || parsed < min ||
        parsed > max) {
        return "option '" + std::string(name) + "' needs a number from " + std::to_string(min) +
               " to " + std::to_string(max);
    }
    value = parsed;
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
