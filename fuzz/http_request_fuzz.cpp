// Parses arbitrary bytes as the head of an HTTP request to the test server.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "HttpRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const size_t end = tapewell::testserver::FindHeadEnd(bytes);
    std::string error;
    auto request =
        tapewell::testserver::ParseHttpRequest(end ? bytes.substr(0, end) : bytes, &error);
    if (request) {
        (void)request->Header("Authorization");
    }
    return 0;
}
