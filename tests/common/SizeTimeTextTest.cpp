#include <gtest/gtest.h>

#include <cstdint>

#include "common/SizeTimeText.h"

namespace tapewell {
namespace {

TEST(SizeTimeText, FormatsAtEachUnitBoundary) {
    EXPECT_EQ(FormatSize(0), "0");
    EXPECT_EQ(FormatSize(1023), "1023");
    EXPECT_EQ(FormatSize(1024), "1 KB");
    EXPECT_EQ(FormatSize(1048575), "1024 KB");
    EXPECT_EQ(FormatSize(1572864), "1.50 MB");
    EXPECT_EQ(FormatSize(uint64_t{1} << 30), "1.00 GB");
    EXPECT_EQ(FormatSize(uint64_t{1} << 40), "1.000 TB");
    EXPECT_EQ(FormatTime(3725), "1:02:05");
    EXPECT_EQ(FormatTime(59), "0:00:59");
    EXPECT_EQ(FormatTime(360000), "100:00:00");
    EXPECT_EQ(FormatTime(-5), "0:00:00");
}

}  // namespace
}  // namespace tapewell
