#include "asf/StreamSelection.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <optional>

#include "asf/AsfGuids.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/ByteCursor.h"
#include "common/LittleEndian.h"
#include "common/TextFormat.h"

namespace tapewell {

namespace {

// ASF stream numbers are seven bits wide; 0 is no stream.
constexpr unsigned kMaxStreamNumber = 127;

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

ErrorOr<StreamChoice> ParseNumbers(std::string_view text) {
    StreamChoice choice;
    choice.kind = StreamChoice::Kind::Numbers;
    while (true) {
        size_t comma = text.find(',');
        std::string_view item = TrimBlanks(text.substr(0, comma));
        std::string shown(item.substr(0, 20));
        if (item.empty()) {
            return Error::FromMessage("stream list has an empty entry");
        }
        unsigned number = 0;
        auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), number);
        if (ec == std::errc::result_out_of_range ||
            (ec == std::errc() && end == item.data() + item.size() &&
             (number == 0 || number > kMaxStreamNumber))) {
            return Error::FromMessage(FormatText("stream number %s is out of range (1 to %u)",
                                                 shown.c_str(), kMaxStreamNumber));
        }
        if (ec != std::errc() || end != item.data() + item.size()) {
            return Error::FromMessage(
                FormatText("\"%s\" is not a stream number (streams are all, audio, video, best or "
                           "numbers like 1,3)",
                           shown.c_str()));
        }
        auto n = static_cast<uint16_t>(number);
        if (std::find(choice.numbers.begin(), choice.numbers.end(), n) != choice.numbers.end()) {
            return Error::FromMessage(FormatText("stream %u is listed twice", number));
        }
        choice.numbers.push_back(n);
        if (comma == std::string_view::npos) {
            return choice;
        }
        text.remove_prefix(comma + 1);
    }
}

}  // namespace

ErrorOr<StreamChoice> ParseStreamChoice(std::string_view text) {
    text = TrimBlanks(text);
    StreamChoice choice;
    if (text.empty() || EqualsNoCase(text, "all")) {
        return choice;
    }
    if (EqualsNoCase(text, "audio")) {
        choice.kind = StreamChoice::Kind::Audio;
    } else if (EqualsNoCase(text, "video")) {
        choice.kind = StreamChoice::Kind::Video;
    } else if (EqualsNoCase(text, "best")) {
        choice.kind = StreamChoice::Kind::Best;
    } else {
        return ParseNumbers(text);
    }
    return choice;
}

std::string StreamChoiceText(const StreamChoice& choice) {
    switch (choice.kind) {
        case StreamChoice::Kind::All:
            return "all";
        case StreamChoice::Kind::Audio:
            return "audio";
        case StreamChoice::Kind::Video:
            return "video";
        case StreamChoice::Kind::Best:
            return "best";
        case StreamChoice::Kind::Numbers:
            break;
    }
    std::string text;
    for (uint16_t number : choice.numbers) {
        if (!text.empty()) {
            text += ',';
        }
        text += std::to_string(number);
    }
    return text.empty() ? "all" : text;
}

