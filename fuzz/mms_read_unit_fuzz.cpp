// Feeds arbitrary bytes to an MMS session as the server's side of the
// connection: command messages and data packets read by ReadUnit, the
// header gathered, media packets padded and placed on the live time line,
// headers again in the middle of the media (the same layout, or another one
// going on in a next file), and the files repaired, all into memory.
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/OutputFile.h"
#include "engine/EngineEvents.h"
#include "mms/MmsBufferStream.h"
#include "mms/MmsClient.h"

namespace {

// A small disk, so that full-disk endings are reached too.
constexpr uint64_t kDiskBytes = 4u << 20;

// Gives one next file for a change of layout, then ends the recording.
class NextFileHost final : public tapewell::EngineEvents {
public:
    NextFileHost() { m_next.SetCapacity(kDiskBytes); }
    tapewell::OutputFile* OnNextOutputFile() override { return m_given++ == 0 ? &m_next : nullptr; }

private:
    tapewell::MemoryOutputFile m_next;
    int m_given = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tapewell::MmsBufferStream stream(std::span(data, size));
    tapewell::MemoryOutputFile output;
    output.SetCapacity(kDiskBytes);
    NextFileHost host;
    tapewell::MmsClient client(tapewell::EngineOptions(), &host);
    (void)client.RecordOn(stream, {.output = &output, .address = "mms://127.0.0.1/clip.asf"}, {});
    return 0;
}
