#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "asf/AsfGuids.h"
#include "asf/AsfPacketTools.h"
#include "asf/LiveTimeline.h"
#include "common/Limits.h"

namespace tapewell {
namespace {

namespace apt = AsfPacketTools;

// Property flags 0x5D: replicated data length, media object number and
// stream number one byte each, offset into media object four bytes: the
// layout Windows Media servers and ffmpeg write.
constexpr uint8_t kPropertyFlags = 0x5D;
constexpr size_t kPacketSize = 96;

struct PacketBuilder {
    std::vector<uint8_t> bytes;
    void U8(uint8_t v) { bytes.push_back(v); }
    void U16(uint16_t v) { U8(v & 0xFF), U8(v >> 8); }
    void U32(uint32_t v) { U16(v & 0xFFFF), U16(v >> 16); }
    void Fill(size_t n, uint8_t v) { bytes.insert(bytes.end(), n, v); }
};

// One payload with 8 bytes of replicated data (media object size and
// presentation time); no packet length, a one-byte padding length; padding
// bytes filled with 0xEE so that zeroing shows.
std::vector<uint8_t> SinglePayloadPacket(uint32_t sendTime, uint32_t presentationTime,
                                         uint8_t padding) {
    PacketBuilder p;
    p.U8(0x82), p.U8(0), p.U8(0);
    p.U8(0x08);  // padding length: one byte
    p.U8(kPropertyFlags);
    p.U8(padding);
    p.U32(sendTime);
    p.U16(100);   // Duration
    p.U8(0x81);   // stream number 1, key frame
    p.U8(7);      // media object number
    p.U32(0);     // offset into media object
    p.U8(8);      // replicated data length
    p.U32(1234);  // media object size
    p.U32(presentationTime);
    p.Fill(kPacketSize - padding - p.bytes.size(), 0xAB);
    p.Fill(padding, 0xEE);
    return p.bytes;
}

// Two payloads, each with 8 bytes of replicated data and a 2-byte length.
std::vector<uint8_t> MultiPayloadPacket(uint32_t sendTime, uint32_t pres1, uint32_t pres2,
                                        uint16_t secondLength = 10) {
    PacketBuilder p;
    p.U8(0x82), p.U8(0), p.U8(0);
    p.U8(0x09);  // multiple payloads, one-byte padding length
    p.U8(kPropertyFlags);
    p.U8(0);  // padding length (filled below)
    p.U32(sendTime);
    p.U16(50);
    p.U8(0x82);  // payload flags: two payloads
    for (int i = 0; i < 2; ++i) {
        p.U8(static_cast<uint8_t>(i + 1));  // stream number
        p.U8(3), p.U32(0), p.U8(8);
        p.U32(10), p.U32(i == 0 ? pres1 : pres2);
        uint16_t length = i == 0 ? 10 : secondLength;
        p.U16(length);
        p.Fill(std::min<size_t>(length, 10), 0x11);
    }
    size_t padding = kPacketSize - p.bytes.size();
    p.bytes[5] = static_cast<uint8_t>(padding);
    p.Fill(padding, 0xEE);
    return p.bytes;
}

uint32_t At32(const std::vector<uint8_t>& b, size_t offset) {
    return apt::ReadLe32(&b[offset]);
}

TEST(RebasePacketTimes, SinglePayloadRebasesSendAndPresentationTimeAndZeroesPadding) {
    auto packet = SinglePayloadPacket(5000, 5100, 10);
    ASSERT_EQ(packet.size(), kPacketSize);
    EXPECT_EQ(apt::RebasePacketTimes(packet, 4000), 0);
    EXPECT_EQ(At32(packet, apt::SendTimeOffset(packet)), 1000u);
    EXPECT_EQ(At32(packet, 23), 1100u);
    EXPECT_EQ(At32(packet, 19), 1234u) << "media object size must not move";
    for (size_t i = kPacketSize - 10; i < kPacketSize; ++i) {
        EXPECT_EQ(packet[i], 0) << "padding byte " << i;
    }
    EXPECT_EQ(packet[kPacketSize - 11], 0xAB) << "payload data must stay";
}

TEST(RebasePacketTimes, TimesAtOrBelowTheBaseBecomeZeroNeverWrap) {
    auto packet = SinglePayloadPacket(3000, 3000, 4);
    EXPECT_EQ(apt::RebasePacketTimes(packet, 3500), 0);
    EXPECT_EQ(At32(packet, 6), 0u);
    EXPECT_EQ(At32(packet, 23), 0u);

    packet = SinglePayloadPacket(3000, 3000, 4);
    EXPECT_EQ(apt::RebasePacketTimes(packet, 3000), 0);
    EXPECT_EQ(At32(packet, 6), 0u);
}

TEST(RebasePacketTimes, CompressedPayloadOnlyHasItsSendTimeRebased) {
    PacketBuilder p;
    p.U8(0x82), p.U8(0), p.U8(0), p.U8(0x08), p.U8(kPropertyFlags);
    p.U8(0);  // no padding
    p.U32(9000);
    p.U16(0);
    p.U8(0x01), p.U8(1);
    p.U32(8000);  // for compressed payloads this field is the presentation time
    p.U8(1);      // replicated data length 1: compressed
    p.U8(40);     // presentation time delta
    p.Fill(kPacketSize - p.bytes.size(), 0x33);
    auto before = p.bytes;
    EXPECT_EQ(apt::RebasePacketTimes(p.bytes, 1000), 0);
    EXPECT_EQ(At32(p.bytes, 6), 8000u);
    before[6] = p.bytes[6], before[7] = p.bytes[7], before[8] = p.bytes[8], before[9] = p.bytes[9];
    EXPECT_EQ(p.bytes, before) << "nothing but the send time may change";
}

TEST(RebasePacketTimes, MultiplePayloadsEachHaveTheirPresentationTimeRebased) {
    auto packet = MultiPayloadPacket(7000, 7040, 7080);
    EXPECT_EQ(apt::RebasePacketTimes(packet, 7000), 0);
    EXPECT_EQ(At32(packet, 6), 0u);
    // Presentation times: payload 1 starts at byte 13, payload 2 at byte 40.
    EXPECT_EQ(At32(packet, 24), 40u);
    EXPECT_EQ(At32(packet, 51), 80u);
}

TEST(RebasePacketTimes, PacketsItDoesNotHandleAreLeftUntouched) {
    auto packet = SinglePayloadPacket(5000, 5100, 10);
    packet[3] |= 0x80;  // reserved bit of the length type flags
    auto before = packet;
    EXPECT_EQ(apt::RebasePacketTimes(packet, 1000), 1);
    EXPECT_EQ(packet, before);

    for (size_t index : {0, 1, 2}) {
        packet = SinglePayloadPacket(5000, 5100, 10);
        packet[index] ^= 0x01;  // error correction other than 0x82 0x00 0x00
        before = packet;
        EXPECT_EQ(apt::RebasePacketTimes(packet, 1000), 1);
        EXPECT_EQ(packet, before);
    }
}

TEST(RebasePacketTimes, LengthsPointingOutsideThePacketAreRefusedWithoutStrayAccess) {
    // Replicated data running past the end.
    auto packet = SinglePayloadPacket(5000, 5100, 10);
    packet[18] = 200;
    EXPECT_EQ(apt::RebasePacketTimes(packet, 0), 1);

    // Padding longer than the packet: nothing outside may be zeroed.
    packet = SinglePayloadPacket(5000, 5100, 10);
    packet[5] = 200;
    EXPECT_EQ(apt::RebasePacketTimes(packet, 0), 1);

    // A payload length beyond the packet.
    packet = MultiPayloadPacket(7000, 7040, 7080, 5000);
    EXPECT_EQ(apt::RebasePacketTimes(packet, 0), 1);

    // More payloads announced than the packet holds.
    packet = MultiPayloadPacket(7000, 7040, 7080);
    packet[12] = 0x9F;
    EXPECT_EQ(apt::RebasePacketTimes(packet, 0), 1);

    // A Packet Length field larger than the packet.
    PacketBuilder p;
    p.U8(0x82), p.U8(0), p.U8(0), p.U8(0x40), p.U8(kPropertyFlags);
    p.U16(60000);
    p.U32(1), p.U16(0), p.U8(1);
    p.Fill(kPacketSize - p.bytes.size(), 0);
    EXPECT_EQ(apt::RebasePacketTimes(p.bytes, 0), 1);

    // Packets cut short at every length.
    auto whole = SinglePayloadPacket(5000, 5100, 10);
    for (size_t n = 0; n < whole.size(); ++n) {
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(n));
        apt::RebasePacketTimes(cut, 0);
    }
}

// Offsets in the packets built above: the single payload's stream number
// byte and offset into its media object; the second of two payloads' ones.
constexpr size_t kSingleStream = 12;
constexpr size_t kSingleOffset = 14;
constexpr size_t kSecondStream = 40;
constexpr size_t kSecondOffset = 42;

TEST(StartsKeyFrame, OnlyTheStartOfAKeyFrameOfAVideoStreamCounts) {
    const std::vector<uint8_t> video1 = {1};
    const std::vector<uint8_t> video2 = {2};
    auto packet = SinglePayloadPacket(5000, 5100, 10);
    EXPECT_TRUE(apt::StartsKeyFrame(packet, video1));
    EXPECT_FALSE(apt::StartsKeyFrame(packet, video2));  // another stream's key frame
    EXPECT_FALSE(apt::StartsKeyFrame(packet, {}));
    packet[kSingleOffset] = 40;  // the rest of a key frame begun in an earlier packet
    EXPECT_FALSE(apt::StartsKeyFrame(packet, video1));
    packet = SinglePayloadPacket(5000, 5100, 10);
    packet[kSingleStream] = 0x01;  // not a key frame
    EXPECT_FALSE(apt::StartsKeyFrame(packet, video1));

    // Two payloads: a key frame starting in the second one is found too.
    packet = MultiPayloadPacket(7000, 7040, 7080);
    EXPECT_FALSE(apt::StartsKeyFrame(packet, video2));
    packet[kSecondStream] = 0x82;
    EXPECT_TRUE(apt::StartsKeyFrame(packet, video2));
    EXPECT_FALSE(apt::StartsKeyFrame(packet, video1));
    packet[kSecondOffset] = 9;
    EXPECT_FALSE(apt::StartsKeyFrame(packet, video2));

    // A P-frame beginning before the key frame in the same packet comes
    // first to a player: not a start. The tail of an earlier frame is.
    constexpr size_t kFirstStream = 13;
    constexpr size_t kFirstOffset = 15;
    const std::vector<uint8_t> both = {1, 2};
    packet = MultiPayloadPacket(7000, 7040, 7080);
    packet[kSecondStream] = 0x82;
    EXPECT_FALSE(apt::StartsKeyFrame(packet, both));
    packet[kFirstOffset] = 200;
    EXPECT_TRUE(apt::StartsKeyFrame(packet, both));
    packet[kFirstStream] = 0x81;
    packet[kFirstOffset] = 0;
    EXPECT_TRUE(apt::StartsKeyFrame(packet, both));
}

TEST(StartsKeyFrame, ACompressedPayloadHoldsWholeObjects) {
    // Replicated data length 1: the offset field is a presentation time and
    // the data are sub-payloads, each a whole media object.
    PacketBuilder p;
    p.U8(0x82), p.U8(0), p.U8(0), p.U8(0x08), p.U8(kPropertyFlags), p.U8(0);
    p.U32(3000), p.U16(0);
    p.U8(0x81), p.U8(4), p.U32(3100);  // stream 1 key frame; presentation time
    p.U8(1), p.U8(10);                 // replicated length 1, time delta
    p.U8(5), p.Fill(5, 0x33);          // one sub-payload of 5 bytes
    p.Fill(kPacketSize - p.bytes.size(), 0);
    const std::vector<uint8_t> video = {1};
    EXPECT_TRUE(apt::StartsKeyFrame(p.bytes, video));
    p.bytes[kSingleStream] = 0x01;
    EXPECT_FALSE(apt::StartsKeyFrame(p.bytes, video));
}

TEST(StartsKeyFrame, MalformedPacketsHoldNoKeyFrameAndAreReadWithinBounds) {
    const std::vector<uint8_t> video = {2};
    // The key frame's payload claims more bytes than the packet has.
    auto packet = MultiPayloadPacket(7000, 7040, 7080, 5000);
    packet[kSecondStream] = 0x82;
    EXPECT_FALSE(apt::StartsKeyFrame(packet, video));
    // Not a packet the recorders handle.
    packet = MultiPayloadPacket(7000, 7040, 7080);
    packet[kSecondStream] = 0x82;
    packet[0] = 0x81;
    EXPECT_FALSE(apt::StartsKeyFrame(packet, video));
    // Cut short at every length: never read past the end.
    packet[0] = 0x82;
    for (size_t n = 0; n < packet.size(); ++n) {
        EXPECT_FALSE(apt::StartsKeyFrame(std::span(packet).first(n), video)) << n;
    }
}

TEST(ForEachPayload, GivesEachPayloadsFieldsAndStopsWhereTheLayoutFails) {
    std::vector<apt::PayloadInfo> seen;
    const auto collect = [&seen](const apt::PayloadInfo& p) {
        seen.push_back(p);
        return true;
    };
    auto packet = MultiPayloadPacket(7000, 7040, 7080);
    packet[kSecondStream] = 0x82;
    packet[kSecondStream + 1] = 4;  // media object number
    packet[kSecondOffset] = 9;
    EXPECT_EQ(apt::ForEachPayload(packet, collect), 0);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].stream, 1);
    EXPECT_FALSE(seen[0].keyFrame);
    EXPECT_EQ(seen[0].objectNumber, 3u);
    EXPECT_EQ(seen[0].objectOffset, 0u);
    EXPECT_TRUE(seen[0].hasTime);
    EXPECT_EQ(seen[0].presentationTime, 7040u);
    EXPECT_EQ(seen[1].stream, 2);
    EXPECT_TRUE(seen[1].keyFrame);
    EXPECT_EQ(seen[1].objectNumber, 4u);
    EXPECT_EQ(seen[1].objectOffset, 9u);
    EXPECT_FALSE(seen[1].compressed);
    EXPECT_EQ(seen[1].presentationTime, 7080u);

    // Four bytes of replicated data hold no presentation time.
    auto single = SinglePayloadPacket(5000, 5100, 10);
    single[18] = 4;
    seen.clear();
    EXPECT_EQ(apt::ForEachPayload(single, collect), 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].hasTime);

    // A compressed payload's offset field is its presentation time.
    PacketBuilder p;
    p.U8(0x82), p.U8(0), p.U8(0), p.U8(0x08), p.U8(kPropertyFlags), p.U8(0);
    p.U32(3000), p.U16(0);
    p.U8(0x01), p.U8(4), p.U32(3100), p.U8(1), p.U8(10), p.U8(5), p.Fill(5, 0x33);
    p.Fill(kPacketSize - p.bytes.size(), 0);
    seen.clear();
    EXPECT_EQ(apt::ForEachPayload(p.bytes, collect), 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].compressed);
    EXPECT_TRUE(seen[0].hasTime);
    EXPECT_EQ(seen[0].presentationTime, 3100u);
    EXPECT_EQ(seen[0].objectNumber, 4u);

    // The visitor ends the walk cleanly; a layout that runs out fails it
    // after the payloads before the fault were seen.
    const auto first = [&seen](const apt::PayloadInfo& info) {
        seen.push_back(info);
        return false;
    };
    seen.clear();
    EXPECT_EQ(apt::ForEachPayload(packet, first), 0);
    EXPECT_EQ(seen.size(), 1u);
    seen.clear();
    EXPECT_EQ(apt::ForEachPayload(MultiPayloadPacket(7000, 7040, 7080, 5000), collect), 1);
    EXPECT_EQ(seen.size(), 1u);
}

