#include "recording/OutputPaths.h"

#include <system_error>

#include "common/Limits.h"
#include "common/TextCodec.h"
#include "common/TextFormat.h"
#include "common/UrlParts.h"

namespace tapewell {
namespace {

bool IsUnsafeByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F;
}

// Cuts text to at most bytes without splitting a UTF-8 sequence.
void CutUtf8(std::string& text, size_t bytes) {
    text.resize(Utf8Prefix(text, bytes).size());
}

std::string TrimRight(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n')) {
        text.pop_back();
    }
    return text;
}

// The text after the last "/", else after the last "\", else all of it.
std::string LastPart(const std::string& address) {
    size_t cut = address.rfind('/');
    if (cut == std::string::npos) {
        cut = address.rfind('\\');
    }
    return cut == std::string::npos ? address : address.substr(cut + 1);
}

}  // namespace

std::string FolderSafeFileName(const std::string& name) {
    std::string clean = name;
    for (char& c : clean) {
        if (IsUnsafeByte(c)) {
            c = '_';
        }
    }
    for (size_t at = clean.find(".."); at != std::string::npos; at = clean.find("..", at)) {
        clean.replace(at, 2, "__");
    }
    CutUtf8(clean, limits::kOutputNameBytes);
    if (clean == ".") {
        clean = "_";
    }
    return clean;
}

std::filesystem::path MakeOutputPath(const std::filesystem::path& base, const std::string& address,
                                     const std::string& name) {
    std::string trimmed = TrimRight(address);
    const size_t query = trimmed.find('?');
    if (query != std::string::npos) {
        trimmed.resize(query);
    }
    const std::string part = FolderSafeFileName(LastPart(trimmed));
    const std::string cleanName = FolderSafeFileName(name);
    if (cleanName.empty()) {
        if (!part.empty()) {
            return base / part;
        }
        const std::optional<UrlParts> url = SplitUrl(trimmed);
        const std::string host = url ? FolderSafeFileName(url->host) : std::string();
        return base / ((host.empty() ? std::string("recording") : host) + ".asf");
    }
    const size_t dot = part.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        std::string extension = part.substr(dot);
        CutUtf8(extension, limits::kOutputExtensionBytes);
        return base / (cleanName + extension);
    }
    return base / (cleanName + ".asf");
}

std::optional<std::filesystem::path> MakeUniquePath(const std::filesystem::path& path) {
    const std::string stem = path.stem().string();
    const std::string extension = path.extension().string();
    for (int n = 0; n < limits::kUniquePathTries; ++n) {
        const std::filesystem::path candidate =
            path.parent_path() / (FormatText("%s(%d)", stem.c_str(), n) + extension);
        std::error_code error;
        if (!std::filesystem::exists(candidate, error) && !error) {
            return candidate;
        }
    }
    return std::nullopt;
}

}  // namespace tapewell
