#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "asf/AsfGuids.h"
#include "asf/AsfObjects.h"
#include "common/ByteSource.h"
#include "common/ErrorOr.h"

namespace tapewell {

struct AsfObjectEntry {
    Guid id;
    uint64_t size = 0;    // Object Size from the object header
    uint64_t offset = 0;  // file position of the object's first byte
};

// A parsed description of one local ASF file: file properties, stream
// formats, content description, codec lists and a flat list of every object
// the walk met. Parsing reads object headers and the small objects it keeps,
// and seeks over packet data. One object may be parsed again for another file;
// nothing of the previous file survives.
class AsfInfo {
public:
    // Fills the object list (never empty after success). Fails when the
    // file cannot be opened ("cannot open 'x.asf': <strerror>", with its
    // errno), or is no ASF file, saying why as the info command shows it:
    // "'x.asf' is not an ASF file: it does not start with an ASF header
    // object", or "...: its ASF header runs past the end of the file".
    ErrorOr<void> Parse(const std::filesystem::path& path);
    // The same walk over any byte source; path is only recorded.
    ErrorOr<void> Parse(ByteSource& source, const std::filesystem::path& path = {});

    // Index of the first object with that ID, or -1; the entry is copied to
    // *entry when found.
    int FindObject(const Guid& id, AsfObjectEntry* entry = nullptr) const;

    // (Play Duration / 10000 - Preroll) / 1000, in whole seconds.
    int32_t GetDurationSeconds() const;

    const std::filesystem::path& GetPath() const { return m_path; }
    uint64_t GetFileSize() const { return m_fileSize; }
    uint32_t GetHeaderObjectCount() const { return m_headerObjectCount; }
    // Reserved1 and Reserved2 of the Header object, as read.
    std::array<uint8_t, 2> GetHeaderReserved() const { return m_headerReserved; }
    const FileProperties& GetFileProperties() const { return m_fileProperties; }
    const DataObjectBody& GetDataObject() const { return m_dataObject; }
    const ContentDescription& GetContent() const { return m_content; }
    const WaveFormat& GetAudioFormat() const { return m_audioFormat; }
    const BitmapInfoHeader& GetVideoFormat() const { return m_videoFormat; }
    // 1 unless the last Stream Properties object read was a video stream.
    uint32_t GetAudioFlag() const { return m_audioFlag; }
    bool HasAudioFormat() const { return m_hasAudio; }
    bool HasVideoFormat() const { return m_hasVideo; }
    // "name\ndescription" per Codec List entry, in file order.
    const std::vector<std::string>& GetAudioCodecs() const { return m_audioCodecs; }
    const std::vector<std::string>& GetVideoCodecs() const { return m_videoCodecs; }
    const std::vector<AsfObjectEntry>& GetObjects() const { return m_objects; }

private:
    void Reset();
    void ReadKeptBody(ByteSource& source, uint64_t at, uint64_t length,
                      std::vector<uint8_t>& body) const;
    void ReadContentDescription(std::span<const uint8_t> body);
    void ReadStreamProperties(std::span<const uint8_t> body);
    void ReadCodecList(std::span<const uint8_t> body);

    std::filesystem::path m_path;
    uint64_t m_fileSize = 0;
    uint32_t m_headerObjectCount = 0;
    std::array<uint8_t, 2> m_headerReserved{};
    FileProperties m_fileProperties;
    ContentDescription m_content;
    WaveFormat m_audioFormat;
    uint32_t m_audioFlag = 1;
    bool m_hasAudio = false;
    bool m_hasVideo = false;
    BitmapInfoHeader m_videoFormat;
    DataObjectBody m_dataObject;
    std::vector<std::string> m_audioCodecs;
    std::vector<std::string> m_videoCodecs;
    std::vector<AsfObjectEntry> m_objects;
};

}  // namespace tapewell
