#include "asf/ResumeRecord.h"

#include <sys/xattr.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

namespace tapewell {
namespace {

constexpr const char* kAttribute = "user.tapewell.resume";
// The record is a line of text; anything longer is not one of ours.
constexpr size_t kMaxRecordBytes = 512;
constexpr std::string_view kVersion = "tapewell-resume 1";

std::string Hex(const Guid& id) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t b : id.bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

std::string Format(const ResumeRecord& r) {
    return std::string(kVersion) + " id=" + Hex(r.fileId) + " size=" + std::to_string(r.fileSize) +
           " packets=" + std::to_string(r.dataPacketsCount) +
           " play=" + std::to_string(r.playDuration) + " send=" + std::to_string(r.sendDuration) +
           " flags=" + std::to_string(r.flags) + " data=" + std::to_string(r.dataObjectSize) +
           " datapackets=" + std::to_string(r.totalDataPackets) + "\n";
}

// The value after "name=" up to the next space or line end.
std::optional<std::string_view> Field(std::string_view text, std::string_view name) {
    const std::string key = " " + std::string(name) + "=";
    const size_t at = text.find(key);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const size_t start = at + key.size();
    const size_t end = text.find_first_of(" \n", start);
    return text.substr(start, end == std::string_view::npos ? end : end - start);
}

template <typename T>
bool Number(std::string_view text, std::string_view name, T& out) {
    const std::optional<std::string_view> value = Field(text, name);
    if (!value || value->empty()) {
        return false;
    }
    const auto [end, error] = std::from_chars(value->data(), value->data() + value->size(), out);
    return error == std::errc() && end == value->data() + value->size();
}

std::optional<ResumeRecord> Parse(std::string_view text) {
    if (text.substr(0, kVersion.size()) != kVersion) {
        return std::nullopt;
    }
    const std::optional<std::string_view> id = Field(text, "id");
    if (!id || id->size() != 32) {
        return std::nullopt;
    }
    ResumeRecord r;
    for (size_t i = 0; i < 16; ++i) {
        const auto [end, error] =
            std::from_chars(id->data() + 2 * i, id->data() + 2 * i + 2, r.fileId.bytes[i], 16);
        if (error != std::errc() || end != id->data() + 2 * i + 2) {
            return std::nullopt;
        }
    }
    if (!Number(text, "size", r.fileSize) || !Number(text, "packets", r.dataPacketsCount) ||
        !Number(text, "play", r.playDuration) || !Number(text, "send", r.sendDuration) ||
        !Number(text, "flags", r.flags) || !Number(text, "data", r.dataObjectSize) ||
        !Number(text, "datapackets", r.totalDataPackets)) {
        return std::nullopt;
    }
    return r;
}

std::optional<std::string> ReadAttribute(const std::filesystem::path& path) {
    std::array<char, kMaxRecordBytes> buffer{};
    const ssize_t n = getxattr(path.c_str(), kAttribute, buffer.data(), buffer.size());
    if (n <= 0) {
        return std::nullopt;
    }
    return std::string(buffer.data(), static_cast<size_t>(n));
}

std::optional<std::string> ReadSidecar(const std::filesystem::path& path) {
    std::ifstream in(ResumeRecordSidecar(path), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text(kMaxRecordBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

}  // namespace

std::filesystem::path ResumeRecordSidecar(const std::filesystem::path& recording) {
    return recording.parent_path() / ("." + recording.filename().string() + ".tapewell-resume");
}

bool SaveResumeRecord(const std::filesystem::path& recording, const ResumeRecord& record) {
    const std::string text = Format(record);
    if (setxattr(recording.c_str(), kAttribute, text.data(), text.size(), 0) == 0) {
        std::error_code ignored;
        std::filesystem::remove(ResumeRecordSidecar(recording), ignored);  // an older one
        return true;
    }
    // No user attributes here (tmpfs of older kernels, some network and
    // FAT file systems): a small hidden file beside the recording instead.
    const std::filesystem::path sidecar = ResumeRecordSidecar(recording);
    const std::filesystem::path partial = sidecar.string() + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out.flush()) {
            std::error_code ignored;
            std::filesystem::remove(partial, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(partial, sidecar, error);
    return !error;
}

std::optional<ResumeRecord> LoadResumeRecord(const std::filesystem::path& recording,
                                             const Guid& fileId) {
    for (const auto& read : {ReadAttribute, ReadSidecar}) {
        const std::optional<std::string> text = read(recording);
        if (!text) {
            continue;
        }
        const std::optional<ResumeRecord> record = Parse(*text);
        if (record && record->fileId == fileId) {
            return record;
        }
    }
    return std::nullopt;
}

void ForgetResumeRecord(const std::filesystem::path& recording) {
    removexattr(recording.c_str(), kAttribute);
    std::error_code ignored;
    std::filesystem::remove(ResumeRecordSidecar(recording), ignored);
}

}  // namespace tapewell
