#include "mms/MmsByteStream.h"

#include <algorithm>

namespace tapewell {

bool ReceiveExact(MmsByteStream& stream, std::span<uint8_t> buffer) {
    size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t got = stream.Receive(buffer.subspan(done));
        if (got <= 0) {
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

}  // namespace tapewell
