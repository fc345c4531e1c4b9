// Finishes arbitrary bytes taken as a recording that just ended: whatever
// the header claims, the finish reads and writes only the file, and a file
// it calls a recording ends up described by its own header.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "asf/AsfGuids.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "asf/RecordingFinish.h"
#include "asf/ResumeRecord.h"
#include "common/LittleEndian.h"

namespace {

const std::filesystem::path& Scratch() {
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("tapewell-finish-fuzz-" + std::to_string(::getpid()) + ".asf");
    static const bool cleaned = [] {
        std::atexit([] {
            tapewell::ForgetResumeRecord(path);
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        });
        return true;
    }();
    (void)cleaned;
    return path;
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path& path = Scratch();
    tapewell::ForgetResumeRecord(path);  // the last input's, not this one's
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const tapewell::FinishReport report = tapewell::FinishRecording(path);
    if (report.kind != tapewell::FinishReport::Kind::Partial) {
        return 0;
    }
    // A stopped recording's header counts what the file holds.
    const std::vector<uint8_t> file = ReadAll(path);
    const int fp = tapewell::AsfPacketTools::FindFileProperties(file);
    if (fp < 0 ||
        static_cast<size_t>(fp) + tapewell::asf::fp::kDataPacketsCount + 8 > file.size()) {
        __builtin_trap();
    }
    const uint8_t* props = &file[static_cast<size_t>(fp)];
    if (tapewell::ReadLe64(props + tapewell::asf::fp::kFileSize) != file.size() ||
        tapewell::ReadLe64(props + tapewell::asf::fp::kDataPacketsCount) != report.packets) {
        __builtin_trap();
    }
    return 0;
}
