#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/ErrorOr.h"

namespace tapewell {

// Which of a stream's ASF streams a recording keeps: every one, the audio
// or the video streams, the best (the highest-bitrate video and the
// highest-bitrate audio stream), or the stream numbers given.
struct StreamChoice {
    enum class Kind { All, Audio, Video, Best, Numbers };
    Kind kind = Kind::All;
    std::vector<uint16_t> numbers;  // Kind::Numbers: 1 to 127, each once

    bool KeepsAll() const { return kind == Kind::All; }
};

// "" and "all", "audio", "video", "best", or stream numbers "N,M" (1 to
// 127, blanks allowed around the commas). Case does not matter. An error
// says what is wrong with the text.
ErrorOr<StreamChoice> ParseStreamChoice(std::string_view text);
// The text ParseStreamChoice reads back to the same choice ("all", "1,3").
std::string StreamChoiceText(const StreamChoice& choice);

// One stream an ASF header describes.
struct AsfStreamEntry {
    enum class Type { Audio, Video, Other };
    uint16_t number = 0;
    Type type = Type::Other;
    uint32_t bitrate = 0;  // bits per second, 0 when the header gives none
};

// The streams of an ASF header (Stream Properties objects, directly or
// inside the Header Extension's Extended Stream Properties), in header
// order, with their bitrates (Stream Bitrate Properties, else the
// Extended Stream Properties' data bitrate, else for audio the average
// bytes per second of its wave format). Nothing for a header that is not
// one.
std::vector<AsfStreamEntry> ListAsfStreams(std::span<const uint8_t> header);

// The stream numbers the choice keeps of those listed, in header order.
// Empty when the choice keeps none of them (no audio stream for "audio",
// numbers the header does not have): the caller reports that, it does not
// record an empty file.
std::vector<uint16_t> ChooseStreams(const StreamChoice& choice,
                                    std::span<const AsfStreamEntry> streams);

// Why the choice keeps none of the streams listed, in words for the user:
// "the stream has no audio stream", "the stream has no stream 9 (its
// streams: 1, 2, 3)".
std::string NoChosenStreamText(const StreamChoice& choice, std::span<const AsfStreamEntry> streams);

// What a server is asked to send of one stream: all of it, or nothing.
struct StreamSwitch {
    uint16_t number = 0;
    bool on = true;
};

// One switch per listed stream, on for the kept ones, in header order: the
// stream selection both protocols send before the stream starts.
std::vector<StreamSwitch> StreamSwitches(std::span<const AsfStreamEntry> streams,
                                         std::span<const uint16_t> keep);

// The header with only the kept streams: the Stream Properties, Extended
// Stream Properties, bitrate, mutual-exclusion and prioritization entries
// of the others removed, sizes and object counts made right, every other
// object kept as it is. Bytes after the Header object (the head of the
// Data object, as a server sends it) are kept. The File Properties keep
// their values (the maximum bitrate stays an upper bound) but for the Data
// Packets Count, which is cleared, as is the Data object's Total Data
// Packets: packets that held only dropped streams are not written, and the
// finish of the recording counts the packets that were. A header whose
// streams are all kept comes back unchanged. An error when the header or
// its Header Extension cannot be walked, or keep names no stream of it.
ErrorOr<std::vector<uint8_t>> HeaderWithStreams(std::span<const uint8_t> header,
                                                std::span<const uint16_t> keep);

// Rewrites one data packet in place so that it carries only payloads of
// the kept streams; the packet keeps its size (what is freed becomes
// padding, the Padding Length field widened when it is missing or too
// narrow) and its send time. packet is the whole packet, as long as the
// file's packet size. True when the packet is to be written (untouched
// when it held no other stream's payloads). False when its layout cannot
// be walked within the span, or no payload is left; it is then left as it
// was, and such a packet is not written.
bool KeepStreamsInPacket(std::span<uint8_t> packet, std::span<const uint16_t> keep);

}  // namespace tapewell
