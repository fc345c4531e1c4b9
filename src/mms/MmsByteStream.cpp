#include "mms/MmsByteStream.h"

#include <algorithm>

namespace tapewell {

ReceiveEnd ReceiveExact(MmsByteStream& stream, std::span<uint8_t> buffer, size_t* received) {
    size_t done = 0;
    ReceiveEnd end = ReceiveEnd::Complete;
    while (done < buffer.size()) {
        const ssize_t got = stream.Receive(buffer.subspan(done));
        if (got <= 0) {
            end = got == 0 ? ReceiveEnd::Closed : ReceiveEnd::Failed;
            break;
        }
        done += static_cast<size_t>(got);
    }
    if (received) {
        *received = done;
    }
    return end;
}

}  // namespace tapewell
