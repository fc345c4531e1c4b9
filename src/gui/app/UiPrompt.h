#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>
#include <memory>

class QDialog;
class QWidget;

namespace tapewell::gui {

// The one way the program opens a message, a question or a modal dialog.
// Nothing blocks: a question is shown with open() and its answer arrives in
// a callback on the UI thread, so no caller sits in a nested exec() loop.
// Tests install a scripted prompt that answers at once.
class UiPrompt {
public:
    using Answer = QMessageBox::StandardButton;
    using AnswerCallback = std::function<void(Answer)>;
    using DialogCallback = std::function<void(int result)>;

    virtual ~UiPrompt() = default;

    // A question with the given buttons, window-modal over parent; done gets
    // the button chosen (Escape or closing the box gives the escape button:
    // No, else Cancel).
    virtual void Ask(QWidget* parent, const QString& text, QMessageBox::StandardButtons buttons,
                     AnswerCallback done) = 0;
    // A message with an OK button; done (may be empty) runs once it is closed.
    virtual void Tell(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                      std::function<void()> done = {}) = 0;
    // Opens a modal dialog the caller built (parented, deleted on close by
    // the prompt); done gets QDialog::Accepted, Rejected or a done() code.
    virtual void Open(QDialog* dialog, DialogCallback done) = 0;

    // The prompt in use: the message-box one unless a test installed another.
    static UiPrompt& Instance();
    // Replaces the prompt in use (nullptr: back to the message-box one).
    static void Install(std::unique_ptr<UiPrompt> prompt);
};

// Message boxes and dialogs opened with open(), answered through finished().
class MessageBoxPrompt final : public UiPrompt {
public:
    void Ask(QWidget* parent, const QString& text, QMessageBox::StandardButtons buttons,
             AnswerCallback done) override;
    void Tell(QWidget* parent, QMessageBox::Icon icon, const QString& text,
              std::function<void()> done) override;
    void Open(QDialog* dialog, DialogCallback done) override;
};

}  // namespace tapewell::gui
