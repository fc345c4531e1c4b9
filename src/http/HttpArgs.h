#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tapewell {

class EngineMessages;

// One address of the engine's argument vector with the option values that
// were current when it was read.
struct AddressRow {
    std::string address;
    uint16_t port = 80;       // "-p", default TCP port
    uint32_t maxMinutes = 0;  // "-m", 0 = no limit
    int entry = -1;           // "-e" playlist entry number, -1 before any
};

// The argument vector of the HTTP streaming engine, taken apart: element 0
// is a placeholder, "-x" or "/x" elements are options, the rest addresses.
struct HttpArgs {
    std::vector<AddressRow> rows;  // at most limits::kHttpMaxAddresses
    bool keepWalking = false;      // "-b": an abort does not end the walk
    bool debugDump = false;        // "-d": requests and reply headers as messages
    bool rawFile = false;          // "-r": copy of every received byte to a side file
};

// Walks the vector; "-m" or "-p" without a following element issues
// "insufficient args" (error) and is ignored. Runs on the engine's thread.
HttpArgs ParseHttpArgs(std::span<const std::string> args, EngineMessages& messages);

}  // namespace tapewell
