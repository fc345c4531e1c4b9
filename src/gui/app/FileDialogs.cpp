#include "gui/app/FileDialogs.h"

#include <QFileDialog>
#include <QPointer>

#include "gui/app/UiPrompt.h"

namespace tapewell::gui {
namespace {

QFileDialog* NewDialog(QWidget* parent, const PathDialog& request) {
    auto* dialog = new QFileDialog(parent, request.caption, request.startFolder, request.filter);
    dialog->setObjectName(request.objectName);
    switch (request.choice) {
        case PathChoice::kOpenFile:
            dialog->setAcceptMode(QFileDialog::AcceptOpen);
            dialog->setFileMode(QFileDialog::ExistingFile);
            break;
        case PathChoice::kOpenFiles:
            dialog->setAcceptMode(QFileDialog::AcceptOpen);
            dialog->setFileMode(QFileDialog::ExistingFiles);
            break;
        case PathChoice::kSaveFile:
            dialog->setAcceptMode(QFileDialog::AcceptSave);
            dialog->setFileMode(QFileDialog::AnyFile);
            dialog->setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
            break;
        case PathChoice::kFolder:
            dialog->setFileMode(QFileDialog::Directory);
            dialog->setOption(QFileDialog::ShowDirsOnly);
            break;
    }
    if (!request.defaultSuffix.isEmpty()) {
        dialog->setDefaultSuffix(request.defaultSuffix);
    }
    if (!request.startFile.isEmpty()) {
        dialog->selectFile(request.startFile);
    }
    return dialog;
}

}  // namespace

void ChoosePaths(QWidget* parent, const PathDialog& request, const QObject* context,
                 std::function<void(const QStringList& paths)> done) {
    QFileDialog* dialog = NewDialog(parent, request);
    QPointer<QFileDialog> shown(dialog);
    QPointer<const QObject> alive(context);
    UiPrompt::Instance().Open(dialog, [shown, alive, done = std::move(done)](int result) {
        if (!alive) {
            return;
        }
        QStringList paths;
        if (shown && result == QDialog::Accepted) {
            for (const QString& path : shown->selectedFiles()) {
                if (!path.isEmpty()) {
                    paths << path;
                }
            }
        }
        done(paths);
    });
}

}  // namespace tapewell::gui
