#pragma once

#include <cstdint>

namespace tapewell {

// Result of an exchange (StreamInfo::status).
enum ExchangeStatus : uint32_t {
    kStatusNone = 0,
    kStatusHttpError = 1,     // reply code other than 200 and 401
    kStatusAuthRequired = 2,  // 401
    kStatusUnusable = 3,      // no status line, unknown content, unsupported packets
    kStatusLive = 4,          // application/octet-stream with "broadcast" among the features
    kStatusOnDemand = 5,      // application/octet-stream otherwise
    kStatusPlaylist = 6,      // playlist content, or a text reply that looks like one
};

// What one exchange learnt: its status, the reply body's length and the
// fields of the ASF header's File Properties object. Zeroed at the start of
// every exchange.
struct StreamInfo {
    uint32_t status = kStatusNone;
    uint32_t bodyLength = 0;
    uint32_t propertiesOffset = 0;
    uint32_t fileSizeHigh = 0;
    uint32_t fileSizeLow = 0;
    uint32_t playDurationHigh = 0;
    uint32_t playDurationLow = 0;
    uint32_t preroll = 0;
    uint32_t minPacketSize = 0;
    uint32_t maxPacketSize = 0;
    uint32_t flags = 0;
    uint32_t headerLength = 0;  // header bytes received minus the Data object's first 50
    uint32_t durationMs = 0;    // play duration minus preroll; 0 for none (live)
};

}  // namespace tapewell
