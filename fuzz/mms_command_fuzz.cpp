// Reads arbitrary bytes as a stream of MMS command messages, the way the
// test server takes them off a connection.
#include <cstddef>
#include <cstdint>
#include <span>

#include "MmsMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace mms = tapewell::testserver::mms;
    std::span<const uint8_t> in(data, size);
    std::string error;
    while (in.size() >= mms::kPrefixSize) {
        auto length = mms::BodyLength(in, &error);
        if (!length || in.size() < mms::kPrefixSize + *length) {
            break;
        }
        auto command = mms::ParseCommand(in.first(mms::kPrefixSize + *length), &error);
        if (command) {
            (void)command->Text(56);
            (void)command->U32(68);
        }
        in = in.subspan(mms::kPrefixSize + *length);
    }
    return 0;
}