namespace {

using AsfPacketTools::ReadVarField;

constexpr uint16_t kStreamNumberMask = 0x7F;
constexpr size_t kHeaderFirstObject = asf::kObjectHeaderSize + asf::kHeaderInfoSize;
constexpr size_t kHeaderObjectCountAt = asf::kObjectHeaderSize;

using guids::kAdvancedMutualExclusion;
using guids::kBitrateMutualExclusion;
using guids::kExtendedStreamProperties;
using guids::kStreamPrioritization;

// Field offsets from an object's first byte.
namespace sp {  // Stream Properties
constexpr size_t kStreamType = 24;
constexpr size_t kFlags = 72;  // stream number in the low 7 bits
constexpr size_t kTypeData = 78;
constexpr size_t kAverageBytesPerSecond = kTypeData + 8;  // of an audio stream's wave format
}  // namespace sp
namespace esp {  // Extended Stream Properties
constexpr size_t kDataBitrate = 40;
constexpr size_t kStreamNumber = 72;
constexpr size_t kNameCount = 84;
constexpr size_t kSystemCount = 86;
constexpr size_t kFixedSize = 88;
constexpr size_t kSystemIdSize = 16;
}  // namespace esp
namespace hx {  // Header Extension
constexpr size_t kDataSize = 42;
constexpr size_t kData = 46;
}  // namespace hx

// A list of per-stream records inside an object: a 16-bit count at countAt,
// then count records of recordSize bytes, each starting with a 16-bit field
// whose numberMask bits are the stream number. An object left with fewer
// than minLeft records says nothing any more and goes.
struct RecordList {
    size_t countAt;
    size_t recordSize;
    uint16_t numberMask;
    size_t minLeft;
};
constexpr RecordList kBitrateRecords{24, 6, kStreamNumberMask, 1};
constexpr RecordList kExclusionRecords{40, 2, 0xFFFF, 2};
constexpr RecordList kPriorityRecords{24, 4, 0xFFFF, 1};

bool Keeps(std::span<const uint16_t> keep, unsigned number) {
    return std::find(keep.begin(), keep.end(), number) != keep.end();
}

// Calls visit with each object of a run of objects that must fill the span
// exactly; false when one runs past the end or is shorter than its own
// header (the walk stops there).
template <typename Visit>
bool ForEachObjectIn(std::span<const uint8_t> objects, const Visit& visit) {
    size_t at = 0;
    while (at < objects.size()) {
        if (objects.size() - at < asf::kObjectHeaderSize) {
            return false;
        }
        const uint64_t size = ReadLe64(&objects[at + asf::kObjectSizeField]);
        if (size < asf::kObjectHeaderSize || size > objects.size() - at) {
            return false;
        }
        visit(objects.subspan(at, size));
        at += size;
    }
    return true;
}

bool IsObject(std::span<const uint8_t> object, const Guid& id) {
    return Guid::FromBytes(object) == id;
}

// The Header Extension's objects, or nothing when its Data Size does not
// match its size.
std::optional<std::span<const uint8_t>> ExtensionObjects(std::span<const uint8_t> extension) {
    if (extension.size() < hx::kData ||
        ReadLe32(&extension[hx::kDataSize]) != extension.size() - hx::kData) {
        return std::nullopt;
    }
    return extension.subspan(hx::kData);
}

// The Stream Properties object an Extended Stream Properties object may
// carry after its names and payload extension systems; empty when none.
std::span<const uint8_t> EmbeddedStreamProperties(std::span<const uint8_t> object) {
    if (object.size() < esp::kFixedSize) {
        return {};
    }
    ByteCursor cursor(object);
    cursor.Skip(esp::kFixedSize);
    for (unsigned i = ReadLe16(&object[esp::kNameCount]); i > 0 && cursor.Ok(); --i) {
        cursor.Skip(2);  // language index
        cursor.Skip(cursor.ReadU16());
    }
    for (unsigned i = ReadLe16(&object[esp::kSystemCount]); i > 0 && cursor.Ok(); --i) {
        cursor.Skip(esp::kSystemIdSize + 2);  // system id, data size
        cursor.Skip(cursor.ReadU32());
    }
    std::span<const uint8_t> rest = cursor.ReadBytes(cursor.Remaining());
    if (!cursor.Ok() || rest.size() < asf::kObjectHeaderSize ||
        !IsObject(rest, guids::kStreamProperties)) {
        return {};
    }
    return rest.first(std::min<uint64_t>(ReadLe64(&rest[asf::kObjectSizeField]), rest.size()));
}

// What the walk over a header learns about its streams.
class StreamTable {
public:
    // streamNumber: the number of the Extended Stream Properties object
    // that carries this one, which the rewrite goes by; 0 for its own.
    void StreamProperties(std::span<const uint8_t> object, unsigned streamNumber = 0) {
        if (object.size() < sp::kFlags + 2) {
            return;
        }
        const unsigned number =
            streamNumber != 0 ? streamNumber : ReadLe16(&object[sp::kFlags]) & kStreamNumberMask;
        if (number == 0) {
            return;
        }
        AsfStreamEntry& entry = At(number);
        const Guid type = Guid::FromBytes(object.subspan(sp::kStreamType));
        if (type == guids::kAudioMedia) {
            entry.type = AsfStreamEntry::Type::Audio;
            if (object.size() >= sp::kAverageBytesPerSecond + 4) {
                m_waveRate[entry.number] = ReadLe32(&object[sp::kAverageBytesPerSecond]) * 8ull;
            }
        } else if (type == guids::kVideoMedia) {
            entry.type = AsfStreamEntry::Type::Video;
        }
    }
    void ExtendedStreamProperties(std::span<const uint8_t> object) {
        if (object.size() < esp::kFixedSize) {
            return;
        }
        const uint16_t number = ReadLe16(&object[esp::kStreamNumber]);
        if (number == 0 || number > kMaxStreamNumber) {
            return;
        }
        At(number);
        m_dataRate[number] = ReadLe32(&object[esp::kDataBitrate]);
        if (std::span<const uint8_t> embedded = EmbeddedStreamProperties(object);
            !embedded.empty()) {
            StreamProperties(embedded, number);
        }
    }
    void BitrateProperties(std::span<const uint8_t> object) {
        ByteCursor cursor(object);
        cursor.Skip(kBitrateRecords.countAt);
        for (unsigned n = cursor.ReadU16(); n > 0; --n) {
            const unsigned number = cursor.ReadU16() & kStreamNumberMask;
            const uint32_t bitrate = cursor.ReadU32();
            if (!cursor.Ok()) {
                break;
            }
            m_listedRate[number] = bitrate;
        }
    }

