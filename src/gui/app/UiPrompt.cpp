#include "gui/app/UiPrompt.h"

#include <QCoreApplication>
#include <QDialog>
#include <QPushButton>

namespace tapewell::gui {
namespace {

std::unique_ptr<UiPrompt>& Installed() {
    static std::unique_ptr<UiPrompt> prompt;
    return prompt;
}

QString BoxTitle() {
    return QCoreApplication::translate("CMainFrame", "Tapewell");
}

}  // namespace

UiPrompt& UiPrompt::Instance() {
    std::unique_ptr<UiPrompt>& prompt = Installed();
    if (!prompt) {
        prompt = std::make_unique<MessageBoxPrompt>();
    }
    return *prompt;
}

void UiPrompt::Install(std::unique_ptr<UiPrompt> prompt) {
    Installed() = std::move(prompt);
}

void MessageBoxPrompt::Ask(QWidget* parent, const QString& text,
                           QMessageBox::StandardButtons buttons, AnswerCallback done) {
    auto* box = new QMessageBox(QMessageBox::Question, BoxTitle(), text, buttons, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(box, &QMessageBox::finished, box, [box, done = std::move(done)](int) {
        const QMessageBox::StandardButton answer = box->clickedButton() != nullptr
                                                       ? box->standardButton(box->clickedButton())
                                                       : QMessageBox::Cancel;
        if (done) {
            done(answer);
        }
    });
    box->open();
}

void MessageBoxPrompt::Tell(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                            std::function<void()> done) {
    auto* box = new QMessageBox(icon, BoxTitle(), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(box, &QMessageBox::finished, box, [done = std::move(done)](int) {
        if (done) {
            done();
        }
    });
    box->open();
}

void MessageBoxPrompt::Open(QDialog* dialog, DialogCallback done) {
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::finished, dialog, [done = std::move(done)](int result) {
        if (done) {
            done(result);
        }
    });
    dialog->open();
}

}  // namespace tapewell::gui
