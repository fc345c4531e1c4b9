#include "asf/AsfInfo.h"

#include <algorithm>
#include <array>
#include <optional>

#include "common/ByteCursor.h"
#include "common/Limits.h"
#include "common/LittleEndian.h"
#include "common/TextCodec.h"

namespace tapewell {
namespace {

constexpr uint16_t kCodecTypeVideo = 1;
constexpr uint16_t kCodecTypeAudio = 2;

Error NotAsf(const std::filesystem::path& path, const char* reason) {
    return Error::FromMessage("'" + path.string() + "' is not an ASF file: " + reason);
}

}  // namespace

void AsfInfo::Reset() {
    *this = AsfInfo();
}

ErrorOr<void> AsfInfo::Parse(const std::filesystem::path& path) {
    auto file = FileSource::Open(path);
    if (!file) {
        Reset();
        m_path = path;
        return Error::FromErrno(file.error().code,
                                "cannot open '" + path.string() + "': " + file.error().message);
    }
    return Parse(*file, path);
}

ErrorOr<void> AsfInfo::Parse(ByteSource& source, const std::filesystem::path& path) {
    Reset();
    m_path = path;
    m_fileSize = source.Size();
    std::optional<ObjectHeader> first = ReadObjectHeader(source, 0);
    if (!first || first->id != guids::kHeader) {
        return NotAsf(path, "it does not start with an ASF header object");
    }
    std::vector<uint8_t> body;
    uint64_t pos = 0;
    while (m_objects.size() < limits::kMaxAsfObjectEntries) {
        // An object smaller than its own header, or one that would run past
        // the end of the file, ends the walk; the objects before it stay.
        std::optional<ObjectHeader> read = ReadObjectHeader(source, pos);
        if (!read || !ObjectFits(*read, pos, m_fileSize)) {
            break;
        }
        const ObjectHeader& header = *read;
        m_objects.push_back({header.id, header.size, pos});
        const uint64_t bodyAt = pos + asf::kObjectHeaderSize;
        const uint64_t bodyLength = header.size - asf::kObjectHeaderSize;
        uint64_t next = pos + header.size;
        if (header.id == guids::kHeader) {
            // The walk enters the header: its children follow the header info.
            std::array<uint8_t, asf::kHeaderInfoSize> info{};
            uint64_t got = source.ReadAt(
                bodyAt, std::span(info).first(std::min<uint64_t>(bodyLength, info.size())));
            m_headerObjectCount = ReadLe32(info.data());
            m_headerReserved[0] = info[4];
            m_headerReserved[1] = info[5];
            next = bodyAt + got;
        } else if (header.id == guids::kFileProperties) {
            if (bodyLength < asf::kFilePropertiesUnreadBody) {
                ReadKeptBody(source, bodyAt, bodyLength, body);
                m_fileProperties = FileProperties::FromBody(body);
            }
        } else if (header.id == guids::kContentDescription) {
            ReadKeptBody(source, bodyAt, bodyLength, body);
            ReadContentDescription(body);
        } else if (header.id == guids::kStreamProperties) {
            ReadKeptBody(source, bodyAt, bodyLength, body);
            ReadStreamProperties(body);
        } else if (header.id == guids::kCodecList) {
            ReadKeptBody(source, bodyAt, bodyLength, body);
            ReadCodecList(body);
        } else if (header.id == guids::kData) {
            ReadKeptBody(source, bodyAt, std::min<uint64_t>(bodyLength, asf::kDataObjectBodySize),
                         body);
            m_dataObject = DataObjectBody::FromBytes(body);
        }
        pos = next;
    }
    if (m_objects.empty()) {
        return NotAsf(path, "its ASF header runs past the end of the file");
    }
    return {};
}

// Reads up to length bytes of an object body, never more than the bound on
// kept objects; fields past what was read stay zero.
void AsfInfo::ReadKeptBody(ByteSource& source, uint64_t at, uint64_t length,
                           std::vector<uint8_t>& body) const {
    body.resize(std::min<uint64_t>(length, limits::kMaxKeptAsfObjectBody));
    body.resize(source.ReadAt(at, body));
}

void AsfInfo::ReadContentDescription(std::span<const uint8_t> body) {
    ByteCursor cursor(body);
    uint16_t lengths[5];
    for (auto& length : lengths) {
        length = cursor.ReadU16();
    }
    std::string* fields[5] = {&m_content.title, &m_content.author, &m_content.copyright,
                              &m_content.description, &m_content.rating};
    for (int i = 0; i < 5; ++i) {
        *fields[i] = Utf16LeToUtf8(cursor.ReadAtMost(lengths[i]));
    }
}

void AsfInfo::ReadStreamProperties(std::span<const uint8_t> body) {
    m_audioFlag = 1;
    ByteCursor cursor(body);
    auto fixed = cursor.ReadAtMost(asf::kStreamPropertiesFixedSize);
    if (fixed.size() < 16) {
        return;
    }
    const Guid type = Guid::FromBytes(fixed);
    if (type == guids::kAudioMedia) {
        m_audioFormat = WaveFormat::FromBytes(cursor.ReadAtMost(asf::kWaveFormatSize));
        m_hasAudio = true;
    } else if (type == guids::kVideoMedia) {
        m_audioFlag = 0;
        cursor.ReadAtMost(asf::kVideoImageInfoSize);
        m_videoFormat = BitmapInfoHeader::FromBytes(cursor.ReadAtMost(asf::kBitmapInfoHeaderSize));
        m_hasVideo = true;
    }
}

void AsfInfo::ReadCodecList(std::span<const uint8_t> body) {
    ByteCursor cursor(body);
    cursor.Skip(16);  // Reserved
    const uint32_t count = cursor.ReadU32();
    for (uint32_t i = 0; i < count && cursor.Ok(); ++i) {
        const uint16_t type = cursor.ReadU16();
        auto name = cursor.ReadBytes(size_t{cursor.ReadU16()} * 2);
        auto description = cursor.ReadBytes(size_t{cursor.ReadU16()} * 2);
        cursor.Skip(cursor.ReadU16());  // Codec Information
        if (!cursor.Ok()) {
            break;  // an entry cut off by the end of the object is not listed
        }
        std::string text = Utf16LeToUtf8(name) + "\n" + Utf16LeToUtf8(description);
        if (type == kCodecTypeVideo) {
            m_videoCodecs.push_back(std::move(text));
        } else if (type == kCodecTypeAudio) {
            m_audioCodecs.push_back(std::move(text));
        }
    }
}

int AsfInfo::FindObject(const Guid& id, AsfObjectEntry* entry) const {
    for (size_t i = 0; i < m_objects.size(); ++i) {
        if (m_objects[i].id == id) {
            if (entry) {
                *entry = m_objects[i];
            }
            return static_cast<int>(i);
        }
    }
    return -1;
}

int32_t AsfInfo::GetDurationSeconds() const {
    // Signed, as a preroll longer than the play time gives a negative
    // duration; the subtraction wraps rather than overflowing on lying files.
    const auto play = static_cast<int64_t>(m_fileProperties.playDuration);
    const auto ms =
        static_cast<int64_t>(static_cast<uint64_t>(play / 10000) - m_fileProperties.preroll);
    return static_cast<int32_t>(ms / 1000);
}

}  // namespace tapewell
