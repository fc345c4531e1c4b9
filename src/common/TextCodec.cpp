#include "common/TextCodec.h"

#include <iconv.h>

#include <cerrno>

namespace tapewell {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16Le(std::vector<uint8_t>& out, char16_t unit) {
    out.push_back(static_cast<uint8_t>(unit));
    out.push_back(static_cast<uint8_t>(unit >> 8));
}

// Decodes one UTF-8 sequence at text[i], advancing i; malformed input
// (bad lead, short or bad continuation, overlong, surrogate, > U+10FFFF)
// consumes one byte and yields U+FFFD.
char32_t DecodeUtf8(std::string_view text, size_t& i) {
    auto lead = static_cast<unsigned char>(text[i]);
    size_t len = lead < 0x80           ? 1
                 : (lead >> 5) == 0x6  ? 2
                 : (lead >> 4) == 0xE  ? 3
                 : (lead >> 3) == 0x1E ? 4
                                       : 0;
    if (len == 0 || i + len > text.size()) {
        ++i;
        return kReplacement;
    }
    char32_t c = len == 1 ? lead : lead & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) {
        auto cont = static_cast<unsigned char>(text[i + k]);
        if ((cont & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        c = (c << 6) | (cont & 0x3F);
    }
    static constexpr char32_t kMinForLength[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kMinForLength[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += len;
    return c;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Utf16LeToUtf8(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() / 2);
    size_t units = bytes.size() / 2;
    for (size_t i = 0; i < units; ++i) {
        char32_t unit = bytes[2 * i] | (bytes[2 * i + 1] << 8);
        if (unit == 0) {
            break;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            char32_t low = bytes[2 * i + 2] | (bytes[2 * i + 3] << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, (unit >= 0xD800 && unit <= 0xDFFF) ? kReplacement : unit);
    }
    return out;
}

std::string Utf16LeToUtf8(std::span<const uint8_t> bytes, size_t maxBytes) {
    // Every UTF-16 unit gives at least one UTF-8 byte; one unit more keeps a
    // surrogate pair at the bound whole.
    size_t reach = (maxBytes + 1) * 2;
    std::string out = Utf16LeToUtf8(bytes.first(bytes.size() < reach ? bytes.size() : reach));
    out.resize(Utf8Prefix(out, maxBytes).size());
    return out;
}

std::string_view Utf8Prefix(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text;
    }
    size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return text.substr(0, cut);
}

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

std::vector<uint8_t> Utf8ToUtf16Le(std::string_view text) {
    std::vector<uint8_t> out;
    out.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size();) {
        char32_t c = DecodeUtf8(text, i);
        if (c >= 0x10000) {
            c -= 0x10000;
            AppendUtf16Le(out, static_cast<char16_t>(0xD800 + (c >> 10)));
            AppendUtf16Le(out, static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            AppendUtf16Le(out, static_cast<char16_t>(c));
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        size_t start = i;
        // A malformed sequence is the only thing that yields U+FFFD from a
        // single byte; a literal U+FFFD takes three.
        if (DecodeUtf8(text, i) == kReplacement && i - start == 1) {
            return false;
        }
    }
    return true;
}

std::string Cp949ToUtf8(std::span<const uint8_t> bytes) {
    std::string out;
    iconv_t cd = iconv_open("UTF-8", "CP949");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return out;
    }
    out.reserve(bytes.size() * 3 / 2);
    char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(bytes.data()));
    size_t inLeft = bytes.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof(buffer);
        size_t done = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, sizeof(buffer) - outLeft);
        if (done == static_cast<size_t>(-1) && errno != E2BIG) {
            // An invalid or cut-off sequence: mark it and go on after its
            // first byte. glibc's CP949 converter may already have taken in
            // everything up to the end when it says so.
            AppendUtf8(out, kReplacement);
            if (inLeft > 0) {
                ++in;
                --inLeft;
            }
        }
    }
    iconv_close(cd);
    return out;
}

std::optional<std::vector<uint8_t>> Utf8ToCp949(std::string_view text) {
    if (!IsValidUtf8(text)) {
        return std::nullopt;
    }
    iconv_t cd = iconv_open("CP949", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::vector<uint8_t> out;
    out.reserve(text.size());
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char buffer[1024];
    bool fits = true;
    while (inLeft > 0 && fits) {
        char* outPtr = buffer;
        size_t outLeft = sizeof(buffer);
        size_t done = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.insert(out.end(), buffer, buffer + (sizeof(buffer) - outLeft));
        fits = done != static_cast<size_t>(-1) || errno == E2BIG;
    }
    iconv_close(cd);
    if (!fits) {
        return std::nullopt;
    }
    return out;
}

}  // namespace tapewell
