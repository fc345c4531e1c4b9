#include "HttpFaultClip.h"

#include <chrono>
#include <sstream>
#include <thread>

#include "asf/AsfObjects.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"
#include "support/TestServer.h"

namespace tapewell::test {

const TempDir& HttpFaultClip::Root() {
    static TempDir dir;
    return dir;
}

const HttpFaultClip& HttpFaultClip::Get() {
    static const HttpFaultClip clip = [] {
        AsfRecipe recipe;
        recipe.seconds = 3;
        recipe.videoBitrate = "1000k";
        return HttpFaultClip{AsfClip::Make(Root() / "clip.asf", recipe)};
    }();
    return clip;
}

std::string HttpUrl(uint16_t port, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

LoggedRecorder::LoggedRecorder(EngineEvents* events, JobPrompt* prompt)
    : CHttpRecorder(EngineOptions{}, events, prompt) {
    SetMessageCallback([this](MessageLevel, const std::string& text) { log += text + "\n"; });
}

uint64_t HeaderFileSize(const std::vector<uint8_t>& recording) {
    const int at = AsfPacketTools::FindFileProperties(recording);
    if (at < 0 || static_cast<size_t>(at) + asf::fp::kFileSize + 8 > recording.size()) {
        return 0;
    }
    return ReadLe64(&recording[static_cast<size_t>(at) + asf::fp::kFileSize]);
}

uint64_t DataObjectEnd(const std::vector<uint8_t>& recording) {
    if (recording.size() < 24) {
        return 0;
    }
    const uint64_t header = ReadLe64(&recording[16]);
    if (header > recording.size() || recording.size() - header < asf::kDataObjectHeaderSize) {
        return 0;
    }
    return header + ReadLe64(&recording[header + 16]);
}

int WaitForLines(const TestServer& server, const std::string& text, int atLeast) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int count = CountLines(server.Log(), text);
    while (count < atLeast && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        count = CountLines(server.Log(), text);
    }
    return count;
}

int CountLines(const std::string& log, const std::string& text) {
    std::istringstream in(log);
    int count = 0;
    for (std::string line; std::getline(in, line);) {
        count += line.find(text) != std::string::npos ? 1 : 0;
    }
    return count;
}

}  // namespace tapewell::test
