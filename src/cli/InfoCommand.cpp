#include <cinttypes>
#include <cstdio>
#include <string>

#include "asf/AsfInfo.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/JsonWriter.h"
#include "common/SizeTimeText.h"

namespace tapewell::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tapewell-cli info [--json] FILE\n"
    "\n"
    "Shows what an ASF file holds: size, duration, file properties, content\n"
    "description, audio and video formats, codec lists and every object with\n"
    "its offset and size.\n"
    "\n"
    "  --json      print one JSON object instead of text\n"
    "  -h, --help  show this help\n"
    "\n"
    "Exit status: 0 when the file was parsed, 1 when it is missing or not ASF.\n";

constexpr OptionDef kOptions[] = {{"--json", false}};

struct Codec {
    std::string name;
    std::string description;
};

// The parser keeps each codec as "name\ndescription".
Codec SplitCodec(const std::string& entry) {
    auto newline = entry.find('\n');
    if (newline == std::string::npos) {
        return {entry, {}};
    }
    return {entry.substr(0, newline), entry.substr(newline + 1)};
}

std::string ObjectName(const Guid& id) {
    auto name = GuidName(id);
    return name.empty() ? id.ToString() : std::string(name);
}

std::string FlagsText(uint32_t flags) {
    std::string text;
    if (flags & asf::kFlagBroadcast) {
        text += " broadcast";
    }
    if (flags & asf::kFlagSeekable) {
        text += " seekable";
    }
    return text;
}

void WriteCodecs(JsonWriter& json, const char* key, const std::vector<std::string>& codecs) {
    json.Key(key).BeginArray();
    for (const auto& entry : codecs) {
        Codec codec = SplitCodec(entry);
        json.BeginObject();
        json.Key("name").String(codec.name);
        json.Key("description").String(codec.description);
        json.EndObject();
    }
    json.EndArray();
}

void WriteStreamFormats(JsonWriter& json, const AsfInfo& info) {
    json.Key("audio");
    if (info.HasAudioFormat()) {
        const WaveFormat& a = info.GetAudioFormat();
        json.BeginObject();
        json.Key("format_tag").UInt(a.formatTag);
        json.Key("channels").UInt(a.channels);
        json.Key("samples_per_second").UInt(a.samplesPerSecond);
        json.Key("bits_per_sample").UInt(a.bitsPerSample);
        json.EndObject();
    } else {
        json.Null();
    }
    json.Key("video");
    if (info.HasVideoFormat()) {
        const BitmapInfoHeader& v = info.GetVideoFormat();
        json.BeginObject();
        json.Key("width").Int(v.width);
        json.Key("height").Int(v.height);
        json.Key("bit_count").UInt(v.bitCount);
        json.Key("compression").String(v.CompressionText());
        json.EndObject();
    } else {
        json.Null();
    }
}

