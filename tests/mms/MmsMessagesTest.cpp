// The client's messages, byte for byte.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "common/LittleEndian.h"
#include "common/TextCodec.h"
#include "mms/MmsMessages.h"
#include "settings/AppSettings.h"

namespace tapewell {
namespace {

struct Head {
    uint32_t length, chunks, sequence, chunksLess2, code;
    uint64_t stamp;
};

Head ReadHead(const std::vector<uint8_t>& m) {
    EXPECT_GE(m.size(), 40u);
    EXPECT_EQ(ReadLe32(&m[0]), 1u);
    EXPECT_EQ(ReadLe32(&m[4]), 0xB00BFACEu);
    EXPECT_EQ(std::string(m.begin() + 12, m.begin() + 16), "MMS ");
    EXPECT_EQ(ReadLe32(&m[8]), m.size() - 16);
    return {ReadLe32(&m[8]),  ReadLe32(&m[16]), ReadLe32(&m[20]),
            ReadLe32(&m[32]), ReadLe32(&m[36]), ReadLe64(&m[24])};
}

// The units of a literal that may hold zero units, without its terminator.
template <size_t N>
std::vector<uint8_t> Units(const char16_t (&text)[N]) {
    std::vector<uint8_t> bytes;
    for (char16_t c : std::u16string_view(text, N - 1)) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

TEST(MmsMessagesTest, ConnectTransportAndOpenFileCarryTheirTextsAndSizes) {
    MmsMessages messages;
    const std::string agent = AppSettings().m_playerAgent;
    ASSERT_EQ(agent.size(), 59u);
    const auto connect = messages.Connect(agent);
    ASSERT_EQ(connect.size(), 176u);
    Head h = ReadHead(connect);
    EXPECT_EQ(h.length, 160u);
    EXPECT_EQ(h.chunks, 20u);
    EXPECT_EQ(h.chunksLess2, 18u);
    EXPECT_EQ(h.sequence, 0u);
    EXPECT_EQ(h.code, 0x00030001u);
    EXPECT_EQ(h.stamp, 0x3F847AE147AE147Bu);
    EXPECT_EQ(ReadLe32(&connect[40]), 0xF0F0F0F0u);
    EXPECT_EQ(std::vector<uint8_t>(connect.begin() + 52, connect.begin() + 170),
              Utf8ToUtf16Le(agent));
    EXPECT_EQ(std::vector<uint8_t>(connect.begin() + 170, connect.end()),
              std::vector<uint8_t>(6, 0));
    // A longer agent is cut at the end of the message.
    EXPECT_EQ(messages.Connect(std::string(100, 'x')).size(), 176u);

    in_addr local{};
    ASSERT_EQ(inet_pton(AF_INET, "10.0.0.7", &local), 1);
    const auto transport = messages.Transport(local, 3056);
    ASSERT_EQ(transport.size(), 106u);
    h = ReadHead(transport);
    EXPECT_EQ(h.length, 90u);
    EXPECT_EQ(h.chunks, 11u);
    EXPECT_EQ(h.chunksLess2, 9u);
    EXPECT_EQ(h.sequence, 2u);
    EXPECT_EQ(h.code, 0x00030002u);
    EXPECT_EQ(std::vector<uint8_t>(transport.begin() + 60, transport.end()),
              Units(u"\\\\10.0.0.7\\TCP\\3056\0"
                    u"00f"));

    const auto open = messages.OpenFile("/dir/a.asf");
    h = ReadHead(open);
    EXPECT_EQ(h.code, 0x00030005u);
    EXPECT_EQ(h.sequence, 3u);
    const auto path = Units(
        u"dir/a.asf\0"
        u"18.");
    ASSERT_EQ(open.size(), 56 + path.size());
    EXPECT_EQ(h.chunks, (40 + path.size()) / 8);
    EXPECT_EQ(std::vector<uint8_t>(open.begin() + 56, open.end()), path);
}

TEST(MmsMessagesTest, StartPlayingAlwaysSaysSixAndPongsKeepCounting) {
    MmsMessages messages;
    messages.Connect("NSPlayer");
    const auto pong = messages.Pong(0x0004001B);
    ASSERT_EQ(pong.size(), 48u);
    Head h = ReadHead(pong);
    EXPECT_EQ(h.code, 0x0003001Bu);
    EXPECT_EQ(h.sequence, 1u);
    EXPECT_EQ(h.stamp, 0x408F23220DE56042u);
    EXPECT_EQ(ReadLe32(&pong[40]), 0x000005D2u);
    EXPECT_EQ(ReadLe32(&pong[44]), 0x00000476u);
    for (int i = 0; i < 8; ++i) {
        messages.Pong(0x0004001B);
    }
    const auto play = messages.StartPlaying(120);
    ASSERT_EQ(play.size(), 88u);
    h = ReadHead(play);
    EXPECT_EQ(h.sequence, 6u);
    EXPECT_EQ(h.length, 72u);
    EXPECT_EQ(ReadLe32(&play[60]), 120u);
    EXPECT_EQ(ReadLe32(&play[68]), 4u);
    EXPECT_EQ(ReadHead(messages.StreamSelection()).sequence, 10u);
}

}  // namespace
}  // namespace tapewell
