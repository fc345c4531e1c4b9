#pragma once

#include <cstdint>
#include <functional>

namespace tapewell {

class RecordList;

// Which row plays after the one that ended: with sequence on, the next row
// below playingRow of the same kind (network or local, by its mark) as the
// one that played, wrapping to the first such row with repeat on and
// stopping without it; with sequence off, a random row. -1 means stop (also
// for an empty list). rng gives the random numbers (sequence off only).
int NextPlaybackRow(const RecordList& list, int playingRow, bool network, bool sequence,
                    bool repeat, const std::function<uint32_t()>& rng);

}  // namespace tapewell
