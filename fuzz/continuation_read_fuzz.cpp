// Reads arbitrary bytes back as a recording that broke off, as the job does
// before it reconnects into the file.
#include <cstddef>
#include <cstdint>

#include "asf/RecordingContinuation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tapewell::MemorySource source({data, size});
    const auto continuation = tapewell::ReadContinuation(source);
    if (continuation && continuation->DataEnd() > size) {
        __builtin_trap();  // packets counted past the end of what is there
    }
    return 0;
}
