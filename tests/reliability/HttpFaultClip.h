#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/EngineEvents.h"
#include "engine/JobPrompt.h"
#include "http/CHttpRecorder.h"
#include "support/AsfClip.h"
#include "support/TestSupport.h"

namespace tapewell::test {

class TestServer;

// A short ASF clip (3 s, about 130 packets of 3,200 bytes) made once per test
// program in a folder of its own that the fault servers serve.
struct HttpFaultClip : AsfClip {
    static const HttpFaultClip& Get();
    // The folder the servers serve, with the clip made in it.
    static std::filesystem::path Folder() { return Get().path.parent_path(); }
    static const TempDir& Root();
};

std::string HttpUrl(uint16_t port, const std::string& path);

// The engine with its messages kept as text, one per line.
class LoggedRecorder : public CHttpRecorder {
public:
    explicit LoggedRecorder(EngineEvents* events = nullptr, JobPrompt* prompt = nullptr);
    std::string log;
};

// Events and questions as a test sees them: errors in order, and a prompt
// that answers every credentials question with the same pair.
struct FaultEvents : EngineEvents {
    std::vector<std::string> errors;
    std::vector<std::string> found;
    int authCancelled = 0;
    void OnError(const std::string& text) override { errors.push_back(text); }
    void OnUrlFound(const std::string& address) override { found.push_back(address); }
    void OnAuthCancelled() override { ++authCancelled; }
};

struct StubbornPrompt : JobPrompt {
    int asked = 0;
    std::optional<Credentials> AskCredentials(const std::string&, const std::string&,
                                              const std::string&) override {
        ++asked;
        Credentials answer;
        answer.user = "user";
        answer.password = "secret";
        return answer;
    }
};

// What the File Size field of the recording's File Properties object says.
uint64_t HeaderFileSize(const std::vector<uint8_t>& recording);
// Where the recording's Data object ends, as its size field says: the end
// of the packets, before the index a finished recording carries; 0 when
// the file has no Data object after its header.
uint64_t DataObjectEnd(const std::vector<uint8_t>& recording);

// How many lines of the server's log contain the text.
int CountLines(const std::string& log, const std::string& text);
// The same, once at least `atLeast` lines are there or 10 s have passed
// (the server logs a client's leaving when its next send fails).
int WaitForLines(const TestServer& server, const std::string& text, int atLeast);

}  // namespace tapewell::test
