#include "GuiTestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QThread>

namespace tapewell::test {

void ScriptedUiPrompt::Ask(QWidget*, const QString& text, QMessageBox::StandardButtons,
                           AnswerCallback done) {
    questions << text;
    Answer answer = QMessageBox::Yes;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    }
    if (done) {
        done(answer);
    }
}

void ScriptedUiPrompt::Tell(QWidget*, QMessageBox::Icon, const QString& text,
                            std::function<void()> done) {
    messages << text;
    if (done) {
        done();
    }
}

void ScriptedUiPrompt::Open(QDialog* dialog, DialogCallback done) {
    const int result = dialogHandler ? dialogHandler(dialog) : QDialog::Rejected;
    if (done) {
        done(result);
    }
    dialog->deleteLater();
}

ScriptedUiPrompt& InstallScriptedPrompt() {
    auto prompt = std::make_unique<ScriptedUiPrompt>();
    ScriptedUiPrompt& ref = *prompt;
    gui::UiPrompt::Install(std::move(prompt));
    return ref;
}

bool WaitFor(const std::function<bool()>& pred, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired()) {
            return pred();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

}  // namespace tapewell::test
