#include "app/IbhFile.h"

#include <algorithm>

#include "common/ByteCursor.h"
#include "common/ByteSink.h"
#include "common/ByteSource.h"
#include "common/Limits.h"
#include "common/TextCodec.h"
#include "settings/ProfileFile.h"

namespace tapewell {
namespace {

constexpr std::string_view kTrimmed = " \t\r\n";

bool IsUtf8Continuation(uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

// The first maxChars characters of UTF-8 text.
std::string_view FirstChars(std::string_view text, size_t maxChars) {
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!IsUtf8Continuation(static_cast<uint8_t>(text[i])) && chars++ == maxChars) {
            return text.substr(0, i);
        }
    }
    return text;
}

// The field bytes of text: code page 949 when it fits, else UTF-8, cut at a
// character boundary to at most maxBytes.
std::vector<uint8_t> EncodeText(std::string_view text, size_t maxBytes) {
    if (auto cp949 = Utf8ToCp949(text)) {
        // Code page 949 lead bytes are 0x81 and up, each followed by one
        // trail byte; everything else stands alone.
        size_t end = 0;
        while (end < cp949->size()) {
            const size_t next = end + ((*cp949)[end] >= 0x81 ? 2 : 1);
            if (next > maxBytes || next > cp949->size()) {
                break;
            }
            end = next;
        }
        cp949->resize(end);
        return *cp949;
    }
    const std::string_view kept = Utf8Prefix(text, maxBytes);
    return std::vector<uint8_t>(kept.begin(), kept.end());
}

void PutText(std::vector<uint8_t>& out, size_t base, IbhFile::Field field, std::string_view text) {
    const std::vector<uint8_t> bytes = EncodeText(text, field.width - 1);
    std::copy(bytes.begin(), bytes.end(),
              out.begin() + static_cast<std::ptrdiff_t>(base + field.offset));
}

std::string GetText(std::span<const uint8_t> block, IbhFile::Field field) {
    std::span<const uint8_t> bytes = block.subspan(field.offset, field.width);
    bytes =
        bytes.first(static_cast<size_t>(std::find(bytes.begin(), bytes.end(), 0) - bytes.begin()));
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return IsValidUtf8(text) ? std::string(text) : Cp949ToUtf8(bytes);
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(kTrimmed);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kTrimmed) - first + 1);
}

// Sets what a file of fileBytes bytes stands for, a cut-off last record
// counted as a row.
void CountRows(IbhList& list, uint64_t fileBytes) {
    const uint64_t body = fileBytes - IbhFile::kHeaderBytes;
    list.lastRecordCut = body % IbhFile::kRecordBytes != 0;
    list.rowsInFile =
        static_cast<size_t>((body + IbhFile::kRecordBytes - 1) / IbhFile::kRecordBytes);
}

}  // namespace

std::string IbhFile::StoredSize(const std::string& size) {
    // The number at the start, as a C library would read it: blanks, a
    // sign, digits. A negative one marks a size that was never known.
    const size_t start = size.find_first_not_of(" \t");
    if (start != std::string::npos && size[start] == '-') {
        const size_t digits = size.find_first_not_of("0123456789", start + 1);
        const std::string_view number = std::string_view(size).substr(
            start + 1, digits == std::string::npos ? std::string::npos : digits - start - 1);
        if (number.find_first_not_of('0') != std::string_view::npos) {
            return {};
        }
    }
    return size;
}

std::vector<uint8_t> IbhFile::Encode(const IbhList& list) {
    std::vector<uint8_t> out(kHeaderBytes + list.records.size() * kRecordBytes, 0);
    PutText(out, 0, kVersion, kVersionText);
    PutText(out, 0, kProtocol, kProtocolText);
    PutText(out, 0, kTitle, FirstChars(list.title, kTitleChars));
    PutText(out, 0, kUserName, list.userName);
    PutText(out, 0, kPassword, list.password);
    size_t base = kHeaderBytes;
    for (const IbhRecord& record : list.records) {
        PutText(out, base, kSignature1, kSignatureText);
        PutText(out, base, kSignature2, kSignatureText);
        PutText(out, base, kName, record.name);
        PutText(out, base, kAddress, record.address);
        PutText(out, base, kTime, record.time);
        PutText(out, base, kSize, StoredSize(record.size));
        PutText(out, base, kInfo, FirstChars(record.info, kInfoChars));
        base += kRecordBytes;
    }
    return out;
}

std::optional<IbhList> IbhFile::Parse(std::span<const uint8_t> bytes) {
    ByteCursor cursor(bytes);
    const std::span<const uint8_t> header = cursor.ReadBytes(kHeaderBytes);
    if (!cursor.Ok() || GetText(header, kVersion) != kVersionText ||
        GetText(header, kProtocol) != kProtocolText) {
        return std::nullopt;
    }
    IbhList list;
    list.title = Trim(GetText(header, kTitle));
    list.userName = GetText(header, kUserName);
    list.password = GetText(header, kPassword);
    while (cursor.Has(kRecordBytes) && list.records.size() < limits::kMaxListFileRows) {
        const std::span<const uint8_t> record = cursor.ReadBytes(kRecordBytes);
        list.records.push_back(IbhRecord{GetText(record, kName), GetText(record, kAddress),
                                         GetText(record, kTime), GetText(record, kSize),
                                         Trim(GetText(record, kInfo))});
    }
    CountRows(list, bytes.size());
    return list;
}

ErrorOr<void> IbhFile::Save(const std::filesystem::path& path, const IbhList& list) {
    const std::vector<uint8_t> bytes = Encode(list);
    if (list.userName.empty() && list.password.empty()) {
        return WriteNewFile(path, bytes);
    }
    // The password is stored as plain text: nobody but the user may read it,
    // not even for the moment between creating the file and a chmod.
    return profile_file::ReplaceAtomically(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

ErrorOr<IbhList> IbhFile::Load(const std::filesystem::path& path) {
    ErrorOr<FileSource> source = FileSource::Open(path);
    if (!source) {
        return source.error();
    }
    constexpr size_t kMaxBytes = kHeaderBytes + limits::kMaxListFileRows * kRecordBytes;
    std::vector<uint8_t> bytes(std::min<uint64_t>(source->Size(), kMaxBytes));
    bytes.resize(source->ReadAt(0, bytes));
    std::optional<IbhList> list = Parse(bytes);
    if (!list) {
        return Error::FromMessage("not a list file");
    }
    CountRows(*list, source->Size());
    return std::move(*list);
}

}  // namespace tapewell
