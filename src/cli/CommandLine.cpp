#include "cli/CommandLine.h"

#include <algorithm>
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

int UsageError(std::string_view command, std::string_view message) {
    std::fprintf(stderr, "tapewell-cli%s%.*s: %.*s\nTry 'tapewell-cli %.*s%s--help'.\n",
                 command.empty() ? "" : " ", static_cast<int>(command.size()), command.data(),
                 static_cast<int>(message.size()), message.data(), static_cast<int>(command.size()),
                 command.data(), command.empty() ? "" : " ");
    return kExitUsage;
}

}  // namespace tapewell::cli