// A Header object holding the given objects.
std::vector<uint8_t> HeaderWith(const std::vector<std::vector<uint8_t>>& objects) {
    PacketBuilder h;
    h.bytes.assign(guids::kHeader.bytes.begin(), guids::kHeader.bytes.end());
    h.U32(0), h.U32(0), h.U32(static_cast<uint32_t>(objects.size())), h.U16(0x0201);
    for (const auto& o : objects) {
        h.bytes.insert(h.bytes.end(), o.begin(), o.end());
    }
    apt::WriteLe32(&h.bytes[16], static_cast<uint32_t>(h.bytes.size()));
    return h.bytes;
}

std::vector<uint8_t> StreamProperties(const Guid& type, uint16_t flags) {
    PacketBuilder o;
    o.bytes.assign(guids::kStreamProperties.bytes.begin(), guids::kStreamProperties.bytes.end());
    o.U32(78), o.U32(0);
    o.bytes.insert(o.bytes.end(), type.bytes.begin(), type.bytes.end());
    o.Fill(16 + 8 + 4 + 4, 0);  // error correction type, time offset, lengths
    o.U16(flags), o.U32(0);
    return o.bytes;
}

TEST(VideoStreamNumbers, NamesEachVideoStreamOnceAndStopsAtABrokenObject) {
    const auto header = HeaderWith(
        {StreamProperties(guids::kAudioMedia, 1), StreamProperties(guids::kVideoMedia, 0x8003),
         StreamProperties(guids::kVideoMedia, 3), StreamProperties(guids::kVideoMedia, 5)});
    EXPECT_EQ(apt::VideoStreamNumbers(header), (std::vector<uint8_t>{3, 5}));
    EXPECT_TRUE(
        apt::VideoStreamNumbers(HeaderWith({StreamProperties(guids::kAudioMedia, 1)})).empty());
    // An object whose size runs past the header ends the walk there.
    auto broken = header;
    apt::WriteLe32(&broken[30 + 78 + 16], 5000);
    EXPECT_TRUE(apt::VideoStreamNumbers(broken).empty());
    for (size_t n = 0; n < header.size(); ++n) {
        apt::VideoStreamNumbers(std::span(header).first(n));
    }
}

