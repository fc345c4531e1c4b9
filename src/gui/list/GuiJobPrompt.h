#pragma once

#include <QCoreApplication>
#include <QWidget>

#include <functional>
#include <memory>

#include "engine/JobPrompt.h"

class QDialog;

namespace tapewell::gui {

// One recording job's questions as the desktop program's dialogs: the
// file-exists box, the resume box, the credentials dialog and a Save As
// file dialog, opened over the main window through UiPrompt.
//
// Threads: made and destroyed on the UI thread. A question normally comes
// from the job's worker thread: it is posted to the UI thread and the worker
// waits for the answer, while the UI thread goes on (it may be joining that
// very worker, so the worker never waits on the UI thread by a blocking
// call). A question asked on the UI thread itself (the login check of a
// list file being opened) opens its dialog and waits in a local event loop,
// as a modal dialog does. Cancel may come from any thread.
//
// Several jobs may ask at the same moment: their questions take turns, one
// dialog open at a time in the order asked, and every dialog's title names
// the row its job records.
class GuiJobPrompt final : public JobPrompt {
    Q_DECLARE_TR_FUNCTIONS(GuiJobPrompt)
public:
    explicit GuiJobPrompt(QWidget* parent);
    // Closes a dialog still open.
    ~GuiJobPrompt() override;
    GuiJobPrompt(const GuiJobPrompt&) = delete;
    GuiJobPrompt& operator=(const GuiJobPrompt&) = delete;

    // UI thread: the row this prompt's job records (its File cell or
    // address), named in the title of every dialog opened from now on;
    // set when the job is made.
    void SetRowLabel(const QString& label);

    std::optional<Credentials> AskCredentials(const std::string& site, const std::string& user,
                                              const std::string& password) override;
    bool AskResume(const std::filesystem::path& path) override;
    ExistsChoice AskFileExists(const std::filesystem::path& path) override;
    std::optional<std::filesystem::path> AskSaveAsPath(const std::filesystem::path& path) override;

    // The question waiting now, and every later one, gets its default
    // answer at once; an open dialog closes.
    void Cancel() override;

private:
    struct Shared;
    using Builder = std::function<QDialog*(QWidget* parent)>;
    template <typename T>
    using Reader = std::function<T(QDialog* dialog, int result)>;

    template <typename T>
    T Ask(T fallback, Builder build, Reader<T> read);

    std::unique_ptr<QObject> m_context;  // lives on the UI thread; posted questions run on it
    std::shared_ptr<Shared> m_shared;
};

}  // namespace tapewell::gui
