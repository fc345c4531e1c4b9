#include "gui/list/GuiJobPrompt.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

#include "gui/app/UiPrompt.h"
#include "gui/list/CredentialsDialog.h"
#include "gui/list/FileExistsDialog.h"

namespace tapewell::gui {
namespace {

QString PathText(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

std::filesystem::path FromPathText(const QString& text) {
    return std::filesystem::path(QFile::encodeName(text).toStdString());
}

// Job questions waiting for their turn: however many jobs ask at once,
// one dialog is open at a time, in the order the questions came. UI thread
// only. An entry opens its dialog and returns true, or returns false when
// its question no longer needs asking (its prompt was cancelled); it calls
// `ended` once when its dialog has gone.
class QuestionQueue final : public QObject {
public:
    using Opener = std::function<bool(std::function<void()> ended)>;

    static QuestionQueue& Instance() {
        static QPointer<QuestionQueue> queue;
        if (!queue) {
            queue = new QuestionQueue(QCoreApplication::instance());
        }
        return *queue;
    }

    void Add(Opener open) {
        m_waiting.push_back(std::move(open));
        OpenNext();
    }

private:
    using QObject::QObject;

    void OpenNext() {
        while (!m_open && !m_waiting.empty()) {
            Opener open = std::move(m_waiting.front());
            m_waiting.pop_front();
            // The next dialog opens from the event loop, once the last one
            // has closed, not from inside its ending.
            m_open = open([self = QPointer<QuestionQueue>(this)] {
                QMetaObject::invokeMethod(
                    self.data(),
                    [self] {
                        if (self) {
                            self->m_open = false;
                            self->OpenNext();
                        }
                    },
                    Qt::QueuedConnection);
            });
        }
    }

    std::deque<Opener> m_waiting;
    bool m_open = false;
};

}  // namespace

// What the worker waiting for an answer shares with the UI thread and with
// Cancel. Held by every posted question, so that a question still queued
// when the prompt goes finds it and does nothing.
struct GuiJobPrompt::Shared {
    std::mutex lock;
    std::condition_variable changed;
    bool cancelled = false;  // under lock
    // UI thread only:
    QPointer<QWidget> parent;
    QPointer<QDialog> dialog;     // the open dialog
    QPointer<QEventLoop> uiWait;  // a question asked on the UI thread waits in it
    QString rowLabel;