TEST(LiveTimeline, AwaitsTheFirstKeyFrameStartOrItsLimits) {
    auto keyFrame = SinglePayloadPacket(9000, 9100, 10);
    auto other = SinglePayloadPacket(8000, 8100, 10);
    other[kSingleOffset] = 40;
    LiveTimeline timeline;
    timeline.AwaitKeyFrame({1});
    EXPECT_FALSE(timeline.Admits(other));
    EXPECT_TRUE(timeline.Admits(keyFrame));
    EXPECT_EQ(timeline.Place(keyFrame), 0u);  // the key frame starts the time line
    EXPECT_TRUE(timeline.Admits(other));      // and everything after it is written

    // Without key frame flags: written from kLiveKeyFrameWaitMs of stream time on.
    LiveTimeline byTime;
    byTime.AwaitKeyFrame({1});
    EXPECT_FALSE(byTime.Admits(other));
    auto later = other;
    apt::WriteLe32(&later[6], 8000 + limits::kLiveKeyFrameWaitMs - 1);
    EXPECT_FALSE(byTime.Admits(later));
    apt::WriteLe32(&later[6], 8000 + limits::kLiveKeyFrameWaitMs);
    EXPECT_TRUE(byTime.Admits(later));

    // Or from kLiveKeyFrameWaitPackets packets on, whatever their times.
    LiveTimeline byCount;
    byCount.AwaitKeyFrame({1});
    uint32_t refused = 0;
    while (!byCount.Admits(other) && refused <= limits::kLiveKeyFrameWaitPackets) {
        ++refused;
    }
    EXPECT_EQ(refused, limits::kLiveKeyFrameWaitPackets);

    // Without video nothing waits.
    LiveTimeline audioOnly;
    EXPECT_TRUE(audioOnly.Admits(other));
}

