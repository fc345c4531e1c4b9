// Schedule file reader: any bytes either read as plans or are refused, and
// plans that were read are written back and read again the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/RecordPlans.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto plans = tapewell::RecordPlans::ParseText(text);
    if (!plans) {
        return 0;
    }
    const auto again =
        tapewell::RecordPlans::ParseText(tapewell::RecordPlans::SerializeText(*plans));
    if (!again || *again != *plans) {
        std::abort();
    }
    return 0;
}
