#pragma once

#include <QDialog>

#include "settings/AppSettings.h"

class QDialogButtonBox;
class QTabWidget;

namespace tapewell {
class ProfileStore;
}

namespace tapewell::gui {

class GeneralPage;
class PlayPage;
class RecordPage;

// "Setup": the preferences sheet, with the pages General ("Setup"), Record
// and Play. It edits a copy of the settings; the caller opens it through
// UiPrompt::Open and, when it was accepted, takes Result() as the new live
// settings and stores them. Cancel leaves the profile as it was, apart from
// "&Delete recent files", which acts at once (RecentFilesDeleted).
//
// OK applies every page, shown or not (each was filled from the copy, so an
// untouched page gives its values back unchanged), writes the player agent
// history to the profile and the Play page's file types to the desktop.
class PreferencesDialog : public QDialog {
    Q_OBJECT
public:
    PreferencesDialog(const AppSettings& live, ProfileStore& profile, QWidget* parent = nullptr);

    // The edited copy; the live settings as given until OK.
    const AppSettings& Result() const { return m_settings; }

    QTabWidget* Tabs() const { return m_tabs; }
    GeneralPage* General() const { return m_general; }
    RecordPage* Record() const { return m_record; }
    PlayPage* Play() const { return m_play; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

    void accept() override;

Q_SIGNALS:
    // Emitted at once when the user deleted the recent lists, OK or not.
    void RecentFilesDeleted();

private:
    AppSettings m_settings;
    ProfileStore& m_profile;
    QTabWidget* m_tabs;
    GeneralPage* m_general;
    RecordPage* m_record;
    PlayPage* m_play;
    QDialogButtonBox* m_buttons;
};

}  // namespace tapewell::gui
