// Parses arbitrary bytes as an ASF file and touches what the parse kept.
#include <cstddef>
#include <cstdint>

#include "asf/AsfInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tapewell::MemorySource source({data, size});
    tapewell::AsfInfo info;
    if (info.Parse(source)) {
        info.FindObject(tapewell::guids::kSimpleIndex);
        (void)info.GetDurationSeconds();
        (void)info.GetVideoFormat().CompressionText();
    }
    return 0;
}
