#include "gui/list/GuiListPrompt.h"

#include <QPointer>
#include <QWidget>

#include "app/RecordList.h"
#include "gui/app/UiPrompt.h"

namespace tapewell::gui {
namespace {

// Sets an answer for the length of one operation and puts the previous one
// back afterwards, so that the list never sees an answer nobody gave.
template <typename T>
void RunWithAnswer(T& slot, T answer, const std::function<void()>& operation) {
    const T previous = slot;
    slot = answer;
    if (operation) {
        operation();
    }
    slot = previous;
}

ListPrompt::Answer FromButton(QMessageBox::StandardButton button) {
    switch (button) {
        case QMessageBox::Yes:
            return ListPrompt::Answer::Yes;
        case QMessageBox::No:
            return ListPrompt::Answer::No;
        default:
            return ListPrompt::Answer::Cancel;
    }
}

}  // namespace

GuiListPrompt::GuiListPrompt(QWidget* parent) : QObject(parent), m_parent(parent) {}

void GuiListPrompt::AfterDeleteQuestion(const std::function<void()>& operation) {
    QPointer<GuiListPrompt> self(this);
    UiPrompt::Instance().Ask(m_parent, tr("Are you sure you want to delete this item ?"),
                             QMessageBox::Yes | QMessageBox::No,
                             [self, operation](UiPrompt::Answer answer) {
                                 if (self && answer == QMessageBox::Yes) {
                                     RunWithAnswer(self->m_deleteAnswer, true, operation);
                                 }
                             });
}

void GuiListPrompt::AfterCredentialsQuestion(const RecordList& list,
                                             const std::function<void()>& operation) {
    if (list.UserName().empty() || list.Password().empty()) {
        // The save will not ask: nothing of the credentials would be written.
        if (operation) {
            operation();
        }
        return;
    }
    QPointer<GuiListPrompt> self(this);
    UiPrompt::Instance().Ask(m_parent, tr("Are you sure you want to save ID and Password?"),
                             QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                             [self, operation](UiPrompt::Answer answer) {
                                 if (self) {
                                     self->WithCredentialsAnswer(FromButton(answer), operation);
                                 }
                             });
}

void GuiListPrompt::WithCredentialsAnswer(Answer answer, const std::function<void()>& operation) {
    RunWithAnswer(m_credentialsAnswer, answer, operation);
}

void GuiListPrompt::AfterOverwriteQuestion(const QString& path,
                                           const std::function<void()>& operation) {
    QPointer<GuiListPrompt> self(this);
    UiPrompt::Instance().Ask(
        m_parent, tr("%1 \n\n File exist. Overwrite?").arg(path),
        QMessageBox::Yes | QMessageBox::No, [self, path, operation](UiPrompt::Answer answer) {
            if (!self) {
                return;
            }
            const QString previousPath = self->m_overwritePath;
            self->m_overwritePath = path;
            RunWithAnswer(self->m_overwriteAnswer, answer == QMessageBox::Yes, operation);
            self->m_overwritePath = previousPath;
        });
}

bool GuiListPrompt::ConfirmDelete() {
    return m_deleteAnswer;
}

ListPrompt::Answer GuiListPrompt::AskSaveCredentials() {
    return m_credentialsAnswer;
}

bool GuiListPrompt::ConfirmOverwrite(const std::string& path) {
    // A Yes given for one file does not replace another one.
    return m_overwriteAnswer && QString::fromStdString(path) == m_overwritePath;
}

}  // namespace tapewell::gui
