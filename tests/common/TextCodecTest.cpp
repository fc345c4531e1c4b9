#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/TextCodec.h"

namespace tapewell {
namespace {

const std::string kMark = "\xEF\xBF\xBD";  // U+FFFD
const std::string kGa = "\xEA\xB0\x80";    // U+AC00, B0 A1 in CP949

std::string FromCp949(std::vector<uint8_t> bytes) {
    return Cp949ToUtf8(bytes);
}

// A damaged pair at the very end is taken in whole by the converter before
// it reports it; the decoder must mark it and stop there, not step past the
// end of the input.
TEST(Cp949ToUtf8, BadAndCutOffSequencesAreMarkedWithinTheInput) {
    EXPECT_EQ(FromCp949({0xB0, 0xA1, 0x41}), kGa + "A");
    EXPECT_EQ(FromCp949({0x41, 0xA2, 0xE8}), "A" + kMark);
    EXPECT_EQ(FromCp949({0xB0, 0xA1, 0xE8}), kGa + kMark);
    const std::string mixed = FromCp949({0xD1, 0x99, 0x99, 0xA2, 0xE8});
    EXPECT_TRUE(IsValidUtf8(mixed));
    EXPECT_EQ(mixed.substr(0, 3), kMark);
    EXPECT_EQ(mixed.substr(mixed.size() - 3), kMark);
}

TEST(Utf8ToCp949, RoundTripsAndRefusesWhatCp949CannotHold) {
    const auto bytes = Utf8ToCp949(kGa + "A");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, (std::vector<uint8_t>{0xB0, 0xA1, 0x41}));
    EXPECT_FALSE(Utf8ToCp949("\xF0\x9F\x98\x80"));  // an emoji
    EXPECT_FALSE(Utf8ToCp949("\xC3"));              // cut-off UTF-8
}

// "A" + a three-byte character + a four-byte one: every bound inside a
// character keeps only what precedes it, and a bound at or past the end keeps
// everything.
TEST(Utf8Prefix, CutsOnlyBetweenCharacters) {
    const std::string emoji = "\xF0\x9F\x98\x80";
    const std::string text = "A" + kGa + emoji;
    EXPECT_EQ(Utf8Prefix(text, 0), "");
    EXPECT_EQ(Utf8Prefix(text, 1), "A");
    EXPECT_EQ(Utf8Prefix(text, 3), "A");
    EXPECT_EQ(Utf8Prefix(text, 4), "A" + kGa);
    EXPECT_EQ(Utf8Prefix(text, 7), "A" + kGa);
    EXPECT_EQ(Utf8Prefix(text, 8), text);
    EXPECT_EQ(Utf8Prefix(text, 9), text);

    // The UTF-16 reader cuts the same way: U+AC00 twice is 6 bytes of UTF-8.
    const std::vector<uint8_t> twoGa = {0x00, 0xAC, 0x00, 0xAC};
    EXPECT_EQ(Utf16LeToUtf8(twoGa, 5), kGa);
    EXPECT_EQ(Utf16LeToUtf8(twoGa, 6), kGa + kGa);
    // A surrogate pair at the bound is read whole before the cut.
    const std::vector<uint8_t> pair = {0x41, 0x00, 0x3D, 0xD8, 0x00, 0xDE};
    EXPECT_EQ(Utf16LeToUtf8(pair, 5), "A" + emoji);
    EXPECT_EQ(Utf16LeToUtf8(pair, 4), "A");
}

}  // namespace
}  // namespace tapewell