    bool Cancelled() {
        std::lock_guard<std::mutex> guard(lock);
        return cancelled;
    }
    // UI thread: the open dialog closes, a UI-thread question stops waiting.
    void CloseDialog() {
        if (dialog) {
            dialog->reject();
        }
        if (uiWait) {
            uiWait->quit();
        }
    }
};

GuiJobPrompt::GuiJobPrompt(QWidget* parent)
    : m_context(std::make_unique<QObject>()), m_shared(std::make_shared<Shared>()) {
    m_shared->parent = parent;
}

GuiJobPrompt::~GuiJobPrompt() {
    {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        m_shared->cancelled = true;
    }
    m_shared->changed.notify_all();
    m_shared->CloseDialog();
}

void GuiJobPrompt::SetRowLabel(const QString& label) {
    m_shared->rowLabel = label;
}

void GuiJobPrompt::Cancel() {
    {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        m_shared->cancelled = true;
    }
    m_shared->changed.notify_all();
    QMetaObject::invokeMethod(
        m_context.get(), [shared = m_shared] { shared->CloseDialog(); }, Qt::AutoConnection);
}

template <typename T>
T GuiJobPrompt::Ask(T fallback, Builder build, Reader<T> read) {
    const std::shared_ptr<Shared> shared = m_shared;
    auto answer = std::make_shared<std::optional<T>>();  // under shared->lock
    auto open = [shared, answer, build = std::move(build),
                 read = std::move(read)](std::function<void()> ended) {
        if (shared->Cancelled()) {
            return false;
        }
        QDialog* dialog = build(shared->parent.data());
        if (!shared->rowLabel.isEmpty()) {
            // "Tapewell - news.asf": which of the running jobs is asking.
            dialog->setWindowTitle(tr("%1 - %2").arg(dialog->windowTitle(), shared->rowLabel));
        }
        shared->dialog = dialog;
        // A dialog destroyed unanswered (its window went) ends its turn too.
        auto once = std::make_shared<std::function<void()>>(std::move(ended));
        auto end = [once] {
            if (*once) {
                std::exchange(*once, {})();
            }
        };
        QObject::connect(dialog, &QObject::destroyed, end);
        UiPrompt::Instance().Open(dialog, [shared, answer, dialog, read, end](int result) {
            T value = read(dialog, result);
            {
                std::lock_guard<std::mutex> guard(shared->lock);
                *answer = std::move(value);
            }
            shared->changed.notify_all();
            if (shared->uiWait) {
                shared->uiWait->quit();
            }
            end();
        });
        return true;
    };
    const auto answered = [&] {
        std::lock_guard<std::mutex> guard(shared->lock);
        return shared->cancelled || answer->has_value();
    };

    if (QThread::currentThread() == m_context->thread()) {
        // Nobody else could answer while this thread waits on a lock: the
        // question waits for its turn and its answer in a local event loop.
        QuestionQueue::Instance().Add(std::move(open));
        if (!answered()) {
            QEventLoop loop;
            shared->uiWait = &loop;
            loop.exec();
            shared->uiWait = nullptr;
        }
    } else {
        QMetaObject::invokeMethod(
            m_context.get(),
            [open = std::move(open)]() mutable { QuestionQueue::Instance().Add(std::move(open)); },
            Qt::QueuedConnection);
        std::unique_lock<std::mutex> guard(shared->lock);
        shared->changed.wait(guard, [&] { return shared->cancelled || answer->has_value(); });
    }

    std::lock_guard<std::mutex> guard(shared->lock);
    if (shared->cancelled || !answer->has_value()) {
        return fallback;
    }
    return std::move(**answer);
}

std::optional<JobPrompt::Credentials> GuiJobPrompt::AskCredentials(const std::string& site,
                                                                   const std::string& user,
                                                                   const std::string& password) {
    using Answer = std::optional<Credentials>;
    return Ask<Answer>(
        std::nullopt,
        [site = QString::fromStdString(site), user = QString::fromStdString(user),
         password = QString::fromStdString(password)](QWidget* parent) -> QDialog* {
            return new CredentialsDialog(site, user, password, parent);
        },
        [](QDialog* dialog, int result) -> Answer {
            auto* credentials = static_cast<CredentialsDialog*>(dialog);
            if (result != QDialog::Accepted || credentials->User().isEmpty() ||
                credentials->Password().isEmpty()) {
                return std::nullopt;
            }
            return Credentials{credentials->User().toStdString(),
                               credentials->Password().toStdString(), credentials->Save()};
        });
}

bool GuiJobPrompt::AskResume(const std::filesystem::path& path) {
    return Ask<bool>(
        true,
        [text = tr("%1 \n\n File exist. Resumable?").arg(PathText(path))](QWidget* parent) {
            auto* box = new QMessageBox(QMessageBox::Question,
                                        QCoreApplication::translate("CMainFrame", "Tapewell"), text,
                                        QMessageBox::Ok | QMessageBox::Cancel, parent);
            box->setObjectName("resumeBox");
            box->setDefaultButton(QMessageBox::Ok);
            return box;
        },
        [](QDialog* dialog, int) {
            auto* box = static_cast<QMessageBox*>(dialog);
            return box->clickedButton() != nullptr &&
                   box->clickedButton() == box->button(QMessageBox::Ok);
        });
}

JobPrompt::ExistsChoice GuiJobPrompt::AskFileExists(const std::filesystem::path& path) {
    return Ask<ExistsChoice>(
        ExistsChoice{},
        [text = PathText(path)](QWidget* parent) { return new FileExistsDialog(text, parent); },
        [](QDialog* dialog, int result) {
            return static_cast<FileExistsDialog*>(dialog)->Choice(result);
        });
}

std::optional<std::filesystem::path> GuiJobPrompt::AskSaveAsPath(
    const std::filesystem::path& path) {
    using Answer = std::optional<std::filesystem::path>;
    return Ask<Answer>(
        std::nullopt,
        [text = PathText(path)](QWidget* parent) -> QDialog* {
            auto* dialog = new QFileDialog(parent, tr("Save As"), text, tr("All Files (*)"));
            dialog->setObjectName("saveAsDialog");
            dialog->setAcceptMode(QFileDialog::AcceptSave);
            dialog->setFileMode(QFileDialog::AnyFile);
            // Qt's own dialog: the same on every desktop and under the
            // offscreen platform, and it opens without a nested loop.
            dialog->setOption(QFileDialog::DontUseNativeDialog);
            dialog->setDefaultSuffix("asf");
            dialog->selectFile(text);
            return dialog;
        },
        [](QDialog* dialog, int result) -> Answer {
            const QStringList chosen = static_cast<QFileDialog*>(dialog)->selectedFiles();
            if (result != QDialog::Accepted || chosen.isEmpty() || chosen.front().isEmpty()) {
                return std::nullopt;
            }
            return FromPathText(chosen.front());
        });
}

}  // namespace tapewell::gui
