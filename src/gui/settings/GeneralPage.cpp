#include "gui/settings/GeneralPage.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/RecentStartUrls.h"
#include "app/RecentUrls.h"
#include "gui/app/UiPrompt.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"

namespace tapewell::gui {
namespace {

QCheckBox* MakeBox(const QString& text, const char* name, bool checked, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->setChecked(checked);
    return box;
}

}  // namespace

GeneralPage::GeneralPage(const AppSettings& settings, ProfileStore& profile, QWidget* parent)
    : QWidget(parent),
      m_profile(profile),
      m_multipleInstances(MakeBox(tr("Allow miltiple instances"), "multipleInstances",
                                  settings.m_allowMultipleInstances, this)),
      m_savePlayList(MakeBox(tr("Save Play list."), "savePlayList", settings.m_savePlayList, this)),
      m_savePosition(MakeBox(tr("Save Position( big Screen mode )"), "savePosition",
                             settings.m_saveFullScreenPos, this)),
      m_toolTips(MakeBox(tr("ToolTip"), "toolTips", settings.m_toolTips, this)),
      m_deleteRecent(new QPushButton(tr("&Delete recent files"), this)) {
    setObjectName("generalPage");
    m_deleteRecent->setObjectName("deleteRecent");
    m_deleteRecent->setAutoDefault(false);
    connect(m_deleteRecent, &QPushButton::clicked, this, &GeneralPage::AskDeleteRecent);

    auto* layout = new QVBoxLayout(this);
    for (QCheckBox* box : {m_multipleInstances, m_savePlayList, m_savePosition, m_toolTips}) {
        layout->addWidget(box);
    }
    layout->addSpacing(12);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(m_deleteRecent);
    buttonRow->addStretch();
    layout->addLayout(buttonRow);
    layout->addStretch();
}

void GeneralPage::Apply(AppSettings& settings) const {
    settings.m_allowMultipleInstances = m_multipleInstances->isChecked();
    settings.m_savePlayList = m_savePlayList->isChecked();
    settings.m_saveFullScreenPos = m_savePosition->isChecked();
    settings.m_toolTips = m_toolTips->isChecked();
}

void GeneralPage::AskDeleteRecent() {
    QPointer<GeneralPage> self(this);
    UiPrompt::Instance().Ask(this, tr("Are you sure you want to delete all recent file(url) list?"),
                             QMessageBox::Yes | QMessageBox::No, [self](UiPrompt::Answer answer) {
                                 if (self && answer == QMessageBox::Yes) {
                                     self->DeleteRecent();
                                 }
                             });
}

void GeneralPage::DeleteRecent() {
    // Both lists in one profile write: either both are gone or neither.
    const ErrorOr<void> deleted = m_profile.Update([](ProfileEdit& edit) {
        edit.DeleteSection(RecentStartUrls::kSection);
        edit.DeleteSection(RecentUrls::kSection);
    });
    if (!deleted) {
        UiPrompt::Instance().Tell(this, QMessageBox::Warning,
                                  tr("The recent file list could not be deleted:\n%1")
                                      .arg(QString::fromStdString(deleted.error().message)));
        return;
    }
    Q_EMIT RecentFilesDeleted();
}

}  // namespace tapewell::gui
