#include "asf/AsfGuids.h"

#include <cstdio>

#include "common/LittleEndian.h"

namespace tapewell {
namespace {

struct NamedGuid {
    Guid guid;
    std::string_view name;
};

constexpr NamedGuid kNamedGuids[] = {
    {guids::kHeader, "ASF_Header"},
    {guids::kContentDescription, "ASF_Content_Description"},
    {guids::kStreamBitrateProperties, "ASF_Stream_Bitrate_Properties"},
    {guids::kFileProperties, "ASF_File_Properties"},
    {guids::kHeaderExtension, "ASF_Header_Extension"},
    {guids::kStreamProperties, "ASF_Stream_Properties"},
    {guids::kExtendedContentDescription, "ASF_Extended_Content_Description"},
    {guids::kCodecList, "ASF_Codec_List"},
    {guids::kData, "ASF_Data"},
    {guids::kSimpleIndex, "ASF_Simple_Index"},
    {guids::kAudioMedia, "ASF_Audio_Media"},
    {guids::kVideoMedia, "ASF_Video_Media"},
};

}  // namespace

Guid Guid::FromBytes(std::span<const uint8_t> b) {
    Guid g;
    for (size_t i = 0; i < g.bytes.size(); ++i) {
        g.bytes[i] = b[i];
    }
    return g;
}

std::string Guid::ToString() const {
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  ReadLe32(&bytes[0]), ReadLe16(&bytes[4]), ReadLe16(&bytes[6]), bytes[8], bytes[9],
                  bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

std::string_view GuidName(const Guid& guid) {
    for (const auto& named : kNamedGuids) {
        if (named.guid == guid) {
            return named.name;
        }
    }
    return {};
}

}  // namespace tapewell
