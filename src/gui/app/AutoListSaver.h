#pragma once

#include <QObject>
#include <QTimer>

#include <filesystem>
#include <string>

#include "playlist/ListPrompt.h"

namespace tapewell {
class RecordList;
}

namespace tapewell::gui {

class GuiListPrompt;

// The automatic list: the record list kept in a file of its own while
// "Save Play List" is on, loaded at start and saved at exit. It is also
// saved (atomically) within a second of every change, so a crash or a power
// cut loses at most the last moments of list edits.
//
// Those background saves ask nothing: they keep the user name and password
// in the file only when the file already held exactly these at start (the
// user agreed to store them once); the question itself is asked at exit.
class AutoListSaver : public QObject {
    Q_OBJECT
public:
    static constexpr int kSaveDelayMs = 1000;

    AutoListSaver(RecordList& list, GuiListPrompt& prompt, std::filesystem::path path,
                  QObject* parent = nullptr);

    const std::filesystem::path& Path() const { return m_path; }
    void SetEnabled(bool on);
    bool IsEnabled() const { return m_enabled; }

    // Appends the file's rows (when there is a file). A file that exists
    // but cannot be read is moved aside (SetAsideName) so that the next save
    // does not replace the user's only copy; false with the reason in *error.
    // A file cut short gives the rows it holds whole, and a copy of it is
    // set aside as well before the next save shortens it for good; *warning
    // then says so.
    bool Load(std::string* error = nullptr, std::string* warning = nullptr);
    // Where an unreadable or cut file went ("" when it could not be set aside).
    const std::string& SetAsideName() const { return m_setAside; }
    // A change to the list: saves a moment later, while enabled.
    void ScheduleSave();
    // The exit's save: with askCredentials the credentials question is asked
    // (Cancel keeps the old file), else it is answered as the background
    // saves answer it; then done runs. While disabled the file is deleted.
    void SaveAtExit(bool askCredentials, const std::function<void()>& done);

Q_SIGNALS:
    // A save failed; the old file is still there.
    void SaveFailed(const QString& reason);

private:
    void MoveAside();
    void SetAsideCopy();
    void SaveInBackground();
    bool Save(ListPrompt::Answer credentialsAnswer);
    ListPrompt::Answer StoredCredentialsAnswer() const;

    RecordList& m_list;
    GuiListPrompt& m_prompt;
    std::filesystem::path m_path;
    QTimer m_timer;
    bool m_enabled = false;
    std::string m_storedUser;
    std::string m_storedPassword;
    std::string m_setAside;
    bool m_untouchable = false;
};

}  // namespace tapewell::gui
