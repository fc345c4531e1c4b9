#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QWidget;

namespace tapewell {
class AppSettings;
class ProfileStore;
class RecentUrls;
class RecordList;
}  // namespace tapewell

namespace tapewell::gui {

class ActionTable;
class GuiListPrompt;
class ListFileCommands;
class RecordCommands;

// The record list's commands in the desktop program: opening files,
// addresses and recent entries into the list, editing rows, the list and
// playlist saves, and the enabled state of every list command. It holds no
// list logic of its own: the edits are the core's, and the dialogs only
// collect what the user typed. Lives on the UI thread.
class ListCommands : public QObject {
    Q_OBJECT
public:
    // What the window supplies: opening one path or address the way every
    // open does (its messages included; returns the row or -1), playing a
    // row, stopping playback, and learning which rows a delete removed (by
    // address).
    struct Hooks {
        std::function<int(const std::string& address, const std::string& name,
                          const std::string& option)>
            open;
        std::function<void(int row)> play;
        std::function<void()> stopPlayback;
        std::function<void(const std::vector<std::string>& addresses)> rowsDeleted;
    };

    // Everything given must outlive this object; window parents the dialogs.
    ListCommands(RecordList& list, RecentUrls& recent, ProfileStore& profile,
                 const AppSettings& settings, ActionTable& actions, RecordCommands& recording,
                 GuiListPrompt& prompt, Hooks hooks, QWidget* window);
    ~ListCommands() override;

    // "&Open..." (clear) and "Open As(&A)...": a file dialog, then every
    // chosen file that exists is opened; the first one's row is selected
    // and played.
    void OpenFiles(bool clear);
    // "&URL Open...": the URL Open dialog; its addresses become rows.
    void OpenUrls();
    // Recent entry index (0 to 40), when there is one.
    void OpenRecent(int index);

    void ModifyUrl();
    void ModifyFileName();
    void SetAuthentication();
    void EditInfo();
    void CopyToClipboard();
    // The ASF Manager on page (cut, images, information) for the selected
    // row's file when it is a local one.
    void OpenAsfManager(int page);
    void DeleteSelected();
    void DeleteAll();

    // Record and Record Stop for row (the selection's first row): a plain
    // local media file cannot be recorded; otherwise Record while fewer
    // jobs run than "Concurrent Recordings" allows, Record Stop while
    // something records.
    void UpdateRecordButtons(int row);
    // Every list command's enabled state, from the selection, the jobs, the
    // address check and the player.
    void UpdateActionStates();
    // A double click: a plain local media file plays, any other row starts
    // recording, or stops every recording while its own runs.
    void RowDoubleClicked(int row);

    // The menus' pieces.
    QMenu* IbhSaveMenu() const { return m_ibhSaveMenu; }
    // Puts the recent entries (as many as there are) at the end of menu
    // after a separator, replacing those of the last call.
    void FillRecentEntries(QMenu* menu);
    ListFileCommands& Files() { return *m_files; }

    // The filter of the file dialog of the open commands.
    static QString OpenFilter();

Q_SIGNALS:
    // UpdateActionStates ran: commands kept elsewhere may follow the same
    // selection and jobs.
    void ActionStatesUpdated();

private:
    void CreateActions(ActionTable& actions);
    QAction* Connect(ActionTable& actions, int id, const QString& text,
                     const std::function<void()>& run, const QKeySequence& shortcut = {});
    void OpenChosenFiles(bool clear, const QStringList& paths);
    void OpenDialogAddresses(int code, const QStringList& addresses);
    void SelectAndPlay(int row);
    // Runs a delete and tells the rowsDeleted hook which rows it removed.
    void DeleteAndReport(const std::function<void()>& deletion);
    bool Idle() const;
    // The first selected row's address; empty without a selection.
    std::string SelectedAddress() const;

    RecordList& m_list;
    RecentUrls& m_recent;
    ProfileStore& m_profile;
    const AppSettings& m_settings;
    ActionTable& m_actions;
    RecordCommands& m_recording;
    GuiListPrompt& m_prompt;
    Hooks m_hooks;
    QWidget* m_window;
    ListFileCommands* m_files;
    QMenu* m_ibhSaveMenu = nullptr;
    QList<QAction*> m_recentEntries;
};

}  // namespace tapewell::gui