TEST(MovePacketTimes, MovesBothWaysAndClampsAtTheEnds) {
    auto packet = SinglePayloadPacket(1000, 3000, 4);
    EXPECT_EQ(apt::MovePacketTimes(packet, 500), 0);
    EXPECT_EQ(At32(packet, 6), 1500u);
    EXPECT_EQ(At32(packet, 23), 3500u);
    EXPECT_EQ(apt::MovePacketTimes(packet, -2000), 0);
    EXPECT_EQ(At32(packet, 6), 0u);
    EXPECT_EQ(At32(packet, 23), 1500u);
    packet = SinglePayloadPacket(0xFFFFFF00u, 0xFFFFFF00u, 4);
    EXPECT_EQ(apt::MovePacketTimes(packet, 0x1000), 0);
    EXPECT_EQ(At32(packet, 6), 0xFFFFFFFFu);
}

// A late joiner's broadcast: source times from 95,717 ms, a repeated header
// after which the source steps back half a second, and a loop of the source
// that starts its times at 0 again.
TEST(LiveTimeline, StartsAtZeroAndNeverRunsBackAcrossRepeatedHeaders) {
    LiveTimeline timeline;
    std::vector<uint32_t> written;
    auto place = [&](uint32_t send, uint32_t presentation) {
        auto packet = SinglePayloadPacket(send, presentation, 4);
        const std::optional<uint32_t> time = timeline.Place(packet);
        EXPECT_TRUE(time.has_value());
        EXPECT_EQ(At32(packet, 6), time.value_or(0));
        written.push_back(At32(packet, 23));  // presentation time as written
        return time.value_or(0);
    };
    EXPECT_FALSE(timeline.Started());
    EXPECT_EQ(place(95'717, 97'717), 0u);
    EXPECT_EQ(place(96'100, 98'100), 383u);
    EXPECT_EQ(place(97'900, 99'900), 2'183u);
    timeline.NewSegment();
    // The source stepped back 536 ms after its header: continue at the last time.
    EXPECT_EQ(place(97'364, 99'364), 2'183u);
    EXPECT_EQ(place(97'800, 99'800), 2'619u);
    // Jitter inside a segment keeps send times from decreasing.
    EXPECT_EQ(place(97'700, 99'700), 2'619u);
    timeline.NewSegment();
    EXPECT_EQ(place(0, 2'000), 2'619u);  // the source looped: times restart at 0
    EXPECT_EQ(place(500, 2'500), 3'119u);
    // A new segment whose times go on forward keeps them as they are.
    timeline.NewSegment();
    EXPECT_EQ(place(1'500, 3'500), 4'119u);
    EXPECT_EQ(timeline.LastSendTime(), 4'119u);
    EXPECT_EQ(written.front(), 2'000u) << "the preroll stays in the presentation time";
    EXPECT_EQ(written[3], 4'183u)
        << "after a header the presentation times move with the send times";

    std::vector<uint8_t> unknown(kPacketSize, 0);
    EXPECT_FALSE(timeline.Place(unknown).has_value());
}

TEST(SendTimeOffset, MatchesTheFieldSizesOfEachKnownLayout) {
    static const int kFieldBytes[] = {0, 1, 2, 4};
    for (int flags : {0x00, 0x01, 0x08, 0x09, 0x10, 0x11, 0x40, 0x41, 0x48, 0x49, 0x50, 0x51}) {
        std::vector<uint8_t> packet = {0x82, 0, 0, static_cast<uint8_t>(flags)};
        int expected = 5 + kFieldBytes[(flags >> 5) & 3] + kFieldBytes[(flags >> 1) & 3] +
                       kFieldBytes[(flags >> 3) & 3];
        EXPECT_EQ(apt::SendTimeOffset(packet), expected) << "flags " << flags;
    }
    EXPECT_EQ(apt::SendTimeOffset(std::vector<uint8_t>{0x82, 0, 0, 0x60}), -1);
    EXPECT_EQ(apt::SendTimeOffset(std::vector<uint8_t>{0x82, 0, 0}), -1);
}

TEST(FindFileProperties, SearchesUpToSizeMinus17) {
    std::vector<uint8_t> buffer(100, 0);
    EXPECT_EQ(apt::FindFileProperties(buffer), -1);
    const auto& id = guids::kFileProperties.bytes;
    std::copy(id.begin(), id.end(), buffer.begin() + 30);
    EXPECT_EQ(apt::FindFileProperties(buffer), 30);
    EXPECT_EQ(apt::FindFileProperties(std::span(buffer).first(47)), 30);
    EXPECT_EQ(apt::FindFileProperties(std::span(buffer).first(46)), -1);
    EXPECT_EQ(apt::FindFileProperties({}), -1);
}

}  // namespace
}  // namespace tapewell
