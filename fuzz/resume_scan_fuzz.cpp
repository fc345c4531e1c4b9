// Runs the resume scan over arbitrary bytes taken as a partial recording.
#include <cstddef>
#include <cstdint>

#include "asf/AsfResumeScan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tapewell::MemorySource source({data, size});
    tapewell::AsfResumeScan scan;
    if (scan.Scan(source) && scan.GetResumeOffset() > size) {
        __builtin_trap();  // a resume point past the end of what is there
    }
    return 0;
}