    std::vector<AsfStreamEntry> Entries() const {
        std::vector<AsfStreamEntry> entries = m_entries;
        for (AsfStreamEntry& e : entries) {
            const uint64_t rate = m_listedRate[e.number].value_or(
                m_dataRate[e.number].value_or(m_waveRate[e.number].value_or(0)));
            e.bitrate = static_cast<uint32_t>(std::min<uint64_t>(rate, UINT32_MAX));
        }
        return entries;
    }

private:
    AsfStreamEntry& At(unsigned number) {
        for (AsfStreamEntry& e : m_entries) {
            if (e.number == number) {
                return e;
            }
        }
        m_entries.push_back({static_cast<uint16_t>(number), AsfStreamEntry::Type::Other, 0});
        return m_entries.back();
    }

    std::vector<AsfStreamEntry> m_entries;
    std::array<std::optional<uint64_t>, kMaxStreamNumber + 1> m_listedRate{};
    std::array<std::optional<uint64_t>, kMaxStreamNumber + 1> m_dataRate{};
    std::array<std::optional<uint64_t>, kMaxStreamNumber + 1> m_waveRate{};
};

bool ValidHeaderStart(std::span<const uint8_t> header) {
    return header.size() >= kHeaderFirstObject && IsObject(header, guids::kHeader) &&
           ReadLe64(&header[asf::kObjectSizeField]) >= kHeaderFirstObject &&
           ReadLe64(&header[asf::kObjectSizeField]) <= header.size();
}

void Append(std::vector<uint8_t>& out, std::span<const uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// Appends the object without the records of streams not kept, with its size
// and count made right; nothing when too few records are left. An object
// whose records run past its end is appended as it is.
void AppendWithRecords(std::vector<uint8_t>& out, std::span<const uint8_t> object,
                       const RecordList& list, std::span<const uint16_t> keep) {
    const size_t recordsAt = list.countAt + 2;
    if (object.size() < recordsAt ||
        size_t{ReadLe16(&object[list.countAt])} * list.recordSize > object.size() - recordsAt) {
        Append(out, object);
        return;
    }
    const unsigned count = ReadLe16(&object[list.countAt]);
    const size_t start = out.size();
    Append(out, object.first(recordsAt));
    unsigned left = 0;
    for (unsigned i = 0; i < count; ++i) {
        std::span<const uint8_t> record =
            object.subspan(recordsAt + i * list.recordSize, list.recordSize);
        if (Keeps(keep, ReadLe16(record.data()) & list.numberMask)) {
            Append(out, record);
            ++left;
        }
    }
    if (left < list.minLeft) {
        out.resize(start);
        return;
    }
    Append(out, object.subspan(recordsAt + count * list.recordSize));
    WriteLe64(&out[start + asf::kObjectSizeField], out.size() - start);
    WriteLe16(&out[start + list.countAt], static_cast<uint16_t>(left));
}

// Appends one object of the Header Extension as the kept streams want it.
void AppendExtensionObject(std::vector<uint8_t>& out, std::span<const uint8_t> object,
                           std::span<const uint16_t> keep) {
    if (IsObject(object, kExtendedStreamProperties)) {
        if (object.size() >= esp::kFixedSize &&
            !Keeps(keep, ReadLe16(&object[esp::kStreamNumber]))) {
            return;
        }
        Append(out, object);
    } else if (IsObject(object, kAdvancedMutualExclusion)) {
        AppendWithRecords(out, object, kExclusionRecords, keep);
    } else if (IsObject(object, kStreamPrioritization)) {
        AppendWithRecords(out, object, kPriorityRecords, keep);
    } else {
        Append(out, object);
    }
}

// Appends the Header Extension without the entries of streams not kept;
// false when its objects cannot be walked.
bool AppendExtension(std::vector<uint8_t>& out, std::span<const uint8_t> extension,
                     std::span<const uint16_t> keep) {
    const std::optional<std::span<const uint8_t>> objects = ExtensionObjects(extension);
    if (!objects) {
        return false;
    }
    const size_t start = out.size();
    Append(out, extension.first(hx::kData));
    if (!ForEachObjectIn(*objects, [&](std::span<const uint8_t> object) {
            AppendExtensionObject(out, object, keep);
        })) {
        return false;
    }
    WriteLe64(&out[start + asf::kObjectSizeField], out.size() - start);
    WriteLe32(&out[start + hx::kDataSize], static_cast<uint32_t>(out.size() - start - hx::kData));
    return true;
}

// Appends one top-level object as the kept streams want it; false when it
// is a Header Extension that cannot be walked.
bool AppendHeaderObject(std::vector<uint8_t>& out, std::span<const uint8_t> object,
                        std::span<const uint16_t> keep) {
    if (IsObject(object, guids::kStreamProperties)) {
        if (object.size() < sp::kFlags + 2 ||
            Keeps(keep, ReadLe16(&object[sp::kFlags]) & kStreamNumberMask)) {
            Append(out, object);
        }
    } else if (IsObject(object, guids::kStreamBitrateProperties)) {
        AppendWithRecords(out, object, kBitrateRecords, keep);
    } else if (IsObject(object, kBitrateMutualExclusion)) {
        AppendWithRecords(out, object, kExclusionRecords, keep);
    } else if (IsObject(object, guids::kHeaderExtension)) {
        return AppendExtension(out, object, keep);
    } else {
        Append(out, object);
    }
    return true;
}

}  // namespace

std::vector<AsfStreamEntry> ListAsfStreams(std::span<const uint8_t> header) {
    if (!ValidHeaderStart(header)) {
        return {};
    }
    StreamTable table;
    AsfPacketTools::ForEachHeaderObject(header, [&table](std::span<const uint8_t> object) {
        if (IsObject(object, guids::kStreamProperties)) {
            table.StreamProperties(object);
        } else if (IsObject(object, guids::kStreamBitrateProperties)) {
            table.BitrateProperties(object);
        } else if (IsObject(object, guids::kHeaderExtension)) {
            if (auto objects = ExtensionObjects(object)) {
                ForEachObjectIn(*objects, [&table](std::span<const uint8_t> inner) {
                    if (IsObject(inner, kExtendedStreamProperties)) {
                        table.ExtendedStreamProperties(inner);
                    }
                });
            }
        }
    });
    return table.Entries();
}

std::vector<uint16_t> ChooseStreams(const StreamChoice& choice,
                                    std::span<const AsfStreamEntry> streams) {
    using Type = AsfStreamEntry::Type;
    std::vector<uint16_t> kept;
    const auto keepType = [&](Type type) {
        for (const AsfStreamEntry& s : streams) {
            if (s.type == type) {
                kept.push_back(s.number);
            }
        }
    };
    // The first of the highest bitrate, so that equal streams keep the
    // header's own order of preference.
    const auto keepBest = [&](Type type) {
        const AsfStreamEntry* best = nullptr;
        for (const AsfStreamEntry& s : streams) {
            if (s.type == type && (!best || s.bitrate > best->bitrate)) {
                best = &s;
            }
        }
        if (best) {
            kept.push_back(best->number);
        }
    };
    switch (choice.kind) {
        case StreamChoice::Kind::All:
            for (const AsfStreamEntry& s : streams) {
                kept.push_back(s.number);
            }
            break;
        case StreamChoice::Kind::Audio:
            keepType(Type::Audio);
            break;
        case StreamChoice::Kind::Video:
            keepType(Type::Video);
            break;
        case StreamChoice::Kind::Best:
            keepBest(Type::Video);
            keepBest(Type::Audio);
            break;
        case StreamChoice::Kind::Numbers:
            for (const AsfStreamEntry& s : streams) {
                if (Keeps(choice.numbers, s.number)) {
                    kept.push_back(s.number);
                }
            }
            break;
    }
    // Header order, whatever order the choice found them in.
    std::vector<uint16_t> ordered;
    for (const AsfStreamEntry& s : streams) {
        if (Keeps(kept, s.number) && !Keeps(ordered, s.number)) {
            ordered.push_back(s.number);
        }
    }
    return ordered;
}

std::string NoChosenStreamText(const StreamChoice& choice,
                               std::span<const AsfStreamEntry> streams) {
    if (streams.empty()) {
        return "the stream's header lists no streams to choose from";
    }
    std::string listed;
    for (const AsfStreamEntry& s : streams) {
        listed += (listed.empty() ? "" : ", ") + std::to_string(s.number);
    }
    switch (choice.kind) {
        case StreamChoice::Kind::Audio:
            return "the stream has no audio stream";
        case StreamChoice::Kind::Video:
            return "the stream has no video stream";
        case StreamChoice::Kind::Best:
            return "the stream has neither an audio nor a video stream";
        case StreamChoice::Kind::All:
        case StreamChoice::Kind::Numbers:
            break;
    }
    const bool one = choice.numbers.size() == 1;
    return FormatText("the stream has %s %s (its streams: %s)",
                      one ? "no stream" : "none of the streams", StreamChoiceText(choice).c_str(),
                      listed.c_str());
}

std::vector<StreamSwitch> StreamSwitches(std::span<const AsfStreamEntry> streams,
                                         std::span<const uint16_t> keep) {
    std::vector<StreamSwitch> switches;
    for (const AsfStreamEntry& s : streams) {
        switches.push_back({s.number, Keeps(keep, s.number)});
    }
    return switches;
}

ErrorOr<std::vector<uint8_t>> HeaderWithStreams(std::span<const uint8_t> header,
                                                std::span<const uint16_t> keep) {
    if (!ValidHeaderStart(header)) {
        return Error::FromMessage("the stream's header is not an ASF header");
    }
    const std::vector<AsfStreamEntry> streams = ListAsfStreams(header);
    const auto kept = [&](const AsfStreamEntry& s) { return Keeps(keep, s.number); };
    if (std::none_of(streams.begin(), streams.end(), kept)) {
        return Error::FromMessage("none of the chosen streams is in the stream's header");
    }
    if (std::all_of(streams.begin(), streams.end(), kept)) {
        return std::vector<uint8_t>(header.begin(), header.end());
    }
    const uint64_t headerSize = ReadLe64(&header[asf::kObjectSizeField]);
    std::vector<uint8_t> out(header.begin(), header.begin() + kHeaderFirstObject);
    uint64_t walked = kHeaderFirstObject;
    uint32_t count = 0;
    bool extensionOk = true;
    std::optional<size_t> propertiesAt;
    AsfPacketTools::ForEachHeaderObject(header, [&](std::span<const uint8_t> object) {
        const size_t before = out.size();
        if (IsObject(object, guids::kFileProperties) &&
            object.size() >= asf::kFilePropertiesObjectSize && !propertiesAt) {
            propertiesAt = before;
        }
        extensionOk = AppendHeaderObject(out, object, keep) && extensionOk;
        count += out.size() > before ? 1 : 0;
        walked += object.size();
    });
    if (walked != headerSize) {
        return Error::FromMessage("the objects of the stream's header do not add up to its size");
    }
    if (!extensionOk) {
        return Error::FromMessage("the stream's header has a Header Extension that cannot be read");
    }
    WriteLe64(&out[asf::kObjectSizeField], out.size());
    WriteLe32(&out[kHeaderObjectCountAt], count);
    // Packets that held only dropped streams are not written, so the
    // server's packet count no longer describes the file: cleared, the
    // finish counts the packets written, and no resume is offered by packet
    // numbers that no longer match the server's.
    if (propertiesAt) {
        WriteLe64(&out[*propertiesAt + asf::fp::kDataPacketsCount], 0);
    }
    const size_t dataAt = out.size();
    Append(out, header.subspan(headerSize));
    if (out.size() - dataAt >= asf::kDataObjectHeaderSize &&
        IsObject(std::span(out).subspan(dataAt), guids::kData)) {
        WriteLe64(&out[dataAt + asf::data::kTotalDataPackets], 0);
    }
    return out;
}

namespace {

// The Padding Length field's width for each length type, and the largest
// padding it can say.
constexpr size_t kFieldWidth[4] = {0, 1, 2, 4};
constexpr uint64_t kFieldMax[4] = {0, UINT8_MAX, UINT16_MAX, UINT32_MAX};

// Error correction present with two bytes of data that must be zero: the
// only packet start the recorders handle.
constexpr uint8_t kErrorCorrectionFlags = 0x82;
constexpr uint8_t kLengthTypeReserved = 0x80;
constexpr uint8_t kMultiplePayloads = 0x01;
constexpr unsigned kPaddingShift = 3;
constexpr uint8_t kPaddingTypeBits = 3 << kPaddingShift;
constexpr uint8_t kPayloadCountMask = 0x3F;
constexpr unsigned kPayloadLengthShift = 6;
constexpr unsigned kMaxPayloads = kPayloadCountMask;

unsigned TwoBits(uint8_t flags, unsigned shift) {
    return (flags >> shift) & 3;
}

// Where the parts of a multiple-payload packet lie, as the walk found them.
struct PacketParts {
    size_t paddingAt = 0;  // the Padding Length field, or where it would go
    unsigned paddingType = 0;
    size_t flagsAt = 0;  // the Payload Flags byte; the payloads follow it
    uint64_t end = 0;    // the Packet Length: padding ends here
    struct Payload {
        size_t begin;
        size_t end;
    };
    std::array<Payload, kMaxPayloads> kept{};
    unsigned keptCount = 0;
    unsigned count = 0;
    size_t keptBytes = 0;
};

// Steps over one payload's header fields up to its data, and returns its
// stream number (0 when the layout gives it none).
unsigned SkipPayloadHead(ByteCursor& cursor, uint8_t propertyFlags, bool multiple) {
    const unsigned stream =
        multiple ? ReadVarField(cursor, TwoBits(propertyFlags, 6)) : cursor.ReadU8();
    ReadVarField(cursor, TwoBits(propertyFlags, 4));               // media object number
    ReadVarField(cursor, TwoBits(propertyFlags, 2));               // offset into media object
    cursor.Skip(ReadVarField(cursor, TwoBits(propertyFlags, 0)));  // replicated data
    return stream & kStreamNumberMask;
}

// Walks the packet's payloads, noting where the kept ones lie. Nothing when
// the layout is not one the recorders handle or runs out of the span.
std::optional<PacketParts> WalkPayloads(std::span<const uint8_t> packet,
                                        std::span<const uint16_t> keep) {
    if (packet.size() < 5 || packet[0] != kErrorCorrectionFlags || packet[1] != 0 ||
        packet[2] != 0 || (packet[3] & kLengthTypeReserved) != 0) {
        return std::nullopt;
    }
    const uint8_t lengthFlags = packet[3];
    const uint8_t propertyFlags = packet[4];
    PacketParts parts;
    ByteCursor cursor(packet);
    cursor.Skip(5);
    parts.end = ReadVarField(cursor, TwoBits(lengthFlags, 5));
    ReadVarField(cursor, TwoBits(lengthFlags, 1));  // sequence
    parts.paddingAt = cursor.Position();
    parts.paddingType = TwoBits(lengthFlags, kPaddingShift);
    const uint64_t padding = ReadVarField(cursor, parts.paddingType);
    cursor.Skip(6);  // send time, duration
    if (TwoBits(lengthFlags, 5) == 0) {
        parts.end = packet.size();
    }
    if (!cursor.Ok() || parts.end > packet.size() || padding > parts.end) {
        return std::nullopt;
    }
    const uint64_t payloadsEnd = parts.end - padding;
    const bool multiple = (lengthFlags & kMultiplePayloads) != 0;
    parts.flagsAt = cursor.Position();
    const uint8_t payloadFlags = multiple ? cursor.ReadU8() : 0;
    parts.count = multiple ? payloadFlags & kPayloadCountMask : 1;
    // A Payload Length Type of 0 is read as 16 bits, as every reader of
    // these packets here does.
    const unsigned lengthType = TwoBits(payloadFlags, kPayloadLengthShift);
    const unsigned sizeType = lengthType == 0 ? 2 : lengthType;
    for (unsigned i = 0; i < parts.count; ++i) {
        const size_t begin = cursor.Position();
        const unsigned stream = SkipPayloadHead(cursor, propertyFlags, multiple);
        if (multiple) {
            cursor.Skip(ReadVarField(cursor, sizeType));
        } else if (cursor.Ok() && cursor.Position() <= payloadsEnd) {
            cursor.Skip(payloadsEnd - cursor.Position());
        }
        if (!cursor.Ok() || cursor.Position() > payloadsEnd) {
            return std::nullopt;
        }
        if (Keeps(keep, stream)) {
            parts.kept[parts.keptCount++] = {begin, cursor.Position()};
            parts.keptBytes += cursor.Position() - begin;
        }
    }
    return parts;
}

}  // namespace

bool KeepStreamsInPacket(std::span<uint8_t> packet, std::span<const uint16_t> keep) {
    const std::optional<PacketParts> parts = WalkPayloads(packet, keep);
    if (!parts || parts->keptCount == 0) {
        return false;
    }
    if (parts->keptCount == parts->count) {
        return true;
    }
    // Only a multiple-payload packet gets here. The freed bytes become
    // padding; a Padding Length field too narrow for them (or none) is
    // widened, which the freed bytes always make room for.
    const size_t oldWidth = kFieldWidth[parts->paddingType];
    const size_t afterPadding = parts->paddingAt + oldWidth;
    const size_t headBytes = parts->flagsAt + 1 - oldWidth;
    const unsigned widest = std::max(parts->paddingType, 2u);
    unsigned type = parts->paddingType;
    uint64_t padding = 0;
    for (; type <= widest; ++type) {
        const uint64_t used = headBytes + kFieldWidth[type] + parts->keptBytes;
        if (used <= parts->end && parts->end - used <= kFieldMax[type]) {
            padding = parts->end - used;
            break;
        }
    }
    if (type > widest) {
        return false;
    }
    std::vector<uint8_t> out(parts->end, 0);
    std::copy_n(packet.begin(), parts->paddingAt, out.begin());
    out[3] = static_cast<uint8_t>((packet[3] & ~kPaddingTypeBits) | (type << kPaddingShift));
    size_t at = parts->paddingAt;
    for (size_t i = 0; i < kFieldWidth[type]; ++i) {
        out[at++] = static_cast<uint8_t>(padding >> (8 * i));
    }
    std::copy(packet.begin() + afterPadding, packet.begin() + parts->flagsAt, out.begin() + at);
    at += parts->flagsAt - afterPadding;
    out[at++] =
        static_cast<uint8_t>((packet[parts->flagsAt] & ~kPayloadCountMask) | parts->keptCount);
    for (unsigned i = 0; i < parts->keptCount; ++i) {
        const PacketParts::Payload& p = parts->kept[i];
        std::copy(packet.begin() + p.begin, packet.begin() + p.end, out.begin() + at);
        at += p.end - p.begin;
    }
    std::copy(out.begin(), out.end(), packet.begin());
    return true;
}

}  // namespace tapewell
