// Runs the chunk loop of a stream exchange on arbitrary bytes and writes
// into a file in memory, then updates its header. The first byte chooses
// the receive size and the exchange (resuming, time limit, the audio
// streams alone); a "$H" chunk with a live header in the input takes the
// live repair path.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/Limits.h"
#include "common/OutputFile.h"
#include "engine/EngineEvents.h"
#include "http/BufferStreamSource.h"
#include "http/ChunkReceiver.h"
#include "http/EngineMessages.h"
#include "http/StreamReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tapewell;
    if (size == 0) {
        return 0;
    }
    const uint8_t mode = data[0];
    BufferStreamSource source(std::span(data + 1, size - 1), 1 + (mode & 0x0F) * 400);
    EngineMessages messages;
    StreamReader reader(
        source, [] { return false; }, messages);
    std::vector<uint8_t> buffer(limits::kHttpBufferBytes);
    EngineEvents events;
    uint32_t bytesWritten = 0;
    MemoryOutputFile out;
    out.SetCapacity(64u << 20);
    ChunkReceiver receiver(
        reader, buffer, messages, events, [] { return false; }, bytesWritten);
    ChunkReceiver::Job job;
    job.out = &out;
    job.resumeBytes = (mode & 0x10) != 0 ? 1 : 0;
    job.maxMinutes = (mode & 0x20) != 0 ? 1 : 0;
    StreamChoice audio;
    audio.kind = StreamChoice::Kind::Audio;
    job.streams = (mode & 0x40) != 0 ? &audio : nullptr;
    StreamInfo info;
    receiver.Run(job, info);
    receiver.UpdateHeader(out, info);
    return 0;
}
