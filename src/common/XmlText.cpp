#include "common/XmlText.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "common/TextCodec.h"

namespace tapewell {
namespace {

// Longest name of either table ("thetasym" is longer but not known here).
constexpr size_t kMaxEntityNameChars = 6;
// U+10FFFF has seven decimal digits and six hexadecimal ones; a longer run
// is not read as a number at all.
constexpr size_t kMaxDecimalDigits = 7;
constexpr size_t kMaxHexDigits = 6;

struct NamedEntity {
    std::string_view name;
    uint32_t codePoint;
};

constexpr NamedEntity kXmlEntities[] = {
    {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''},
};

// HTML 4's names of U+00A0 to U+00FF, in code point order.
constexpr std::array<std::string_view, 96> kLatin1Names = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

// Punctuation that caption files write by name.
constexpr NamedEntity kPunctuationEntities[] = {
    {"ndash", 0x2013}, {"mdash", 0x2014}, {"lsquo", 0x2018},  {"rsquo", 0x2019}, {"ldquo", 0x201C},
    {"rdquo", 0x201D}, {"bull", 0x2022},  {"hellip", 0x2026}, {"euro", 0x20AC},  {"trade", 0x2122},
};

std::optional<uint32_t> Find(std::span<const NamedEntity> table, std::string_view name) {
    for (const NamedEntity& entity : table) {
        if (entity.name == name) {
            return entity.codePoint;
        }
    }
    return std::nullopt;
}

std::optional<uint32_t> LookUpName(std::string_view name, EntityNames names) {
    if (auto xml = Find(kXmlEntities, name)) {
        return xml;
    }
    if (names != EntityNames::Html) {
        return std::nullopt;
    }
    if (name == "nbsp") {
        return ' ';
    }
    for (size_t i = 0; i < kLatin1Names.size(); ++i) {
        if (kLatin1Names[i] == name) {
            return static_cast<uint32_t>(0xA0 + i);
        }
    }
    return Find(kPunctuationEntities, name);
}

// XML's Char production: what a reference may stand for.
bool IsAllowedChar(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

int DigitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (hex && c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (hex && c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The number of "#NNN" or "#xHH" (body is what follows "&#"), when it is
// all digits within the digit bound.
std::optional<uint32_t> ParseNumber(std::string_view body) {
    const bool hex = !body.empty() && (body[0] == 'x' || body[0] == 'X');
    const std::string_view digits = hex ? body.substr(1) : body;
    if (digits.empty() || digits.size() > (hex ? kMaxHexDigits : kMaxDecimalDigits)) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (char c : digits) {
        const int digit = DigitValue(c, hex);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
    }
    return value;
}

// The character of the reference whose body (between "&" and ";") is body.
std::optional<uint32_t> Resolve(std::string_view body, EntityNames names) {
    if (!body.empty() && body[0] == '#') {
        const std::optional<uint32_t> number = ParseNumber(body.substr(1));
        if (number && IsAllowedChar(*number)) {
            return number;
        }
        return std::nullopt;
    }
    return LookUpName(body, names);
}

}  // namespace

std::string DecodeEntities(std::string_view text, EntityNames names) {
    // "#x" and the hexadecimal digits make the longest body worth reading.
    constexpr size_t kMaxBody = std::max(kMaxEntityNameChars, 2 + kMaxHexDigits);
    std::string out;
    out.reserve(text.size());
    size_t done = 0;
    for (size_t amp = text.find('&'); amp != std::string_view::npos;
         amp = text.find('&', amp + 1)) {
        const size_t semicolon = text.substr(amp + 1, kMaxBody + 1).find(';');
        if (semicolon == std::string_view::npos) {
            continue;
        }
        const std::optional<uint32_t> c = Resolve(text.substr(amp + 1, semicolon), names);
        if (!c) {
            continue;
        }
        out.append(text, done, amp - done);
        AppendUtf8(out, *c);
        done = amp + semicolon + 2;
        amp = done - 1;
    }
    out.append(text, done);
    return out;
}

std::string EscapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace tapewell
