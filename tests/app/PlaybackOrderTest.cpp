#include <gtest/gtest.h>

#include "app/PlaybackOrder.h"
#include "app/RecordList.h"

namespace tapewell {
namespace {

// Rows of two kinds: local files (mark 0) and network addresses.
void Fill(RecordList& list, std::initializer_list<bool> network) {
    int i = 0;
    for (bool net : network) {
        const std::string address =
            net ? "mms://h/" + std::to_string(i) : "/media/" + std::to_string(i) + ".asf";
        list.AppendRow(RecordRow{});
        list.SetCellText(i, kColOriginalFile, address);
        list.SetMark(i, net ? kMarkNetwork : kMarkLocal);
        ++i;
    }
}

uint32_t Never() {
    ADD_FAILURE() << "no random number in sequence order";
    return 0;
}

TEST(NextPlaybackRow, SequenceGoesDownTheRowsOfTheKindThatPlayed) {
    RecordList list;
    Fill(list, {false, true, false, true, false});
    EXPECT_EQ(NextPlaybackRow(list, 0, false, true, false, Never), 2);
    EXPECT_EQ(NextPlaybackRow(list, 2, false, true, false, Never), 4);
    EXPECT_EQ(NextPlaybackRow(list, 1, true, true, false, Never), 3);
    // After the last row of its kind: stop, or wrap with Repeat.
    EXPECT_EQ(NextPlaybackRow(list, 4, false, true, false, Never), -1);
    EXPECT_EQ(NextPlaybackRow(list, 3, true, true, false, Never), -1)
        << "a local row after the last network row is not played";
    EXPECT_EQ(NextPlaybackRow(list, 4, false, true, true, Never), 0);
    EXPECT_EQ(NextPlaybackRow(list, 3, true, true, true, Never), 1);
    // The playing row gone from the list: the search starts at the top.
    EXPECT_EQ(NextPlaybackRow(list, -1, true, true, false, Never), 1);
}

TEST(NextPlaybackRow, RandomOrderStaysInTheListAndAnEmptyListStops) {
    RecordList list;
    Fill(list, {false, true, false});
    uint32_t next = 0;
    const auto counting = [&next] { return next++ * 7919u; };
    for (int i = 0; i < 20; ++i) {
        const int row = NextPlaybackRow(list, 0, false, false, false, counting);
        EXPECT_GE(row, 0);
        EXPECT_LT(row, 3);
    }
    const RecordList empty;
    EXPECT_EQ(NextPlaybackRow(empty, 0, false, false, true, counting), -1);
    EXPECT_EQ(NextPlaybackRow(empty, 0, false, true, true, Never), -1);
}

}  // namespace
}  // namespace tapewell
