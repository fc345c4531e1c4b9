// Runs the web fetcher's writer on arbitrary bytes arriving in slices, as a
// download does, then finishes it. The first byte sets the slice size; a
// "$H" chunk first takes the framed-reply refusal, a live ASF header the
// timeline and header repair.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/OutputFile.h"
#include "http/DownloadWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tapewell;
    if (size == 0) {
        return 0;
    }
    const size_t slice = 1 + size_t{data[0]} * 97;
    MemoryOutputFile out;
    out.SetCapacity(64u << 20);
    DownloadWriter writer(out);
    for (std::span rest(data + 1, size - 1); !rest.empty();) {
        const size_t n = std::min(slice, rest.size());
        if (writer.Write(rest.first(n)) != DownloadWriter::Result::Ok) {
            return 0;
        }
        rest = rest.subspan(n);
    }
    writer.Finish();
    return 0;
}
