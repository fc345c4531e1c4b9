#pragma once

#include <string>
#include <vector>

#include "playlist/ListPrompt.h"

namespace tapewell::test {

// Answers the list's questions as the test says and counts them.
class ScriptedListPrompt final : public ListPrompt {
public:
    bool deleteAnswer = true;
    Answer credentialsAnswer = Answer::Yes;
    bool overwriteAnswer = false;
    int deleteQuestions = 0;
    int credentialsQuestions = 0;
    std::vector<std::string> overwritePaths;

    bool ConfirmDelete() override {
        ++deleteQuestions;
        return deleteAnswer;
    }
    Answer AskSaveCredentials() override {
        ++credentialsQuestions;
        return credentialsAnswer;
    }
    bool ConfirmOverwrite(const std::string& path) override {
        overwritePaths.push_back(path);
        return overwriteAnswer;
    }
};

}  // namespace tapewell::test
