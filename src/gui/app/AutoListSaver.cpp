#include "gui/app/AutoListSaver.h"

#include <system_error>

#include "app/ListFiles.h"
#include "app/RecordList.h"
#include "common/SetAside.h"
#include "gui/list/GuiListPrompt.h"

namespace tapewell::gui {

AutoListSaver::AutoListSaver(RecordList& list, GuiListPrompt& prompt, std::filesystem::path path,
                             QObject* parent)
    : QObject(parent), m_list(list), m_prompt(prompt), m_path(std::move(path)) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(kSaveDelayMs);
    connect(&m_timer, &QTimer::timeout, this, &AutoListSaver::SaveInBackground);
}

void AutoListSaver::SetEnabled(bool on) {
    m_enabled = on;
    if (!on) {
        m_timer.stop();
    }
}

bool AutoListSaver::Load(std::string* error, std::string* warning) {
    std::error_code ignored;
    if (!std::filesystem::exists(m_path, ignored)) {
        return true;
    }
    const ErrorOr<ListLoadResult> result = LoadListFile(m_list, m_path);
    if (!result) {
        if (error != nullptr) {
            *error = result.error().message;
        }
        MoveAside();
        return false;
    }
    m_storedUser = m_list.UserName();
    m_storedPassword = m_list.Password();
    if (!result->warning.empty()) {
        SetAsideCopy();
        if (warning != nullptr) {
            *warning = result->warning;
        }
    }
    return true;
}

void AutoListSaver::SetAsideCopy() {
    if (const auto aside = SetFileAside(m_path, ".truncated", SetAsideBy::kCopy)) {
        m_setAside = aside->string();
    }
}

void AutoListSaver::MoveAside() {
    if (const auto aside = SetFileAside(m_path, ".unreadable", SetAsideBy::kMove)) {
        m_setAside = aside->string();
        return;
    }
    // Nowhere to put it: leave it where it is, and neither save over it nor
    // delete it in this run.
    m_untouchable = true;
}

void AutoListSaver::ScheduleSave() {
    // The timer is not restarted by later changes: a steady stream of edits
    // still reaches the file every second.
    if (m_enabled && !m_timer.isActive()) {
        m_timer.start();
    }
}

ListPrompt::Answer AutoListSaver::StoredCredentialsAnswer() const {
    const bool alreadyStored = !m_storedUser.empty() && m_list.UserName() == m_storedUser &&
                               m_list.Password() == m_storedPassword;
    return alreadyStored ? ListPrompt::Answer::Yes : ListPrompt::Answer::No;
}

void AutoListSaver::SaveInBackground() {
    if (m_enabled && !m_untouchable) {
        Save(StoredCredentialsAnswer());
    }
}

bool AutoListSaver::Save(ListPrompt::Answer credentialsAnswer) {
    std::error_code ignored;
    std::filesystem::create_directories(m_path.parent_path(), ignored);
    ErrorOr<ListSaveResult> result = ListSaveResult::Cancelled;
    m_prompt.WithCredentialsAnswer(credentialsAnswer, [&] {
        result = SaveListFile(m_list, m_path, ListSaveMode::All, &m_prompt);
    });
    if (!result) {
        Q_EMIT SaveFailed(QString::fromStdString(result.error().message));
        return false;
    }
    if (*result == ListSaveResult::Saved && credentialsAnswer == ListPrompt::Answer::Yes) {
        m_storedUser = m_list.UserName();
        m_storedPassword = m_list.Password();
    }
    return true;
}

void AutoListSaver::SaveAtExit(bool askCredentials, const std::function<void()>& done) {
    m_timer.stop();
    if (m_untouchable) {
        done();
        return;
    }
    if (!m_enabled) {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
        done();
        return;
    }
    if (!askCredentials) {
        Save(StoredCredentialsAnswer());
        done();
        return;
    }
    std::error_code ignored;
    std::filesystem::create_directories(m_path.parent_path(), ignored);
    m_prompt.AfterCredentialsQuestion(m_list, [this, done] {
        const ErrorOr<ListSaveResult> saved =
            SaveListFile(m_list, m_path, ListSaveMode::All, &m_prompt);
        if (!saved) {
            Q_EMIT SaveFailed(QString::fromStdString(saved.error().message));
        }
        done();
    });
}

}  // namespace tapewell::gui
