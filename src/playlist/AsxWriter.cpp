#include "playlist/AsxWriter.h"

#include <span>

#include "common/ByteSink.h"
#include "common/XmlText.h"
#include "playlist/ListPrompt.h"

namespace tapewell {

std::string AsxText(const std::string& title, const std::string& address) {
    return "<ASX version=\"3.0\">\r\n<Entry>\r\n<TITLE>" + EscapeXml(title) +
           "</TITLE>\r\n<ref href=\"" + EscapeXml(address) + "\"/>\r\n</Entry>\r\n</ASX>\r\n";
}

ErrorOr<AsxWriteResult> WriteAsx(const std::filesystem::path& path, const std::string& title,
                                 const std::string& address, ListPrompt* prompt) {
    std::error_code exists;
    if (std::filesystem::exists(path, exists) &&
        (prompt == nullptr || !prompt->ConfirmOverwrite(path.string()))) {
        return AsxWriteResult::Declined;
    }
    const std::string text = AsxText(title, address);
    auto written =
        WriteNewFile(path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    if (!written) {
        return written.error();
    }
    return AsxWriteResult::Written;
}

std::string& ReplaceReservedFileNameChars(std::string& text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F ||
            std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) {
            c = '_';
        }
    }
    return text;
}

std::filesystem::path AsxPathFor(const std::filesystem::path& folder, const std::string& name) {
    return folder / (name.empty() ? std::string("noname.asx") : name + ".asx");
}

}  // namespace tapewell
