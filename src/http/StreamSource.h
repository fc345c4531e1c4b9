#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>

namespace tapewell {

// Where the bytes of a reply come from: a TCP connection in the engine, a
// byte buffer in tests and fuzzers.
class StreamSource {
public:
    virtual ~StreamSource() = default;
    // One receive: the count received, 0 at the end of the stream, -1 on a
    // failure (ErrorName() then names it).
    virtual ssize_t Receive(std::span<uint8_t> buffer) = 0;
    virtual std::string ErrorName() const = 0;
};

}  // namespace tapewell
