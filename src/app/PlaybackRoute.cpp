#include "app/PlaybackRoute.h"

#include <string_view>

#include "app/AddressText.h"
#include "common/FileLock.h"
#include "recording/SourceFlags.h"

namespace tapewell {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != prefix[i]) {
            return false;
        }
    }
    return true;
}

std::string_view WithoutLeadingBlanks(std::string_view address) {
    const size_t start = address.find_first_not_of(" \t");
    return start == std::string_view::npos ? std::string_view() : address.substr(start);
}

}  // namespace

PlaybackRoute RoutePlayback(const std::string& address) {
    const std::string_view text = WithoutLeadingBlanks(address);
    if (IsLocalPath(text)) {
        return IsLockedForWriting(std::string(text)) ? PlaybackRoute::kGrowingFile
                                                     : PlaybackRoute::kDirect;
    }
    for (std::string_view scheme : {"mms://", "mmst://", "mmsu://", "rtsp://"}) {
        if (StartsWithNoCase(text, scheme)) {
            return PlaybackRoute::kEngines;
        }
    }
    // The recorder's own reading of an HTTP address: a Windows Media type,
    // or none at all (a publishing point, a script), is a stream the
    // streaming engine speaks; other media types are plain downloads.
    if (StartsWithNoCase(text, "http://")) {
        const unsigned flags = EngineFlags(std::string(text));
        if ((flags & (kEngineWindowsMedia | kEngineNoMediaType)) != 0) {
            return PlaybackRoute::kEngines;
        }
    }
    return PlaybackRoute::kDirect;
}

}  // namespace tapewell
