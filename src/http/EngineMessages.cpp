#include "http/EngineMessages.h"

#include <cstdarg>
#include <cstdio>

#include "common/Limits.h"

namespace tapewell {

namespace {

std::string FormatList(const char* format, va_list args) {
    char text[limits::kMessageTextBytes];
    const int n = std::vsnprintf(text, sizeof text, format, args);
    return n < 0 ? std::string() : std::string(text);
}

}  // namespace

const char* MessageLevelName(MessageLevel level) {
    switch (level) {
        case MessageLevel::Progress:
            return "PROGRESS";
        case MessageLevel::Notice:
            return "NOTICE";
        case MessageLevel::Warning:
            return "WARNING";
        case MessageLevel::Error:
            return "ERROR";
    }
    return "ERROR";
}

void EngineMessages::Emit(MessageLevel level, std::string text) {
    if (level != MessageLevel::Progress) {
        m_lastMessage = text;
    }
    if (m_callback) {
        m_callback(level, text);
    }
}

#define TAPEWELL_EMIT(level)                     \
    va_list args;                                \
    va_start(args, format);                      \
    std::string text = FormatList(format, args); \
    va_end(args);                                \
    Emit(level, std::move(text));

void EngineMessages::Progress(const char* format, ...) {
    TAPEWELL_EMIT(MessageLevel::Progress)
}

void EngineMessages::Notice(const char* format, ...) {
    TAPEWELL_EMIT(MessageLevel::Notice)
}

void EngineMessages::Warning(const char* format, ...) {
    TAPEWELL_EMIT(MessageLevel::Warning)
}

void EngineMessages::Error(const char* format, ...) {
    TAPEWELL_EMIT(MessageLevel::Error)
}

#undef TAPEWELL_EMIT

}  // namespace tapewell
