#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tapewell::cli {

// Exit codes of tapewell-cli: 64 is the BSD sysexits code for a usage error.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 64;

struct OptionDef {
    std::string_view name;  // "--json"
    bool takesValue = false;
};

struct ParsedArgs {
    std::map<std::string, std::string, std::less<>> options;  // name -> value ("" for flags)
    std::vector<std::string> positional;
    bool help = false;

    bool Has(std::string_view name) const { return options.find(name) != options.end(); }
};

// Splits a command's arguments into options and positional arguments.
// "--help"/"-h" is always known; "--" ends the options; "--name=value" and
// "--name value" both give a value. Returns the usage error text, if any.
std::optional<std::string> ParseArgs(std::span<char* const> args, std::span<const OptionDef> known,
                                     ParsedArgs& out);

// The start every command shares: parses its arguments, and for --help
// prints usage and for a usage error (including a count of FILE arguments
// other than `files`) prints the error. Returns the exit code when the
// command ends there, nothing when it goes on with `out`.
std::optional<int> StartCommand(std::string_view command, std::span<char* const> args,
                                std::span<const OptionDef> known, const char* usage, size_t files,
                                ParsedArgs& out);

// A whole decimal number from 0 to limits::kMaxOptionNumber, nothing else.
std::optional<uint64_t> ParseNumber(std::string_view text);

// Reads option `name` as a whole number (as ParseNumber does) from min to
// max into value, left as it is when the option is absent. Returns the usage
// error text, if any.
std::optional<std::string> IntOption(const ParsedArgs& args, std::string_view name, long min,
                                     long max, long& value);

// Why a network address ("scheme://...") cannot name a server, for the
// user, before anything tries it: a port that is not a number from 1 to
// 65535, no host, or a host that is neither a name nor an IP address.
// Nothing for an address that passes, and for a local path.
std::optional<std::string> AddressProblem(std::string_view address);

// Prints "tapewell-cli <command>: <message>" and the usage hint on stderr,
// and returns kExitUsage.
int UsageError(std::string_view command, std::string_view message);

}  // namespace tapewell::cli
