#include "gui/list/ListFileCommands.h"

#include <QDir>
#include <QFile>
#include <QPointer>

#include <optional>
#include <system_error>

#include "app/RecordList.h"
#include "gui/app/FileDialogs.h"
#include "gui/app/UiPrompt.h"
#include "gui/list/GuiListPrompt.h"
#include "playlist/AsxWriter.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"

namespace tapewell::gui {
namespace {

namespace fs = std::filesystem;

QString PathText(const fs::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

fs::path FromPathText(const QString& text) {
    return fs::path(QFile::encodeName(text).toStdString());
}

// A save dialog that starts in start's folder with its name typed in.
PathDialog SaveDialog(const QString& objectName, const QString& caption, const QString& filter,
                      const QString& suffix, const fs::path& start) {
    PathDialog request;
    request.choice = PathChoice::kSaveFile;
    request.objectName = objectName;
    request.caption = caption;
    request.filter = filter;
    request.defaultSuffix = suffix;
    if (!start.empty()) {
        request.startFolder = PathText(start.parent_path());
        request.startFile = PathText(start.filename());
    }
    return request;
}

}  // namespace

ListFileCommands::ListFileCommands(RecordList& list, ProfileStore& profile,
                                   const AppSettings& settings, GuiListPrompt& prompt,
                                   QWidget* window)
    : QObject(window),
      m_list(list),
      m_profile(profile),
      m_settings(settings),
      m_prompt(prompt),
      m_window(window) {}

void ListFileCommands::SaveIbh(ListSaveMode mode) {
    if (m_list.RowCount() == 0) {
        Q_EMIT Finished();
        return;
    }
    // The last list opened or saved; the first time, the folder that holds
    // the recordings the list points at.
    fs::path start = m_profile.GetString("Path", "ibh", "");
    if (start.empty()) {
        start = fs::path(m_settings.m_baseDirectory) / "";
    }
    const PathDialog request =
        SaveDialog("ibhSaveDialog", tr("IBH Save"), tr("IBH Files (*.ibh)"), "ibh", start);
    ChoosePaths(m_window, request, this, [this, mode](const QStringList& paths) {
        if (paths.isEmpty()) {
            Q_EMIT Finished();
        } else {
            WriteIbh(FromPathText(paths.front()), mode);
        }
    });
}

void ListFileCommands::WriteIbh(const fs::path& path, ListSaveMode mode) {
    QPointer<ListFileCommands> self(this);
    m_prompt.AfterCredentialsQuestion(m_list, [self, path, mode] {
        if (!self) {
            return;
        }
        const ErrorOr<ListSaveResult> saved =
            SaveListFile(self->m_list, path, mode, &self->m_prompt);
        if (!saved) {
            self->ReportFailure(
                tr("The list could not be saved to %1:\n%2")
                    .arg(PathText(path), QString::fromStdString(saved.error().message)));
            return;
        }
        if (*saved == ListSaveResult::Saved) {
            // Only where the dialog should start next time; a profile that
            // cannot be written costs the user nothing else.
            (void)self->m_profile.WriteString("Path", "ibh", path.string());
        }
        Q_EMIT self->Finished();
    });
}

void ListFileCommands::SaveAsx() {
    const int row = m_list.FirstSelectedRow();
    if (row < 0 || row >= m_list.RowCount()) {
        Q_EMIT Finished();
        return;
    }
    std::string name = m_list.GetCellText(row, kColFile);
    ReplaceReservedFileNameChars(name);
    if (name.empty()) {
        SaveAsxAs();
        return;
    }
    WriteAsxAsking(AsxPathFor(AsxFolder(), name), name, m_list.GetCellText(row, kColOriginalFile));
}

void ListFileCommands::SaveAsxAs() {
    const int row = m_list.FirstSelectedRow();
    if (row < 0 || row >= m_list.RowCount()) {
        Q_EMIT Finished();
        return;
    }
    std::string name = m_list.GetCellText(row, kColFile);
    ReplaceReservedFileNameChars(name);
    const std::string address = m_list.GetCellText(row, kColOriginalFile);
    PathDialog request = SaveDialog("asxSaveAsDialog", tr("ASX Save As"), tr("asx Files (*.asx)"),
                                    "asx", AsxPathFor(AsxFolder(), name));
    // The writer asks before it replaces a file; a second question from
    // the dialog would ask the same thing twice.
    request.confirmOverwrite = false;
    ChoosePaths(m_window, request, this, [this, name, address](const QStringList& paths) {
        if (paths.isEmpty()) {
            Q_EMIT Finished();
        } else {
            WriteAsxAsking(FromPathText(paths.front()), name, address);
        }
    });
}

void ListFileCommands::WriteAsxAsking(const fs::path& path, const std::string& title,
                                      const std::string& address) {
    std::error_code error;
    if (!fs::exists(path, error)) {
        WriteAsxNow(path, title, address);
        return;
    }
    QPointer<ListFileCommands> self(this);
    // The prompt matches the answer to this exact text of the path.
    m_prompt.AfterOverwriteQuestion(QString::fromStdString(path.string()),
                                    [self, path, title, address] {
                                        if (self) {
                                            self->WriteAsxNow(path, title, address);
                                        }
                                    });
}

void ListFileCommands::WriteAsxNow(const fs::path& path, const std::string& title,
                                   const std::string& address) {
    const ErrorOr<AsxWriteResult> written = WriteAsx(path, title, address, &m_prompt);
    if (!written) {
        ReportFailure(tr("The playlist could not be saved to %1:\n%2")
                          .arg(PathText(path), QString::fromStdString(written.error().message)));
        return;
    }
    Q_EMIT Finished();
}

void ListFileCommands::ReportFailure(const QString& text) {
    UiPrompt::Instance().Tell(m_window, QMessageBox::Warning, text);
    Q_EMIT Finished();
}

fs::path ListFileCommands::AsxFolder() const {
    // The base folder may not exist yet on a fresh setup; recordings create
    // it too. Should that fail, the write reports why.
    const fs::path folder = m_settings.m_baseDirectory;
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    return folder;
}

}  // namespace tapewell::gui
