#pragma once

#include <functional>
#include <string>

namespace tapewell {

// The four levels of the HTTP streaming engine's messages.
enum class MessageLevel { Progress, Notice, Warning, Error };

// "PROGRESS", "NOTICE", "WARNING" or "ERROR".
const char* MessageLevelName(MessageLevel level);

// Where the HTTP streaming engine's messages go. Every message is formatted
// into a bounded text (FormatText) and handed to the callback, if any;
// notice, warning and error texts also replace LastMessage, progress texts
// do not. Used on the engine's worker thread only; the callback runs there.
class EngineMessages {
public:
    using Callback = std::function<void(MessageLevel, const std::string&)>;

    void SetCallback(Callback callback) { m_callback = std::move(callback); }
    const std::string& LastMessage() const { return m_lastMessage; }

    void Progress(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Notice(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Warning(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Error(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    void Emit(MessageLevel level, std::string text);

    Callback m_callback;
    std::string m_lastMessage;
};

}  // namespace tapewell