void PrintJson(const AsfInfo& info) {
    const FileProperties& fp = info.GetFileProperties();
    const ContentDescription& c = info.GetContent();
    JsonWriter json;
    json.BeginObject();
    json.Key("file").String(info.GetPath().string());
    json.Key("size").UInt(info.GetFileSize());
    json.Key("duration_seconds").Int(info.GetDurationSeconds());
    json.Key("play_duration").UInt(fp.playDuration);
    json.Key("send_duration").UInt(fp.sendDuration);
    json.Key("preroll").UInt(fp.preroll);
    json.Key("packets").UInt(fp.dataPacketsCount);
    json.Key("packet_size_min").UInt(fp.minPacketSize);
    json.Key("packet_size_max").UInt(fp.maxPacketSize);
    json.Key("flags").UInt(fp.flags);
    json.Key("max_bitrate").UInt(fp.maxBitrate);
    json.Key("title").String(c.title);
    json.Key("author").String(c.author);
    json.Key("copyright").String(c.copyright);
    json.Key("description").String(c.description);
    json.Key("rating").String(c.rating);
    WriteStreamFormats(json, info);
    WriteCodecs(json, "audio_codecs", info.GetAudioCodecs());
    WriteCodecs(json, "video_codecs", info.GetVideoCodecs());
    json.Key("objects").BeginArray();
    for (const auto& entry : info.GetObjects()) {
        json.BeginObject();
        json.Key("guid").String(entry.id.ToString());
        auto name = GuidName(entry.id);
        if (name.empty()) {
            json.Key("name").Null();
        } else {
            json.Key("name").String(name);
        }
        json.Key("offset").UInt(entry.offset);
        json.Key("size").UInt(entry.size);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    std::fputs(json.Text().c_str(), stdout);
}

void PrintCodecs(const char* label, const std::vector<std::string>& codecs) {
    for (const auto& entry : codecs) {
        Codec codec = SplitCodec(entry);
        if (codec.description.empty()) {
            std::printf("%-16s%s\n", label, codec.name.c_str());
        } else {
            std::printf("%-16s%s (%s)\n", label, codec.name.c_str(), codec.description.c_str());
        }
        label = "";
    }
}

void PrintText(const AsfInfo& info) {
    const FileProperties& fp = info.GetFileProperties();
    const ContentDescription& c = info.GetContent();
    std::printf("%-16s%s\n", "File:", info.GetPath().c_str());
    std::printf("%-16s%" PRIu64 " bytes (%s)\n", "Size:", info.GetFileSize(),
                FormatSize(info.GetFileSize()).c_str());
    std::printf("%-16s%s\n", "Duration:", FormatTime(info.GetDurationSeconds()).c_str());
    std::printf("%-16s%" PRIu64 " (100 ns)\n", "Play duration:", fp.playDuration);
    std::printf("%-16s%" PRIu64 " (100 ns)\n", "Send duration:", fp.sendDuration);
    std::printf("%-16s%" PRIu64 " ms\n", "Preroll:", fp.preroll);
    std::printf("%-16s%" PRIu64 "\n", "Packets:", fp.dataPacketsCount);
    std::printf("%-16s%u min, %u max\n", "Packet size:", fp.minPacketSize, fp.maxPacketSize);
    std::printf("%-16s0x%08X%s\n", "Flags:", fp.flags, FlagsText(fp.flags).c_str());
    std::printf("%-16s%u bit/s\n", "Max bitrate:", fp.maxBitrate);
    std::printf("%-16s%s\n", "Title:", c.title.c_str());
    std::printf("%-16s%s\n", "Author:", c.author.c_str());
    std::printf("%-16s%s\n", "Copyright:", c.copyright.c_str());
    std::printf("%-16s%s\n", "Description:", c.description.c_str());
    std::printf("%-16s%s\n", "Rating:", c.rating.c_str());
    if (info.HasAudioFormat()) {
        const WaveFormat& a = info.GetAudioFormat();
        std::printf("%-16sformat 0x%04X, %u channels, %u Hz, %u bits\n", "Audio:", a.formatTag,
                    a.channels, a.samplesPerSecond, a.bitsPerSample);
    }
    if (info.HasVideoFormat()) {
        const BitmapInfoHeader& v = info.GetVideoFormat();
        std::printf("%-16s%dx%d, %u bits, %s\n", "Video:", v.width, v.height, v.bitCount,
                    v.CompressionText().c_str());
    }
    PrintCodecs("Audio codecs:", info.GetAudioCodecs());
    PrintCodecs("Video codecs:", info.GetVideoCodecs());
    std::printf("Objects:\n  %-14s%-14s%s\n", "offset", "size", "object");
    for (const auto& entry : info.GetObjects()) {
        std::printf("  %-14" PRIu64 "%-14" PRIu64 "%s\n", entry.offset, entry.size,
                    ObjectName(entry.id).c_str());
    }
}

}  // namespace

int RunInfo(std::span<char* const> args) {
    ParsedArgs parsed;
    if (auto exit = StartCommand("info", args, kOptions, kUsage, 1, parsed)) {
        return *exit;
    }
    const std::string& path = parsed.positional[0];
    AsfInfo info;
    if (auto read = info.Parse(path); !read) {
        std::fprintf(stderr, "tapewell-cli info: %s\n", read.error().message.c_str());
        return kExitFailure;
    }
    if (parsed.Has("--json")) {
        PrintJson(info);
    } else {
        PrintText(info);
    }
    return kExitOk;
}

}  // namespace tapewell::cli
