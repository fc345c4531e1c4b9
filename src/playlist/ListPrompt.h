#pragma once

#include <string>

namespace tapewell {

// The questions the record list and its files ask the user. The desktop
// program shows a message box, the CLI answers from its flags, tests script
// the answers. Asked on the thread that runs the list operation (the list's
// own thread).
class ListPrompt {
public:
    enum class Answer { Yes, No, Cancel };

    static constexpr const char* kDeleteQuestion = "Are you sure you want to delete this item ?";
    static constexpr const char* kSaveCredentialsQuestion =
        "Are you sure you want to save ID and Password?";
    // printf format; %s is the path.
    static constexpr const char* kOverwriteQuestion = "%s \n\n File exist. Overwrite?";

    virtual ~ListPrompt() = default;
    // kDeleteQuestion, Yes or No.
    virtual bool ConfirmDelete() = 0;
    // kSaveCredentialsQuestion, Yes, No or Cancel.
    virtual Answer AskSaveCredentials() = 0;
    // kOverwriteQuestion for path, Yes or No.
    virtual bool ConfirmOverwrite(const std::string& path) = 0;
};

}  // namespace tapewell
