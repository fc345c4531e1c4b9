// Feeds arbitrary bytes to an MMS session as the server's side of the
// connection: command messages and data packets read by ReadUnit, the
// header gathered, media packets padded and rebased, and the file repaired,
// all into memory.
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/OutputFile.h"
#include "mms/MmsBufferStream.h"
#include "mms/MmsClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A small disk, so that full-disk endings are reached too.
    constexpr uint64_t kDiskBytes = 4u << 20;
    static const tapewell::AppSettings settings;
    tapewell::MmsBufferStream stream(std::span(data, size));
    tapewell::MemoryOutputFile output;
    output.SetCapacity(kDiskBytes);
    tapewell::MmsClient client(settings, nullptr);
    (void)client.RunOn(stream, &output, "mms://127.0.0.1/clip.asf", "", 0, {});
    return 0;
}
