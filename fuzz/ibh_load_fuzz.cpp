// Binary list files: any bytes must parse without fault, the rows the file
// stands for are never fewer than those read, and whatever a parse yields
// must be written and read back as a whole file with the same rows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/IbhFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto list = tapewell::IbhFile::Parse(std::span(data, size));
    if (!list) {
        return 0;
    }
    const auto bytes = tapewell::IbhFile::Encode(*list);
    auto again = tapewell::IbhFile::Parse(bytes);
    if (list->rowsInFile < list->records.size() || !again || again->lastRecordCut ||
        again->rowsInFile != list->records.size() ||
        again->records.size() != list->records.size() ||
        bytes.size() != tapewell::IbhFile::kHeaderBytes +
                            list->records.size() * tapewell::IbhFile::kRecordBytes) {
        std::abort();
    }
    return 0;
}
