#include "app/PlaybackOrder.h"

#include <algorithm>

#include "app/RecordList.h"

namespace tapewell {
namespace {

// The first row from `from` on of the kind that played, or -1.
int FirstOfKind(const RecordList& list, int from, bool network) {
    for (int row = std::max(from, 0); row < list.RowCount(); ++row) {
        if ((list.Row(row).mark != 0) == network) {
            return row;
        }
    }
    return -1;
}

}  // namespace

int NextPlaybackRow(const RecordList& list, int playingRow, bool network, bool sequence,
                    bool repeat, const std::function<uint32_t()>& rng) {
    const int count = list.RowCount();
    if (count == 0) {
        return -1;
    }
    if (!sequence) {
        return static_cast<int>(rng() % static_cast<uint32_t>(count));
    }
    // Rows of the other kind are passed over, also at the end of the list:
    // local files do not run on into network streams, nor the other way.
    const int next = FirstOfKind(list, playingRow + 1, network);
    if (next >= 0) {
        return next;
    }
    return repeat ? FirstOfKind(list, 0, network) : -1;
}

}  // namespace tapewell
