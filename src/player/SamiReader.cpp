#include "player/SamiReader.h"

#include <algorithm>
#include <cctype>

#include "common/Limits.h"
#include "common/TextCodec.h"

namespace tapewell {
namespace {

// The file's text with an ASCII-lower-cased twin of the same length, so that
// tags and attributes are found without regard to case while the cue text
// is taken from the original.
struct Markup {
    std::string text;
    std::string lower;

    explicit Markup(std::string decoded) : text(std::move(decoded)), lower(text) {
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    size_t Find(std::string_view needle, size_t from, size_t end) const {
        size_t at = lower.find(needle, from);
        return at < end ? at : std::string::npos;
    }
};

std::string DecodeText(std::span<const uint8_t> bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        return Utf16LeToUtf8(bytes.subspan(2));
    }
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        bytes = bytes.subspan(3);
    }
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return IsValidUtf8(text) ? std::string(text) : Cp949ToUtf8(bytes);
}

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
}

// The value of attribute `name` inside the tag text [begin, end): quoted or
// up to the next blank or ">". Empty when the tag has no such attribute.
std::string_view AttributeValue(const Markup& m, std::string_view name, size_t begin, size_t end) {
    for (size_t at = m.Find(name, begin, end); at != std::string::npos;
         at = m.Find(name, at + 1, end)) {
        if (at > begin && IsNameChar(m.lower[at - 1])) {
            continue;
        }
        size_t i = m.lower.find_first_not_of(" \t\r\n", at + name.size());
        if (i >= end || m.lower[i] != '=') {
            continue;
        }
        i = m.lower.find_first_not_of(" \t\r\n", i + 1);
        if (i >= end) {
            return {};
        }
        char quote = m.text[i] == '"' || m.text[i] == '\'' ? m.text[i] : 0;
        size_t start = quote ? i + 1 : i;
        size_t stop = start;
        while (stop < end && (quote ? m.text[stop] != quote
                                    : !std::isspace(static_cast<unsigned char>(m.text[stop])) &&
                                          m.text[stop] != '>')) {
            ++stop;
        }
        return std::string_view(m.text).substr(start, stop - start);
    }
    return {};
}

// A start time in milliseconds; false when it is not a number or is past
// any media time.
bool ParseStart(std::string_view digits, uint64_t& ms) {
    if (digits.empty()) {
        return false;
    }
    ms = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return false;
        }
        ms = ms * 10 + static_cast<uint64_t>(c - '0');
        if (ms > limits::kMaxSamiStartMs) {
            return false;
        }
    }
    return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// Where the next paragraph tag starts in [from, end): "<p" followed by a
// blank, "/" or ">" (not "<pre" and the like).
size_t FindParagraph(const Markup& m, size_t from, size_t end) {
    for (size_t at = m.Find("<p", from, end); at != std::string::npos;
         at = m.Find("<p", at + 2, end)) {
        if (at + 2 >= end) {
            return std::string::npos;
        }
        char next = m.lower[at + 2];
        if (next == '>' || next == '/' || std::isspace(static_cast<unsigned char>(next))) {
            return at;
        }
    }
    return std::string::npos;
}

// The first class declared in the style sheet (".KRCC { ... }"), else the
// class of the body's first paragraph that has one.
std::string LanguageClass(const Markup& m) {
    size_t style = m.Find("<style", 0, m.text.size());
    size_t styleEnd = style == std::string::npos ? style : m.Find("</style", style, m.text.size());
    for (size_t at = style; styleEnd != std::string::npos && at < styleEnd; ++at) {
        at = m.Find(".", at, styleEnd);
        if (at == std::string::npos) {
            break;
        }
        size_t nameEnd = at + 1;
        while (nameEnd < styleEnd && IsNameChar(m.text[nameEnd])) {
            ++nameEnd;
        }
        size_t brace = m.lower.find_first_not_of(" \t\r\n", nameEnd);
        if (nameEnd > at + 1 && brace < styleEnd && m.text[brace] == '{') {
            return m.text.substr(at + 1, nameEnd - at - 1);
        }
    }
    for (size_t p = FindParagraph(m, 0, m.text.size()); p != std::string::npos;
         p = FindParagraph(m, p + 2, m.text.size())) {
        size_t close = m.text.find('>', p);
        auto cls =
            AttributeValue(m, "class", p, close == std::string::npos ? m.text.size() : close);
        if (!cls.empty()) {
            return std::string(cls);
        }
    }
    return {};
}

// The text of the cue body [begin, end) in the chosen language: the part
// before the first paragraph and every paragraph of that class or of none.
// False when the body has paragraphs, but none of them in that language.
bool CueText(const Markup& m, size_t begin, size_t end, const std::string& language,
             std::string& out) {
    size_t p = FindParagraph(m, begin, end);
    out.assign(m.text, begin, (p == std::string::npos ? end : p) - begin);
    bool kept = p == std::string::npos;
    while (p != std::string::npos) {
        size_t next = FindParagraph(m, p + 2, end);
        size_t stop = next == std::string::npos ? end : next;
        size_t close = m.text.find('>', p);
        auto cls = AttributeValue(m, "class", p, std::min(close, stop));
        if (cls.empty() || language.empty() || EqualsNoCase(cls, language)) {
            out.append(m.text, p, stop - p);
            kept = true;
        }
        p = next;
    }
    return kept;
}

// Cuts the text to the caption bound without splitting a UTF-8 sequence.
void Bound(std::string& text) {
    text.resize(Utf8Prefix(text, limits::kMaxCaptionTextBytes).size());
}

// Where the body of the cue that starts at `from` ends: at the next SYNC tag,
// a closing SYNC or the end of the body.
size_t CueEnd(const Markup& m, size_t from) {
    size_t end = m.text.size();
    for (std::string_view stop : {"<sync", "</sync", "</body"}) {
        end = std::min(end, m.lower.find(stop, from));
    }
    return end;
}

}  // namespace

std::vector<CaptionCue> ReadSami(std::span<const uint8_t> bytes) {
    std::vector<CaptionCue> cues;
    Markup m(DecodeText(bytes.first(std::min(bytes.size(), limits::kMaxSamiFileBytes))));
    const std::string language = LanguageClass(m);
    for (size_t sync = m.Find("<sync", 0, m.text.size());
         sync != std::string::npos && cues.size() < limits::kMaxSamiCues;
         sync = m.Find("<sync", sync + 5, m.text.size())) {
        size_t close = m.text.find('>', sync);
        if (close == std::string::npos) {
            break;
        }
        CaptionCue cue;
        if (!ParseStart(AttributeValue(m, "start", sync, close), cue.startMs) ||
            !CueText(m, close + 1, CueEnd(m, close + 1), language, cue.text)) {
            continue;
        }
        Bound(cue.text);
        cues.push_back(std::move(cue));
    }
    std::stable_sort(cues.begin(), cues.end(), [](const CaptionCue& a, const CaptionCue& b) {
        return a.startMs < b.startMs;
    });
    return cues;
}

std::string CaptionPathFor(std::string_view address) {
    size_t slash = address.find_last_of('/');
    size_t dot = address.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return std::string(address) + ".smi";
    }
    return std::string(address.substr(0, dot)) + ".smi";
}

}  // namespace tapewell
