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
// Extended Stream Properties' data bitrate). Nothing for a header that is
// not one.
std::vector<AsfStreamEntry> ListAsfStreams(std::span<const uint8_t> header);

// The stream numbers the choice keeps of those listed, in header order.
// Empty when the choice keeps none of them (no audio stream for "audio",
// numbers the header does not have): the caller reports that, it does not
// record an empty file.
std::vector<uint16_t> ChooseStreams(const StreamChoice& choice,
                                    std::span<const AsfStreamEntry> streams);

// The header with only the kept streams: the Stream Properties, Extended
// Stream Properties, bitrate and mutual-exclusion entries of the others
// removed, sizes and object counts made right, every other object kept as
// it is. An error when the header cannot be walked or keep names no stream
// of it.
ErrorOr<std::vector<uint8_t>> HeaderWithStreams(std::span<const uint8_t> header,
                                                std::span<const uint16_t> keep);

// Rewrites one data packet in place so that it carries only payloads of
// the kept streams; the packet keeps its size (what is freed becomes
// padding) and its send time. False when the packet's layout cannot be
// walked within the span (it is then left as it was) or no payload is
// left: such a packet is not written.
bool KeepStreamsInPacket(std::span<uint8_t> packet, std::span<const uint16_t> keep);

}  // namespace tapewell
