#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/ErrorOr.h"

namespace tapewell {

// One row as a binary list file keeps it (UTF-8 texts).
struct IbhRecord {
    std::string name;     // File
    std::string address;  // Original File
    std::string time;
    std::string size;
    std::string info;
};

struct IbhList {
    std::string title;
    std::string userName;
    std::string password;
    std::vector<IbhRecord> records;
    // The rows the file's length stands for when read: whole records plus
    // one for a cut-off last record. More than records.size() when the file
    // was cut off or holds more rows than are read.
    size_t rowsInFile = 0;
    bool lastRecordCut = false;
};

// The binary list file ".ibh": a 224-byte header and 584-byte records, no
// count and no padding. Every text sits zero-terminated in a zero-filled
// field of fixed width. Texts are written in code page 949 when every
// character has a place in it (what Korean Windows programs read), else in
// UTF-8; a field is read as UTF-8 when its bytes are valid UTF-8, else as
// code page 949. A text too long for its field is cut at a character
// boundary so that the terminating zero still fits; a field without a zero
// is read to its width only. Any thread may call these; they share nothing.
class IbhFile {
public:
    struct Field {
        size_t offset;
        size_t width;
    };
    static constexpr size_t kHeaderBytes = 224;
    static constexpr Field kVersion{0, 10};
    static constexpr Field kProtocol{10, 5};
    static constexpr Field kTitle{15, 109};
    static constexpr Field kUserName{124, 30};
    static constexpr Field kPassword{154, 30};
    static constexpr Field kReserved{184, 40};

    static constexpr size_t kRecordBytes = 584;
    static constexpr Field kSignature1{0, 50};
    static constexpr Field kSignature2{50, 50};
    static constexpr Field kName{100, 50};
    static constexpr Field kAddress{150, 275};
    static constexpr Field kTime{425, 10};
    static constexpr Field kSize{435, 53};
    static constexpr Field kInfo{488, 96};

    static constexpr const char* kVersionText = "0.1b";
    static constexpr const char* kProtocolText = "mms";
    static constexpr const char* kSignatureText = "Tapewell";
    // The writer keeps at most this many characters of the title and Info.
    static constexpr size_t kTitleChars = 100;
    static constexpr size_t kInfoChars = 94;

    static std::vector<uint8_t> Encode(const IbhList& list);
    // nullopt when the bytes do not start with a whole header of version
    // "0.1b" and protocol "mms". A last record shorter than kRecordBytes is
    // not read (rowsInFile and lastRecordCut tell of it), and at most
    // limits::kMaxListFileRows records are read.
    static std::optional<IbhList> Parse(std::span<const uint8_t> bytes);

    // Writes beside path and renames over it, so a failed save leaves the
    // old file whole. A list that holds a user name or password is written
    // as the settings are: mode 0600, synced before the rename.
    static ErrorOr<void> Save(const std::filesystem::path& path, const IbhList& list);
    // Fails when the file cannot be read or is not a list file. rowsInFile
    // counts by the file's whole length, also past what is read.
    static ErrorOr<IbhList> Load(const std::filesystem::path& path);

    // The text of a Size cell, or "" when it starts with a negative number.
    static std::string StoredSize(const std::string& size);
};

}  // namespace tapewell
