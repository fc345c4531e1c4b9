#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tapewell {

// What must stay the same for two ASF headers to share one file: the
// packet size and every Stream Properties object (stream numbers, media
// types, codecs' type-specific data). A broadcast that sends its header
// again with the same layout goes on in the same file; another layout
// needs a file of its own. header is an ASF Header object (what follows it
// is ignored); objects that run past its end or the span's end end the
// walk. Pure function.
std::vector<uint8_t> HeaderLayout(std::span<const uint8_t> header, uint32_t packetSize);

}  // namespace tapewell
