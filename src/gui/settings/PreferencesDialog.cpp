#include "gui/settings/PreferencesDialog.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "gui/app/AppIcon.h"
#include "gui/app/UiPrompt.h"
#include "gui/settings/GeneralPage.h"
#include "gui/settings/PlayPage.h"
#include "gui/settings/RecordPage.h"
#include "settings/PlayerAgentHistory.h"
#include "settings/ProfileStore.h"

namespace tapewell::gui {

PreferencesDialog::PreferencesDialog(const AppSettings& live, ProfileStore& profile,
                                     QWidget* parent)
    : QDialog(parent),
      m_settings(live),
      m_profile(profile),
      m_tabs(new QTabWidget(this)),
      m_general(new GeneralPage(m_settings, profile, m_tabs)),
      m_record(new RecordPage(m_settings, PlayerAgentHistory::Load(profile), m_tabs)),
      m_play(new PlayPage(m_tabs)),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
    setObjectName("preferencesDialog");
    setWindowTitle(tr("Setup"));
    setWindowIcon(AppIcon());
    m_tabs->addTab(m_general, tr("Setup"));
    m_tabs->addTab(m_record, tr("Record"));
    m_tabs->addTab(m_play, tr("Play"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(m_buttons);

    connect(m_buttons, &QDialogButtonBox::accepted, this, &PreferencesDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &PreferencesDialog::reject);
    connect(m_general, &GeneralPage::RecentFilesDeleted, this,
            &PreferencesDialog::RecentFilesDeleted);
}

void PreferencesDialog::accept() {
    m_general->Apply(m_settings);
    m_record->Apply(m_settings);
    // The history has its own section, so it is written here; the settings
    // themselves are the caller's to store.
    const ErrorOr<void> saved =
        PlayerAgentHistory::Save(m_profile, m_record->AgentEntries(), m_settings.m_playerAgent);
    if (!saved) {
        UiPrompt::Instance().Tell(parentWidget(), QMessageBox::Warning,
                                  tr("The player agent list could not be saved:\n%1")
                                      .arg(QString::fromStdString(saved.error().message)));
    }
    // Shows its own warning when a file type cannot be registered; the other
    // pages' changes still count.
    m_play->Apply();
    QDialog::accept();
}

}  // namespace tapewell::gui
