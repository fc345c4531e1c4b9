#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tapewell {

// An ASF GUID as it is stored in a file: Data1 (32 bits), Data2 and Data3
// (16 bits each) little-endian, then the 8 bytes of Data4 in order.
struct Guid {
    std::array<uint8_t, 16> bytes{};

    static constexpr Guid Make(uint32_t d1, uint16_t d2, uint16_t d3, std::array<uint8_t, 8> d4) {
        Guid g;
        for (int i = 0; i < 4; ++i) {
            g.bytes[i] = static_cast<uint8_t>(d1 >> (8 * i));
        }
        g.bytes[4] = static_cast<uint8_t>(d2);
        g.bytes[5] = static_cast<uint8_t>(d2 >> 8);
        g.bytes[6] = static_cast<uint8_t>(d3);
        g.bytes[7] = static_cast<uint8_t>(d3 >> 8);
        for (int i = 0; i < 8; ++i) {
            g.bytes[8 + i] = d4[i];
        }
        return g;
    }

    // The first 16 bytes of the span; the caller checks the length.
    static Guid FromBytes(std::span<const uint8_t> b);

    // "75B22630-668E-11CF-A6D9-00AA0062CE6C"
    std::string ToString() const;

    friend bool operator==(const Guid&, const Guid&) = default;
};

namespace guids {
inline constexpr Guid kHeader =
    Guid::Make(0x75B22630, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C});
inline constexpr Guid kContentDescription =
    Guid::Make(0x75B22633, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C});
inline constexpr Guid kStreamBitrateProperties =
    Guid::Make(0x7BF875CE, 0x468D, 0x11D1, {0x8D, 0x82, 0x00, 0x60, 0x97, 0xC9, 0xA2, 0xB2});
inline constexpr Guid kFileProperties =
    Guid::Make(0x8CABDCA1, 0xA947, 0x11CF, {0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65});
inline constexpr Guid kHeaderExtension =
    Guid::Make(0x5FBF03B5, 0xA92E, 0x11CF, {0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65});
inline constexpr Guid kStreamProperties =
    Guid::Make(0xB7DC0791, 0xA9B7, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65});
inline constexpr Guid kExtendedContentDescription =
    Guid::Make(0xD2D0A440, 0xE307, 0x11D2, {0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50});
inline constexpr Guid kCodecList =
    Guid::Make(0x86D15240, 0x311D, 0x11D0, {0xA3, 0xA4, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6});
inline constexpr Guid kData =
    Guid::Make(0x75B22636, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C});
inline constexpr Guid kSimpleIndex =
    Guid::Make(0x33000890, 0xE5B1, 0x11CF, {0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB});
inline constexpr Guid kAudioMedia =
    Guid::Make(0xF8699E40, 0x5B4D, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B});
inline constexpr Guid kVideoMedia =
    Guid::Make(0xBC19EFC0, 0x5B4D, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B});
// Recognised by the resume scan only, which walks past them like any other.
inline constexpr Guid kScriptCommand =
    Guid::Make(0x1EFB1A30, 0x0B62, 0x11D0, {0xA3, 0x9B, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6});
inline constexpr Guid kUnnamedD6E229D1 =
    Guid::Make(0xD6E229D1, 0x35DA, 0x11D1, {0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE});
// Objects that name streams beside the Stream Properties: what a stream
// choice takes out of a header along with the streams it drops.
inline constexpr Guid kExtendedStreamProperties =
    Guid::Make(0x14E6A5CB, 0xC672, 0x4332, {0x83, 0x99, 0xA9, 0x69, 0x52, 0x06, 0x5B, 0x5A});
inline constexpr Guid kBitrateMutualExclusion =
    Guid::Make(0xD6E229DC, 0x35DA, 0x11D1, {0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE});
inline constexpr Guid kAdvancedMutualExclusion =
    Guid::Make(0xA08649CF, 0x4775, 0x4670, {0x8A, 0x16, 0x6E, 0x35, 0x35, 0x75, 0x66, 0xCD});
inline constexpr Guid kStreamPrioritization =
    Guid::Make(0xD4FED15B, 0x88D3, 0x454F, {0x81, 0xF0, 0xED, 0x5C, 0x45, 0x99, 0x9E, 0x24});
}  // namespace guids

// The program's own name for a GUID ("ASF_Header", ...), or an empty view
// for GUIDs it gives no name.
std::string_view GuidName(const Guid& guid);

}  // namespace tapewell
