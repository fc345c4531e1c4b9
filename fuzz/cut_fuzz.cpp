// Cuts arbitrary bytes taken as an ASF file into memory: the whole of it,
// two seconds from its middle, and one second (start equal to end).
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "asf/AsfCutter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tapewell::MemorySource source({data, size});
    tapewell::AsfInfo info;
    if (!info.Parse(source)) {
        return 0;
    }
    const int32_t duration = std::max(info.GetDurationSeconds(), 1);
    const tapewell::AsfCutter cutter;
    tapewell::MemorySink whole;
    static_cast<void>(cutter.Cut(source, info, 0, duration, whole));
    tapewell::MemorySink middle;
    static_cast<void>(cutter.Cut(source, info, duration / 2, duration / 2 + 1, middle));
    tapewell::MemorySink second;
    static_cast<void>(cutter.Cut(source, info, duration / 2, duration / 2, second));
    return 0;
}
