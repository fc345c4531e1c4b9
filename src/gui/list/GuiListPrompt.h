#pragma once

#include <QObject>
#include <QString>

#include <functional>

#include "playlist/ListPrompt.h"

class QWidget;

namespace tapewell {
class RecordList;
}

namespace tapewell::gui {

// The record list's questions for the desktop program. The list asks them
// in the middle of an operation and wants the answer at once, but the
// window never waits in a nested event loop: so the window asks first,
// through UiPrompt, and runs the operation in the answer's callback, where
// this prompt hands the list the answer already given. Outside such an
// operation it answers No to deleting and overwriting and Cancel to the
// credentials question, so nothing happens that the user did not allow.
class GuiListPrompt final : public QObject, public ListPrompt {
    Q_OBJECT
public:
    explicit GuiListPrompt(QWidget* parent);

    // "Are you sure you want to delete this item ?" (Yes / No); operation
    // runs only after Yes, and sees ConfirmDelete() answer Yes.
    void AfterDeleteQuestion(const std::function<void()>& operation);
    // The credentials question before a list file save, asked only when the
    // list holds both a user name and a password; operation runs after any
    // answer, Cancel included (the save itself then gives up).
    void AfterCredentialsQuestion(const RecordList& list, const std::function<void()>& operation);
    // Runs operation with a fixed answer to the credentials question, asking
    // nothing (an exit by signal, a save in the background).
    void WithCredentialsAnswer(Answer answer, const std::function<void()>& operation);
    // "%s \n\n File exist. Overwrite?" for path (Yes / No); operation runs
    // after either answer and sees ConfirmOverwrite give it for that path
    // only (after No the writer declines by itself).
    void AfterOverwriteQuestion(const QString& path, const std::function<void()>& operation);

    bool ConfirmDelete() override;
    Answer AskSaveCredentials() override;
    bool ConfirmOverwrite(const std::string& path) override;

private:
    QWidget* m_parent;
    bool m_deleteAnswer = false;
    Answer m_credentialsAnswer = Answer::Cancel;
    bool m_overwriteAnswer = false;
    QString m_overwritePath;  // the file the overwrite answer was given for
};

}  // namespace tapewell::gui
