// Reads arbitrary bytes as the reply of an HTTP streaming server: the reply
// header one byte at a time through the receive ring, then the
// classification with its body read. The first byte sets how many bytes
// each receive hands out.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/Limits.h"
#include "http/BufferStreamSource.h"
#include "http/EngineMessages.h"
#include "http/HttpReply.h"
#include "http/StreamReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tapewell;
    if (size == 0) {
        return 0;
    }
    BufferStreamSource source(std::span(data + 1, size - 1), data[0]);
    EngineMessages messages;
    StreamReader reader(
        source, [] { return false; }, messages);
    std::vector<uint8_t> buffer(limits::kHttpBufferBytes);
    uint32_t bodyLength = 0;
    const ReplyHeader header = ReadReplyHeader(reader, messages);
    (void)ClassifyReply(header, reader, buffer, &bodyLength, messages);
    return 0;
}
