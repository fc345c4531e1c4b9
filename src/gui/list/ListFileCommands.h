#pragma once

#include <QObject>
#include <QString>

#include <filesystem>
#include <string>

#include "app/ListFiles.h"

class QWidget;

namespace tapewell {
class AppSettings;
class ProfileStore;
class RecordList;
}  // namespace tapewell

namespace tapewell::gui {

class GuiListPrompt;

// The record list's file commands: "IBH Save" in its three modes, and the
// one-entry ASX playlist of the selected row ("ASX Save(&S)", "ASX Save
// As(&A)..."). Every dialog and question opens through UiPrompt and the
// command goes on in the answer's callback, so a command returns at once
// and ends later; Finished() tells when. All on the UI thread.
class ListFileCommands : public QObject {
    Q_OBJECT
public:
    // list, profile (for ("Path","ibh")), settings (base folder) and prompt
    // outlive this; window parents the dialogs.
    ListFileCommands(RecordList& list, ProfileStore& profile, const AppSettings& settings,
                     GuiListPrompt& prompt, QWidget* window);

    void SaveIbh(ListSaveMode mode);
    void SaveAsx();
    void SaveAsxAs();

Q_SIGNALS:
    // After each command ends: saved, declined, failed or cancelled.
    void Finished();

private:
    void WriteIbh(const std::filesystem::path& path, ListSaveMode mode);
    void WriteAsxAsking(const std::filesystem::path& path, const std::string& title,
                        const std::string& address);
    void WriteAsxNow(const std::filesystem::path& path, const std::string& title,
                     const std::string& address);
    // Shows a failed write with its reason, then ends the command.
    void ReportFailure(const QString& text);
    std::filesystem::path AsxFolder() const;

    RecordList& m_list;
    ProfileStore& m_profile;
    const AppSettings& m_settings;
    GuiListPrompt& m_prompt;
    QWidget* m_window;
};

}  // namespace tapewell::gui
