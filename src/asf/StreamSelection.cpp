#include "asf/StreamSelection.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "common/TextFormat.h"

namespace tapewell {

namespace {

// ASF stream numbers are seven bits wide; 0 is no stream.
constexpr unsigned kMaxStreamNumber = 127;

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

ErrorOr<StreamChoice> ParseNumbers(std::string_view text) {
    StreamChoice choice;
    choice.kind = StreamChoice::Kind::Numbers;
    while (true) {
        size_t comma = text.find(',');
        std::string_view item = TrimBlanks(text.substr(0, comma));
        std::string shown(item.substr(0, 20));
        if (item.empty()) {
            return Error::FromMessage("stream list has an empty entry");
        }
        unsigned number = 0;
        auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), number);
        if (ec == std::errc::result_out_of_range ||
            (ec == std::errc() && end == item.data() + item.size() &&
             (number == 0 || number > kMaxStreamNumber))) {
            return Error::FromMessage(FormatText("stream number %s is out of range (1 to %u)",
                                                 shown.c_str(), kMaxStreamNumber));
        }
        if (ec != std::errc() || end != item.data() + item.size()) {
            return Error::FromMessage(
                FormatText("\"%s\" is not a stream number (streams are all, audio, video, best or "
                           "numbers like 1,3)",
                           shown.c_str()));
        }
        auto n = static_cast<uint16_t>(number);
        if (std::find(choice.numbers.begin(), choice.numbers.end(), n) != choice.numbers.end()) {
            return Error::FromMessage(FormatText("stream %u is listed twice", number));
        }
        choice.numbers.push_back(n);
        if (comma == std::string_view::npos) {
            return choice;
        }
        text.remove_prefix(comma + 1);
    }
}

}  // namespace

ErrorOr<StreamChoice> ParseStreamChoice(std::string_view text) {
    text = TrimBlanks(text);
    StreamChoice choice;
    if (text.empty() || EqualsNoCase(text, "all")) {
        return choice;
    }
    if (EqualsNoCase(text, "audio")) {
        choice.kind = StreamChoice::Kind::Audio;
    } else if (EqualsNoCase(text, "video")) {
        choice.kind = StreamChoice::Kind::Video;
    } else if (EqualsNoCase(text, "best")) {
        choice.kind = StreamChoice::Kind::Best;
    } else {
        return ParseNumbers(text);
    }
    return choice;
}

std::string StreamChoiceText(const StreamChoice& choice) {
    switch (choice.kind) {
        case StreamChoice::Kind::All:
            return "all";
        case StreamChoice::Kind::Audio:
            return "audio";
        case StreamChoice::Kind::Video:
            return "video";
        case StreamChoice::Kind::Best:
            return "best";
        case StreamChoice::Kind::Numbers:
            break;
    }
    std::string text;
    for (uint16_t number : choice.numbers) {
        if (!text.empty()) {
            text += ',';
        }
        text += std::to_string(number);
    }
    return text.empty() ? "all" : text;
}

std::vector<AsfStreamEntry> ListAsfStreams(std::span<const uint8_t>) {
    return {};
}

std::vector<uint16_t> ChooseStreams(const StreamChoice&, std::span<const AsfStreamEntry>) {
    return {};
}

ErrorOr<std::vector<uint8_t>> HeaderWithStreams(std::span<const uint8_t>,
                                                std::span<const uint16_t>) {
    return Error::FromMessage("stream selection is not available yet");
}

bool KeepStreamsInPacket(std::span<uint8_t>, std::span<const uint16_t>) {
    return false;
}

}  // namespace tapewell
